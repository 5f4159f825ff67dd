// The frame scanner on the photo set: every sequence fed frame by frame to a fresh scanner made
// with the screen's region of interest, as the scanner screen does on a phone.
//
//   OSTREL_PHOTO_SET_RANGE=a-b   only sequences a..b (inclusive)
//   OSTREL_PHOTO_SET_VERBOSE=1   one line per sequence
//   OSTREL_PHOTO_SET_DUMP=dir    frames 0, 15 and 29 of each sequence as upright PNGs
//   OSTREL_PHOTO_SET_SEED=n      another set (default 5150)
//   OSTREL_PHOTO_SET_LINES=1     the lines each frame was read as, after the zone printed

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "scanner/MRZFrameScanner.hpp"
#include "testing/MRZEvaluation.hpp"
#include "testing/MRZPhotoSet.hpp"

namespace {

using namespace ostrel;
using namespace ostrel::testing;

struct PhotoTally {
  int sequences = 0;
  int completed = 0;
  int wrong = 0;
  std::vector<int> frames;  // to completion, of the completed ones
};

double photoPercentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, std::size_t(p * double(values.size() - 1) + 0.5))];
}

void photoPrintTallies(const char* title, const std::map<std::string, PhotoTally>& tallies) {
  std::printf("\n%-22s %9s %9s %8s %7s %6s\n", title, "sequences", "completed", "percent", "median", "WRONG");
  for (const auto& [name, tally] : tallies) {
    std::vector<double> frames(tally.frames.begin(), tally.frames.end());
    std::printf("%-22s %9d %9d %7.1f%% %7.0f %6d\n", name.c_str(), tally.sequences, tally.completed,
                tally.sequences ? 100.0 * tally.completed / tally.sequences : 0.0, photoPercentile(frames, 0.5),
                tally.wrong);
  }
}

std::string photoDevice(const PhotoCamera& camera) {
  return std::to_string(camera.bufferWidth) + "x" + std::to_string(camera.bufferHeight) +
         (camera.upright ? " upright" : " landscape");
}

