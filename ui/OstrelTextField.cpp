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
  font = Font::systemFont(14, FontWeight::bold);
  textColor = Color::black();
  autocorrectionType = TextAutocorrectionType::no;
}

}  // namespace ostrel
