#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "camera/CameraMaskView.hpp"
#include "camera/OSLVideoCapture.hpp"
#include "core/OSLAtomicWithNSLock.hpp"
#include "core/OSLConfig.hpp"
#include "core/OSLFaceLivenessVersion.hpp"
#include "core/OSLLogLevel.hpp"
#include "core/OSLTrackingEvent.hpp"
#include "liveness/FaceStatus.hpp"
#include "liveness/OSLFaceAction.hpp"
#include "platform/foundation/JSON.hpp"
#include "platform/vision/DetectFaceRectanglesRequest.hpp"
#include "platform/runtime/FrameGate.hpp"
#include "platform/runtime/Timer.hpp"
#include "platform/ui/Button.hpp"
#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/Layer.hpp"
#include "platform/ui/LayoutConstraint.hpp"
#include "ui/BaseViewController.hpp"
#include "ui/OstrelButton.hpp"
#include "ui/TutorialButtonView.hpp"

namespace ostrel {

// The passive and active liveness step: the front camera inside a round target with a
// face-shaped guide outline, a guide line under it and, in manual mode, a capture button. The
// face is photographed automatically (or by the user's tap in manual mode), cropped to the
// target and handed to the host's raw-data processor, else the host's face handler, else the
// server's selfie check; a success moves the flow on through `onNext` 1.4 s later, a failure
// offers a retry. A whole-process countdown (and, with head movements, a per-action one)
// ends an attempt that takes too long; time spent in the background is deducted.
//
// Attempt states: capturing -> captured (preview, retry and continue) -> handing off ->
// succeeded, or failed (retry) -> capturing again. The log of the attempts (`logMessage`)
// grows over every attempt on this screen and travels with the tracking events.
class OSLFaceVC : public BaseViewController, public OSLVideoCaptureDelegate {
 public:
  struct Countdown {
    std::shared_ptr<platform::Timer> timer;
    int timeout = 0;
  };
  struct PendingAction {
    int index = 0;  // position in the chosen sequence, from 1
    OSLFaceAction action = OSLFaceAction::turnLeft;
  };
  struct CheckPermission {
    bool isShowAlert = false;  // the refusal alert was shown
    bool isRequest = false;    // the system was asked
  };
  struct FlagMask {
    bool isEnable = false;    // the outline is wanted at all
    bool isDrawed = false;    // the outline is on screen
    bool isCaptured = false;  // a retry has happened (the next outline comes from the retry)
  };

  // Everything one face screen knows, shared with the camera queue behind `state_`'s lock.
  struct State {
    State();
    // Lets one frame at a time through the face checks: taken on the camera queue, given back
    // when the frame's judgement ends (and by the tick and the retry, which can never add a
    // second permit). Shut down while the screen is away so that no camera queue waits on it.
    std::shared_ptr<platform::FrameGate> semaphore = std::make_shared<platform::FrameGate>();
    OSLFaceLivenessVersion livenessVersion = OSLFaceLivenessVersion::active;
    std::shared_ptr<OSLVideoCapture> videoCapture = std::make_shared<OSLVideoCapture>();
    // The latest camera frame as a picture.
    platform::ImagePtr imageRequest;
    // Automatic-capture counter: at 100 or more the next tick takes the picture.
    int confidence = 0;
    bool isCaptureRunning = true;
    std::shared_ptr<platform::Timer> timerAutoCapture;
    Countdown timerAllProcess;
    Countdown timerPerAction;
    std::vector<PendingAction> faceActions;
    platform::ImagePtr faceImage;
    std::string cacheGifName;
    // False for a second after a face message is shown: later messages only cost confidence.
    bool shouldUpdateUI = true;
    // Which message hold is the current one; a hold that is not current ends nothing.
    int messageHold = 0;
    // An automatic photo has been asked for and has not answered yet: frames are only let
    // through and the tick takes no second photo meanwhile.
    bool isCaptureInFlight = false;
    CheckPermission checkPermission;
    double originalBrightness = 1;
    std::vector<std::string> logMessage;
    FlagMask flagMask;
    std::shared_ptr<platform::ShapeLayer> maskShapeLayer;
    bool isManualLivenessCaptureEnabled = false;
  };

