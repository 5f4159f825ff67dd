#include "results/ConfirmViewController.hpp"

#include <array>
#include <vector>

#include "core/Helpers.hpp"
#include "core/Localization.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/ui/Text.hpp"
#include "platform/ui/Window.hpp"
#include "core/CurrentConfig.hpp"
#include "ui/ImageExtensions.hpp"
#include "ui/OstrelBaseViews.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

constexpr const char* kTimeZone = "Asia/Ho_Chi_Minh";
constexpr const char* kDoneFormat = "dd/MM/yyyy";
// A date the user leaves in a field must read back the same in one of these.
constexpr std::array<const char*, 2> kEnteredDateFormats{"dd-MM-yyyy", "dd/MM/yyyy"};

// The picker locale for the appearance's language; empty leaves the device's.
std::string pickerLocale(const std::string& language) {
  const std::string code = lowercased(language);
  struct Mapping {
    const char* language;
    const char* locale;
  };
  for (const Mapping& m : {Mapping{"vi", "vi_VN"}, Mapping{"en", "en_US"}, Mapping{"ko", "ko_KR"},
                           Mapping{"km", "km_KH"}, Mapping{"ja", "ja_JP"}}) {
    std::string region = lowercased(std::string(m.locale).substr(3));
    std::string base = m.language;
    if (code == base || code == base + "_" + region || code == base + "-" + region) {
      return m.locale;
    }
  }
  return "";
}

bool isEnteredDate(const std::string& text) {
  for (const char* format : kEnteredDateFormats) {
    auto date = Helpers::dateFromString(text, format);
    if (date && Helpers::stringFromDate(*date, format) == text) return true;
  }
  return false;
}

}  // namespace

void ConfirmViewController::setGender(int value) {
  auto appearance = currentAppearance();
  auto checked = Image::named("checked", *resourceBundle());
  if (checked) checked = tinted(checked, colorFromHex(appearance->mainColor));
  auto unchecked = Image::named("uncheck", *resourceBundle());
  gender = value;
  if (maleImageView) maleImageView->setImage(value == 1 ? checked : unchecked);
  if (femaleImageView) femaleImageView->setImage(value == 2 ? checked : unchecked);
}

void ConfirmViewController::setupDatePicker(int tag) {
  const std::string locale = pickerLocale(currentAppearance()->language);
  for (const auto& picker : {datePickerDOB, datePickerDOI, datePickerDOE}) {
    picker->timeZoneIdentifier = kTimeZone;
    picker->localeIdentifier = locale;
    picker->preferredDatePickerStyle = DatePicker::Style::wheels;
    picker->datePickerMode = DatePicker::Mode::date;
  }
  auto toolbar = make<Toolbar>(Rect{0, 0, Screen::main().bounds().width(), 0});
  toolbar->sizeToFit();
  auto done = std::make_shared<BarButtonItem>(BarButtonItem::SystemItem::done);
  done->tag = tag;
  std::weak_ptr<ConfirmViewController> weakSelf = weak<ConfirmViewController>();
  done->setAction(weakSelf, [weakSelf](BarButtonItem& item) {
    if (auto self = weakSelf.lock()) self->donePressed(item);
  });
  toolbar->setItems({done}, true);
  std::shared_ptr<OstrelTextField> field;
  std::shared_ptr<DatePicker> picker;
  switch (tag) {
    case kDoneBirthdayTag:
      field = dateOfBirthTextField, picker = datePickerDOB;
      break;
    case kDoneIssueDateTag:
      field = dateIssueTextField, picker = datePickerDOI;
      break;
    case kDoneExpiryDateTag:
      field = tfExpiryDate, picker = datePickerDOE;
      break;
    default:
      return;
  }
  if (!field) return;
  field->inputAccessoryView = toolbar;
  field->inputView = picker;
}

