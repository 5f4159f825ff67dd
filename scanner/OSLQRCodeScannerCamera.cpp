#include "scanner/OSLQRCodeScannerController.hpp"

// The camera: session set-up, permission, start and stop, torch and camera switch.

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

}  // namespace ostrel
