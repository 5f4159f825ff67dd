#pragma once

#include <optional>

#include "platform/foundation/JSON.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/ui/View.hpp"

namespace ostrel::platform {

inline constexpr const char* KeyboardWillShowNotification = "UIKeyboardWillShowNotification";
inline constexpr const char* KeyboardDidShowNotification = "UIKeyboardDidShowNotification";
inline constexpr const char* KeyboardWillHideNotification = "UIKeyboardWillHideNotification";
inline constexpr const char* KeyboardDidHideNotification = "UIKeyboardDidHideNotification";
inline constexpr const char* DeviceOrientationDidChangeNotification =
    "UIDeviceOrientationDidChangeNotification";

// userInfo keys of the keyboard notifications: frames in screen coordinates as
// {"x", "y", "width", "height"}, the duration in seconds.
inline constexpr const char* KeyboardFrameBeginUserInfoKey = "UIKeyboardFrameBeginUserInfoKey";
inline constexpr const char* KeyboardFrameEndUserInfoKey = "UIKeyboardFrameEndUserInfoKey";
inline constexpr const char* KeyboardAnimationDurationUserInfoKey =
    "UIKeyboardAnimationDurationUserInfoKey";

JSON rectToJSON(const Rect& rect);
// Nothing when the value is missing or not a rectangle of four numbers.
std::optional<Rect> rectFromJSON(const JSON& value);
// A number under `key`; nothing when missing or not a number.
std::optional<double> numberFromJSON(const JSON& object, const char* key);

// The system's keyboard host views, found by type name ("UIInputSetContainerView" holding
// "UIInputSetHostView") the way the platform's own hierarchy is probed.
class UIInputSetContainerView : public View {
 public:
  using View::View;
};
class UIInputSetHostView : public View {
 public:
  using View::View;
};

}  // namespace ostrel::platform
