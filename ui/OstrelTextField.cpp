#include "ui/OstrelTextField.hpp"

#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

void OstrelTextField::awakeFromNib() {
  TextField::awakeFromNib();
  setupTextField();
}

void OstrelTextField::setupTextField() {
  setCornerRadius(*this, 5);
  setBorderWidth(*this, 1);
  setBorderColors(*this, colorFromHex("696969"));
  setBackgroundColor(colorFromHex("ECECEC"));
  // The rounded style's text inset keeps the text off the box's edge; its own hairline lies
  // under the layer's border.
  borderStyle = TextBorderStyle::roundedRect;
  font = Font::systemFont(14, FontWeight::bold);
  textColor = Color::black();
  autocorrectionType = TextAutocorrectionType::no;
}

}  // namespace ostrel