void ConfirmViewController::handleDatePickerDone(BarButtonItem& sender) {
  auto write = [](const std::shared_ptr<OstrelTextField>& field,
                  const std::shared_ptr<DatePicker>& picker) {
    if (field && picker) field->setText(Helpers::stringFromDate(Date{picker->date}, kDoneFormat));
  };
  switch (sender.tag) {
    case kDoneExpiryDateTag:
      write(tfExpiryDate, datePickerDOE);
      break;
    case kDoneIssueDateTag:
      write(dateIssueTextField, datePickerDOI);
      break;
    case kDoneBirthdayTag:
      write(dateOfBirthTextField, datePickerDOB);
      break;
    default:
      break;
  }
  view()->endEditing(true);
}

void ConfirmViewController::dismissKeyboard() {
  view()->endEditing(true);
}

bool ConfirmViewController::textFieldShouldReturn(TextField& field) {
  (void)field;
  view()->endEditing(true);
  return false;
}

bool ConfirmViewController::textFieldShouldChangeCharacters(TextField& field, TextRange range,
                                                           const std::string& replacement) {
  return allowsEdit(field, range, replacement);
}

void ConfirmViewController::textFieldDidEndEditing(TextField& field) {
  validateField(field);
}

bool ConfirmViewController::allowsEdit(TextField& field, TextRange range,
                                       const std::string& replacement) {
  // An empty field is a text like any other: typing into it is what it is for.
  auto edited = replacingCharacters(field.text(), range, replacement);
  if (!edited) return false;
  if (&field != addressTextField.get() && &field != tfHomeTown.get()) return true;
  const std::size_t after = characterCount(*edited);
  // A text that came longer than the limit may still be shortened bit by bit.
  return after <= kMaxPlaceLength || after <= characterCount(field.text());
}

void ConfirmViewController::validateField(TextField& field) {
  const std::string& text = field.text();
  std::optional<std::string> problem;
  switch (field.tag()) {
    case kBirthdayTag:
    case kIssueDateTag:
    case kExpiryDateTag: {
      // Cards issued late in life do not expire: the expiry may be left empty.
      const bool optional = &field == tfExpiryDate.get() && text.empty();
      if (!optional && !isEnteredDate(text)) {
        problem = &field == dateOfBirthTextField.get() ? "confirm_invalid_dob"
                  : &field == dateIssueTextField.get() ? "confirm_invalid_doi"
                                                       : "confirm_invalid_doe";
      }
      break;
    }
    case kAddressTag:
    case kHomeTownTag:
      if (characterCount(text) > kMaxPlaceLength) {
        problem = &field == tfHomeTown.get() ? "confirm_invalid_hometown"
                                             : "confirm_invalid_address";
      }
      break;
    case kIdNumberTag: {
      const std::size_t length = characterCount(text);
      if (length != 9 && length != 12) problem = "confirm_invalid_id";
      break;
    }
    default:
      if (lblError) lblError->setText("");
      break;
  }
  if (problem) {
    invalidFields_[&field] = *problem;
    showError(osl_localize(*problem));
  } else {
    invalidFields_.erase(&field);
    // Another field still wrong keeps its message up, so the disabled button has a reason.
    if (auto other = firstInvalidMessage()) {
      showError(osl_localize(*other));
    } else {
      hideError();
    }
  }
  updateConfirmButton();
}

std::optional<std::string> ConfirmViewController::firstInvalidMessage() const {
  for (const auto& field : {nameTextField, dateOfBirthTextField, idNumberTextField,
                            dateIssueTextField, tfExpiryDate, addressTextField, tfHomeTown}) {
    if (!field) continue;
    auto it = invalidFields_.find(field.get());
    if (it != invalidFields_.end()) return it->second;
  }
  return std::nullopt;
}

void ConfirmViewController::showError(const std::string& message) {
  if (lblError) lblError->setText(message);
  if (auto container = errorContainer()) container->setHidden(false);
}

void ConfirmViewController::hideError() {
  if (auto container = errorContainer()) container->setHidden(true);
}

void ConfirmViewController::updateConfirmButton() {
  if (!confirmButton) return;
  confirmButton->setEnabled(errorContainer() != nullptr && invalidFields_.empty());
}

}  // namespace ostrel
