#include "capture/IDCaptureVC.hpp"

#include "core/TrackEvent.hpp"
#include "platform/runtime/Application.hpp"
#include "platform/runtime/NotificationCenter.hpp"
#include "platform/ui/NavigationController.hpp"
#include "session/HelpersAlerts.hpp"
#include "session/Ostrel.hpp"
#include "ui/GuideVC.hpp"
#include "ui/OSLAlertVC.hpp"

namespace ostrel {

using namespace platform;

// ------------------------------------------------------------------------------ creation

std::shared_ptr<IDCaptureVC> IDCaptureVC::create(bool isFrontId) {
  auto screen = loadFromNib<IDCaptureVC>();
  screen->state_.withValue([&](const std::shared_ptr<State>& s) { s->isFrontId = isFrontId; });
  return screen;
}

IDCaptureVC::State IDCaptureVC::state() const {
  return state_.withValue([](const std::shared_ptr<State>& s) { return *s; });
}

bool IDCaptureVC::isFrontId() const {
  return isPassportMode() || state().isFrontId;
}

bool IDCaptureVC::isPassportMode() {
  return Ostrel::shared()->flowType().isPassport();
}

std::string IDCaptureVC::screenName() const {
  return isFrontId() ? screen_names::kCaptureFront : screen_names::kCaptureBack;
}

void IDCaptureVC::track(OSLTrackingEvent event, const JSON& data, OSLLogLevel level) const {
  trackEvent(level, event, screenName(), data);
}

// ------------------------------------------------------------------------------ actions

void IDCaptureVC::btnConfirmClicked() {
  if (handOffInFlight_) return;
  auto image = cardImageView->image();
  if (!image) return;
  sendCardImage(image);
  track(OSLTrackingEvent::TAP_CONTINUE);
}

void IDCaptureVC::onTapClose() {
  Helpers::showAlert(
      static_cast<int>(OSLAlertVC::TypeOfAlert::exitConfirmation), -1, nullptr, std::nullopt,
      std::nullopt, std::nullopt, std::nullopt,
      [name = screenName()] { trackEvent(OSLLogLevel::info, OSLTrackingEvent::EXIT_TAP_NO, name); },
      [name = screenName()] {
        Ostrel::shared()->close(true, [name] {
          trackEvent(OSLLogLevel::info, OSLTrackingEvent::EXIT_TAP_YES, name);
        });
      },
      nullptr);
  track(OSLTrackingEvent::TAP_EXIT);
}

void IDCaptureVC::closeTapped() {
  onTapClose();
}

void IDCaptureVC::openGuide() {
  using Kind = GuideVC::TypeOfGuide;
  auto guide = GuideVC::create(isPassportMode() ? Kind::passport
                               : state().isFrontId ? Kind::frontId
                                                   : Kind::backId);
  guide->modalPresentationStyle = ModalPresentationStyle::formSheet;
  present(guide, true);
  track(OSLTrackingEvent::TAP_GUIDE);
}

void IDCaptureVC::_willResignActiveNotification() {
  track(OSLTrackingEvent::SDK_IN_BACKGROUND);
}

void IDCaptureVC::_didBecomeActiveNotification() {
  track(OSLTrackingEvent::SDK_IN_FOREGROUND);
}

// ------------------------------------------------------------------------------ lifecycle

void IDCaptureVC::viewWillAppear(bool animated) {
  BaseViewController::viewWillAppear(animated);
  isOnScreen_ = true;
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(true, animated);
  viewCamera->isFrontId = state().isFrontId;
  // Lay out before the first frame so the crop frame is known when the screen appears.
  view()->setNeedsLayout();
  view()->layoutIfNeeded();
  restartCamera();
  auto& center = NotificationCenter::defaultCenter();
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  center.addObserver(shared<IDCaptureVC>(), ApplicationDidBecomeActiveNotification,
                     [weakSelf](const Notification&) {
                       if (auto self = weakSelf.lock()) self->_didBecomeActiveNotification();
                     });
  center.addObserver(shared<IDCaptureVC>(), ApplicationWillResignActiveNotification,
                     [weakSelf](const Notification&) {
                       if (auto self = weakSelf.lock()) self->_willResignActiveNotification();
                     });
}

void IDCaptureVC::viewDidAppear(bool animated) {
  BaseViewController::viewDidAppear(animated);
  viewCamera->cropRect = cameraMarkView->cropFrame;
  track(OSLTrackingEvent::ENTER_SCREEN);
  playIntro();
  showCameraError();
}

void IDCaptureVC::viewWillDisappear(bool animated) {
  BaseViewController::viewWillDisappear(animated);
  isOnScreen_ = false;
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(false, animated);
  if (viewCamera->captureImageView) viewCamera->captureImageView->setImage(nullptr);
  viewCamera->videoCapture()->stop();
  viewCamera->isCaptured = false;
  // Observers of this screen (the base class's and its own) all go.
  NotificationCenter::defaultCenter().removeObserver(this);
}

void IDCaptureVC::viewDidDisappear(bool animated) {
  BaseViewController::viewDidDisappear(animated);
  track(OSLTrackingEvent::EXIT_SCREEN);
}

// ------------------------------------------------------------------------------ reset

void IDCaptureVC::resetForNewRun() {
  ++generation_;
  handOffInFlight_ = false;
  previewShown_ = false;
  state_.withValue([](const std::shared_ptr<State>& s) { s->checkPermission = {}; });
  removeIntro();
  if (!isViewLoaded()) return;
  for (const auto& child : std::vector<std::shared_ptr<View>>(cameraMarkView->subviews())) {
    if (child->tag() == kThumbnailTag) child->removeFromSuperview();
  }
  cardImageView->setImage(nullptr);
  cardImageView->setHidden(true);
  viewCamera->setHidden(false);
  viewCamera->confidence = 0;
  viewCamera->isCaptured = false;
  showLiveControls();
  for (const auto& v : std::vector<std::shared_ptr<View>>{btnRetake, btnConfirm, viewCaptureSuccess,
                                                          captureButton->superview()}) {
    v->setAlpha(1);
  }
  restoreGuideLine();
  applyTexts();
}

}  // namespace ostrel
