// Per-frame camera costs at 1280 x 720 and 1920 x 1080: turning a camera buffer into an upright
// picture (BGRA and '420f'), and writing an upright picture into a camera buffer as the
// image-file camera does for each frame.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>

#include "core/Helpers.hpp"
#include "platform/camera/SensorLayout.hpp"
#include "platform/media/PixelBufferConversion.hpp"

namespace {

using namespace ostrel;

cv::Mat frame(int width, int height) {
  cv::Mat bgra(height, width, CV_8UC4);
  cv::randu(bgra, cv::Scalar(0, 0, 0, 255), cv::Scalar(255, 255, 255, 256));
  return bgra;
}

void BM_PixelBufferToPicture(benchmark::State& state) {
  int width = int(state.range(0)), height = int(state.range(1));
  auto format = state.range(2) ? platform::PixelFormat::yCbCr420BiPlanarFullRange
                               : platform::PixelFormat::bgra32;
  auto buffer = platform::makePixelBuffer(frame(width, height), format,
                                          platform::driverRowStride(width) - std::size_t(width) * 4);
  for (auto _ : state) benchmark::DoNotOptimize(Helpers::imageFromPixelBuffer(buffer, 6));
}
BENCHMARK(BM_PixelBufferToPicture)
    ->Args({1280, 720, 0})
    ->Args({1920, 1080, 0})
    ->Args({1280, 720, 1})
    ->Args({1920, 1080, 1})
    ->Unit(benchmark::kMillisecond);

void BM_UprightPictureToCameraBuffer(benchmark::State& state) {
  int width = int(state.range(0)), height = int(state.range(1));
  auto upright = frame(height, width);
  for (auto _ : state) {
    auto sensor = platform::sensorLayoutFromUpright(upright, platform::CaptureDevicePosition::back);
    benchmark::DoNotOptimize(platform::makePixelBuffer(sensor, platform::PixelFormat::bgra32, 64));
  }
}
BENCHMARK(BM_UprightPictureToCameraBuffer)->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
