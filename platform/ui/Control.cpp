#include "platform/ui/Control.hpp"

#include "platform/runtime/Application.hpp"

namespace ostrel::platform {

void Control::addTarget(std::weak_ptr<const void> target, Action action, unsigned events) {
  targets_.push_back({std::move(target), std::move(action), events});
}

void Control::removeTargets(const void* target) {
  std::erase_if(targets_, [target](const Target& t) {
    auto owner = t.owner.lock();
    return !owner || owner.get() == target;
  });
}

std::size_t Control::actionCount(unsigned event) const {
  std::size_t n = 0;
  for (const auto& t : targets_) {
    if ((t.events & event) && !t.owner.expired()) ++n;
  }
  return n;
}

void Control::sendActions(unsigned events) {
  auto self = shared<Control>();
  auto targets = targets_;
  for (auto& t : targets) {
    if ((t.events & events) && !t.owner.expired() && t.action) t.action(*this);
  }
  std::erase_if(targets_, [](const Target& t) { return t.owner.expired(); });
}

ControlState Control::state() const {
  if (!enabled_) return ControlState::disabled;
  if (highlighted_) return ControlState::highlighted;
  if (selected_) return ControlState::selected;
  return ControlState::normal;
}

std::shared_ptr<View> Control::hitTest(Point point) {
  if (!enabled_) {
    // A disabled control swallows nothing: touches pass to what lies beneath.
    return nullptr;
  }
  return View::hitTest(point);
}

void Control::touchesBegan(const Touch& touch) {
  auto self = shared<Control>();
  setHighlighted(true);
  tracking_ = beginTracking(touch);
  sendActions(ControlEvent::touchDown);
}

void Control::touchesMoved(const Touch& touch) {
  if (!tracking_) return;
  tracking_ = continueTracking(touch);
  setHighlighted(bounds().contains(touch.location(this)));
}

void Control::touchesEnded(const Touch& touch) {
  auto self = shared<Control>();
  bool wasTracking = tracking_;
  tracking_ = false;
  if (wasTracking) endTracking(touch);
  setHighlighted(false);
  sendActions(bounds().contains(touch.location(this)) ? ControlEvent::touchUpInside
                                                      : ControlEvent::touchUpOutside);
}

void Control::touchesCancelled(const Touch& touch) {
  (void)touch;
  auto self = shared<Control>();
  if (tracking_) cancelTracking();
  tracking_ = false;
  setHighlighted(false);
  sendActions(ControlEvent::touchCancel);
}

void ImpactFeedbackGenerator::impactOccurred() {
  static const char* names[] = {"impact.light", "impact.medium", "impact.heavy", "impact.soft",
                                "impact.rigid"};
  Application::shared().recordFeedback(names[static_cast<int>(style_)]);
}

}  // namespace ostrel::platform
