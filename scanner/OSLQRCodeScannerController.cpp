#include "scanner/OSLQRCodeScannerController.hpp"

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

constexpr double kSubmitDelay = 0.8;
constexpr double kPulseDelay = 0.4;
constexpr double kWindowMoveDuration = 0.5;

bool finite(const Rect& r) {
  return std::isfinite(r.minX()) && std::isfinite(r.minY()) && std::isfinite(r.width()) &&
         std::isfinite(r.height());
}

// Whether `inner` lies wholly inside `outer` (an empty or non-finite rectangle never does).
bool containsRect(const Rect& outer, const Rect& inner) {
  if (!finite(inner) || inner.width() < 0 || inner.height() < 0) return false;
  return inner.minX() >= outer.minX() && inner.minY() >= outer.minY() &&
         inner.maxX() <= outer.maxX() && inner.maxY() <= outer.maxY();
}

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

void OSLQRCodeScannerController::setupSession(CaptureDevicePosition position) {
  if (captureSession->isRunning()) return;
  std::shared_ptr<CaptureDeviceInput> input;
  if (position == CaptureDevicePosition::unspecified || position == CaptureDevicePosition::back) {
    input = defaultCaptureInput();
  } else if (position == CaptureDevicePosition::front) {
    input = frontCaptureInput();
  }
  if (input) {
    if (!captureSession->canAddInput(input)) {
      reportCameraFailure(QRCodeError::inputFailed, "failed_to_add_input_camera");
      return;
    }
    (void)captureSession->addInput(input);
  }
  if (!captureSession->canAddOutput(dataOutput)) {
    reportCameraFailure(QRCodeError::outputFailed, "failed_to_add_output_camera");
    return;
  }
  (void)captureSession->addOutput(dataOutput);
  dataOutput->setMetadataObjectTypes(dataOutput->availableMetadataObjectTypes());
  dataOutput->setMetadataObjectsDelegate(weak<OSLQRCodeScannerController>(), DispatchQueue::main());
  sessionConfigured_ = true;
  state_ = ScanState::scanning;
}

