#include "ui/OstrelSwitch.hpp"

#include "core/CurrentConfig.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/ui/Animation.hpp"
#include "platform/ui/GestureRecognizer.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

OstrelSwitch::OstrelSwitch(Rect frame) : Control(frame) {}

void OstrelSwitch::didMake() {
  Control::didMake();
  setupView();
}

Color OstrelSwitch::thumbColor() const {
  return isOn ? appearanceMainColor() : Color::white();
}

void OstrelSwitch::setupView() {
  setBackgroundColor(Color::clear());
  if (switchView) switchView->removeFromSuperview();
  double h = bounds().height();
  switchView = make<View>(Rect{0, 0, h, h});
  // The thumb takes the touches' way through to the control.
  switchView->setUserInteractionEnabled(false);
  setCornerRadius(*switchView, h / 2);
  setBorderWidth(*switchView, 1);
  setBorderColors(*switchView, appearanceMainColor());
  switchView->setBackgroundColor(thumbColor());
  addSubview(switchView);
  auto tap = make<TapGestureRecognizer>();
  tap->addTarget<OstrelSwitch>(shared<OstrelSwitch>(),
                               [](OstrelSwitch& self, GestureRecognizer&) { self.switchTapped(); });
  addGestureRecognizer(tap);
}

void OstrelSwitch::layoutSubviews() {
  Control::layoutSubviews();
  if (!switchView) return;
  double h = bounds().height();
  switchView->setFrame({isOn ? bounds().width() - h : 0, 0, h, h});
}

void OstrelSwitch::switchTapped() {
  isOn = !isOn;
  animateChange();
  if (onValueChanged) onValueChanged(isOn);
}

void OstrelSwitch::animateChange() {
  auto self = shared<OstrelSwitch>();
  sendActions(ControlEvent::valueChanged);
  std::weak_ptr<OstrelSwitch> weakSelf = self;
  View::animate(0.3, [weakSelf] {
    auto s = weakSelf.lock();
    if (!s) return;
    if (s->switchView) s->switchView->setBackgroundColor(s->thumbColor());
    s->setNeedsLayout();
    s->layoutIfNeeded();
  });
  ImpactFeedbackGenerator(ImpactFeedbackGenerator::Style::heavy).impactOccurred();
}

bool OstrelSwitch::beginTracking(const Touch& touch) {
  Control::beginTracking(touch);
  return true;
}

bool OstrelSwitch::continueTracking(const Touch& touch) {
  Control::continueTracking(touch);
  double dx = touch.location(this).x - touch.previousLocation(this).x;
  if ((dx > 0 && !isOn) || (dx < 0 && isOn)) {
    isOn = dx > 0;
    animateChange();
    // A drag is a change of the user's as much as a tap: the screen's auto-capture events
    // hang on this callback.
    if (onValueChanged) onValueChanged(isOn);
    return true;
  }
  return false;
}

void OstrelSwitch::endTracking(const Touch& touch) {
  Control::endTracking(touch);
  sendActions(ControlEvent::valueChanged);
}

}  // namespace ostrel
