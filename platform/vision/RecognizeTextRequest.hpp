#pragma once

// Text recognition on a camera frame, as the phone platform's text request offers it: the
// picture is turned upright by its orientation, the region of interest is cut out, the
// installed recogniser reads it, and every line comes back as an observation whose box is
// normalised to the region (origin bottom-left).

#include <cstddef>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/media/Geometry.hpp"
#include "platform/vision/Observation.hpp"
#include "platform/vision/VisionRequest.hpp"

namespace ostrel::platform {

struct RecognizedText {
  std::string string;
  float confidence = 0;  // 0-1
  // Per character of `string`, whether the recogniser read it as a guess (empty when it does
  // not tell).
  std::vector<bool> unsure = {};
  // Per character of `string`, what the recogniser read where only a letter or the filler can
  // stand, and whether that is a guess (both empty when it does not tell).
  std::string letters = {};
  std::vector<bool> unsureLetters = {};
};

// One line of text; `boundingBox` is normalised to the request's region of interest, origin
// bottom-left, and `confidence` is the best reading's.
class RecognizedTextObservation : public DetectedObjectObservation {
 public:
  RecognizedTextObservation(Rect box, std::vector<RecognizedText> candidates);

  // Up to `maxCandidateCount` readings, best first.
  std::vector<RecognizedText> topCandidates(std::size_t maxCandidateCount) const;

 private:
  std::vector<RecognizedText> candidates_;
};

// Performed by an `ImageRequestHandler`; its results are `RecognizedTextObservation`s, top to
// bottom. A recogniser failure fails the request (and the handler's perform) with the
// recogniser's message.
class RecognizeTextRequest : public VisionRequest {
 public:
  enum class RecognitionLevel : int { accurate = 0, fast = 1 };

  using VisionRequest::VisionRequest;

  RecognitionLevel recognitionLevel = RecognitionLevel::accurate;
  bool usesLanguageCorrection = true;
  // Normalised to the upright picture, origin bottom-left; (0, 0, 1, 1) is the whole picture.
  // It is clamped to the picture; a region with nothing left gives no results.
  Rect regionOfInterest{0, 0, 1, 1};

  // A camera buffer is read from its own first plane, cut to the region before it is turned.
  bool readsUprightPicture() const override { return false; }

 protected:
  std::vector<ObservationPtr> observe(const VisionImage& image) override;
};

}  // namespace ostrel::platform