  // The screen for `livenessVersion` (the semi-active version runs as the passive one), with
  // the face outline when `isEnableMask`. Manual capture follows the stored flag, read here.
  static std::shared_ptr<OSLFaceVC> create(OSLFaceLivenessVersion livenessVersion,
                                           bool isEnableMask);

  // Outlets, made by the nib "OSLFaceVC".
  std::shared_ptr<platform::Label> titleLabel;
  std::shared_ptr<platform::Label> descriptionLabel;
  std::shared_ptr<platform::View> targetCameraView;
  std::shared_ptr<platform::View> cameraView;
  std::shared_ptr<CameraMaskView> cameraMarkView;
  std::shared_ptr<platform::ImageView> previewImageView;
  std::shared_ptr<platform::LayoutConstraint> heightIconCT;
  std::shared_ptr<platform::Label> guideLabel;
  std::shared_ptr<platform::Label> timeRemainingLabel;
  std::shared_ptr<platform::Button> captureButton;
  std::shared_ptr<OstrelButton> continueButton;
  std::shared_ptr<OstrelButton> retryButton;
  std::shared_ptr<platform::ImageView> guideIcon;
  std::shared_ptr<TutorialButtonView> tutorialView;
  std::shared_ptr<platform::LayoutConstraint> topTargetViewLowCT;
  // The nib's close button (wired to `onTapClose`).
  std::shared_ptr<platform::Button> closeButton;

  // The State itself (the reference, taken under the lock); fields are read and written
  // through it on the main queue.
  std::shared_ptr<State> state() const { return state_.value(); }
  bool isHandingOff() const { return handOffInFlight_; }

  ~OSLFaceVC() override;

  // Nib actions.
  void onTapClose();
  void onNextOrClose();
  void onRetryPressed();
  void onTapCapture();

  // The automatic-capture tick, the countdown ticks and the application-state handlers.
  void _autoCaptureNormal();
  void _updateTimeoutAllProcess();
  void _updateTimeoutPerAction();
  void _willResignActiveNotification();
  void _didBecomeActiveNotification();

  // Takes the picture automatically; `frameImage` (the latest frame) is handed on in place of
  // the still photo when there is one.
  void captureAutomatically(platform::ImagePtr frameImage);
  // The guide line: the message of `key` (or of the pending head movement) and its icon.
  void updateMessage(bool isCaptureRunning, const std::string& key);
  void showResult(bool isSuccess, std::optional<std::string> successText,
                  std::optional<std::string> failText, platform::ImagePtr icon);
  // (Re)starts the whole-process or the per-action countdown with its remaining time.
  void restartCountdown(bool perAction);
  // "<remaining time text> MM:SS", the clock in the main colour.
  platform::AttributedString remainingTimeText() const;

  void drawFaceGuide();
  void removeFaceGuide();
  void changeFaceGuideColor(platform::Color color, double duration);
  void layoutMask();
  // The capture button in manual mode; otherwise it is hidden and null comes back.
  std::shared_ptr<platform::Button> manualCaptureButton();

  // Back to a fresh screen's state, for a run or restart that shows this screen again.
  void resetForNewRun();

  void setupUI() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewDidLayoutSubviews() override;
  void viewWillDisappear(bool animated) override;
  void closeTapped() override;

  // The face checks. Frames arrive on the camera queue; the judgement runs on the main queue.
  void handleVideoFrame(const platform::PixelBufferPtr& pixelBuffer,
                        const platform::SampleBufferPtr& sampleBuffer);
  void processFaceObservations(const std::vector<platform::FaceObservationPtr>& observations);
  void checkFacePosition(const std::vector<platform::FaceObservationPtr>& observations,
                         int confidenceStep);
  void showFaceMessage(const std::string& key, int penalty);
  void applyFaceMessage(const std::string& key);
  // The faces large enough to be judged (a third of the capture circle, wide or tall).
  std::vector<platform::FaceObservationPtr> filterLargeFaces(
      const std::vector<platform::FaceObservationPtr>& observations) const;

  // Head movements of the active version, asked for after its frontal photo.
  std::vector<OSLFaceAction> randomFaceActions() const;
  void chooseFaceActions();
  static std::vector<PendingAction> numberFaceActions(const std::vector<OSLFaceAction>& actions);
  void checkFaceAction(const std::vector<platform::FaceObservationPtr>& observations);
  void completeCurrentAction(int index);

