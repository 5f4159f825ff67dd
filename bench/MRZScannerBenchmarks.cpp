// Cost and quality of reading a machine-readable zone from camera frames with the library's
// own zone reader:
//  - one frame: a 1920x1080 back-camera buffer through the image request handler, the region
//    of interest in portrait (972 x 630 pixels) holding a TD1 or a TD3 zone, cut, turned
//    upright and read (target: under 33 ms on one core, one frame at 30 fps), and the reading
//    alone on the grey region;
//  - the evaluation set: the share of sequences that reach a stable, correct zone within 30
//    frames (target at least 95 %, never a wrong zone) and the median frames it takes;
//  - the second set (testing/MRZCameraSet: printed with Cairo in both OCR-B cuts, tilted,
//    glared, in upright and landscape 1080p and 720p buffers, six content classes and negative
//    sequences), read through `MRZFrameScanner` as the screen reads it: completion within 30
//    frames by difficulty and class, median frames, wrong zones and negatives accepted (targets:
//    at least 95 %, 85 % on the hard bucket, none wrong, none accepted), and the time of a frame
//    (median and p95; targets under 15 ms and under 33 ms on one core for 1080p buffers, upright
//    and landscape);
//  - the scanner's per-frame geometry: the region snapshot the frame queue reads, and ten
//    recognised boxes through the scanner's transform and the preview's mapping (target:
//    under 0.1 ms).
// Run with OpenCV's own threads off, so the numbers are for one core.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "platform/foundation/Make.hpp"
#include "platform/vision/ImageRequestHandler.hpp"
#include "platform/vision/MRZLineRecognizer.hpp"
#include "platform/vision/RecognizeTextRequest.hpp"
#include "scanner/MRZFrameScanner.hpp"
#include "scanner/OSLScanMRZVC.hpp"
#include "scan/MRZResult.hpp"
#include "testing/MRZCameraSet.hpp"
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

// --- The second set: printed and photographed apart from the zone reader --------------------

// One sequence's reading: gets each frame with its EXIF orientation and answers the accepted
// zone text when that frame completes one.
using FrameReader = std::function<std::optional<std::string>(const platform::PixelBufferPtr&, int)>;
using FrameReaderMaker = std::function<FrameReader(const platform::Rect& regionOfInterest)>;

// The scanner's own per-frame reader, as the screen runs it.
FrameReader frameScanner(const platform::Rect& regionOfInterest) {
  auto scanner = std::make_shared<MRZFrameScanner>(regionOfInterest);
  // OSTREL_MRZ_SET_LINES prints the lines each frame was read as.
  const bool printLines = std::getenv("OSTREL_MRZ_SET_LINES") != nullptr;
  return [scanner, printLines](const platform::PixelBufferPtr& buffer, int orientation) {
    auto accepted = scanner->push(buffer, orientation);
    if (printLines) printLinesRead(*scanner, -1);
    return accepted;
  };
}

struct SetTally {
  int sequences = 0, completed = 0, wrong = 0;
  std::vector<int> frames;
  void add(bool correct, bool accepted, int framesRead) {
    ++sequences;
    if (correct) {
      ++completed;
      frames.push_back(framesRead);
    } else if (accepted) {
      ++wrong;
    }
  }
  double percent() const { return sequences ? 100.0 * completed / sequences : 0; }
  int medianFrames() {
    if (frames.empty()) return 0;
    std::sort(frames.begin(), frames.end());
    return frames[frames.size() / 2];
  }
};

double percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<std::size_t>(share * double(values.size())))];
}

