#include "platform/ui/PointerInput.hpp"

#include <cmath>

#include "platform/runtime/Runtime.hpp"

namespace ostrel::platform {
namespace {

template <class Recognizer>
std::vector<std::shared_ptr<Recognizer>> recognizersFor(const std::shared_ptr<View>& view) {
  std::vector<std::shared_ptr<Recognizer>> found;
  for (auto v = view; v; v = v->superview()) {
    for (const auto& r : v->gestureRecognizers()) {
      if (auto typed = std::dynamic_pointer_cast<Recognizer>(r); typed && r->isEnabled)
        found.push_back(typed);
    }
  }
  return found;
}

}  // namespace

void PointerInput::press(const std::shared_ptr<Window>& window, Point location) {
  if (view_) cancel();
  if (!window) return;
  auto hit = window->hitTest(location);
  if (!hit) return;
  window_ = window;
  view_ = hit;
  start_ = location;
  touch_ = Touch{hit, window, location, location};
  lastMoveTime_ = Runtime::current().uptime();
  auto keep = view_;
  keep->touchesBegan(touch_);
}

void PointerInput::move(Point location) {
  if (!view_) return;
  auto keep = view_;
  double now = Runtime::current().uptime();
  Point previous = touch_.locationInWindow;
  touch_.previousLocationInWindow = previous;
  touch_.locationInWindow = location;
  if (!travelled_ && std::hypot(location.x - start_.x, location.y - start_.y) > kTapSlop) {
    travelled_ = true;
    for (const auto& pan : recognizersFor<PanGestureRecognizer>(view_)) {
      pan->setTranslation({0, 0}, nullptr);
      pan->setVelocity({0, 0});
      if (pan->drive(GestureState::began, start_)) {
        pan_ = pan;
        if (pan->cancelsTouchesInView) cancelTouch();
        break;
      }
    }
  }
  if (pan_) {
    double dt = now - lastMoveTime_;
    if (dt > 0) pan_->setVelocity({(location.x - previous.x) / dt, (location.y - previous.y) / dt});
    pan_->setTranslation({location.x - start_.x, location.y - start_.y}, nullptr);
    pan_->drive(GestureState::changed, location);
  }
  lastMoveTime_ = now;
  if (!touchCancelled_) keep->touchesMoved(touch_);
}

void PointerInput::release(Point location, int clicks) {
  if (!view_) return;
  auto keep = view_;
  if (location.x != touch_.locationInWindow.x || location.y != touch_.locationInWindow.y)
    move(location);
  if (pan_) {
    pan_->drive(GestureState::ended, location);
  } else if (!travelled_) {
    touch_.tapCount = clicks;
    for (const auto& tap : recognizersFor<TapGestureRecognizer>(view_)) {
      if (tap->numberOfTapsRequired > clicks) continue;
      if (tap->drive(GestureState::ended, location) && tap->cancelsTouchesInView) cancelTouch();
    }
  }
  if (!touchCancelled_) keep->touchesEnded(touch_);
  reset();
}

void PointerInput::cancel() {
  if (!view_) return;
  auto keep = view_;
  if (pan_) pan_->drive(GestureState::cancelled, touch_.locationInWindow);
  cancelTouch();
  reset();
}

void PointerInput::cancelTouch() {
  if (touchCancelled_ || !view_) return;
  touchCancelled_ = true;
  auto keep = view_;
  keep->touchesCancelled(touch_);
}

void PointerInput::reset() {
  view_.reset();
  window_.reset();
  pan_.reset();
  travelled_ = false;
  touchCancelled_ = false;
}

}  // namespace ostrel::platform
