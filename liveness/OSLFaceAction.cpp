#include "liveness/OSLFaceAction.hpp"

#include <fstream>
#include <iterator>

#include "core/Localization.hpp"
#include "platform/foundation/Bytes.hpp"
#include "platform/media/ImageSource.hpp"
#include "ui/AnimatedImage.hpp"
#include "ui/ResourceBundle.hpp"

namespace ostrel::face_action {

std::string rawValue(OSLFaceAction action) {
  switch (action) {
    case OSLFaceAction::turnUp: return "turnUp";
    case OSLFaceAction::turnDown: return "turnDown";
    case OSLFaceAction::turnLeft: return "turnLeft";
    case OSLFaceAction::turnRight: return "turnRight";
    case OSLFaceAction::tiltLeft: return "tiltLeft";
    case OSLFaceAction::tiltRight: return "tiltRight";
  }
  return {};
}

std::optional<OSLFaceAction> fromRawValue(std::string_view raw) {
  for (OSLFaceAction action : allCases) {
    if (rawValue(action) == raw) return action;
  }
  return std::nullopt;
}

std::string messageKey(OSLFaceAction action) {
  switch (action) {
    case OSLFaceAction::turnUp: return "liveness_message_turn_up";
    case OSLFaceAction::turnDown: return "liveness_message_turn_down";
    case OSLFaceAction::turnLeft: return "liveness_message_turn_left";
    case OSLFaceAction::turnRight: return "liveness_message_turn_right";
    case OSLFaceAction::tiltLeft: return "liveness_message_tilt_left";
    case OSLFaceAction::tiltRight: return "liveness_message_tilt_right";
  }
  return {};
}

std::string message(OSLFaceAction action) {
  return osl_localize(messageKey(action));
}

platform::ImagePtr picture(OSLFaceAction action) {
  auto bundle = resourceBundle();
  if (!bundle) return nullptr;
  auto path = bundle->pathForResource(rawValue(action), "gif");
  if (!path) return nullptr;
  std::ifstream in(*path, std::ios::binary);
  if (!in) return nullptr;
  platform::Bytes data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  auto source = platform::ImageSource::create(data);
  if (!source) return nullptr;
  return animatedImage(*source);
}

}  // namespace ostrel::face_action
