#include "ui/OstrelButton.hpp"

#include "core/CurrentConfig.hpp"
#include "platform/ui/Animation.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

OstrelButton::OstrelButton(Rect frame)
    : Button(frame),
      _mainColor(colorFromHex(currentAppearance()->mainColor)),
      _textBtnColor(colorFromHex(currentAppearance()->btnTextColor)),
      _bgconfirmButtonColor(colorFromHex(kNormalStyleFill)) {}

void OstrelButton::didMake() {
  Button::didMake();
  applyStyle(isConfirmButton_);
}

void OstrelButton::awakeFromNib() {
  Button::awakeFromNib();
  applyStyle(isConfirmButton_);
}

void OstrelButton::setIsConfirmButton(bool isConfirm) {
  isConfirmButton_ = isConfirm;
  applyStyle(isConfirm);
}

void OstrelButton::applyStyle(bool isConfirm) {
  setCornerRadius(*this, currentAppearance()->cornerRadiusButton);
  setBorderWidth(*this, isConfirm ? 0 : 1);
  setBorderColors(*this, isConfirm ? Color::clear() : _mainColor);
  _normalBgColor = isConfirm ? _mainColor : _bgconfirmButtonColor;
  setBackgroundColor(_normalBgColor);
  _highlightedBgColor = _normalBgColor->withAlphaComponent(0.7);
  titleLabel()->setFont(Font::systemFont(17, FontWeight::bold));
  titleLabel()->setTextColor(isConfirm ? _textBtnColor : _mainColor);
  setTintColor(isConfirm ? _bgconfirmButtonColor : _mainColor);
  setTitleColor(isConfirm ? _textBtnColor : _mainColor, ControlState::normal);
  // A disabled button keeps its disabled look whatever style it is given.
  if (!isEnabled()) applyEnabledLook();
}

void OstrelButton::setHighlighted(bool highlighted) {
  Button::setHighlighted(highlighted);
  setBackgroundColor(highlighted ? _highlightedBgColor : _normalBgColor);
}

void OstrelButton::setEnabled(bool enabled) {
  Button::setEnabled(enabled);
  applyEnabledLook();
}

void OstrelButton::applyEnabledLook() {
  if (isEnabled()) {
    setBackgroundColor(isConfirmButton_ ? _mainColor : _bgconfirmButtonColor);
    setTitleColor(isConfirmButton_ ? _textBtnColor : _mainColor, ControlState::normal);
  } else {
    setBackgroundColor(colorFromHex(kDisabledFill));
    setTitleColor(colorFromHex(kDisabledTitle), ControlState::normal);
  }
}

void OstrelButton::touchesBegan(const Touch& touch) {
  Button::touchesBegan(touch);
  animatePress(true);
}

void OstrelButton::touchesEnded(const Touch& touch) {
  Button::touchesEnded(touch);
  animatePress(false);
}

void OstrelButton::touchesCancelled(const Touch& touch) {
  Button::touchesCancelled(touch);
  animatePress(false);
}

void OstrelButton::animatePress(bool pressed) {
  if (!currentAppearance()->isAnimatedButton) return;
  std::weak_ptr<OstrelButton> weakSelf = weak<OstrelButton>();
  View::animate(0.2, [weakSelf, pressed] {
    if (auto self = weakSelf.lock()) {
      self->setTransform(pressed ? AffineTransform::scale(0.94, 0.9) : AffineTransform::identity());
    }
  });
}

}  // namespace ostrel
