#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/media/Image.hpp"
#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/LayoutConstraint.hpp"
#include "platform/ui/ViewController.hpp"
#include "ui/OstrelButton.hpp"

namespace ostrel {

// The library's alert dialog: an icon, a title, a message and one or two themed buttons, in one
// of five fixed kinds. Shown as the child of an `OSLPopupHolderViewController`; a button
// dismisses the popup and its action runs only once the popup has gone. Loaded from the nib
// "OSLAlertVC".
class OSLAlertVC : public platform::ViewController {
 public:
  enum class TypeOfAlert : int {
    timeout = 0,
    networkError = 1,
    exitConfirmation = 2,
    generalError = 3,
    customConfirmation = 4,
  };
  // Nothing outside 0...4.
  static std::optional<TypeOfAlert> typeOfAlert(int rawValue);

  // Stores the arguments; the texts are applied when the view loads.
  static std::shared_ptr<OSLAlertVC> newVC(TypeOfAlert alertType,
                                           platform::ImagePtr titleIcon = nullptr,
                                           std::optional<std::string> title = std::nullopt,
                                           std::optional<std::string> message = std::nullopt,
                                           std::optional<std::string> titleCancel = std::nullopt,
                                           std::optional<std::string> titleConfirm = std::nullopt);

  static constexpr double kSmallIcon = 50;
  static constexpr double kLargeIcon = 100;

  // Outlets.
  std::shared_ptr<platform::ImageView> imgIcon;
  std::shared_ptr<platform::LayoutConstraint> widthHeightIconCT;
  std::shared_ptr<platform::Label> lblTitle;
  std::shared_ptr<platform::Label> lblMessage;
  std::shared_ptr<OstrelButton> btnCancel;
  std::shared_ptr<OstrelButton> btnConfirm;

  TypeOfAlert alert = TypeOfAlert::exitConfirmation;
  platform::ImagePtr titleIcon;
  std::optional<std::string> message;
  std::optional<std::string> titleAlert;
  std::optional<std::string> titleCancel;
  std::optional<std::string> titleConfirm;
  std::function<void()> onConfirmAction;
  std::function<void()> onCancelAction;

  void viewDidLoad() override;
  virtual void configureAlert();
  // One tap on either button ends the alert: later taps (while the popup goes away) do nothing.
  virtual void btnCancelClicked(platform::Control& sender);
  virtual void btnConfirmClicked(platform::Control& sender);

  bool isEnding() const { return ending_; }

 private:
  bool ending_ = false;
};

}  // namespace ostrel
