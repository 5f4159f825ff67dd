#include "platform/ui/Label.hpp"

namespace ostrel::platform {

Label::Label(Rect frame) : View(frame) {
  setUserInteractionEnabled(false);
}

void Label::setText(std::optional<std::string> text) {
  text_ = std::move(text);
  attributedText_.reset();
  invalidateIntrinsicContentSize();
  setNeedsLayout();
}

void Label::setAttributedText(std::optional<AttributedString> text) {
  attributedText_ = std::move(text);
  if (attributedText_) {
    text_ = attributedText_->string;
    if (attributedText_->font) font_ = *attributedText_->font;
    if (attributedText_->foregroundColor) textColor_ = *attributedText_->foregroundColor;
  } else {
    text_.reset();
  }
  invalidateIntrinsicContentSize();
}

void Label::setFont(Font font) {
  font_ = font;
  invalidateIntrinsicContentSize();
}

void Label::setNumberOfLines(int lines) {
  lines_ = lines;
  invalidateIntrinsicContentSize();
}

Size Label::intrinsicContentSize() const {
  if (!text_ || text_->empty()) return {0, 0};
  double maxWidth =
      lines_ == 1 ? 0 : (preferredMaxLayoutWidth > 0 ? preferredMaxLayoutWidth : bounds().width());
  return TextMeasurer::shared().boundingSize(*text_, font_, {maxWidth, 0}, lines_);
}

}  // namespace ostrel::platform
