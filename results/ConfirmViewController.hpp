#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/OstrelError.hpp"
#include "platform/foundation/JSON.hpp"
#include "platform/ui/Bars.hpp"
#include "platform/ui/Button.hpp"
#include "platform/ui/GestureRecognizer.hpp"
#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/LayoutConstraint.hpp"
#include "platform/ui/ScrollView.hpp"
#include "platform/ui/TextField.hpp"
#include "ui/BaseViewController.hpp"
#include "ui/OstrelButton.hpp"
#include "ui/OstrelTextField.hpp"

namespace ostrel {

// The last step of the ID-card flows: the server's reading of the card ("/api/kyc/get-result")
// fills editable fields, the user corrects them, and "/api/kyc/confirm" turns them into the
// session's result, which goes to the result screen or straight to the host. The screen ends
// the flow itself and never calls `onNext`. Made from the nib "ConfirmViewController"; the nib
// tags the fields: ID number 0, dates 2 (birth), 5 (issue), 6 (expiry), address 3, home town 4,
// name 1. Main queue only.
class ConfirmViewController : public BaseViewController, public platform::TextFieldDelegate {
 public:
  static constexpr int kIdNumberTag = 0;
  static constexpr int kNameTag = 1;
  static constexpr int kBirthdayTag = 2;
  static constexpr int kAddressTag = 3;
  static constexpr int kHomeTownTag = 4;
  static constexpr int kIssueDateTag = 5;
  static constexpr int kExpiryDateTag = 6;
  // The Done items of the three date pickers.
  static constexpr int kDoneBirthdayTag = 1;
  static constexpr int kDoneIssueDateTag = 2;
  static constexpr int kDoneExpiryDateTag = 3;
  // The address and the home town hold at most this many characters.
  static constexpr std::size_t kMaxPlaceLength = 100;

  // Outlets.
  std::shared_ptr<OstrelButton> confirmButton;
  std::shared_ptr<platform::View> mainView;
  std::shared_ptr<platform::Label> titleLabel;
  std::shared_ptr<platform::Label> noteLabel;
  std::shared_ptr<platform::Label> nameLabel;
  std::shared_ptr<OstrelTextField> nameTextField;
  std::shared_ptr<platform::Label> dateOfBirthLabel;
  std::shared_ptr<OstrelTextField> dateOfBirthTextField;
  std::shared_ptr<platform::Label> idNumberLabel;
  std::shared_ptr<OstrelTextField> idNumberTextField;
  std::shared_ptr<platform::Label> dateIssueLabel;
  std::shared_ptr<OstrelTextField> dateIssueTextField;
  std::shared_ptr<platform::Label> addressLabel;
  std::shared_ptr<OstrelTextField> addressTextField;
  std::shared_ptr<platform::Label> genderLabel;
  std::shared_ptr<platform::Label> maleLabel;
  std::shared_ptr<platform::ImageView> maleImageView;
  std::shared_ptr<platform::Label> femaleLabel;
  std::shared_ptr<platform::ImageView> femaleImageView;
  std::shared_ptr<platform::Label> lblHomeTown;
  std::shared_ptr<OstrelTextField> tfHomeTown;
  std::shared_ptr<platform::Label> lblExpiryDate;
  std::shared_ptr<OstrelTextField> tfExpiryDate;
  // Its superview is the error container.
  std::shared_ptr<platform::Label> lblError;
  std::shared_ptr<platform::LayoutConstraint> bottomConfirmCT;
  std::shared_ptr<platform::ScrollView> scrollView;

  std::shared_ptr<platform::DatePicker> datePickerDOB;
  std::shared_ptr<platform::DatePicker> datePickerDOI;
  std::shared_ptr<platform::DatePicker> datePickerDOE;
  // 0 nothing chosen, 1 male, 2 female.
  int gender = 0;
  // The reading's "features", sent back unchanged.
  std::string features;

  void didMake() override;
  void setupUI() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  // Asks in the exit alert, reporting the tap and the answer.
  void closeTapped() override;

  virtual void setGender(int value);
  virtual void setupDatePicker(int tag);
  // Checks the fields and sends them; ignored while a confirmation is on its way.
  virtual void confirmInformation();
  virtual void handleDatePickerDone(platform::BarButtonItem& sender);
  virtual void fillFieldsFromFrontResult();
  void donePressed(platform::BarButtonItem& sender) { handleDatePickerDone(sender); }
  void dismissKeyboard();

  // Whether the edit may happen: the range must fall on whole characters, and the address and
  // home town may not grow past `kMaxPlaceLength` characters (a longer text may still shrink).
  bool allowsEdit(platform::TextField& field, platform::TextRange range,
                  const std::string& replacement);
  // The end-of-editing check of one field; the button is enabled only while no checked field is
  // invalid.
  void validateField(platform::TextField& field);

  bool textFieldShouldReturn(platform::TextField& field) override;
  bool textFieldShouldChangeCharacters(platform::TextField& field, platform::TextRange range,
                                       const std::string& replacement) override;
  void textFieldDidEndEditing(platform::TextField& field) override;

  // Back to a fresh screen's state for another run: fields, gender and pickers emptied, no
  // field checked, no confirmation in flight (its late reply is ignored); the reading is
  // fetched again when the screen next appears.
  void resetForNewRun();

  bool isConfirmationInFlight() const { return confirming_; }
  // The error container (the superview of `lblError`).
  std::shared_ptr<platform::View> errorContainer() const;
  const std::shared_ptr<platform::TapGestureRecognizer>& dismissTap() const { return tap_; }

 private:
  void loadReading();
  void handleReading(const platform::JSON& data);
  void handleReadingFailure(const OstrelError& error);
  void handleConfirmSuccess(const platform::JSON& data);
  void handleConfirmFailure(const OstrelError& error);
  void showError(const std::string& message);
  void hideError();
  void updateConfirmButton();
  // The message key of an invalid field that was checked, first in screen order.
  std::optional<std::string> firstInvalidMessage() const;
  void makeDatePickers();

  std::shared_ptr<platform::TapGestureRecognizer> tap_;
  // The checked fields found invalid, with their message keys.
  std::map<const platform::TextField*, std::string> invalidFields_;
  // Bumped by every reset: replies to calls made before it are stale.
  std::uint64_t run_ = 0;
  bool confirming_ = false;
  bool readingPending_ = false;
};

}  // namespace ostrel