void BM_PhotoSet(benchmark::State& state) {
  const std::uint64_t seed = photoSetSeed();
  int first = 0, last = kPhotoSetSize - 1;
  if (const char* range = std::getenv("OSTREL_PHOTO_SET_RANGE")) {
    if (std::sscanf(range, "%d-%d", &first, &last) != 2) {
      state.SkipWithError("OSTREL_PHOTO_SET_RANGE must read a-b");
      return;
    }
    first = std::max(0, first);
    last = std::min(kPhotoSetSize - 1, last);
  }
  const bool verbose = std::getenv("OSTREL_PHOTO_SET_VERBOSE") != nullptr;
  const char* dump = std::getenv("OSTREL_PHOTO_SET_DUMP");
  const bool printLines = std::getenv("OSTREL_PHOTO_SET_LINES") != nullptr;
  for (auto _ : state) {
    std::map<std::string, PhotoTally> byBucket, byClass, byDevice, byFormat;
    std::map<std::string, int> negativesByKind, negativesAcceptedByKind;
    std::map<std::string, std::vector<double>> milliseconds;
    std::vector<double> allMilliseconds;
    std::vector<std::string> failures, wrongs, faults;
    int negatives = 0, negativesAccepted = 0;
    for (int index = first; index <= last; ++index) {
      const PhotoSequence sequence = photoSequence(index, seed);
      const PhotoSequenceRenderer renderer(sequence);
      MRZFrameScanner scanner(photoSetRegionOfInterest(sequence.camera.upright));
      std::optional<std::string> accepted;
      int frames = 0;
      std::string fault;
      if (printLines) std::fprintf(stderr, "sequence %d printed:\n%s\n", index, sequence.zone().c_str());
      for (int f = 0; f < kPhotoSetFrames && !accepted; ++f) {
        const PhotoFrame frame = renderer.frame(f);
        const auto start = std::chrono::steady_clock::now();
        try {
          accepted = scanner.push(frame.buffer, frame.exifOrientation);
        } catch (const std::exception& error) {
          fault = "frame " + std::to_string(f) + " threw: " + error.what();
        }
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (ms > 10000) fault += "frame " + std::to_string(f) + " took " + std::to_string(int(ms)) + " ms; ";
        allMilliseconds.push_back(ms);
        if (printLines) printLinesRead(scanner, f);
        milliseconds[photoDevice(sequence.camera)].push_back(ms);
        frames = f + 1;
        if (!fault.empty() && fault.find("threw") != std::string::npos) break;
      }
      if (dump) {
        for (const int f : {0, 15, 29}) {
          char path[512];
          std::snprintf(path, sizeof path, "%s/photo%03d_f%02d.png", dump, index, f);
          const PhotoFrame frame = renderer.frame(f);
          cv::imwrite(path, frame.upright);
          // The zone's neighbourhood at twice the size, for a person to judge whether it is legible.
          if (!frame.zoneCorners.empty()) {
            const int w = frame.upright.cols, h = frame.upright.rows;
            double x0 = w, y0 = h, x1 = 0, y1 = 0;
            for (const auto& c : frame.zoneCorners) {
              x0 = std::min(x0, c.x * w), x1 = std::max(x1, c.x * w);
              y0 = std::min(y0, (1 - c.y) * h), y1 = std::max(y1, (1 - c.y) * h);
            }
            const double pad = 0.25 * (y1 - y0);
            const cv::Rect box = cv::Rect(cv::Point(int(x0 - pad), int(y0 - pad)), cv::Point(int(x1 + pad), int(y1 + pad))) &
                                 cv::Rect(0, 0, w, h);
            if (box.area() > 0) {
              cv::Mat zone;
              cv::resize(frame.upright(box), zone, cv::Size(), 2, 2, cv::INTER_NEAREST);
              std::snprintf(path, sizeof path, "%s/photo%03d_f%02d_zone.png", dump, index, f);
              cv::imwrite(path, zone);
            }
          }
        }
      }
      const bool correct = accepted && *accepted == sequence.zone();
      char parameters[400];
      const PhotoCamera& c = sequence.camera;
      const PhotoPrint& p = sequence.print;
      std::snprintf(parameters, sizeof parameters,
                    "%s %s cap %.1f approach %.2f tilt %.1f/%.1f turn %.1f defocus %.2f lens %.2f shake %.1f "
                    "tremor %.1f glare %.2f ink %.2f noise %.3f jpeg %d exp %.2f | %s glyph %.2f bold %+.0f gain %.2f page %d behind %d",
                    photoDevice(c).c_str(), sequence.cardFormat ? "card" : "page", c.capHeight, c.approach, c.tiltX, c.tiltY,
                    c.turn, c.defocus, c.lensBlur, c.shake, c.tremor, c.glare, c.inkReflectance, c.readNoise,
                    c.jpegQuality, c.exposureStart, p.sharpCut ? "OCRBS" : "OCRB", p.glyphScale, p.embolden, p.dotGain,
                    p.page, p.behind);
      std::string result;
      if (!fault.empty()) faults.push_back(std::to_string(index) + ": " + fault + " (seed " + std::to_string(seed) + ")");
      if (sequence.positive()) {
        const std::string format = sequence.lines.size() == 3 ? "TD1" : "TD3";
        for (auto* tally : {&byBucket[photoBucketName(sequence.bucket)], &byClass[photoContentName(sequence.content)],
                            &byDevice[photoDevice(c)], &byFormat[format]}) {
          ++tally->sequences;
          if (correct) ++tally->completed, tally->frames.push_back(frames);
          if (accepted && !correct) ++tally->wrong;
        }
        result = correct ? "completed" : accepted ? "WRONG" : "not read";
        if (!correct) (accepted ? wrongs : failures).push_back(std::to_string(index) + " " + photoBucketName(sequence.bucket) + " " +
                                                               photoContentName(sequence.content) + " " + parameters);
      } else {
        ++negatives;
        ++negativesByKind[photoNegativeName(sequence.negative)];
        if (accepted) {
          ++negativesAccepted;
          ++negativesAcceptedByKind[photoNegativeName(sequence.negative)];
          wrongs.push_back(std::to_string(index) + " negative " + photoNegativeName(sequence.negative) + " " + parameters);
        }
        result = accepted ? "ACCEPTED" : "refused";
      }
      if (verbose) {
        std::fprintf(stderr, "%3d %-6s %-15s %s: %s in %d\n", index, photoBucketName(sequence.bucket),
                     sequence.positive() ? photoContentName(sequence.content) : photoNegativeName(sequence.negative),
                     parameters, result.c_str(), frames);
        if (accepted && !correct) {
          std::fprintf(stderr, "    accepted:\n%s\n    printed:\n%s\n", accepted->c_str(), sequence.zone().c_str());
        }
      }
    }
    photoPrintTallies("bucket", byBucket);
    photoPrintTallies("class", byClass);
    photoPrintTallies("device", byDevice);
    photoPrintTallies("format", byFormat);
    std::printf("\nnegatives accepted: %d of %d\n", negativesAccepted, negatives);
    for (const auto& [kind, count] : negativesByKind)
      std::printf("  %-16s %d of %d\n", kind.c_str(), negativesAcceptedByKind[kind], count);
    std::printf("\nms per frame: all median %.1f p95 %.1f (%zu frames)\n", photoPercentile(allMilliseconds, 0.5),
                photoPercentile(allMilliseconds, 0.95), allMilliseconds.size());
    for (const auto& [device, values] : milliseconds)
      std::printf("ms per frame: %-22s median %.1f p95 %.1f (%zu frames)\n", device.c_str(), photoPercentile(values, 0.5),
                  photoPercentile(values, 0.95), values.size());
    std::printf("\nnot read:\n");
    for (const auto& line : failures) std::printf("  %s\n", line.c_str());
    std::printf("WRONG or negative accepted:\n");
    for (const auto& line : wrongs) std::printf("  %s\n", line.c_str());
    std::printf("reader faults (exceptions, frames over 10 s):\n");
    for (const auto& line : faults) std::printf("  %s\n", line.c_str());
    int positives = 0, completed = 0, wrong = 0;
    for (const auto& [name, tally] : byBucket) positives += tally.sequences, completed += tally.completed, wrong += tally.wrong;
    state.counters["completed_percent"] = positives ? 100.0 * completed / positives : 0;
    state.counters["wrong"] = wrong;
    state.counters["negatives_accepted"] = negativesAccepted;
    state.counters["ms_per_frame_median"] = photoPercentile(allMilliseconds, 0.5);
  }
}
BENCHMARK(BM_PhotoSet)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
