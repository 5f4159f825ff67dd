#include "results/ConfirmViewController.hpp"

#include <array>
#include <utility>
#include <vector>

#include "core/Helpers.hpp"
#include "session/HelpersAlerts.hpp"
#include "core/Localization.hpp"
#include "core/OSLTrackingEvent.hpp"
#include "session/Ostrel.hpp"
#include "core/TrackEvent.hpp"
#include "model/OSLBackResult.hpp"
#include "model/OSLConfirmResult.hpp"
#include "model/OSLFrontResult.hpp"
#include "model/OSLNfcModel.hpp"
#include "model/OstrelResult.hpp"
#include "network/OstrelClient.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/runtime/NotificationCenter.hpp"
#include "platform/ui/Keyboard.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/Text.hpp"
#include "platform/ui/Window.hpp"
#include "core/CurrentConfig.hpp"
#include "ui/ImageExtensions.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OstrelBaseViews.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/TPKeyboardAvoidingState.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

constexpr const char* kTimeZone = "Asia/Ho_Chi_Minh";
constexpr const char* kDoneFormat = "dd/MM/yyyy";
// The formats a server reading's date may come in, tried in this order.
constexpr std::array<const char*, 8> kReadingDateFormats{
    "dd/MM/yyyy", "MM/dd/yyyy", "yyyy/MM/dd", "MM-dd-yyyy",
    "yyyy-MM-dd", "dd-MM-yyyy", "yyyy.MM.dd", "MM.dd.yyyy"};
// A date the user leaves in a field must read back the same in one of these.
constexpr std::array<const char*, 2> kEnteredDateFormats{"dd-MM-yyyy", "dd/MM/yyyy"};

