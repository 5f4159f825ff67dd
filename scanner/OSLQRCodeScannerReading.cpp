#include "scanner/OSLQRCodeScannerController.hpp"

// Reading: codes seen by the camera, their submission and its reply, and codes read from a
// picked photo.

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

}  // namespace

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
