#include "results/ConfirmViewController.hpp"

#include <utility>
#include <vector>

#include "core/Helpers.hpp"
#include "session/HelpersAlerts.hpp"
#include "core/Localization.hpp"
#include "core/OSLTrackingEvent.hpp"
#include "session/Ostrel.hpp"
#include "core/TrackEvent.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/runtime/NotificationCenter.hpp"
#include "platform/ui/Keyboard.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/Window.hpp"
#include "core/CurrentConfig.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OstrelBaseViews.hpp"
#include "ui/TPKeyboardAvoidingState.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

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
