#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "camera/CameraMaskView.hpp"
#include "capture/CameraView.hpp"
#include "core/OSLAtomicWithNSLock.hpp"
#include "core/OSLConfig.hpp"
#include "core/OSLTrackingEvent.hpp"
#include "platform/foundation/JSON.hpp"
#include "platform/foundation/PlatformError.hpp"
#include "platform/ui/Button.hpp"
#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/LayoutConstraint.hpp"
#include "ui/BaseViewController.hpp"
#include "ui/OstrelButton.hpp"
#include "ui/OstrelSwitch.hpp"
#include "ui/TutorialButtonView.hpp"

namespace ostrel {

// The flow step that photographs one side of an ID card, or a passport's data page (in the
// passport flow, always as a front screen). The live camera runs under a card-shaped mask; the
// photo is taken by hand or, with the auto-capture switch on, when the detection view finds a
// steady card. The photo is cropped to the card frame and offered for retake or continue; on
// continue it goes to the host's raw-data processor, else the side's data handler, else the
// server, and a success moves the flow on through `onNext`.
//
// Capture states: live -> capturing (a photo under way) -> preview -> retake (live again) or
// continue (hand-off) -> success, or failure (preview with only the retake button). A photo is
// asked for only from the live state; continue is ignored while a hand-off is under way.
class IDCaptureVC : public BaseViewController, public DetectorListener {
 public:
  struct State {
    struct CheckPermission {
      // The camera-permission alert has been shown / the system has been asked.
      bool isShowAlert = false;
      bool isRequest = false;
    };
    bool isFrontId = true;
    CheckPermission checkPermission;
  };

  static std::shared_ptr<IDCaptureVC> create(bool isFrontId);

  // Outlets, made by the nib "IDCaptureVC".
  std::shared_ptr<CameraView> viewCamera;
  std::shared_ptr<CameraMaskView> cameraMarkView;
  std::shared_ptr<platform::Label> lblAutoCapture;
  std::shared_ptr<platform::Label> guideDescLabel;
  std::shared_ptr<OstrelButton> btnConfirm;
  std::shared_ptr<TutorialButtonView> viewButtonTutorial;
  std::shared_ptr<OstrelSwitch> viewSwitchBtn;
  std::shared_ptr<platform::Label> lblAutoCaptureSuccess;
  std::shared_ptr<platform::View> targetView;
  std::shared_ptr<platform::LayoutConstraint> topTargetViewCT;
  std::shared_ptr<OstrelButton> btnRetake;
  std::shared_ptr<platform::View> viewCaptureSuccess;
  std::shared_ptr<platform::View> viewButtonAutoCap;
  std::shared_ptr<platform::ImageView> cardImageView;
  std::shared_ptr<platform::Label> titleLabel;
  std::shared_ptr<platform::Label> noteLabel;
  std::shared_ptr<platform::Button> captureButton;
  // The nib's close button (wired to `onTapClose`).
  std::shared_ptr<platform::Button> btnClose;

  // The tag of the auto-capture thumbnail on the mask view.
  static constexpr int kThumbnailTag = -1;

  // Which side the screen captures (true in the passport flow).
  bool isFrontId() const;
  // Whether the facade runs the passport flow.
  static bool isPassportMode();
  // "OSL_SCREEN_CAPTURE_FRONT" for a front screen (and the passport page), else the back's.
  std::string screenName() const;

  // Takes a still photo; `image` is a frame picture to use instead of the photo (automatic
  // capture). Ignored unless the camera is live (set up, no photo under way, no preview shown).
  void capture(platform::ImagePtr image, bool isAuto);
  void didDetect(const platform::ImagePtr& image) override;

  // Nib actions.
  void onTapClose();
  void btnConfirmClicked();
  void retakePhotoButtonTouchUpInside();
  void onTapCapture();
  void _willResignActiveNotification();
  void _didBecomeActiveNotification();

  // Hands the confirmed picture on and handles the reply.
  void sendCardImage(const platform::ImagePtr& image);

  // Back to a fresh screen's live state, for a run or restart that shows this screen again.
  void resetForNewRun();

  void setupUI() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewDidLayoutSubviews() override;
  void viewWillDisappear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  void closeTapped() override;

  // The state as it stands (a copy).
  State state() const;
  bool isHandingOff() const { return handOffInFlight_; }
  bool isPreviewShown() const { return previewShown_; }
  // The intro container while it is on screen (null before and after the intro).
  std::shared_ptr<platform::View> introContainer() const { return containerView_; }

 private:
  // The three roads a hand-off reply comes back by; they differ in storing and failure steps.
  enum class Road { processor, handler, library };

  void track(OSLTrackingEvent event, const platform::JSON& data = platform::JSON::object(),
             OSLLogLevel level = OSLLogLevel::info) const;
  void checkPermission(std::function<void()> continuation);
  void setUpCamera();
  // The camera-error alert, when one waits to be shown.
  void showCameraError();
  void startCamera(bool justStopped = false);
  // A permission check, then the camera start.
  void restartCamera(bool justStopped = false);
  void handlePhoto(const platform::ImagePtr& photo,
                   const std::optional<platform::PlatformError>& error,
                   const platform::ImagePtr& given, bool isAuto);
  platform::ImagePtr cropToCard(const platform::ImagePtr& image) const;
  void showPreview(const platform::ImagePtr& cropped, bool isAuto);
  void openGuide();
  void applyTexts();
  std::string guideText() const;
  void restoreGuideLine();
  void applyLayout();
  void playIntro();
  void removeIntro();
  void showLiveControls();

  void handleReply(Road road, const OSLConfig::Result& result, const platform::ImagePtr& image);
  void succeed(Road road, const platform::JSON& data, const platform::ImagePtr& image);
  void fail(Road road, const std::optional<OstrelError>& error);

  std::shared_ptr<platform::ImageView> frontImageView();
  std::shared_ptr<platform::ImageView> backImageView();

  // Shared with the permission answer and photo callbacks; every access takes the box's lock.
  mutable OSLAtomicWithNSLock<std::shared_ptr<State>> state_{std::make_shared<State>()};
  std::shared_ptr<platform::ImageView> frontImageView_;
  std::shared_ptr<platform::ImageView> backImageView_;
  std::shared_ptr<platform::View> containerView_;
  bool previewShown_ = false;
  bool cameraErrorPending_ = false;
  bool cameraSetUpFailed_ = false;
  // Between viewWillAppear and viewWillDisappear.
  bool isOnScreen_ = false;
  bool handOffInFlight_ = false;
  // Bumped by every reset, so replies and animations of an earlier run change nothing.
  int generation_ = 0;
};

}  // namespace ostrel