// The review form: title and note, seven labelled fields, the gender choice between the birth
// date and the ID number, the error line and the confirm button, in a scroll view.
const LibraryNibRegistration confirmNib{
    "ConfirmViewController", [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
      Rect screen = Screen::main().bounds();
      double w = screen.width();
      double fieldWidth = w - 40;
      auto root = nib.makeView<View>(screen);
      auto scroll = nib.makeView<ScrollView>(Rect{0, 0, w, screen.height() - 96});
      auto main = nib.makeView<View>(Rect{0, 0, w, 1000});
      root->addSubview(scroll);
      scroll->addSubview(main);

      auto label = [&](double y, double x = 20, double width = 0) {
        auto l = nib.makeView<Label>(Rect{x, y, width > 0 ? width : fieldWidth, 20});
        l->setFont(Font::systemFont(14, FontWeight::semibold));
        main->addSubview(l);
        return l;
      };
      auto field = [&](double y, int tag) {
        auto f = nib.makeView<OstrelTextField>(Rect{20, y, fieldWidth, 40});
        f->setTag(tag);
        main->addSubview(f);
        return f;
      };
      auto title = label(20);
      title->setFont(Font::systemFont(20, FontWeight::bold));
      // The note has room for two lines in either language.
      auto note = label(50);
      note->setFont(Font::systemFont(14));
      note->setNumberOfLines(0);
      note->setFrame({20, 50, fieldWidth, 40});

      // Each entry is a label over its field; rows are 74 points apart.
      double y = 104;
      auto entry = [&](int tag) {
        auto pair = std::make_pair(label(y), field(y + 24, tag));
        y += 74;
        return pair;
      };
      auto [nameLabel, name] = entry(ConfirmViewController::kNameTag);
      auto [birthLabel, birth] = entry(ConfirmViewController::kBirthdayTag);
      auto genderLabel = label(y);
      auto maleImage = nib.makeView<ImageView>(Rect{20, y + 30, 24, 24});
      auto maleLabel = label(y + 32, 52, 100);
      auto femaleImage = nib.makeView<ImageView>(Rect{170, y + 30, 24, 24});
      auto femaleLabel = label(y + 32, 202, 100);
      main->addSubview(maleImage);
      main->addSubview(femaleImage);
      // Invisible buttons over each choice, so the picture and its word both choose it.
      auto maleButton = nib.makeView<Button>(Rect{20, y + 26, 140, 32});
      auto femaleButton = nib.makeView<Button>(Rect{170, y + 26, 140, 32});
      main->addSubview(maleButton);
      main->addSubview(femaleButton);
      y += 74;
      auto [idLabel, id] = entry(ConfirmViewController::kIdNumberTag);
      auto [issueLabel, issue] = entry(ConfirmViewController::kIssueDateTag);
      auto [expiryLabel, expiry] = entry(ConfirmViewController::kExpiryDateTag);
      auto [addressLabel, address] = entry(ConfirmViewController::kAddressTag);
      auto [homeLabel, home] = entry(ConfirmViewController::kHomeTownTag);
      auto errorView = nib.makeView<View>(Rect{20, y, fieldWidth, 40});
      errorView->setHidden(true);
      errorView->setBackgroundColor(colorFromHex("FDECEC"));
      auto error = nib.makeView<Label>(Rect{8, 8, fieldWidth - 16, 24});
      error->setTextColor(colorFromHex("EC2A2A"));
      error->setNumberOfLines(0);
      errorView->addSubview(error);
      main->addSubview(errorView);
      main->setFrame(Rect{0, 0, w, y + 60});
      scroll->setContentSize({w, y + 60});

      auto button = nib.makeView<OstrelButton>(Rect{20, screen.height() - 76, fieldWidth, 48});
      root->addSubview(button);
      auto bottom = button->bottomAnchor().constraintEqualTo(root->bottomAnchor(), -28);
      LayoutConstraint::activate({bottom});

      if (auto owner = nib.owner<ConfirmViewController>()) {
        owner->confirmButton = button;
        owner->mainView = main;
        owner->titleLabel = title;
        owner->noteLabel = note;
        owner->nameLabel = nameLabel;
        owner->nameTextField = name;
        owner->dateOfBirthLabel = birthLabel;
        owner->dateOfBirthTextField = birth;
        owner->idNumberLabel = idLabel;
        owner->idNumberTextField = id;
        owner->dateIssueLabel = issueLabel;
        owner->dateIssueTextField = issue;
        owner->addressLabel = addressLabel;
        owner->addressTextField = address;
        owner->genderLabel = genderLabel;
        owner->maleLabel = maleLabel;
        owner->maleImageView = maleImage;
        owner->femaleLabel = femaleLabel;
        owner->femaleImageView = femaleImage;
        owner->lblHomeTown = homeLabel;
        owner->tfHomeTown = home;
        owner->lblExpiryDate = expiryLabel;
        owner->tfExpiryDate = expiry;
        owner->lblError = error;
        owner->bottomConfirmCT = bottom;
        owner->scrollView = scroll;
        button->addTarget<ConfirmViewController>(
            owner, [](ConfirmViewController& screen, Control&) { screen.confirmInformation(); },
            ControlEvent::touchUpInside);
        maleButton->addTarget<ConfirmViewController>(
            owner, [](ConfirmViewController& screen, Control&) { screen.setGender(1); },
            ControlEvent::touchUpInside);
        femaleButton->addTarget<ConfirmViewController>(
            owner, [](ConfirmViewController& screen, Control&) { screen.setGender(2); },
            ControlEvent::touchUpInside);
      }
      return {root};
    }};

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

std::optional<Date> readingDate(const std::string& text) {
  for (const char* format : kReadingDateFormats) {
    if (auto date = Helpers::dateFromString(text, format)) return date;
  }
  return std::nullopt;
}

bool isEnteredDate(const std::string& text) {
  for (const char* format : kEnteredDateFormats) {
    auto date = Helpers::dateFromString(text, format);
    if (date && Helpers::stringFromDate(*date, format) == text) return true;
  }
  return false;
}

void hideLoadingLater() {
  DispatchQueue::main()->async([] { Ostrel::shared()->hideLoading(); });
}

// What both server calls do with a failure: hide the indicator, then the time-out alert for an
// expired session, else the host's error-alert handler (only while the screen is there: it is
// given the screen) or, without one, the library's alert. `retryHint` adds the retry text to
// the service's code 12 and shows it as a general error.
void reportFailure(const OstrelError& error, const std::shared_ptr<ViewController>& screen,
                   bool retryHint) {
  Ostrel::shared()->hideLoading();
  if (error.code == 401) {
    Helpers::showTimeoutAlert(nullptr);
    return;
  }
  const bool retry = retryHint && error.code == 12;
  const std::string message =
      retry ? error.message + ", " + osl_localize("osl_confirm_please_retry") : error.message;
  if (auto handler = currentConfig()->showErrorAlertHandler) {
    if (screen) handler(message, error.code, screen);
    return;
  }
  const auto kind = retry ? OSLAlertVC::TypeOfAlert::generalError
                          : OSLAlertVC::TypeOfAlert::networkError;
  Helpers::showAlert(static_cast<int>(kind), retry ? 0 : -1, nullptr, std::nullopt, message,
                     std::nullopt, std::nullopt, {}, {}, nullptr);
}

}  // namespace