// A part of the set for a quick look: OSTREL_MRZ_SET_RANGE=first-last (indices, inclusive).
// OSTREL_MRZ_SET_DUMP=folder writes the first frame of each sequence there as PNG.
void runCameraSet(benchmark::State& state, const FrameReaderMaker& makeReader) {
  useZoneReaderOnOneCore();
  constexpr int kFrames = 30;
  const int total = mrzCameraSetPositives() + mrzCameraSetNegatives();
  int first = 0, last = total - 1;
  if (const char* range = std::getenv("OSTREL_MRZ_SET_RANGE")) {
    std::sscanf(range, "%d-%d", &first, &last);
    first = std::clamp(first, 0, total - 1);
    last = std::clamp(last, first, total - 1);
  }
  const char* dump = std::getenv("OSTREL_MRZ_SET_DUMP");
  const bool verbose = std::getenv("OSTREL_MRZ_SET_VERBOSE") != nullptr;
  for (auto _ : state) {
    SetTally all;
    std::map<std::string, SetTally> byDifficulty, byContent;
    int negatives = 0, negativesAccepted = 0;
    std::map<std::string, std::vector<double>> milliseconds;
    std::vector<double> allMilliseconds;
    for (int index = first; index <= last; ++index) {
      const MRZSetSequence sequence = mrzCameraSetSequence(index);
      const MRZCameraSequence camera(sequence);
      if (dump) cv::imwrite(std::string(dump) + "/set-" + std::to_string(index) + ".png", camera.uprightFrame(0));
      const std::string buffer = std::string(sequence.camera.hd720 ? "720" : "1080") +
                                 (sequence.camera.landscape ? " landscape" : " upright");
      FrameReader reader = makeReader(camera.regionOfInterest());
      std::optional<std::string> accepted;
      int framesRead = 0;
      for (int frame = 0; frame < kFrames && !accepted; ++frame) {
        const auto pixels = camera.frame(frame);
        const auto start = std::chrono::steady_clock::now();
        accepted = reader(pixels, camera.exifOrientation());
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        milliseconds[buffer].push_back(ms);
        allMilliseconds.push_back(ms);
        framesRead = frame + 1;
      }
      if (sequence.negative()) {
        ++negatives;
        if (accepted) ++negativesAccepted;
        if (verbose || accepted)
          std::fprintf(stderr, "%3d negative %-20s %s\n", index, sequence.kind.c_str(),
                       accepted ? ("ACCEPTED " + *accepted).c_str() : "refused");
        continue;
      }
      bool correct = false;
      if (accepted) {
        MRZScanRun run;
        correct = fillCompletion(run, *accepted) && run.documentNumber == sequence.documentNumber &&
                  run.birth == sequence.birth && run.expiry == sequence.expiry &&
                  sameMRZZone(sequence.lines, *accepted);
      }
      all.add(correct, accepted.has_value(), framesRead);
      byDifficulty[mrzSetDifficultyName(sequence.difficulty)].add(correct, accepted.has_value(), framesRead);
      byContent[mrzSetContentName(sequence.content)].add(correct, accepted.has_value(), framesRead);
      if (verbose || (accepted && !correct)) {
        std::fprintf(stderr, "%3d %-6s %-13s %s %-15s cap %4.1f tilt %4.1f glyph %.2f %s: %s in %d\n", index,
                     mrzSetDifficultyName(sequence.difficulty), mrzSetContentName(sequence.content),
                     sequence.kind.c_str(), buffer.c_str(), sequence.camera.capitalHeight,
                     sequence.camera.tiltDegrees, sequence.camera.glyphScale,
                     sequence.camera.sharpCut ? "sharp" : "regular",
                     correct ? "correct" : accepted ? "WRONG" : "none", framesRead);
        if (accepted && !correct) std::fprintf(stderr, "    accepted:\n%s\n", accepted->c_str());
        if (!correct) {
          const MRZSetCamera& c = sequence.camera;
          std::fprintf(stderr, "    turn %.1f defocus %.1f shake %.1f light %.2f glare %.2f contrast %.2f noise %.1f jpeg %d\n",
                       c.turnDegrees, c.defocusSigma, c.motionBlur, c.unevenLight, c.glare, c.contrast,
                       c.noiseSigma, c.jpegQuality);
          std::fprintf(stderr, "    printed:\n");
          for (const auto& line : sequence.lines) std::fprintf(stderr, "    %s\n", line.c_str());
        }
      }
    }
    state.counters["sequences"] = all.sequences;
    state.counters["within30_percent"] = all.percent();
    state.counters["median_frames"] = all.medianFrames();
    state.counters["wrong_zones"] = all.wrong;
    state.counters["negatives"] = negatives;
    state.counters["negatives_accepted"] = negativesAccepted;
    state.counters["ms_median"] = percentile(allMilliseconds, 0.5);
    state.counters["ms_p95"] = percentile(allMilliseconds, 0.95);
    std::printf("\n%-16s %9s %8s %8s %6s\n", "bucket", "sequences", "within30", "median", "wrong");
    auto row = [](const std::string& name, SetTally& tally) {
      std::printf("%-16s %9d %7.1f%% %8d %6d\n", name.c_str(), tally.sequences, tally.percent(),
                  tally.medianFrames(), tally.wrong);
    };
    row("all", all);
    for (auto& [name, tally] : byDifficulty) row(name, tally);
    for (auto& [name, tally] : byContent) row(name, tally);
    std::printf("negatives accepted: %d of %d\n", negativesAccepted, negatives);
    std::printf("ms per frame: all median %.1f p95 %.1f\n", percentile(allMilliseconds, 0.5),
                percentile(allMilliseconds, 0.95));
    for (const auto& [name, values] : milliseconds)
      std::printf("ms per frame: %-15s median %.1f p95 %.1f (%zu frames)\n", name.c_str(), percentile(values, 0.5),
                  percentile(values, 0.95), values.size());
  }
}

// Rendering the frames is part of the wall time here; the counters are what matters.
void BM_CameraSet(benchmark::State& state) { runCameraSet(state, frameScanner); }
BENCHMARK(BM_CameraSet)->Iterations(1)->Unit(benchmark::kSecond);

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
