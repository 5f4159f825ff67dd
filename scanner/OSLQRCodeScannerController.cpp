#include "scanner/OSLQRCodeScannerController.hpp"

#include <algorithm>
#include <cmath>

#include "core/CurrentConfig.hpp"
#include "core/Helpers.hpp"
#include "core/Localization.hpp"
#include "core/OSLLogLevel.hpp"
#include "core/OSLTrackingEvent.hpp"
#include "core/OstrelError.hpp"
#include "core/TrackEvent.hpp"
#include "model/OSLQRCodeModel.hpp"
#include "network/OstrelClient.hpp"
#include "platform/camera/CameraAuthorization.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/runtime/Application.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/ui/AlertController.hpp"
#include "platform/ui/Device.hpp"
#include "platform/ui/LayoutConstraint.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/Text.hpp"
#include "platform/ui/Window.hpp"
#include "session/HelpersAlerts.hpp"
#include "session/Ostrel.hpp"
#include "ui/CloseButton.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

constexpr double kPulseDelay = 0.4;

void trackQREvent(OSLTrackingEvent event, const std::string& screen) {
  trackEvent(OSLLogLevel::info, event, screen, JSON::object());
}

}  // namespace

std::string QRCodeError::errorDescription() const {
  switch (code_) {
    case inputFailed: return osl_localize("failed_to_add_input_camera");
    case outputFailed: return osl_localize("failed_to_add_output_camera");
    case emptyResult: return osl_localize("invalid_qr_code");
  }
  return {};
}

std::shared_ptr<OSLQRCodeScannerController> OSLQRCodeScannerController::create(
    const QRScannerConfiguration& configuration) {
  return platform::make<OSLQRCodeScannerController>(configuration);
}

std::shared_ptr<OSLQRCodeScannerController> OSLQRCodeScannerController::create() {
  return create(QRScannerConfiguration{});
}

OSLQRCodeScannerController::OSLQRCodeScannerController(QRScannerConfiguration configuration)
    : qrScannerConfiguration(std::move(configuration)),
      dataOutput(std::make_shared<CaptureMetadataOutput>()),
      captureSession(std::make_shared<CaptureSession>()) {}

void OSLQRCodeScannerController::didMake() {
  BaseViewController::didMake();
  auto self = shared<OSLQRCodeScannerController>();
  if (Device::current().supportsModernPhotoPicker()) {
    phPhotoPicker = PHPhotoPicker::make(self, self);
  } else {
    photoPicker = PhotoPicker::make(self, self);
  }
}

CaptureDevicePtr OSLQRCodeScannerController::defaultDevice() {
  if (!defaultDevice_) defaultDevice_ = CaptureDevice::defaultDevice(MediaType::video);
  return *defaultDevice_;
}

CaptureDevicePtr OSLQRCodeScannerController::frontDevice() {
  if (!frontDevice_)
    frontDevice_ = CaptureDevice::defaultDevice(CaptureDeviceType::builtInWideAngleCamera,
                                                MediaType::video, CaptureDevicePosition::front);
  return *frontDevice_;
}

std::shared_ptr<CaptureDeviceInput> OSLQRCodeScannerController::defaultCaptureInput() {
  if (!defaultCaptureInput_) {
    auto device = defaultDevice();
    defaultCaptureInput_ = device ? CaptureDeviceInput::make(device).value : nullptr;
  }
  return *defaultCaptureInput_;
}

std::shared_ptr<CaptureDeviceInput> OSLQRCodeScannerController::frontCaptureInput() {
  if (!frontCaptureInput_) {
    auto device = frontDevice();
    frontCaptureInput_ = device ? CaptureDeviceInput::make(device).value : nullptr;
  }
  return *frontCaptureInput_;
}

const std::shared_ptr<CaptureVideoPreviewLayer>& OSLQRCodeScannerController::videoPreviewLayer() {
  if (!videoPreviewLayer_) {
    videoPreviewLayer_ = std::make_shared<CaptureVideoPreviewLayer>(captureSession);
    videoPreviewLayer_->videoGravity = LayerVideoGravity::resizeAspectFill;
    videoPreviewLayer_->cornerRadius = 10;
  }
  return videoPreviewLayer_;
}

