// Cost and quality of reading a machine-readable zone from camera frames with the library's
// own zone reader:
//  - one frame: a 1920x1080 back-camera buffer through the image request handler, the region
//    of interest in portrait (972 x 630 pixels) holding a TD1 or a TD3 zone, cut, turned
//    upright and read (target: under 33 ms on one core, one frame at 30 fps), and the reading
//    alone on the grey region;
//  - the evaluation set: the share of sequences that reach a stable, correct zone within 30
//    frames (target at least 95 %, never a wrong zone) and the median frames it takes;
//  - the scanner's per-frame geometry: the region snapshot the frame queue reads, and ten
//    recognised boxes through the scanner's transform and the preview's mapping (target:
//    under 0.1 ms).
// Run with OpenCV's own threads off, so the numbers are for one core.
#include <algorithm>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include "platform/foundation/Make.hpp"
#include "platform/vision/ImageRequestHandler.hpp"
#include "platform/vision/MRZLineRecognizer.hpp"
#include "platform/vision/RecognizeTextRequest.hpp"
#include "scanner/OSLScanMRZVC.hpp"
#include "testing/MRZEvaluation.hpp"
#include "testing/MRZTestData.hpp"

namespace {

using namespace ostrel;
using namespace ostrel::testing;

void useZoneReaderOnOneCore() {
  cv::setNumThreads(0);
  platform::TextRecognizerBackend::install(std::make_shared<platform::MRZLineRecognizer>());
}

MRZPictureStyle handHeld(int characterHeight) {
  MRZPictureStyle style;
  style.characterHeight = characterHeight;
  style.rotationDegrees = 2;
  style.blurSigma = 0.8;
  style.noiseSigma = 4;
  style.unevenLight = 0.5;
  style.jpegQuality = 60;
  return style;
}

const std::vector<std::string>& zoneOf(int td) {
  return td == 1 ? kTD1Card : kTD3Passport;
}

void BM_RecognizeFrameRegion(benchmark::State& state) {
  useZoneReaderOnOneCore();
  const int td = static_cast<int>(state.range(0));
  const cv::Mat picture = renderMRZPicture(zoneOf(td), handHeld(td == 1 ? 36 : 26));
  const auto buffer = cameraBufferFromUpright(picture);
  const auto request = std::make_shared<platform::RecognizeTextRequest>();
  request->recognitionLevel = platform::RecognizeTextRequest::RecognitionLevel::fast;
  request->usesLanguageCorrection = false;
  request->regionOfInterest = portraitRegionOfInterest();
  for (auto _ : state) {
    platform::ImageRequestHandler(buffer, 6).perform({request});
    benchmark::DoNotOptimize(request->results());
  }
  state.counters["lines"] = static_cast<double>(request->results().size());
  state.SetLabel(td == 1 ? "TD1" : "TD3");
}
BENCHMARK(BM_RecognizeFrameRegion)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

void BM_ReadGreyRegion(benchmark::State& state) {
  useZoneReaderOnOneCore();
  const int td = static_cast<int>(state.range(0));
  const cv::Mat region = renderMRZRegion(zoneOf(td), handHeld(td == 1 ? 36 : 26));
  platform::MRZLineRecognizer reader;
  for (auto _ : state) benchmark::DoNotOptimize(reader.recognize(region, {}));
  state.SetLabel(td == 1 ? "TD1" : "TD3");
}
BENCHMARK(BM_ReadGreyRegion)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

// Rendering the frames is part of the wall time here; the counters are what matters.
void BM_EvaluationSet(benchmark::State& state) {
  useZoneReaderOnOneCore();
  const int sequences = 200;
  for (auto _ : state) {
    int correct = 0, wrong = 0;
    std::vector<int> frames;
    for (int index = 0; index < sequences; ++index) {
      const MRZEvaluationZone zone = evaluationZone(index);
      const MRZScanRun run = scanLikeTheScanner(evaluationSequence(index), 30);
      if (run.matches(zone)) {
        ++correct;
        frames.push_back(run.framesRead);
      } else if (run.zoneText) {
        ++wrong;
      }
    }
    std::sort(frames.begin(), frames.end());
    state.counters["sequences"] = sequences;
    state.counters["correct_percent"] = 100.0 * correct / sequences;
    state.counters["wrong_zones"] = wrong;
    state.counters["median_frames"] = frames.empty() ? 0 : frames[frames.size() / 2];
    state.counters["worst_frames"] = frames.empty() ? 0 : frames.back();
  }
}
BENCHMARK(BM_EvaluationSet)->Iterations(1)->Unit(benchmark::kSecond);

void BM_ScannerGeometryPerFrame(benchmark::State& state) {
  auto scanner = platform::make<OSLScanMRZVC>();
  scanner->regionOfInterest = portraitRegionOfInterest();
  scanner->setupOrientationAndTransform();
  auto preview = platform::make<OSLPreviewView>(platform::Rect{0, 0, 390, 844});
  auto session = std::make_shared<platform::CaptureSession>();
  (void)session->setSessionPreset(platform::SessionPreset::hd1920x1080);
  preview->videoPreviewLayer()->setSession(session);
  std::vector<platform::Rect> boxes;
  for (int i = 0; i < 10; ++i) boxes.push_back({0.05, 0.1 * i, 0.9, 0.08});
  for (auto _ : state) {
    const auto geometry = scanner->recognitionGeometry();
    benchmark::DoNotOptimize(geometry);
    for (const auto& box : boxes) {
      auto frame = preview->videoPreviewLayer()->rectForMetadataOutputRectOfInterest(
          scanner->visionToAVFTransform.apply(box));
      benchmark::DoNotOptimize(frame);
    }
  }
}
BENCHMARK(BM_ScannerGeometryPerFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
