#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/media/Geometry.hpp"

namespace ostrel::platform {

// Something a vision request found. Requests hand out their results as this base; callers pick
// the kinds they want with `std::dynamic_pointer_cast`.
class Observation {
 public:
  virtual ~Observation() = default;
  float confidence = 1;
};

using ObservationPtr = std::shared_ptr<Observation>;

// An observation with a place in the picture: normalised to 0...1, origin bottom-left.
class DetectedObjectObservation : public Observation {
 public:
  Rect boundingBox;
};

// One class a detector scored; its text is its identifier.
struct ClassificationLabel {
  std::string identifier;
  float confidence = 0;
  bool operator==(const ClassificationLabel&) const = default;
};

// An object detector's finding: a box, the top class score as its confidence, and every class
// with its score, best first.
class RecognizedObjectObservation : public DetectedObjectObservation {
 public:
  std::vector<ClassificationLabel> labels;

  static std::shared_ptr<RecognizedObjectObservation> make(
      Rect boundingBox, float confidence, std::vector<ClassificationLabel> labels) {
    auto o = std::make_shared<RecognizedObjectObservation>();
    o->boundingBox = boundingBox;
    o->confidence = confidence;
    o->labels = std::move(labels);
    return o;
  }
};

using RecognizedObjectObservationPtr = std::shared_ptr<RecognizedObjectObservation>;

}  // namespace ostrel::platform