void OSLQRCodeScannerController::viewDidLoad() {
  BaseViewController::viewDidLoad();
  presentationController()->delegate = weak<OSLQRCodeScannerController>();
  setupViews();
  forcePortrait();
  _delayCount = 0;
  setupSession(devicePosition);
  setupPreviewLayer();
  setupScanFrame();
  askCameraPermission();
}

void OSLQRCodeScannerController::setupViews() {
  auto root = view();
  closeButton = makeCloseButton<OSLQRCodeScannerController>(
      shared<OSLQRCodeScannerController>(),
      [](OSLQRCodeScannerController& self) { self.dismissViewController(); }, Color::white());
  root->addSubview(closeButton);

  titleLabel = make<Label>();
  titleLabel->setText(qrScannerConfiguration.title);
  titleLabel->setTextColor(Color::white());
  titleLabel->setFont(Font::systemFont(20, FontWeight::semibold));
  titleLabel->textAlignment = TextAlignment::center;
  titleLabel->setBackgroundColor(Color::clear());

  hintLabel = make<Label>();
  hintLabel->setText(qrScannerConfiguration.hint);
  hintLabel->setTextColor(Color::white());
  hintLabel->setFont(Font::systemFont(15, FontWeight::regular));
  hintLabel->textAlignment = TextAlignment::center;
  hintLabel->setBackgroundColor(Color::clear());
  hintLabel->setNumberOfLines(0);

  stackView = make<StackView>();
  stackView->axis = LayoutConstraintAxis::vertical;
  stackView->alignment = StackViewAlignment::center;
  stackView->spacing = 10;
  stackView->setBackgroundColor(Color::clear());
  stackView->addArrangedSubview(titleLabel);
  stackView->addArrangedSubview(hintLabel);
  root->addSubview(stackView);

  auto safeArea = root->safeAreaLayoutGuide();
  LayoutConstraint::activate({
      closeButton->topAnchor().constraintEqualTo(safeArea->topAnchor()),
      closeButton->trailingAnchor().constraintEqualTo(safeArea->trailingAnchor()),
      closeButton->widthAnchor().constraintEqualToConstant(70),
      closeButton->heightAnchor().constraintEqualToConstant(40),
      stackView->centerXAnchor().constraintEqualTo(root->centerXAnchor()),
      stackView->topAnchor().constraintEqualTo(closeButton->bottomAnchor()),
      stackView->leadingAnchor().constraintEqualTo(root->leadingAnchor(), 5),
  });
  // The white close button and texts stay readable over a light camera picture.
  topShade_ = make<View>();
  topShade_->setBackgroundColor(Color{0, 0, 0, 0.35});
  topShade_->setUserInteractionEnabled(false);
  root->insertSubview(topShade_, 0);
  closeButton->imageView()->setContentMode(ContentMode::scaleAspectFit);
  layoutTopViews();
}

void OSLQRCodeScannerController::viewDidLayoutSubviews() {
  BaseViewController::viewDidLayoutSubviews();
  layoutTopViews();
}

void OSLQRCodeScannerController::layoutTopViews() {
  if (!closeButton || !stackView || !topShade_) return;
  // Constraints are data here: the frames they describe are set as well.
  auto root = view();
  const Rect bounds = root->bounds();
  const Rect safe = bounds.insetBy(root->safeAreaInsets());
  closeButton->setFrame({safe.maxX() - 70, safe.minY(), 70, 40});
  // Centred, 5 from the leading edge: 5 from the trailing edge too.
  const double width = std::max(0.0, bounds.width() - 10);
  titleLabel->preferredMaxLayoutWidth = width;
  hintLabel->preferredMaxLayoutWidth = width;
  const double height = stackView->intrinsicContentSize().height;
  stackView->setFrame({bounds.minX() + 5, closeButton->frame().maxY(), width, height});
  stackView->setNeedsLayout();
  stackView->layoutIfNeeded();
  const double shadeBottom = stackView->frame().maxY() + 12;
  topShade_->setFrame({bounds.minX(), bounds.minY(), bounds.width(), shadeBottom - bounds.minY()});
}

