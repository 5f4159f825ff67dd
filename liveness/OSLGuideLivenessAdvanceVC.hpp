#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/OstrelError.hpp"
#include "platform/foundation/Bundle.hpp"
#include "platform/ui/Button.hpp"
#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "platform/vendor/LivenessVendor.hpp"
#include "ui/BaseViewController.hpp"
#include "ui/OstrelButton.hpp"

namespace ostrel {

// The semi-active liveness step: a guide page whose start button checks the camera permission,
// asks the verification server for a one-time token and hands the capture to the outside
// liveness vendor. It follows the vendor's statuses (progress, failures with a retry, errors),
// and after a vendor success has the server validate the token, fetches the selfie the server
// kept, stores it as the configuration's `faceData` and calls `onNext`. The third failure on
// one run ends the session. Loaded from the nib "OSLGuideLivenessAdvanceVC".
//
// One attempt runs at a time: from the start tap until its outcome has been handled, further
// taps are ignored, and statuses or answers that belong to an earlier attempt are dropped.
class OSLGuideLivenessAdvanceVC : public BaseViewController {
 public:
  // Outlets; the nib connects every one, with four checklist lines and three pictures.
  std::shared_ptr<platform::Label> titleLabel;
  std::shared_ptr<platform::Label> checkListTitleLabel;
  std::vector<std::shared_ptr<platform::Label>> checkListLabel;
  std::vector<std::shared_ptr<platform::ImageView>> checkmarkIcons;
  std::shared_ptr<OstrelButton> verifyButton;
  std::vector<std::shared_ptr<platform::Label>> rejectSubTitles;
  std::vector<std::shared_ptr<platform::ImageView>> rejectImages;
  std::shared_ptr<platform::Label> rejectTitleLabel;
  std::shared_ptr<platform::Button> closeButton;

  // Vendor failures in this run; the third ends the session.
  int countFailure = 0;

  void setupUI() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  // The navigation bar's close button asks the same as the page's own.
  void closeTapped() override;

  virtual void onTapClose();
  // Also what every retry button runs.
  virtual void onTapVerify();

  // Back to a fresh screen's state before the screen is used by a new run.
  void resetForNewRun();

  // Whether a start is under way (taps on start are ignored meanwhile).
  bool isAttemptInFlight() const { return attemptInFlight_; }

  // What a vendor failure reason shows: a picture of the resource bundle, a title and a message
  // (localisation keys). Unknown reasons get the general failure.
  struct FailureReason {
    const char* picture;
    const char* titleKey;
    const char* messageKey;
  };
  static FailureReason failureReason(int reasonIndex);
  // The localisation key of the message a vendor error shows.
  static const char* messageKey(const platform::LivenessVendorError& error);
  // The bundle whose string tables the vendor reads for `language`: "vi.lproj" for Vietnamese
  // (in any case), "en.lproj" for anything else, `resources` itself when the folder is missing.
  static std::shared_ptr<platform::Bundle> stringsBundle(
      const std::string& language, const std::shared_ptr<platform::Bundle>& resources);

 private:
  void setupPage();
  void startAttempt();
  void requestToken(std::uint64_t attempt);
  void launchVendor(std::uint64_t attempt, const std::string& token);
  void handleStatus(std::uint64_t attempt, const std::string& token,
                    const platform::LivenessVendor::Status& status);
  void handleFailure(const std::string& token, int reasonIndex);
  void handleSuccess(std::uint64_t attempt, const std::string& token);
  void handleImage(platform::ImagePtr image);
  void handleServerError(const OstrelError& error);
  void showRetryAlert(platform::ImagePtr icon, std::optional<std::string> title,
                      std::string message);
  void hideLoading();
  bool isCurrent(std::uint64_t attempt) const { return attempt == attempt_; }
  void endAttempt() { attemptInFlight_ = false; }

  // Moves on with every start and every new run; answers tagged with another value are stale.
  std::uint64_t attempt_ = 0;
  bool attemptInFlight_ = false;
  // Whether the current attempt's vendor session may still act (until its first outcome).
  bool vendorSessionOpen_ = false;
  // Whether the library's own indicator is up for this attempt (the vendor's progress always
  // shows it, the token request when the host has no show handler). The host's hide handler
  // cannot take it down, so the library does.
  bool showedBuiltInIndicator_ = false;
};

}  // namespace ostrel