void OSLQRCodeScannerController::reportCameraFailure(const QRCodeError& error,
                                                     const std::string& messageKey) {
  report({QRScannerCodeResponseType::didFailWithError{error}});
  Helpers::showAlert(1, -1, nullptr, std::nullopt, osl_localize(messageKey), std::nullopt,
                     std::nullopt, nullptr, [] { Ostrel::shared()->close(true); }, nullptr);
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

void OSLQRCodeScannerController::askCameraPermission() {
  if (CameraAuthorization::authorizationStatus(MediaType::video) == AuthorizationStatus::authorized) {
    startSession();
    return;
  }
  std::weak_ptr<OSLQRCodeScannerController> weakSelf = weak<OSLQRCodeScannerController>();
  CameraAuthorization::requestAccess(MediaType::video, [weakSelf](bool granted) {
    DispatchQueue::main()->async([weakSelf, granted] {
      auto self = weakSelf.lock();
      if (!self) return;
      if (granted) {
        self->startSession();
        return;
      }
      Helpers::showAlert(4, -1, nullptr, osl_localize("check_permission_camera_title"),
                         osl_localize("check_permission_camera"), osl_localize("button_no"),
                         osl_localize("button_yes"), [] { Ostrel::shared()->close(true); },
                         [] { Application::shared().openSettings(); }, nullptr);
    });
  });
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

void OSLQRCodeScannerController::startSession() {
  if (captureSession->isRunning()) return;
  auto session = captureSession;
  DispatchQueue::global()->async([session] { session->startRunning(); });
}

void OSLQRCodeScannerController::stopSession() {
  if (!captureSession->isRunning()) return;
  auto session = captureSession;
  DispatchQueue::global()->async([session] { session->stopRunning(); });
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

void OSLQRCodeScannerController::captureOutput(CaptureMetadataOutput&, const MetadataObjects& objects,
                                               CaptureConnection&) {
  handleMetadataObjects(objects);
}

void OSLQRCodeScannerController::handleMetadataObjects(const MetadataObjects& objects) {
  // Batches queued before the camera stopped, or arriving while a code is being handled,
  // are not another scan.
  if (state_ != ScanState::scanning || objects.empty() || !isViewLoaded()) return;
  const Rect visible = view()->bounds();
  for (const auto& object : objects) {
    auto converted = videoPreviewLayer()->transformedMetadataObject(object);
    if (!converted) continue;
    auto code = std::dynamic_pointer_cast<MachineReadableCodeObject>(converted);
    if (!code) continue;
    if (!containsRect(visible, code->bounds)) continue;
    ++_delayCount;
    if (_delayCount <= delayCount) continue;
    if (!code->stringValue) continue;

    state_ = ScanState::accepted;
    captureSession->stopRunning();
    if (qrFrameView) {
      AnimationOptions options;
      options.curve = TimingFunction::easeOut;
      auto frameView = qrFrameView;
      const Rect target = code->bounds;
      View::animate(kWindowMoveDuration, 0, options, [frameView, target] {
        frameView->setFrame(target);
        frameView->layoutIfNeeded();
      });
    }
    std::weak_ptr<OSLQRCodeScannerController> weakSelf = weak<OSLQRCodeScannerController>();
    const std::string text = *code->stringValue;
    const auto generation = generation_;
    DispatchQueue::main()->asyncAfter(kSubmitDelay, [weakSelf, text, generation] {
      auto self = weakSelf.lock();
      if (!self || self->generation_ != generation || self->state_ != ScanState::accepted) return;
      self->submit(text);
    });
    return;  // one code per scanning period
  }
}

void OSLQRCodeScannerController::submit(const std::string& text) {
  state_ = ScanState::submitting;
  Helpers::showLoading(shared<OSLQRCodeScannerController>(), std::nullopt, std::nullopt, false);
  std::weak_ptr<OSLQRCodeScannerController> weakSelf = weak<OSLQRCodeScannerController>();
  const auto generation = generation_;
  OstrelClient::submitQRCode(text, [weakSelf, text, generation](Outcome<JSON> reply) {
    // The indicator goes whatever became of the screen.
    Ostrel::shared()->hideLoading();
    auto self = weakSelf.lock();
    if (!self || self->generation_ != generation) return;
    self->handleSubmitResponse(text, std::move(reply));
  });
}

void OSLQRCodeScannerController::handleSubmitResponse(const std::string& text, Outcome<JSON> reply) {
  if (!reply) {
    if (reply.error().code == OstrelError::kSessionExpired) {
      state_ = ScanState::expired;
      Helpers::showTimeoutAlert(nullptr);
      return;
    }
    state_ = ScanState::rejected;
    std::weak_ptr<OSLQRCodeScannerController> weakSelf = weak<OSLQRCodeScannerController>();
    Helpers::showAlert(1, -1, bundleImage("qirta_scan_qrcode_error"),
                       osl_localize("invalid_qr_code_title"), osl_localize("invalid_qr_code"),
                       std::nullopt, std::nullopt, nullptr,
                       [weakSelf] {
                         if (auto self = weakSelf.lock()) self->restartScanning();
                       },
                       nullptr);
    return;
  }
  // Only a non-empty "fields" object is a reading of the card; anything else leaves no QR
  // result, so the chip screen falls back to its other key sources.
  std::shared_ptr<OSLQRCodeModel> model;
  const JSON& data = reply.value();
  if (data.is_object()) {
    auto fields = data.find("fields");
    if (fields != data.end() && fields->is_object() && !fields->empty())
      model = OSLQRCodeModel::decode(*fields);
  }
  if (model) {
    model->decoded_text = text;
    const std::string expiry =
        Helpers::idCardExpiryDate(model->birthday.value_or(""), model->doi.value_or(""));
    // A date, or the empty text of a card that does not expire; never the failure text in
    // place of what the server read.
    if (expiry != Helpers::kInvalidDateFormat) model->doe = expiry;
  } else {
    debugLog("QR submission answered without a usable reading; no QR result kept");
  }
  currentConfig()->qrCodeResult = model;
  state_ = ScanState::done;
  if (onNext) onNext();
}

void OSLQRCodeScannerController::restartScanning() {
  state_ = ScanState::scanning;
  startSession();
  if (!qrFrameView) return;
  AnimationOptions options;
  options.curve = TimingFunction::easeOut;
  auto frameView = qrFrameView;
  const Rect origin = originQRFrameView;
  View::animate(kWindowMoveDuration, 0, options, [frameView, origin] {
    frameView->setFrame(origin);
    frameView->layoutIfNeeded();
  });
}

void OSLQRCodeScannerController::resetForNewRun() {
  ++generation_;
  _delayCount = 0;
  if (qrFrameView) {
    View::performWithoutAnimation([this] {
      qrFrameView->setTransform(AffineTransform::identity());
      qrFrameView->setFrame(originQRFrameView);
    });
  }
  if (auto device = defaultDevice(); device && device->hasTorch() && device->torchMode() != TorchMode::off) {
    if (!device->lockForConfiguration()) {
      (void)device->setTorchMode(TorchMode::off);
      device->unlockForConfiguration();
    }
  }
  if (flashButton) {
    flashButton->setImage(bundleImage("ic_flash_off"), ControlState::normal);
    flashButton->setBackgroundColor(Color{0, 0, 0, 0.5});
  }
  // Stopped here and now, so that the next appearance starts the camera as the first one did.
  captureSession->stopRunning();
  state_ = sessionConfigured_ ? ScanState::scanning : ScanState::preparing;
  startOnAppear_ = isViewLoaded();
}

std::shared_ptr<CaptureDeviceInput> OSLQRCodeScannerController::currentInput() const {
  auto inputs = captureSession->inputs();
  return inputs.empty() ? nullptr : inputs.front();
}

void OSLQRCodeScannerController::toggleTorch() {
  auto input = currentInput();
  if (!input || !input->device() || input->device()->position() == CaptureDevicePosition::front)
    return;
  auto device = defaultDevice();
  if (!device || !device->isTorchAvailable()) return;
  if (device->lockForConfiguration()) return;  // someone else holds the camera
  const bool turnOn = device->torchMode() != TorchMode::on;
  if (device->setTorchMode(turnOn ? TorchMode::on : TorchMode::off)) {
    device->unlockForConfiguration();
    return;
  }
  if (flashButton) {
    flashButton->setImage(bundleImage(turnOn ? "ic_flash_on" : "ic_flash_off"), ControlState::normal);
    flashButton->setBackgroundColor(turnOn ? Color{1, 1, 1, 0.3} : Color{0, 0, 0, 0.5});
  }
  device->unlockForConfiguration();
}

void OSLQRCodeScannerController::switchCamera() {
  if (!frontCaptureInput()) return;
  captureSession->beginConfiguration();
  if (auto current = currentInput()) {
    captureSession->removeInput(current);
    const bool wasFront =
        current->device() && current->device()->position() == CaptureDevicePosition::front;
    auto replacement = wasFront ? defaultCaptureInput() : frontCaptureInput();
    if (replacement) (void)captureSession->addInput(replacement);
  }
  captureSession->commitConfiguration();
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

void OSLQRCodeScannerController::showImagePicker() { presentPicker(); }

void OSLQRCodeScannerController::presentPicker() {
  if (phPhotoPicker) {
    if (auto presenter = phPhotoPicker->presentationController.lock())
      presenter->present(phPhotoPicker->pickerController, true);
  } else if (photoPicker) {
    photoPicker->present(view());
  }
}

void OSLQRCodeScannerController::didSelect(ImagePtr image) { handlePickedImage(std::move(image)); }

void OSLQRCodeScannerController::handlePickedImage(ImagePtr image) {
  if (!image) {
    showInvalidCodeAlert();
    return;
  }
  auto text = detectQRCode(image);
  if (!text || text->empty()) {
    showInvalidCodeAlert();
    return;
  }
  const auto& pattern = qrScannerConfiguration.regexValidResult;
  if (pattern && !pattern->empty() && !qrScannerConfiguration.validate(*text)) {
    showInvalidCodeAlert();
    return;
  }
  const std::string result = QRScannerConfiguration::referralValueOrText(*text);
  // The delegate as it is now, should the owner let it go while the screen leaves.
  auto receiverAtStart = delegate.lock();
  std::weak_ptr<OSLQRCodeScannerController> weakSelf = weak<OSLQRCodeScannerController>();
  auto done = [weakSelf, result, receiverAtStart] {
    auto self = weakSelf.lock();
    if (!self) return;
    if (self->onScannedHandle) {
      self->onScannedHandle({QRScannerCodeResponseType::didScanQRCodeWithResult{result}});
    } else if (receiverAtStart) {
      receiverAtStart->qrScanner(*self, result);
    }
  };
  // Leave the way the screen came: popped off a stack with a screen below it, else dismissed.
  // Inside the library's navigation controller it never takes the whole session down.
  auto navigation = navigationController();
  if (navigation && navigation->viewControllers().size() > 1 &&
      navigation->viewControllers().back().get() == this) {
    navigation->popViewController(true);
    DispatchQueue::main()->asyncAfter(ViewController::kDefaultTransitionDuration, done);
    return;
  }
  if (!dismiss(true, done)) done();
}

void OSLQRCodeScannerController::showInvalidCodeAlert() {
  auto alert = AlertController::make(qrScannerConfiguration.invalidQRCodeAlertTitle, std::string(),
                                     AlertControllerStyle::alert);
  alert->addAction({qrScannerConfiguration.invalidQRCodeAlertActionTitle, AlertActionStyle::cancel,
                    nullptr});
  present(alert, true);
}

}  // namespace ostrel
