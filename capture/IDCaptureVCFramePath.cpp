#include "capture/IDCaptureVC.hpp"

#include <utility>

#include "core/CloseSession.hpp"
#include "core/Helpers.hpp"
#include "core/Localization.hpp"
#include "core/OpenAppSettings.hpp"
#include "platform/camera/CameraAuthorization.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/ui/Control.hpp"
#include "platform/ui/Window.hpp"
#include "session/HelpersAlerts.hpp"
#include "session/Ostrel.hpp"
#include "ui/ImageExtensions.hpp"
#include "ui/OSLAlertVC.hpp"

namespace ostrel {

using namespace platform;

// ------------------------------------------------------------------------------ permission

void IDCaptureVC::checkPermission(std::function<void()> continuation) {
  if (CameraAuthorization::authorizationStatus(MediaType::video) ==
      AuthorizationStatus::authorized) {
    if (continuation) continuation();
    return;
  }
  const bool ask = state_.withValue([](const std::shared_ptr<State>& s) {
    if (s->checkPermission.isShowAlert || s->checkPermission.isRequest) return false;
    s->checkPermission.isRequest = true;
    return true;
  });
  if (!ask) return;
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  const int generation = generation_;
  CameraAuthorization::requestAccess(
      MediaType::video, [weakSelf, generation, continuation = std::move(continuation)](bool granted) {
        DispatchQueue::main()->async([weakSelf, generation, continuation, granted] {
          auto self = weakSelf.lock();
          // An answer to a question of an earlier run changes nothing.
          if (!self || self->generation_ != generation) return;
          if (!self->isOnScreen_) {
            // The screen left meanwhile: nothing starts and nothing is shown. Its next
            // appearance checks again.
            self->state_.withValue(
                [](const std::shared_ptr<State>& s) { s->checkPermission.isRequest = false; });
            return;
          }
          if (granted) {
            if (continuation) continuation();
            return;
          }
          self->state_.withValue(
              [](const std::shared_ptr<State>& s) { s->checkPermission.isShowAlert = true; });
          Helpers::showAlert(
              static_cast<int>(OSLAlertVC::TypeOfAlert::customConfirmation), -1, nullptr,
              osl_localize("check_permission_camera_title"), osl_localize("check_permission_camera"),
              osl_localize("button_no"), osl_localize("button_yes"),
              [] { closeSessionCancelled(); },
              [] { closeSessionCancelled([] { openAppSettings(); }); }, nullptr);
        });
      });
}

// ------------------------------------------------------------------------------ camera

void IDCaptureVC::setUpCamera() {
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  viewCamera->setUpCamera([weakSelf](bool success) {
    auto self = weakSelf.lock();
    if (!self) return;
    if (success) {
      self->checkPermission([weakSelf] {
        if (auto s = weakSelf.lock()) s->startCamera();
      });
      return;
    }
    // The set-up runs as the screen loads, before it is on screen, when nothing can be
    // presented yet: the alert then waits for the screen to appear.
    self->cameraSetUpFailed_ = true;
    self->cameraErrorPending_ = true;
    if (self->isViewLoaded() && self->view()->window()) self->showCameraError();
    self->track(OSLTrackingEvent::CAPTURE_ERROR, {{"error", "CREATE_CAMERA_ERROR"}},
                OSLLogLevel::error);
  });
}

void IDCaptureVC::showCameraError() {
  if (!cameraErrorPending_) return;
  cameraErrorPending_ = false;
  Helpers::showErrorAlert(std::nullopt, osl_localize("error_create_camera"),
                          [] { closeSessionCancelled(); }, nullptr);
}

void IDCaptureVC::startCamera(bool justStopped) {
  const auto& capture = viewCamera->videoCapture();
  const auto& session = capture ? capture->captureSession() : nullptr;
  // Without a set-up camera there is nothing to start.
  if (!session || !capture->imageCaptureOutput()) return;
  // A stop asked for a moment ago has not run yet (start and stop run in order on the
  // session's queue), so the session may still say it runs.
  if (justStopped || !session->isRunning()) {
    viewCamera->confidence = 0;
    capture->start();
    viewCamera->isCaptured = false;
  }
  if (justStopped || !session->isRunning()) {
    track(OSLTrackingEvent::CAPTURE_START, {{"side", isFrontId() ? "front" : "back"}});
  }
}

void IDCaptureVC::restartCamera(bool justStopped) {
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  checkPermission([weakSelf, justStopped] {
    auto self = weakSelf.lock();
    if (!self) return;
    // A permission granted only after the set-up's own check gave up sets the camera up now.
    const auto& capture = self->viewCamera->videoCapture();
    if (!self->cameraSetUpFailed_ && capture && !capture->imageCaptureOutput()) {
      self->setUpCamera();
      return;
    }
    self->startCamera(justStopped);
  });
}

// ------------------------------------------------------------------------------ capture

void IDCaptureVC::didDetect(const ImagePtr& image) {
  if (viewSwitchBtn && viewSwitchBtn->isOn) capture(image, true);
}

void IDCaptureVC::onTapCapture() {
  capture(nullptr, false);
  track(OSLTrackingEvent::TAP_CAPTURE);
}

void IDCaptureVC::capture(ImagePtr image, bool isAuto) {
  const auto& videoCapture = viewCamera->videoCapture();
  auto output = videoCapture ? videoCapture->imageCaptureOutput() : nullptr;
  // Only the live camera takes photos: not while one is under way, not over a preview, and
  // not when the camera could not be set up.
  if (!output || viewCamera->isCaptured || previewShown_) return;
  ImpactFeedbackGenerator(ImpactFeedbackGenerator::Style::heavy).impactOccurred();
  viewCamera->isCaptured = true;
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  const int generation = generation_;
  output->capture([weakSelf, generation, image = std::move(image), isAuto](
                      ImagePtr photo, std::optional<PlatformError> error) {
    // The photo output answers on its own queue; the screen is changed on the main queue.
    DispatchQueue::main()->async([weakSelf, generation, image, isAuto, photo = std::move(photo),
                                  error = std::move(error)] {
      auto self = weakSelf.lock();
      if (!self || self->generation_ != generation) return;
      self->handlePhoto(photo, error, image, isAuto);
    });
  });
}

void IDCaptureVC::handlePhoto(const ImagePtr& photo, const std::optional<PlatformError>& error,
                              const ImagePtr& given, bool isAuto) {
  if (viewCamera->captureImageView) viewCamera->captureImageView->setImage(nullptr);
  viewCamera->videoCapture()->stop();
  viewCamera->isCaptured = false;
  if (error) {
    Ostrel::shared()->hideLoading();
    viewCaptureSuccess->setHidden(true);
    track(OSLTrackingEvent::CAPTURE_ERROR, {{"error", error->localizedDescription}},
          OSLLogLevel::error);
    // A failed photo leaves the screen live again instead of stuck with a stopped camera (a
    // screen that has left keeps its camera off).
    if (isOnScreen_) restartCamera(true);
    return;
  }
  if (given) {
    showPreview(cropToCard(given), isAuto);
    if (isAuto) track(OSLTrackingEvent::CAPTURE_AUTO_SUCCESS);
  } else if (photo) {
    showPreview(cropToCard(fixedOrientation(photo)), false);
  } else if (isOnScreen_) {
    restartCamera(true);
  }
}

ImagePtr IDCaptureVC::cropToCard(const ImagePtr& image) const {
  const Rect frame = cameraMarkView->cropFrame;
  const Rect grown{frame.minX(), frame.minY() - 0.05 * frame.height(), frame.width(),
                   frame.height() * 1.1};
  return Helpers::cropImage(image, grown, cameraMarkView->bounds().size);
}

}  // namespace ostrel