void OSLQRCodeScannerController::forcePortrait() {
  if (Device::current().supportsSceneGeometryRequests()) {
    auto scenes = WindowScene::connectedScenes();
    if (!scenes.empty() && scenes.front())
      scenes.front()->requestGeometryUpdate(InterfaceOrientationMask::portrait);
  } else {
    Device::current().setLegacyOrientationValue(static_cast<int>(InterfaceOrientation::portrait));
  }
}

void OSLQRCodeScannerController::setupPreviewLayer() {
  const auto& preview = videoPreviewLayer();
  preview->frame = view()->bounds();
  // The screen is portrait only, so the camera is shown upright in portrait.
  if (auto connection = preview->connection())
    connection->setVideoOrientation(CaptureVideoOrientation::portrait);
  view()->layer()->insertSublayer(preview, 0);
}

void OSLQRCodeScannerController::setupScanFrame() {
  const Rect frame = view()->frame();
  const double W = frame.width(), H = frame.height();
  const double side = W / 1.5 - 30;
  const double x = frame.midX() - side / 2;
  const double y = frame.midY() - (H / 2 - 30) / 2;
  view()->setBackgroundColor(Color{0, 0, 0, 0.5});
  auto scanFrame = make<QRScannerFrame>(Rect{x, y, side, side});
  scanFrame->setThickness(qrScannerConfiguration.thickness);
  scanFrame->setLength(qrScannerConfiguration.length);
  scanFrame->setRadius(qrScannerConfiguration.radius);
  scanFrame->setColor(qrScannerConfiguration.color);
  scanFrame->translatesAutoresizingMaskIntoConstraints = false;
  view()->addSubview(scanFrame);
  originQRFrameView = {x, y, side, side};
  qrFrameView = scanFrame;
  if (qrScannerConfiguration.readQRFromPhotos) addUploadButton(side, y);
}

void OSLQRCodeScannerController::addUploadButton(double side, double y) {
  const Rect frame = view()->frame();
  const auto measured = TextMeasurer::shared().boundingSize(
      qrScannerConfiguration.uploadFromPhotosTitle, Font::systemFont(14), {0, 36}, 0);
  const double titleWidth = std::ceil(measured.width);
  uploadButton = make<Button>(Rect{frame.midX() - side / 2, y + side + 30, titleWidth + 51, 36});
  uploadButton->setCenter({frame.midX(), uploadButton->center().y});
  AttributedString title;
  title.string = qrScannerConfiguration.uploadFromPhotosTitle;
  title.font = Font::systemFont(14);
  title.foregroundColor = Color::black();
  uploadButton->setAttributedTitle(title, ControlState::normal);
  uploadButton->setBackgroundColor(Color{1, 1, 1, 0.8});
  uploadButton->layer()->cornerRadius = 18;
  if (qrScannerConfiguration.galleryImage) {
    uploadButton->setImage(qrScannerConfiguration.galleryImage, ControlState::normal);
    uploadButton->imageEdgeInsets = {4, 3, 4, 4};
    uploadButton->titleEdgeInsets.left = 10;
  }
  uploadButton->addTarget<OSLQRCodeScannerController>(
      shared<OSLQRCodeScannerController>(),
      [](OSLQRCodeScannerController& self, Control&) { self.showImagePicker(); },
      ControlEvent::touchUpInside);
  view()->addSubview(uploadButton);
}

void OSLQRCodeScannerController::viewWillAppear(bool animated) {
  BaseViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(true, false);
  addRoundButtons();
  if (startOnAppear_) {
    startOnAppear_ = false;
    askCameraPermission();
  }
}