void ConfirmViewController::didMake() {
  BaseViewController::didMake();
  makeDatePickers();
}

void ConfirmViewController::makeDatePickers() {
  datePickerDOB = make<DatePicker>();
  datePickerDOI = make<DatePicker>();
  datePickerDOE = make<DatePicker>();
}

std::shared_ptr<View> ConfirmViewController::errorContainer() const {
  return lblError ? lblError->superview() : nullptr;
}

void ConfirmViewController::setupUI() {
  BaseViewController::setupUI();
  tap_ = make<TapGestureRecognizer>();
  // A tap anywhere ends the editing, and a tap on a button still presses it.
  tap_->cancelsTouchesInView = false;
  tap_->addTarget<ConfirmViewController>(
      shared<ConfirmViewController>(),
      [](ConfirmViewController& screen, GestureRecognizer&) { screen.dismissKeyboard(); });
  view()->addGestureRecognizer(tap_);
  auto appearance = currentAppearance();
  if (mainView) mainView->setBackgroundColor(colorFromHex(appearance->backgroundColor));

  const std::pair<std::shared_ptr<Label>, const char*> texts[] = {
      {titleLabel, "confirm_title"},       {noteLabel, "confirm_note"},
      {nameLabel, "results_info_name"},    {idNumberLabel, "results_info_id"},
      {dateOfBirthLabel, "results_info_dob"}, {dateIssueLabel, "results_info_doi"},
      {addressLabel, "results_info_res"},  {lblHomeTown, "results_info_home"},
      {lblExpiryDate, "results_info_doe"}, {genderLabel, "results_info_gender"},
      {maleLabel, "confirm_gender_m"},     {femaleLabel, "confirm_gender_f"}};
  Color textColor = colorFromHex(appearance->mainTextColor);
  for (const auto& [label, key] : texts) {
    if (!label) continue;
    label->setText(osl_localize(key));
    label->setTextColor(textColor);
  }
  if (confirmButton) confirmButton->setTitle(osl_localize("button_confirm"), ControlState::normal);
  std::shared_ptr<TextFieldDelegate> delegate = shared<ConfirmViewController>();
  for (const auto& field : {nameTextField, dateOfBirthTextField, idNumberTextField,
                            dateIssueTextField, addressTextField, tfHomeTown, tfExpiryDate}) {
    if (field) field->delegate = delegate;
  }
  if (lblError) lblError->setFont(Font::systemFont(14, FontWeight::semibold));
  if (scrollView) scrollView->keyboardDismissMode = KeyboardDismissMode::onDrag;
  setupDatePicker(kDoneBirthdayTag);
  setupDatePicker(kDoneIssueDateTag);
  setupDatePicker(kDoneExpiryDateTag);
  loadReading();
}

void ConfirmViewController::loadReading() {
  readingPending_ = false;
  std::weak_ptr<ConfirmViewController> weakSelf = weak<ConfirmViewController>();
  DispatchQueue::main()->async([weakSelf] {
    auto self = weakSelf.lock();
    if (!self) return;
    for (const auto& field :
         {self->nameTextField, self->idNumberTextField, self->dateOfBirthTextField,
          self->dateIssueTextField, self->addressTextField, self->tfHomeTown,
          self->tfExpiryDate}) {
      if (field) field->setText("");
    }
  });
  Helpers::showLoading(shared<ConfirmViewController>());
  const std::uint64_t run = run_;
  OstrelClient::getResult(OstrelClient::kGetResultPath, [weakSelf, run](Outcome<JSON> outcome) {
    auto self = weakSelf.lock();
    if (self && self->run_ != run) {
      // The screen was reset for another run: the old reply only balances its indicator.
      Ostrel::shared()->hideLoading();
      return;
    }
    if (!outcome) {
      reportFailure(outcome.error(), self, true);
      return;
    }
    hideLoadingLater();
    if (self) self->handleReading(outcome.value());
  });
}

void ConfirmViewController::handleReading(const JSON& data) {
  currentConfig()->frontResult =
      std::make_shared<OSLFrontResult>(data.is_object() ? data : JSON::object());
  fillFieldsFromFrontResult();
}

