// Encoding one 1280x960 card photo for upload, step by step, and one round trip to the local
// verification server.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <opencv2/imgproc.hpp>

#include "session/Ostrel.hpp"
#include "network/MultipartFormData.hpp"
#include "network/OSLCrypto.hpp"
#include "network/OstrelClient.hpp"
#include "platform/crypto/Crypto.hpp"
#include "platform/runtime/LiveRuntime.hpp"
#include "testing/VerificationServer.hpp"

namespace {

using namespace ostrel;

platform::ImagePtr cardPhoto() {
  cv::Mat rgba(960, 1280, CV_8UC4);
  cv::randu(rgba, cv::Scalar(0, 0, 0, 255), cv::Scalar(255, 255, 255, 256));
  cv::Mat smooth;
  cv::blur(rgba, smooth, cv::Size(9, 9));
  return std::make_shared<platform::Image>(smooth);
}

void BM_JpegChain(benchmark::State& state) {
  auto image = cardPhoto();
  for (auto _ : state) benchmark::DoNotOptimize(OstrelClient::uploadData(image));
}
BENCHMARK(BM_JpegChain)->Unit(benchmark::kMillisecond);

void BM_Sha256(benchmark::State& state) {
  auto jpeg = OstrelClient::uploadData(cardPhoto());
  for (auto _ : state) benchmark::DoNotOptimize(platform::crypto::sha256(jpeg));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * jpeg.size()));
}
BENCHMARK(BM_Sha256)->Unit(benchmark::kMicrosecond);

void BM_Signature(benchmark::State& state) {
  auto jpeg = OstrelClient::uploadData(cardPhoto());
  for (auto _ : state) benchmark::DoNotOptimize(Signatures::cardImage(jpeg));
}
BENCHMARK(BM_Signature)->Unit(benchmark::kMicrosecond);

void BM_MultipartBody(benchmark::State& state) {
  auto jpeg = OstrelClient::uploadData(cardPhoto());
  auto signature = Signatures::cardImage(jpeg);
  for (auto _ : state) {
    MultipartFormData form;
    form.addFile("image", "image.jpg", "image/jpeg", jpeg);
    form.addText("signature", signature);
    benchmark::DoNotOptimize(form.body());
  }
}
BENCHMARK(BM_MultipartBody)->Unit(benchmark::kMicrosecond);

void BM_ScanCardRoundTrip(benchmark::State& state) {
  testing::VerificationServer server;
  auto runtime = std::make_shared<platform::LiveRuntime>();
  platform::Runtime::install(runtime);
  auto config = OSLConfig::Builder("bench-session");
  config->withBaseUrl(server.baseUrl());
  Ostrel::shared()->setConfig(config);
  auto image = cardPhoto();
  for (auto _ : state) {
    bool done = false;
    OstrelClient::scanCard(OstrelClient::kScanFrontPath, image,
                           [&](Outcome<platform::JSON> outcome) {
                             done = true;
                             if (!outcome) state.SkipWithError("scan failed");
                           });
    runtime->runMainLoop([&] { return done; }, 10);
  }
  Ostrel::shared()->setConfig(nullptr);
  platform::Runtime::install(nullptr);
}
BENCHMARK(BM_ScanCardRoundTrip)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
