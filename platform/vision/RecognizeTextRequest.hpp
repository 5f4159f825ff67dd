#pragma once

// Text recognition on a camera frame, as the phone platform's text request offers it: the
// picture is turned upright by its orientation, the region of interest is cut out, the
// installed recogniser reads it, and every line comes back as an observation whose box is
// normalised to the region (origin bottom-left).

#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/foundation/PlatformError.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/media/PixelBuffer.hpp"

namespace ostrel::platform {

struct RecognizedText {
  std::string string;
  float confidence = 0;  // 0-1
};

class RecognizedTextObservation {
 public:
  RecognizedTextObservation(Rect boundingBox, std::vector<RecognizedText> candidates)
      : boundingBox(boundingBox), candidates_(std::move(candidates)) {}

  // Normalised to the request's region of interest, origin bottom-left.
  Rect boundingBox;

  // Up to `maxCandidateCount` readings, best first.
  std::vector<RecognizedText> topCandidates(std::size_t maxCandidateCount) const;

 private:
  std::vector<RecognizedText> candidates_;
};

class RecognizeTextRequest {
 public:
  enum class RecognitionLevel : int { accurate = 0, fast = 1 };
  // Runs once inside every perform, on the performing thread, after the results are stored; the
  // error is set when the recogniser failed (the results are then empty).
  using CompletionHandler =
      std::function<void(RecognizeTextRequest& request, const std::optional<PlatformError>& error)>;

  explicit RecognizeTextRequest(CompletionHandler completion = {});

  RecognitionLevel recognitionLevel = RecognitionLevel::accurate;
  bool usesLanguageCorrection = true;
  // Normalised to the upright picture, origin bottom-left; (0, 0, 1, 1) is the whole picture.
  // It is clamped to the picture; a region with nothing left gives no results.
  Rect regionOfInterest{0, 0, 1, 1};

  // The observations of the last perform, top to bottom. A copy, so that another thread may
  // read them while the next frame is being performed.
  std::vector<RecognizedTextObservation> results() const;

  // Reads a camera buffer shown upright by EXIF `orientation` (1-8). Throws
  // std::invalid_argument for an unknown orientation or a buffer whose planes do not hold its
  // size, and std::runtime_error when the recogniser fails (after the completion ran with the
  // error).
  void perform(const PixelBuffer& buffer, int orientation);

  // Reads an upright 8-bit grey picture; same failures as `perform`.
  void performOnUprightPicture(const cv::Mat& grey);

 private:
  void recognize(const cv::Mat& regionGrey, const Rect& readRegion);
  void finish(std::vector<RecognizedTextObservation> observations,
              const std::optional<PlatformError>& error);

  CompletionHandler completion_;
  mutable std::mutex resultsLock_;
  std::vector<RecognizedTextObservation> results_;
};

}  // namespace ostrel::platform
