#pragma once

#include <optional>
#include <string>

#include "platform/ui/Text.hpp"
#include "platform/ui/View.hpp"

namespace ostrel::platform {

// A text view. Its intrinsic size comes from the text-measurement service; `drawText`
// is the drawing hook subclasses adjust (the last rectangle drawn is kept for tests).
class Label : public View {
 public:
  explicit Label(Rect frame = {});

  const std::optional<std::string>& text() const { return text_; }
  virtual void setText(std::optional<std::string> text);
  const std::optional<AttributedString>& attributedText() const { return attributedText_; }
  void setAttributedText(std::optional<AttributedString> text);
  const Font& font() const { return font_; }
  void setFont(Font font);
  Color textColor() const { return textColor_; }
  void setTextColor(std::optional<Color> color) {
    textColor_ = color.value_or(Color::label(traitStyle()));
  }
  TextAlignment textAlignment = TextAlignment::natural;
  int numberOfLines() const { return lines_; }
  void setNumberOfLines(int lines);
  BaselineAdjustment baselineAdjustment = BaselineAdjustment::alignBaselines;
  LineBreakMode lineBreakMode = LineBreakMode::byTruncatingTail;
  bool adjustsFontSizeToFitWidth = false;
  // The width a wrapping label's intrinsic size wraps at; 0 wraps at the bounds' width.
  double preferredMaxLayoutWidth = 0;

  virtual void drawText(Rect rect) { lastDrawnTextRect_ = rect; }
  // Where the text goes inside `rect` when drawn; labels with padding narrow it.
  virtual Rect textRect(Rect rect) const { return rect; }
  void draw(Rect rect) override { drawText(rect); }
  const std::optional<Rect>& lastDrawnTextRect() const { return lastDrawnTextRect_; }

  Size intrinsicContentSize() const override;

 private:
  std::optional<std::string> text_;
  std::optional<AttributedString> attributedText_;
  Font font_ = Font::systemFont(17);
  Color textColor_ = Color::black();
  int lines_ = 1;
  std::optional<Rect> lastDrawnTextRect_;
};

}  // namespace ostrel::platform
