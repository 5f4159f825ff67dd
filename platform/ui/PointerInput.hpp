#pragma once

#include <memory>
#include <vector>

#include "platform/ui/GestureRecognizer.hpp"
#include "platform/ui/View.hpp"
#include "platform/ui/Window.hpp"

namespace ostrel::platform {

// A mouse (or any one-button pointer) turned into the touches of one finger. A press goes to
// the hit-tested view under it; the tap recognisers of that view and its ancestors fire on a
// release that did not travel, and cancel the view's touches when they say so; a press that
// travels past the slop begins the nearest pan recogniser instead, or else moves the touch
// (controls track it, so a switch can be dragged).
class PointerInput {
 public:
  // How far (points) a press may wander and still be a tap.
  static constexpr double kTapSlop = 10;

  // Locations are in `window`'s coordinates.
  void press(const std::shared_ptr<Window>& window, Point location);
  void move(Point location);
  // `clicks` is how many presses in quick succession this one ended (double taps).
  void release(Point location, int clicks = 1);
  // The pointer left for good (window closed, grab lost): the touch is cancelled.
  void cancel();
  bool isPressed() const { return static_cast<bool>(view_); }

 private:
  void cancelTouch();
  void reset();

  std::weak_ptr<Window> window_;
  std::shared_ptr<View> view_;
  Touch touch_;
  Point start_;
  bool travelled_ = false;
  bool touchCancelled_ = false;
  std::shared_ptr<PanGestureRecognizer> pan_;
  double lastMoveTime_ = 0;
};

}  // namespace ostrel::platform
