#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/media/Image.hpp"

namespace ostrel {

// A head movement the active liveness version asks for. The raw value is the case's name; it
// names the movement's animated picture in the resource bundle and goes into the attempt log.
enum class OSLFaceAction { turnUp, turnDown, turnLeft, turnRight, tiltLeft, tiltRight };

namespace face_action {

// The six movements in declaration order.
inline constexpr std::array<OSLFaceAction, 6> allCases{
    OSLFaceAction::turnUp,   OSLFaceAction::turnDown, OSLFaceAction::turnLeft,
    OSLFaceAction::turnRight, OSLFaceAction::tiltLeft, OSLFaceAction::tiltRight};

std::string rawValue(OSLFaceAction action);
// Exactly the six raw values, case-sensitive.
std::optional<OSLFaceAction> fromRawValue(std::string_view raw);
// The localisation key of the movement's instruction.
std::string messageKey(OSLFaceAction action);
// The localised instruction (empty when the language has no text for it).
std::string message(OSLFaceAction action);
// The movement's animated picture from the resource bundle; null when the file is missing or
// is no picture.
platform::ImagePtr picture(OSLFaceAction action);

}  // namespace face_action

}  // namespace ostrel
