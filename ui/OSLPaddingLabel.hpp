#pragma once

#include "platform/ui/Label.hpp"

namespace ostrel {

// A label with inner padding, applied to drawing and to the intrinsic size while it has text.
class OSLPaddingLabel : public platform::Label {
 public:
  using Label::Label;
  double topInset = 0;
  double bottomInset = 0;
  double leftInset = 0;
  double rightInset = 0;
  platform::EdgeInsets edgeInset;

  void drawText(platform::Rect rect) override;
  platform::Rect textRect(platform::Rect rect) const override;
  platform::Size intrinsicContentSize() const override;

 private:
  bool hasText() const { return text() && !text()->empty(); }
};

}  // namespace ostrel