  void videoCapture(OSLVideoCapture& capture, const platform::PixelBufferPtr& didCapture,
                    const platform::SampleBufferPtr& sampleBuffer,
                    platform::CMTime timestamp) override;

  // The outline of the face guide for a mask hole `cropFrame`.
  static platform::Path faceGuidePath(platform::Rect cropFrame);
  // A capture ring round `frame`: the whole circle, or segment `index` of `segments`.
  static void configureRingLayer(platform::ShapeLayer& layer, platform::Color colour, int index,
                                 bool isFullCircle, int segments, platform::Rect frame);

 private:
  enum class Road { processor, handler, library };

  void track(OSLTrackingEvent event, const platform::JSON& data = platform::JSON::object(),
             OSLLogLevel level = OSLLogLevel::info) const;
  void appendLog(const std::string& entry);
  platform::JSON logJSON() const;
  // A new State as `create` makes it; the stored background dates of an earlier screen go.
  void makeState(OSLFaceLivenessVersion version, bool isEnableMask);
  void setUpTexts();
  void requestCameraAccess(std::function<void()> then);
  void setUpCamera();
  void startCamera();
  void stopCamera();
  void showCameraError();
  bool isCameraRunning() const;
  void invalidateTimers(bool perAction, bool autoCapture, bool allProcess);
  void timeOut(bool perAction);
  // The capture ring growing round the circle: the whole circle, or (for a head movement) third
  // `third` of it, 1 to 3 clockwise from the top.
  void addRing(platform::Color colour, int third = 0);
  void handlePhoto(const platform::ImagePtr& photo, bool failed, const platform::ImagePtr& frame,
                   bool manual);
  platform::ImagePtr cropFace(const platform::ImagePtr& source) const;
  void presentCaptured();
  void retry();
  void submitFaceImage(const platform::ImagePtr& image);
  void handleAnswer(Road road, const OSLConfig::Result& result, const platform::ImagePtr& image);
  void succeed(Road road, const platform::ImagePtr& image);
  void fail(Road road, const std::optional<OstrelError>& error);
  void restoreBrightness();
  void openGuide();
  std::shared_ptr<platform::View> guideContainer() const;
  std::shared_ptr<platform::View> iconContainer() const;
  std::shared_ptr<platform::View> tutorialContainer() const;
  // The frame's one sizeable face; otherwise its message is shown (which gives the frame back)
  // and null comes back. No face resets the score only while the frontal photo is awaited.
  platform::FaceObservationPtr oneSizeableFace(
      const std::vector<platform::FaceObservationPtr>& observations, bool noFaceResetsConfidence);
  // The reference frame of face boxes: the preview's frame, else the camera view's bounds.
  platform::Rect faceReferenceFrame() const;
  // The screen's face request, made on first use (camera queue). Throws `VisionError` when no
  // detector can be made.
  std::shared_ptr<platform::DetectFaceRectanglesRequest> faceRectanglesRequest();
  // The detector cannot work (its model is missing or unreadable): the user is told as for a
  // camera that cannot be set up. Main queue.
  void detectorFailed(const std::string& reason);

  mutable OSLAtomicWithNSLock<std::shared_ptr<State>> state_{std::make_shared<State>()};
  // Main queue only. Runs of the screen (`resetForNewRun` starts a new one): answers to an
  // earlier run change nothing.
  int generation_ = 0;
  bool handOffInFlight_ = false;
  // The screen asked the camera to start and has not stopped it since.
  bool cameraStartRequested_ = false;
  // Between appearing and disappearing.
  bool appeared_ = false;
  // The camera could not be set up and the user has not been told yet.
  bool cameraErrorPending_ = false;
  // The screen raised the brightness and has not given it back yet.
  bool brightnessRaised_ = false;
  // Countdowns running when the application resigned active.
  bool allProcessWasRunning_ = false;
  bool perActionWasRunning_ = false;
  // Set once the face detector proved unusable; frames are then dropped at once.
  std::atomic<bool> detectorUnusable_{false};
  mutable std::mutex requestMutex_;
  std::shared_ptr<platform::DetectFaceRectanglesRequest> faceRectanglesRequest_;
};

}  // namespace ostrel