void ConfirmViewController::fillFieldsFromFrontResult() {
  std::weak_ptr<ConfirmViewController> weakSelf = weak<ConfirmViewController>();
  DispatchQueue::main()->async([weakSelf] {
    auto self = weakSelf.lock();
    if (!self) return;
    auto front = currentConfig()->frontResult;
    std::shared_ptr<Field> fields = front ? front->fields : nullptr;
    auto value = [&](std::optional<std::string> Field::*member) -> std::optional<std::string> {
      return fields ? fields.get()->*member : std::nullopt;
    };
    auto fill = [](const std::shared_ptr<OstrelTextField>& field, std::optional<std::string> v) {
      if (field) field->setText(std::move(v));
    };
    fill(self->nameTextField, value(&Field::name));
    fill(self->idNumberTextField, value(&Field::idNumber));
    fill(self->dateOfBirthTextField, value(&Field::birthday));
    fill(self->dateIssueTextField, value(&Field::doi));
    fill(self->tfHomeTown, value(&Field::home));
    fill(self->tfExpiryDate, value(&Field::doe));
    fill(self->addressTextField, value(&Field::resident));
    self->features = value(&Field::features).value_or("");
    // Compared in canonical form, so a decomposed "nữ" counts as well.
    const std::string g = precomposed(lowercased(value(&Field::gender).value_or("")));
    if (g == "nữ" || g == "female") self->setGender(2);
    if (g == "nam" || g == "male") self->setGender(1);
    const std::pair<std::shared_ptr<OstrelTextField>, std::shared_ptr<DatePicker>> dates[] = {
        {self->dateOfBirthTextField, self->datePickerDOB},
        {self->dateIssueTextField, self->datePickerDOI},
        {self->tfExpiryDate, self->datePickerDOE}};
    for (const auto& [field, picker] : dates) {
      if (!field || !picker || field->text().empty()) continue;
      if (auto date = readingDate(field->text())) picker->date = date->timeIntervalSince1970;
    }
  });
}

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

void ConfirmViewController::viewWillAppear(bool animated) {
  BaseViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(true, animated);
  auto& center = NotificationCenter::defaultCenter();
  std::weak_ptr<ConfirmViewController> weakSelf = weak<ConfirmViewController>();
  center.addObserver(shared<ConfirmViewController>(), KeyboardWillShowNotification,
                     [weakSelf](const Notification& note) {
                       auto self = weakSelf.lock();
                       if (self && self->scrollView)
                         TPKeyboardAvoiding_keyboardWillShow(*self->scrollView, note);
                     });
  center.addObserver(shared<ConfirmViewController>(), KeyboardWillHideNotification,
                     [weakSelf](const Notification& note) {
                       auto self = weakSelf.lock();
                       if (self && self->scrollView)
                         TPKeyboardAvoiding_keyboardWillHide(*self->scrollView, note);
                     });
  if (readingPending_) loadReading();
}

void ConfirmViewController::viewWillDisappear(bool animated) {
  BaseViewController::viewWillDisappear(animated);
  // The base has already taken the screen off the notification centre, keyboard included.
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(false, animated);
}

