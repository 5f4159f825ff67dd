#include "ui/OSLPaddingLabel.hpp"

namespace ostrel {

using namespace platform;

void OSLPaddingLabel::drawText(Rect rect) {
  if (hasText()) rect = rect.insetBy({topInset, leftInset, bottomInset, rightInset});
  Label::drawText(rect);
}

Size OSLPaddingLabel::intrinsicContentSize() const {
  Size size = Label::intrinsicContentSize();
  if (!hasText()) return size;
  return {size.width + leftInset + rightInset, size.height + topInset + bottomInset};
}

}  // namespace ostrel
