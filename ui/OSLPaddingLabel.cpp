#include "ui/OSLPaddingLabel.hpp"

namespace ostrel {

using namespace platform;

void OSLPaddingLabel::drawText(Rect rect) {
  Label::drawText(textRect(rect));
}

Rect OSLPaddingLabel::textRect(Rect rect) const {
  return hasText() ? rect.insetBy({topInset, leftInset, bottomInset, rightInset}) : rect;
}

Size OSLPaddingLabel::intrinsicContentSize() const {
  Size size = Label::intrinsicContentSize();
  if (!hasText()) return size;
  return {size.width + leftInset + rightInset, size.height + topInset + bottomInset};
}

}  // namespace ostrel
