#pragma once

#include <string>
#include <string_view>

namespace ostrel {

// What the face check saw, as written into the face screen's attempt log.
enum class FaceStatus {
  UNVERIFIED,
  PROCESSING,
  VERIFIED,
  EXPIRED,
  FAILED,
  TOO_SMALL,
  TOO_LARGE,
  OFF_CENTER,
  TOO_MANY_FACES,
  NO_FACE,
  EYE_CLOSED,
  ANGLE_NOT_CORRECT,
  LOOK_STRAIGHT,
};

// The log text of a status: its case name.
std::string faceStatusName(FaceStatus status);
// The status a guide message key stands for (exact match); UNVERIFIED for any other text.
FaceStatus faceStatus(std::string_view messageKey);

}  // namespace ostrel