void ConfirmViewController::closeTapped() {
  const std::string screen = screen_names::kConfirmInformation;
  Helpers::showAlert(
      static_cast<int>(OSLAlertVC::TypeOfAlert::exitConfirmation), -1, nullptr, std::nullopt,
      std::nullopt, std::nullopt, std::nullopt,
      [screen] { trackEvent(OSLLogLevel::info, OSLTrackingEvent::EXIT_TAP_NO, screen); },
      [screen] {
        Ostrel::shared()->close(true, [screen] {
          trackEvent(OSLLogLevel::info, OSLTrackingEvent::EXIT_TAP_YES, screen);
        });
      },
      shared<ConfirmViewController>());
  trackEvent(OSLLogLevel::info, OSLTrackingEvent::TAP_EXIT, screen);
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

void ConfirmViewController::confirmInformation() {
  // A host loading handler need not block touches; one confirmation at a time.
  if (confirming_) return;
  const std::pair<bool, std::shared_ptr<Label>> required[] = {
      {nameTextField && !nameTextField->text().empty(), nameLabel},
      {gender != 0, genderLabel},
      {dateOfBirthTextField && !dateOfBirthTextField->text().empty(), dateOfBirthLabel},
      {idNumberTextField && !idNumberTextField->text().empty(), idNumberLabel},
      {dateIssueTextField && !dateIssueTextField->text().empty(), dateIssueLabel},
      {addressTextField && !addressTextField->text().empty(), addressLabel},
      {tfHomeTown && !tfHomeTown->text().empty(), lblHomeTown}};
  for (const auto& [present, label] : required) {
    if (present) continue;
    std::string name = label ? label->text().value_or("") : "";
    showError(osl_localize("confirm_warning") + " " + name);
    return;
  }
  if (auto invalid = firstInvalidMessage()) {
    showError(osl_localize(*invalid));
    updateConfirmButton();
    return;
  }
  Helpers::showLoading(shared<ConfirmViewController>());
  hideError();
  confirming_ = true;
  auto text = [](const std::shared_ptr<OstrelTextField>& field) {
    return field ? field->text() : std::string();
  };
  std::weak_ptr<ConfirmViewController> weakSelf = weak<ConfirmViewController>();
  const std::uint64_t run = run_;
  // Both handlers leave a screen that is gone or was reset alone, past the indicator.
  auto current = [weakSelf, run]() -> std::shared_ptr<ConfirmViewController> {
    auto self = weakSelf.lock();
    return self && self->run_ == run ? self : nullptr;
  };
  OstrelClient::confirm(
      OstrelClient::kConfirmPath, currentConfig()->getFullResult, text(dateOfBirthTextField),
      gender == 1 ? "Nam" : "Nữ", text(idNumberTextField), text(nameTextField),
      text(dateIssueTextField), text(addressTextField), text(tfExpiryDate), text(tfHomeTown),
      features,
      [current](const JSON& data) {
        hideLoadingLater();
        if (auto self = current()) self->handleConfirmSuccess(data);
      },
      [current, weakSelf](const OstrelError& error) {
        auto self = current();
        if (!self && weakSelf.lock()) {
          Ostrel::shared()->hideLoading();
          return;
        }
        if (self) self->confirming_ = false;
        reportFailure(error, self, false);
      });
}

void ConfirmViewController::handleConfirmSuccess(const JSON& data) {
  confirming_ = false;
  const JSON reply = data.is_object() ? data : JSON::object();
  auto config = currentConfig();
  auto confirmation = std::make_shared<OSLConfirmResult>(reply);
  std::shared_ptr<OSLNfcModel> chip;
  if (auto it = reply.find("nfc_data"); it != reply.end() && it->is_object()) {
    chip = OSLNfcModel::decode(*it);
  }
  auto front = config->frontResult ? config->frontResult
                                   : std::make_shared<OSLFrontResult>(JSON::object());
  auto back =
      config->backResult ? config->backResult : std::make_shared<OSLBackResult>(JSON::object());
  auto result = std::make_shared<OstrelResult>(JSON::object(), front, back, confirmation);
  result->nfcModel = chip;
  result->qrCodeModel = config->qrCodeResult;
  result->rawJson = reply;
  if (config->showResultScreen) {
    Ostrel::shared()->showEKYCResultScreen(result);
    return;
  }
  // The close replaces the configuration once it is done, so the handler is taken now.
  auto handler = config->resultHandler;
  Ostrel::shared()->close(false, [handler, result] {
    if (handler) handler(result);
  });
}

void ConfirmViewController::resetForNewRun() {
  ++run_;
  confirming_ = false;
  features.clear();
  gender = 0;
  if (isViewLoaded()) {
    // Ending the editing runs its field check, which must not survive the reset.
    view()->endEditing(true);
    for (const auto& field : {nameTextField, dateOfBirthTextField, idNumberTextField,
                              dateIssueTextField, addressTextField, tfHomeTown, tfExpiryDate}) {
      if (field) field->setText("");
    }
    if (maleImageView) maleImageView->setImage(nullptr);
    if (femaleImageView) femaleImageView->setImage(nullptr);
    if (lblError) lblError->setText("");
    hideError();
    if (confirmButton) confirmButton->setEnabled(true);
    readingPending_ = true;
  }
  invalidFields_.clear();
  makeDatePickers();
  if (isViewLoaded()) {
    setupDatePicker(kDoneBirthdayTag);
    setupDatePicker(kDoneIssueDateTag);
    setupDatePicker(kDoneExpiryDateTag);
  }
}

}  // namespace ostrel
