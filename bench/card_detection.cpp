// Cost of the card detection path for one camera frame, at 1280 x 720 and 1920 x 1080: the
// buffer turned into the frame picture, one detector request of realistic size (320 x 320
// input, four strided convolutions), the perspective correction with its letterbox, the glare
// mask, and all of them in a row as the detection view runs them (one core; target: under
// 33 ms a frame for 30 frames a second).
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "capture/OSLPreprocess.hpp"
#include "core/Helpers.hpp"
#include "platform/media/PixelBufferConversion.hpp"
#include "platform/vision/CoreMLRequest.hpp"
#include "platform/vision/ImageRequestHandler.hpp"
#include "testing/TinyOnnxModel.hpp"

namespace {

using namespace ostrel;
using namespace ostrel::platform;

// A landscape camera buffer (as the back camera writes it) of a card on a table.
PixelBufferPtr cameraBuffer(int width, int height) {
  cv::Mat bgra(height, width, CV_8UC4, cv::Scalar(60, 90, 70, 255));
  cv::rectangle(bgra, cv::Rect(width / 5, height / 6, width * 3 / 5, height * 2 / 3),
                cv::Scalar(220, 210, 200, 255), cv::FILLED);
  return makePixelBuffer(bgra, PixelFormat::bgra32, 64);
}

std::shared_ptr<CoreMLRequest> detector() {
  static const auto model = CoreMLModel::forModel(OnnxDetectorLoader::loadFromBytes(
      testing::convolutionalDetectorModel(320, 5,
                                          {"card", "top_left_corner", "top_right_corner",
                                           "bottom_right_corner", "bottom_left_corner"})));
  return std::make_shared<CoreMLRequest>(model);
}

// The card's corners in the upright picture of a width x height buffer.
std::vector<Point> corners(int width, int height) {
  const double w = height, h = width;  // the picture is the buffer turned a quarter
  return {{w * 0.2, h * 0.3}, {w * 0.8, h * 0.28}, {w * 0.82, h * 0.62}, {w * 0.18, h * 0.6}};
}

void BM_BufferToPicture(benchmark::State& state) {
  auto buffer = cameraBuffer(int(state.range(0)), int(state.range(1)));
  for (auto _ : state) benchmark::DoNotOptimize(Helpers::imageFromPixelBuffer(buffer, 6));
}

void BM_DetectorRequest(benchmark::State& state) {
  auto buffer = cameraBuffer(int(state.range(0)), int(state.range(1)));
  auto request = detector();
  for (auto _ : state) ImageRequestHandler(buffer, 6).perform({request});
}

void BM_PerspectiveAndLetterbox(benchmark::State& state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  auto picture = Helpers::imageFromPixelBuffer(cameraBuffer(w, h), 6);
  const auto points = corners(w, h);
  for (auto _ : state) benchmark::DoNotOptimize(correctPerspective(picture, points, 480, 480));
}

void BM_GlareMask(benchmark::State& state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  auto preprocess =
      correctPerspective(Helpers::imageFromPixelBuffer(cameraBuffer(w, h), 6), corners(w, h), 480, 480);
  std::vector<Rect> glare = {{0.1, 0.3, 0.2, 0.1}, {0.5, 0.5, 0.3, 0.2}, {0.7, 0.2, 0.1, 0.4}};
  for (auto _ : state) {
    std::vector<Box> boxes;
    for (const auto& g : glare) boxes.push_back(*scaleBox(g, 480, 480));
    benchmark::DoNotOptimize(
        maskSideRegions(unletterboxMask(maskFromBoxes(boxes, 480, 480), preprocess), true));
  }
}

void BM_WholeDetectionPath(benchmark::State& state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  auto buffer = cameraBuffer(w, h);
  auto request = detector();
  const auto points = corners(w, h);
  for (auto _ : state) {
    auto picture = Helpers::imageFromPixelBuffer(buffer, 6);
    ImageRequestHandler(buffer, 6).perform({request});
    auto preprocess = correctPerspective(picture, points, 480, 480);
    std::vector<Box> boxes{*scaleBox({0.1, 0.3, 0.2, 0.1}, 480, 480)};
    benchmark::DoNotOptimize(
        maskSideRegions(unletterboxMask(maskFromBoxes(boxes, 480, 480), preprocess), true));
  }
}

#define FRAME_SIZES Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond)
BENCHMARK(BM_BufferToPicture)->FRAME_SIZES;
BENCHMARK(BM_DetectorRequest)->FRAME_SIZES;
BENCHMARK(BM_PerspectiveAndLetterbox)->FRAME_SIZES;
BENCHMARK(BM_GlareMask)->FRAME_SIZES;
BENCHMARK(BM_WholeDetectionPath)->FRAME_SIZES;

}  // namespace

BENCHMARK_MAIN();
