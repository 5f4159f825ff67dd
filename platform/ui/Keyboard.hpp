#pragma once

#include <memory>
#include <optional>

#include "platform/foundation/JSON.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/ui/View.hpp"
#include "platform/ui/Window.hpp"

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

// The on-screen keyboard as the screens see it: its host views in a window of their own in the
// scene, and the will/did show and hide notifications with its frames (screen coordinates).
// Whatever types (a desktop keyboard, a test) drives it; nothing here takes key presses.
class KeyboardHost {
 public:
  // Shows the keyboard at `endFrame` (or moves it there when shown).
  void show(const std::shared_ptr<WindowScene>& scene, Rect endFrame, double duration = 0.25);
  // Slides it below the screen and removes its window; nothing when it is not shown.
  void hide(double duration = 0.25);
  const std::optional<Rect>& frame() const { return frame_; }

 private:
  std::shared_ptr<Window> window_;
  std::weak_ptr<WindowScene> scene_;
  std::optional<Rect> frame_;
};

}  // namespace ostrel::platform
