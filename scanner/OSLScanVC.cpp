#include "scanner/OSLScanVC.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "core/Localization.hpp"
#include "core/OpenAppSettings.hpp"
#include "core/OSLLogLevel.hpp"
#include "core/OSLTrackingEvent.hpp"
#include "core/TrackEvent.hpp"
#include "platform/camera/CameraAuthorization.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/runtime/Application.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/runtime/NotificationCenter.hpp"
#include "platform/ui/Bars.hpp"
#include "platform/ui/LayoutConstraint.hpp"
#include "platform/ui/NavigationController.hpp"
#include "session/HelpersAlerts.hpp"
#include "session/Ostrel.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

#ifndef OSTREL_BUNDLE_ID
#define OSTREL_BUNDLE_ID "org.example.ostrel"
#endif

namespace ostrel {

using namespace ostrel::platform;

namespace {

int rawAlertType(OSLAlertVC::TypeOfAlert type) { return static_cast<int>(type); }

}  // namespace

OSLScanVC::OSLScanVC()
    : maskLayer(std::make_shared<ShapeLayer>()),
      captureSession(std::make_shared<CaptureSession>()),
      captureSessionQueue(DispatchQueue::make(std::string(OSTREL_BUNDLE_ID) + ".scanMRZ.CaptureSessionQueue")),
      videoDataOutput(std::make_shared<CaptureVideoDataOutput>()),
      videoDataOutputQueue(
          DispatchQueue::make(std::string(OSTREL_BUNDLE_ID) + ".scanMRZ.VideoDataOutputQueue")) {}

// A screen let go while its camera runs takes the last reference to its session, which stops
// the camera then; queued work holds the screen weakly and the session only while it runs.
OSLScanVC::~OSLScanVC() = default;

const std::shared_ptr<Label>& OSLScanVC::guideLabel() {
  if (!guideLabel_) {
    guideLabel_ = make<Label>();
    guideLabel_->setFont(Font::systemFont(15, FontWeight::regular));
    guideLabel_->setText(osl_localize("mrz_scan_note"));
    guideLabel_->textAlignment = TextAlignment::center;
    guideLabel_->setNumberOfLines(0);
    guideLabel_->setBackgroundColor(Color::clear());
    guideLabel_->setTextColor(Color::white());
  }
  return guideLabel_;
}

const std::shared_ptr<ImageView>& OSLScanVC::imageScanMrz() {
  if (!imageScanMrz_) imageScanMrz_ = make<ImageView>(bundleImage("ic_scan_mrz"));
  return imageScanMrz_;
}

const std::shared_ptr<ImageView>& OSLScanVC::scanBackGuideIcon() {
  if (!scanBackGuideIcon_) scanBackGuideIcon_ = make<ImageView>(bundleImage("ic_scan_back_card"));
  return scanBackGuideIcon_;
}

const std::shared_ptr<Button>& OSLScanVC::flashButton() {
  if (!flashButton_) {
    flashButton_ = make<Button>(Rect{0, 0, 40, 44});
    flashButton_->setImage(bundleImage("ic_flash_off"), ControlState::normal);
    flashButton_->addTarget<OSLScanVC>(shared<OSLScanVC>(),
                                       [](OSLScanVC& self, Control&) { self.toggleFlash(); },
                                       ControlEvent::touchUpInside);
  }
  return flashButton_;
}

void OSLScanVC::viewDidLoad() {
  ViewController::viewDidLoad();
  auto root = view();
  // The preview fills the safe area only; around it the screen is black, as a camera's is,
  // so the white bar items and the guide text stay readable and nothing beneath shows.
  root->setBackgroundColor(Color::black());
  previewView = make<OSLPreviewView>();
  if (root->bounds().height() < 700)
    previewView->videoPreviewLayer()->videoGravity = LayerVideoGravity::resizeAspectFill;
  cutoutView = make<View>();

  root->addSubview(previewView);
  cutoutView->addSubview(imageScanMrz());
  root->addSubview(cutoutView);
  root->addSubview(guideLabel());
  root->addSubview(scanBackGuideIcon());

  pinEdges(previewView, root, true);
  pinEdges(cutoutView, root, true);
  auto safeArea = root->safeAreaLayoutGuide();
  LayoutConstraint::activate({
      scanBackGuideIcon()->heightAnchor().constraintEqualToConstant(38),
      scanBackGuideIcon()->widthAnchor().constraintEqualToConstant(48),
      scanBackGuideIcon()->centerXAnchor().constraintEqualTo(root->centerXAnchor()),
      scanBackGuideIcon()->bottomAnchor().constraintEqualTo(guideLabel()->topAnchor(), -10),
      guideLabel()->leadingAnchor().constraintEqualTo(safeArea->leadingAnchor(), 70),
      guideLabel()->centerXAnchor().constraintEqualTo(root->centerXAnchor()),
      guideLabel()->bottomAnchor().constraintEqualTo(safeArea->bottomAnchor(), -30),
  });

  navigationItem()->setRightBarButtonItem(std::make_shared<BarButtonItem>(flashButton()));

  auto tap = make<TapGestureRecognizer>();
  tap->addTarget<OSLScanVC>(shared<OSLScanVC>(), [](OSLScanVC& self, GestureRecognizer& recognizer) {
    self.handleTap(recognizer);
  });
  tap->cancelsTouchesInView = true;
  tap->delaysTouchesEnded = true;
  tap->requiresExclusiveTouchType = true;
  root->addGestureRecognizer(tap);

  previewView->videoPreviewLayer()->setSession(captureSession);

  cutoutView->setBackgroundColor(Color{0, 0, 0, 0.3});
  maskLayer->backgroundColor = Color{0, 0, 0, 0.3};
  cutoutView->layer()->mask = maskLayer;

  if (auto navigation = navigationController()) {
    const auto& pop = navigation->interactivePopGestureRecognizer();
    pop->delegate = weak<Object>();
    // Held weakly: once the scanner is gone the gesture answers as it would without a
    // delegate, beginning only over more than one controller.
    std::weak_ptr<OSLScanVC> weakSelf = shared<OSLScanVC>();
    std::weak_ptr<NavigationController> weakNavigation = navigation;
    pop->shouldBegin = [weakSelf, weakNavigation](GestureRecognizer& recognizer) {
      if (auto self = weakSelf.lock()) return self->gestureRecognizerShouldBegin(recognizer);
      auto owner = weakNavigation.lock();
      return owner && owner->viewControllers().size() > 1;
    };
    pop->isEnabled = true;
  }

  startWhenPermitted();
}

void OSLScanVC::viewWillAppear(bool animated) {
  ViewController::viewWillAppear(animated);
  std::weak_ptr<OSLScanVC> weakSelf = shared<OSLScanVC>();
  NotificationCenter::defaultCenter().addObserver(
      shared<OSLScanVC>(), ApplicationDidBecomeActiveNotification, [weakSelf](const Notification&) {
        if (auto self = weakSelf.lock()) self->_didBecomeActiveNotification();
      });
  checkPermissionAndStart();
}

void OSLScanVC::viewWillDisappear(bool animated) {
  ViewController::viewWillDisappear(animated);
  NotificationCenter::defaultCenter().removeObserver(this);
  stopSession();
}

Rect OSLScanVC::safeAreaFrame() {
  auto root = view();
  return root->bounds().insetBy(root->safeAreaInsets());
}

void OSLScanVC::viewDidLayoutSubviews() {
  ViewController::viewDidLayoutSubviews();
  // Constraints are data here: the frames they describe are set as well.
  const Rect area = safeAreaFrame();
  if (previewView) previewView->setFrame(area);
  if (cutoutView) {
    cutoutView->setFrame(area);
    maskLayer->frame = Rect{{0, 0}, area.size};
  }
  if (guideLabel_ && scanBackGuideIcon_) {
    const double width = std::max(0.0, area.width() - 140);
    // Measured at the width it is given, so every line of the note shows.
    guideLabel_->preferredMaxLayoutWidth = width;
    const double height = guideLabel_->sizeThatFits({width, area.height()}).height;
    guideLabel_->setFrame({area.midX() - width / 2, area.maxY() - 30 - height, width, height});
    scanBackGuideIcon_->setFrame({area.midX() - 24, guideLabel_->frame().minY() - 10 - 38, 48, 38});
  }
  updateCutout();
}

void OSLScanVC::viewWillTransitionToSize(
    Size size, const std::shared_ptr<ViewControllerTransitionCoordinator>& coordinator) {
  ViewController::viewWillTransitionToSize(size, coordinator);
  const DeviceOrientation orientation = Device::current().orientation();
  const int raw = static_cast<int>(orientation);
  if (raw >= 1 && raw <= 4) {
    currentOrientation = orientation;
    // The preview's orientation names landscape the other way round from the device's, so the
    // same raw number is the right one.
    if (previewView) {
      if (auto connection = previewView->videoPreviewLayer()->connection())
        connection->setVideoOrientation(static_cast<CaptureVideoOrientation>(raw));
    }
  }
  calculateRegionOfInterest();
}

bool OSLScanVC::gestureRecognizerShouldBegin(GestureRecognizer&) {
  auto navigation = navigationController();
  return navigation && navigation->viewControllers().size() > 1;
}

void OSLScanVC::captureOutput(CaptureOutput&, const SampleBufferPtr&, CaptureConnection&) {}

void OSLScanVC::toggleFlash() { toggleTorch(); }

void OSLScanVC::handleTap(GestureRecognizer&) { checkPermissionAndStart(); }

void OSLScanVC::_didBecomeActiveNotification() { checkPermissionAndStart(); }

// --- Permission and start -------------------------------------------------------------------

void OSLScanVC::checkPermissionAndStart() {
  assertOnQueue(DispatchQueue::main());
  startWhenPermitted();
  std::weak_ptr<OSLScanVC> weakSelf = shared<OSLScanVC>();
  DispatchQueue::main()->async([weakSelf] {
    auto self = weakSelf.lock();
    if (self && self->isFlashOn) self->toggleTorch();
  });
}

void OSLScanVC::startWhenPermitted() {
  if (CameraAuthorization::authorizationStatus(MediaType::video) == AuthorizationStatus::authorized) {
    queueConfigureAndStart();
    return;
  }
  if (checkPermission.isShowAlert || checkPermission.Request) return;
  checkPermission.Request = true;
  std::weak_ptr<OSLScanVC> weakSelf = shared<OSLScanVC>();
  CameraAuthorization::requestAccess(MediaType::video, [weakSelf](bool granted) {
    DispatchQueue::main()->async([weakSelf, granted] {
      if (auto self = weakSelf.lock()) self->accessAnswer(granted);
    });
  });
}

void OSLScanVC::accessAnswer(bool granted) {
  if (granted) {
    queueConfigureAndStart();
    return;
  }
  checkPermission.isShowAlert = true;
  std::weak_ptr<OSLScanVC> weakSelf = shared<OSLScanVC>();
  Helpers::showAlert(
      rawAlertType(OSLAlertVC::TypeOfAlert::customConfirmation), -1, nullptr,
      osl_localize("check_permission_camera_title"), osl_localize("check_permission_camera"),
      osl_localize("button_no"), osl_localize("button_yes"),
      [weakSelf] {
        if (auto self = weakSelf.lock()) self->leaveScreen();
      },
      [] { Ostrel::shared()->close(true, openAppSettings); }, nullptr);
}

void OSLScanVC::queueConfigureAndStart() {
  std::weak_ptr<OSLScanVC> weakSelf = shared<OSLScanVC>();
  captureSessionQueue->async([weakSelf] {
    if (auto self = weakSelf.lock()) self->configureAndStart();
  });
}

void OSLScanVC::configureAndStart() {
  if (!cameraConfigured_) {
    cameraConfigured_ = true;
    cameraUsable_ = setupCamera();
    std::weak_ptr<OSLScanVC> weakSelf = shared<OSLScanVC>();
    DispatchQueue::main()->async([weakSelf] {
      auto self = weakSelf.lock();
      if (!self) return;
      // The preview shows the buffer as the device is held (portrait until a rotation).
      const int raw = static_cast<int>(self->currentOrientation);
      if (auto connection = self->previewView ? self->previewView->videoPreviewLayer()->connection() : nullptr;
          connection && raw >= 1 && raw <= 4)
        connection->setVideoOrientation(static_cast<CaptureVideoOrientation>(raw));
      self->calculateRegionOfInterest();
    });
  }
  if (cameraUsable_ && !captureSession->isRunning()) captureSession->startRunning();
}

void OSLScanVC::stopSession() {
  auto session = captureSession;
  captureSessionQueue->async([session] { session->stopRunning(); });
}

// --- Camera set-up ---------------------------------------------------------------------------

bool OSLScanVC::setupCamera() {
  auto device = CaptureDevice::defaultDevice(CaptureDeviceType::builtInWideAngleCamera,
                                             MediaType::video, CaptureDevicePosition::back);
  if (!device) {
    debugLog("OSLScanVC: no back camera");
    reportCameraFailure();
    return false;
  }
  captureDevice_.setValue(device);

  std::optional<double> ratio;
  for (SessionPreset preset :
       {SessionPreset::hd4K3840x2160, SessionPreset::hd1920x1080, SessionPreset::hd1280x720}) {
    if (device->supportsSessionPreset(preset)) {
      (void)captureSession->setSessionPreset(preset);
      ratio = 16.0 / 9.0;
      break;
    }
  }
  if (!ratio) {
    (void)captureSession->setSessionPreset(SessionPreset::vga640x480);
    ratio = 4.0 / 3.0;
  }
  bufferAspectRatio_.setValue(ratio);

  auto input = CaptureDeviceInput::make(device);
  if (!input) {
    debugLog("OSLScanVC: could not create the camera input");
    reportCameraFailure();
    return false;
  }
  // A session without its input or its output runs without frames: a blind camera that would
  // otherwise say nothing.
  if (!captureSession->canAddInput(input.value) || !captureSession->addInput(input.value)) {
    debugLog("OSLScanVC: the session refused the camera input");
    reportCameraFailure();
    return false;
  }

  videoDataOutput->setAlwaysDiscardsLateVideoFrames(true);
  videoDataOutput->setSampleBufferDelegate(
      std::weak_ptr<CaptureVideoDataOutputSampleBufferDelegate>(shared<OSLScanVC>()), videoDataOutputQueue);
  videoDataOutput->setPixelFormat(PixelFormat::yCbCr420BiPlanarFullRange);
  if (!captureSession->canAddOutput(videoDataOutput) || !captureSession->addOutput(videoDataOutput)) {
    debugLog("Could not add VDO output");
    reportCameraFailure();
    return false;
  }
  if (auto connection = videoDataOutput->connection())
    connection->setPreferredVideoStabilizationMode(VideoStabilizationMode::off);

  if (auto error = device->lockForConfiguration()) {
    // Zoom and focus stay as they are; the camera still runs.
    debugLog("Could not set zoom level due to error: " + error->localizedDescription);
    return true;
  }
  if (auto error = device->setVideoZoomFactor(1.5))
    debugLog("OSLScanVC: zoom refused: " + error->localizedDescription);
  if (device->isAutoFocusRangeRestrictionSupported())
    (void)device->setAutoFocusRangeRestriction(AutoFocusRangeRestriction::near);
  device->unlockForConfiguration();
  return true;
}

void OSLScanVC::reportCameraFailure() {
  trackEvent(OSLLogLevel::error, OSLTrackingEvent::CAPTURE_ERROR, screen_names::kMrz,
             {{"error", "CREATE_CAMERA_ERROR"}});
  std::weak_ptr<OSLScanVC> weakSelf = shared<OSLScanVC>();
  DispatchQueue::main()->async([weakSelf] {
    if (!weakSelf.lock()) return;
    // Nothing can be read without the camera: closing the alert leaves the screen.
    auto leave = [weakSelf] {
      if (auto self = weakSelf.lock()) self->leaveScreen();
    };
    Helpers::showAlert(rawAlertType(OSLAlertVC::TypeOfAlert::networkError), -1, nullptr, std::nullopt,
                       osl_localize("error_create_camera"), std::nullopt, std::nullopt, leave, leave,
                       nullptr);
  });
}

void OSLScanVC::leaveScreen() {
  if (auto navigation = navigationController())
    navigation->popViewController(true);
  else
    dismiss(true);
}

// --- Geometry --------------------------------------------------------------------------------

void OSLScanVC::calculateRegionOfInterest() {
  assertOnQueue(DispatchQueue::main());
  double width = 0, height = 0;
  if (static_cast<int>(currentOrientation) > 2) {
    width = 0.8;
    height = 0.51875;
  } else {
    // Before the camera has a preset there is nothing to size the region by: keep the last one.
    const auto ratio = bufferAspectRatio();
    if (!ratio) return;
    width = std::min(0.8 * *ratio, 0.9);
    height = 0.6484375 * width / *ratio;
  }
  regionOfInterest = Rect{(1 - width) * 0.5, (1 - height) / 1.5, width, height};
  setupOrientationAndTransform();
  std::weak_ptr<OSLScanVC> weakSelf = shared<OSLScanVC>();
  DispatchQueue::main()->async([weakSelf] {
    if (auto self = weakSelf.lock()) self->updateCutout();
  });
}

void OSLScanVC::setupOrientationAndTransform() {
  const Rect& r = regionOfInterest;
  roiToGlobalTransform = AffineTransform::translation(r.minX(), r.minY()).scaledBy(r.width(), r.height());
  switch (currentOrientation) {
    case DeviceOrientation::landscapeLeft:
      textOrientation = 1;
      uiRotationTransform = AffineTransform::identity();
      break;
    case DeviceOrientation::landscapeRight:
      textOrientation = 3;
      uiRotationTransform = AffineTransform::translation(1, 1).rotatedBy(std::numbers::pi);
      break;
    case DeviceOrientation::portraitUpsideDown:
      textOrientation = 8;
      uiRotationTransform = AffineTransform::translation(1, 0).rotatedBy(std::numbers::pi / 2);
      break;
    default:
      textOrientation = 6;
      uiRotationTransform = AffineTransform::translation(0, 1).rotatedBy(-std::numbers::pi / 2);
      break;
  }
  visionToAVFTransform =
      roiToGlobalTransform.concatenating(bottomToTopTransform).concatenating(uiRotationTransform);
  geometry_.setValue({regionOfInterest, textOrientation});
}

void OSLScanVC::updateCutout() {
  if (!previewView || !bufferAspectRatio()) return;
  const Rect inBuffer = uiRotationTransform.apply(bottomToTopTransform.apply(regionOfInterest));
  const Rect cutout = previewView->videoPreviewLayer()->rectForMetadataOutputRectOfInterest(inBuffer);
  Path path = Path::rect(previewView->bounds());
  path.append(Path::roundedRect(cutout, 15));
  maskLayer->path = path;
  imageScanMrz()->setFrame(cutout);
}

// --- Torch -----------------------------------------------------------------------------------

void OSLScanVC::toggleTorch() {
  auto device = captureDevice();
  if (device) {
    // The platform raises on a torch mode the camera lacks; here that is the same refusal as a
    // camera someone else holds.
    std::optional<PlatformError> refusal;
    if (!device->hasTorch())
      refusal = captureError(kCaptureErrorUnsupported, "The camera has no torch.");
    else
      refusal = device->lockForConfiguration();
    if (refusal) {
      debugLog("OSLScanVC: torch refused: " + refusal->localizedDescription);
      Helpers::showAlert(rawAlertType(OSLAlertVC::TypeOfAlert::networkError), -1, nullptr, std::nullopt,
                         osl_localize("error_flash"), std::nullopt, std::nullopt, {}, {}, nullptr);
      return;
    }
  }
  isFlashOn = !isFlashOn;
  if (device) (void)device->setTorchMode(isFlashOn ? TorchMode::on : TorchMode::off);
  flashButton()->setImage(bundleImage(isFlashOn ? "ic_flash_on" : "ic_flash_off"), ControlState::normal);
  if (device) device->unlockForConfiguration();
}

}  // namespace ostrel
