#pragma once

#include <memory>
#include <optional>

#include "platform/vision/Observation.hpp"

namespace ostrel::platform {

// A face found by a face-rectangles request. The box is normalised to the upright picture
// (0...1, origin bottom-left). The angles are in radians, in the upright picture as the camera
// sees it, which for a mirrored front-camera picture is the way the user sees themselves:
//   yaw   > 0: the face turns towards the picture's right edge (the nose moves right);
//   pitch > 0: the face tips down (the nose moves towards the picture's bottom edge);
//   roll  > 0: the face leans counter-clockwise on the picture (its top moves left).
// So on a mirrored selfie picture turning to one's own right gives a positive yaw, raising the
// chin a negative pitch and tilting the head to one's own left a positive roll. An angle is
// absent when the detector could not measure it.
class FaceObservation : public DetectedObjectObservation {
 public:
  std::optional<float> pitch;
  std::optional<float> yaw;
  std::optional<float> roll;

  static std::shared_ptr<FaceObservation> make(Rect boundingBox,
                                               std::optional<float> pitch = std::nullopt,
                                               std::optional<float> yaw = std::nullopt,
                                               std::optional<float> roll = std::nullopt) {
    auto o = std::make_shared<FaceObservation>();
    o->boundingBox = boundingBox;
    o->pitch = pitch;
    o->yaw = yaw;
    o->roll = roll;
    return o;
  }
};

using FaceObservationPtr = std::shared_ptr<FaceObservation>;

}  // namespace ostrel::platform