void OSLQRCodeScannerController::addRoundButtons() {
  const double H = view()->frame().height(), Wb = view()->bounds().width();
  if (qrScannerConfiguration.flashOnImage && !flashButton) {
    flashButton = make<RoundButton>(Rect{32, H - 100, roundButtonWidth, roundButtonHeight});
    flashButton->setImage(qrScannerConfiguration.flashOnImage, ControlState::normal);
    flashButton->addTarget<OSLQRCodeScannerController>(
        shared<OSLQRCodeScannerController>(),
        [](OSLQRCodeScannerController& self, Control&) { self.toggleTorch(); },
        ControlEvent::touchUpInside);
    view()->addSubview(flashButton);
  }
  if (qrScannerConfiguration.cameraImage && !cameraButton) {
    cameraButton = make<RoundButton>(Rect{Wb - 82, H - 100, roundButtonWidth, roundButtonHeight});
    cameraButton->setImage(qrScannerConfiguration.cameraImage, ControlState::normal);
    cameraButton->addTarget<OSLQRCodeScannerController>(
        shared<OSLQRCodeScannerController>(),
        [](OSLQRCodeScannerController& self, Control&) { self.switchCamera(); },
        ControlEvent::touchUpInside);
    view()->addSubview(cameraButton);
  }
}

void OSLQRCodeScannerController::viewDidAppear(bool animated) {
  BaseViewController::viewDidAppear(animated);
  startFramePulse();
}

void OSLQRCodeScannerController::viewWillDisappear(bool animated) {
  BaseViewController::viewWillDisappear(animated);
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(false, false);
}

void OSLQRCodeScannerController::didBecomeActiveNotification() {
  BaseViewController::didBecomeActiveNotification();
  // Back from the settings page (or the background) the camera runs again, unless a code was
  // accepted: then the submission or its alert decides what comes next.
  if (state_ != ScanState::preparing && state_ != ScanState::scanning) return;
  startSession();
  std::weak_ptr<OSLQRCodeScannerController> weakSelf = weak<OSLQRCodeScannerController>();
  DispatchQueue::main()->asyncAfter(kPulseDelay, [weakSelf] {
    if (auto self = weakSelf.lock()) self->startFramePulse();
  });
}

void OSLQRCodeScannerController::willResignActiveNotification() {
  BaseViewController::willResignActiveNotification();
  stopSession();
}

void OSLQRCodeScannerController::startFramePulse() {
  if (!qrFrameView) return;
  qrFrameView->setTransform(AffineTransform::identity());
  AnimationOptions options;
  options.repeat = true;
  options.autoreverse = true;
  auto frameView = qrFrameView;
  View::animate(0.55, 0, options, [frameView] {
    frameView->setTransform(AffineTransform::scale(1.11, 1.11));
  });
}

void OSLQRCodeScannerController::dismissViewController() {
  const std::string screen = typeNameWithoutModule(*this);
  Helpers::showAlert(
      2, -1, nullptr, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
      [screen] { trackQREvent(OSLTrackingEvent::EXIT_TAP_NO, screen); },
      [screen] {
        Ostrel::shared()->close(true, [screen] { trackQREvent(OSLTrackingEvent::EXIT_TAP_YES, screen); });
      },
      nullptr);
  trackQREvent(OSLTrackingEvent::TAP_EXIT, screen);
}

void OSLQRCodeScannerController::presentationControllerDidDismiss(PresentationController&) {
  report({QRScannerCodeResponseType::didCancel{}});
}

void OSLQRCodeScannerController::report(const QRScannerCodeResponseType& response) {
  if (onScannedHandle) {
    onScannedHandle(response);
    return;
  }
  auto receiver = delegate.lock();
  if (!receiver) return;
  std::visit(
      [&](const auto& value) {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, QRScannerCodeResponseType::didScanQRCodeWithResult>) {
          receiver->qrScanner(*this, value.text);
        } else if constexpr (std::is_same_v<T, QRScannerCodeResponseType::didFailWithError>) {
          receiver->qrScanner(*this, value.error);
        } else {
          receiver->qrScannerDidCancel(*this);
        }
      },
      response.value);
}

}  // namespace ostrel
