// Cost of reading codes: one camera frame through zxing-cpp (QR only, and every type the
// metadata output offers; try-harder off, as the live path reads), and one 12-megapixel photo
// through the still-picture QR detection.
#include <cstring>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>

#include "platform/media/Image.hpp"
#include "platform/media/PixelBuffer.hpp"
#include "platform/vision/BarcodeReader.hpp"
#include "testing/QRPictures.hpp"

namespace {

using namespace ostrel;

// A BGRA camera frame of `size` holding the citizen-ID code in its middle.
std::shared_ptr<platform::PixelBuffer> frameWithCode(cv::Size size) {
  testing::QRScene scene;
  scene.size = size;
  const int module = size.width >= 1920 ? 9 : 6;
  cv::Mat rgba = scene.render(
      {{testing::qrCodeModules(testing::kCitizenIdPayload, module), {testing::centerOf(size), 0, 1}}});
  cv::Mat bgra;
  cv::cvtColor(rgba, bgra, cv::COLOR_RGBA2BGRA);
  auto buffer = platform::PixelBuffer::makeBGRA(size.width, size.height);
  auto& plane = buffer->plane(0);
  for (int y = 0; y < size.height; ++y)
    std::memcpy(plane.bytes.data() + y * plane.bytesPerRow, bgra.ptr(y), std::size_t(size.width) * 4);
  return buffer;
}

void readFrame(benchmark::State& state, cv::Size size, bool everyType) {
  auto frame = frameWithCode(size);
  platform::ZXingBarcodeReader reader;
  const std::vector<platform::MachineReadableCodeType> types =
      everyType ? platform::offeredMachineReadableCodeTypes()
                : std::vector<platform::MachineReadableCodeType>{platform::MachineReadableCodeType::qr};
  if (reader.readFrame(*frame, types).empty()) state.SkipWithError("the code was not read");
  for (auto _ : state) {
    auto codes = reader.readFrame(*frame, types);
    benchmark::DoNotOptimize(codes);
  }
}

void BM_FrameQROnly720p(benchmark::State& state) { readFrame(state, {1280, 720}, false); }
void BM_FrameQROnly1080p(benchmark::State& state) { readFrame(state, {1920, 1080}, false); }
void BM_FrameEveryType720p(benchmark::State& state) { readFrame(state, {1280, 720}, true); }
void BM_FrameEveryType1080p(benchmark::State& state) { readFrame(state, {1920, 1080}, true); }

// A 4032 x 3024 photo with one code, turned and blurred a little.
void BM_StillPhoto12MP(benchmark::State& state) {
  testing::QRScene scene;
  scene.size = {4032, 3024};
  scene.blurSigma = 1.5;
  platform::Image photo(scene.render(
      {{testing::qrCodeModules(testing::kCitizenIdPayload, 14), {{2016, 1512}, 30, 1}}}));
  if (platform::qrCodeFeatures(photo).empty()) state.SkipWithError("the code was not read");
  for (auto _ : state) {
    auto features = platform::qrCodeFeatures(photo);
    benchmark::DoNotOptimize(features);
  }
}

BENCHMARK(BM_FrameQROnly720p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameQROnly1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameEveryType720p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameEveryType1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StillPhoto12MP)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
