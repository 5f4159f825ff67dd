#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/Outcome.hpp"
#include "platform/camera/CaptureMetadataOutput.hpp"
#include "platform/camera/CaptureSession.hpp"
#include "platform/camera/CaptureVideoPreviewLayer.hpp"
#include "platform/foundation/JSON.hpp"
#include "platform/ui/Button.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/StackView.hpp"
#include "scan/QRScannerConfiguration.hpp"
#include "scanner/PhotoPicker.hpp"
#include "scanner/QRScannerCodeDelegate.hpp"
#include "scanner/QRScannerViews.hpp"
#include "ui/BaseViewController.hpp"

namespace ostrel {

// The QR step of the ID flows: the live camera with a pulsing scan window; once a code has
// been seen in full often enough, the camera stops, the window moves onto the code and its text
// goes to the server, whose reading of the card becomes the session's QR result before `onNext`.
// With `readQRFromPhotos` on, a code can also be read from a library photo; that text goes to
// the result channel instead (`onScannedHandle`, else `delegate`). Portrait only.
//
// One code is acted on per scanning period: detections count only while scanning, and once a
// code is accepted nothing restarts the camera or submits again until a rejected code's alert
// sends the screen back to scanning. Main queue only; the camera starts and stops on the
// global queue.
class OSLQRCodeScannerController : public BaseViewController,
                                   public platform::CaptureMetadataOutputObjectsDelegate,
                                   public platform::AdaptivePresentationControllerDelegate,
                                   public ImagePickerDelegate {
 public:
  enum class ScanState { preparing, scanning, accepted, submitting, done, rejected, expired };

  static std::shared_ptr<OSLQRCodeScannerController> create(
      const QRScannerConfiguration& configuration);
  // With the configuration's own defaults (English texts, no images).
  static std::shared_ptr<OSLQRCodeScannerController> create();

  explicit OSLQRCodeScannerController(QRScannerConfiguration configuration);
  void didMake() override;

  std::weak_ptr<QRScannerCodeDelegate> delegate;
  std::function<void(const QRScannerCodeResponseType&)> onScannedHandle;
  QRScannerConfiguration qrScannerConfiguration;
  std::shared_ptr<platform::Button> flashButton;
  platform::CaptureDevicePosition devicePosition = platform::CaptureDevicePosition::back;
  int _delayCount = 0;
  static constexpr int delayCount = 10;
  static constexpr double roundButtonHeight = 50;
  static constexpr double roundButtonWidth = 50;
  // One of the two, by what the system offers.
  std::shared_ptr<PHPhotoPicker> phPhotoPicker;
  std::shared_ptr<PhotoPicker> photoPicker;
  std::shared_ptr<QRScannerFrame> qrFrameView;
  platform::Rect originQRFrameView;
  const std::shared_ptr<platform::CaptureMetadataOutput> dataOutput;
  const std::shared_ptr<platform::CaptureSession> captureSession;

  // Views, once the view has loaded.
  std::shared_ptr<platform::Button> closeButton;
  std::shared_ptr<platform::StackView> stackView;
  std::shared_ptr<platform::Label> titleLabel;
  std::shared_ptr<platform::Label> hintLabel;
  std::shared_ptr<platform::Button> cameraButton;
  std::shared_ptr<platform::Button> uploadButton;

  // Made on first use and kept (an absent value too).
  platform::CaptureDevicePtr defaultDevice();
  platform::CaptureDevicePtr frontDevice();
  std::shared_ptr<platform::CaptureDeviceInput> defaultCaptureInput();
  std::shared_ptr<platform::CaptureDeviceInput> frontCaptureInput();
  const std::shared_ptr<platform::CaptureVideoPreviewLayer>& videoPreviewLayer();

  ScanState scanState() const { return state_; }

  // Back to a fresh screen: scanning from a zero count, no accepted code or pending
  // submission, the window in place without its pulse, the torch off.
  void resetForNewRun();

  // View actions.
  void dismissViewController();
  void toggleTorch();
  void switchCamera();
  void showImagePicker();

  // Platform callbacks.
  void viewDidLoad() override;
  void viewDidLayoutSubviews() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  void didBecomeActiveNotification() override;
  void willResignActiveNotification() override;
  void captureOutput(platform::CaptureMetadataOutput& output,
                     const platform::MetadataObjects& objects,
                     platform::CaptureConnection& connection) override;
  void presentationControllerDidDismiss(platform::PresentationController& controller) override;
  void didSelect(platform::ImagePtr image) override;
  bool shouldAutorotate() const override { return false; }
  unsigned supportedInterfaceOrientations() const override {
    return platform::InterfaceOrientationMask::portrait;
  }
  platform::InterfaceOrientation preferredInterfaceOrientationForPresentation() const override {
    return platform::InterfaceOrientation::portrait;
  }

  // After a rejected code: the camera again and the window back in place.
  void restartScanning();
  void handleMetadataObjects(const platform::MetadataObjects& objects);
  void handlePickedImage(platform::ImagePtr image);

 private:
  void setupViews();
  void layoutTopViews();
  void forcePortrait();
  void setupSession(platform::CaptureDevicePosition position);
  void setupPreviewLayer();
  void setupScanFrame();
  void addUploadButton(double side, double y);
  void addRoundButtons();
  void askCameraPermission();
  void startSession();
  void stopSession();
  void startFramePulse();
  void submit(const std::string& text);
  void handleSubmitResponse(const std::string& text, Outcome<platform::JSON> reply);
  std::shared_ptr<platform::CaptureDeviceInput> currentInput() const;
  void report(const QRScannerCodeResponseType& response);
  void reportCameraFailure(const QRCodeError& error, const std::string& messageKey);
  void showInvalidCodeAlert();
  void presentPicker();

  ScanState state_ = ScanState::preparing;
  // Whether the camera took the screen's input and output.
  bool sessionConfigured_ = false;
  // Set by `resetForNewRun` on a loaded screen: the next appearance starts the camera.
  bool startOnAppear_ = false;
  // Bumped by `resetForNewRun`, so a submission delayed from before it stands down.
  std::uint64_t generation_ = 0;
  std::optional<platform::CaptureDevicePtr> defaultDevice_;
  std::optional<platform::CaptureDevicePtr> frontDevice_;
  std::optional<std::shared_ptr<platform::CaptureDeviceInput>> defaultCaptureInput_;
  std::optional<std::shared_ptr<platform::CaptureDeviceInput>> frontCaptureInput_;
  std::shared_ptr<platform::CaptureVideoPreviewLayer> videoPreviewLayer_;
  // Darkens the picture behind the close button, the title and the hint.
  std::shared_ptr<platform::View> topShade_;
};

}  // namespace ostrel
