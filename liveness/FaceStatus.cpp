#include "liveness/FaceStatus.hpp"

namespace ostrel {

std::string faceStatusName(FaceStatus status) {
  switch (status) {
    case FaceStatus::UNVERIFIED: return "UNVERIFIED";
    case FaceStatus::PROCESSING: return "PROCESSING";
    case FaceStatus::VERIFIED: return "VERIFIED";
    case FaceStatus::EXPIRED: return "EXPIRED";
    case FaceStatus::FAILED: return "FAILED";
    case FaceStatus::TOO_SMALL: return "TOO_SMALL";
    case FaceStatus::TOO_LARGE: return "TOO_LARGE";
    case FaceStatus::OFF_CENTER: return "OFF_CENTER";
    case FaceStatus::TOO_MANY_FACES: return "TOO_MANY_FACES";
    case FaceStatus::NO_FACE: return "NO_FACE";
    case FaceStatus::EYE_CLOSED: return "EYE_CLOSED";
    case FaceStatus::ANGLE_NOT_CORRECT: return "ANGLE_NOT_CORRECT";
    case FaceStatus::LOOK_STRAIGHT: return "LOOK_STRAIGHT";
  }
  return "UNVERIFIED";
}

FaceStatus faceStatus(std::string_view key) {
  if (key == "liveness_message_noface") return FaceStatus::NO_FACE;
  if (key == "liveness_message_many_faces") return FaceStatus::TOO_MANY_FACES;
  if (key == "liveness_message_too_close") return FaceStatus::TOO_LARGE;
  if (key == "liveness_message_too_far") return FaceStatus::TOO_SMALL;
  if (key == "liveness_message_angle") return FaceStatus::ANGLE_NOT_CORRECT;
  if (key == "liveness_message_center") return FaceStatus::OFF_CENTER;
  if (key == "liveness_message_default") return FaceStatus::LOOK_STRAIGHT;
  return FaceStatus::UNVERIFIED;
}

}  // namespace ostrel
