#include "ui/BaseViewController.hpp"

#include "core/CloseSession.hpp"
#include "core/CurrentConfig.hpp"
#include "core/TrackEvent.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/runtime/Application.hpp"
#include "platform/runtime/NotificationCenter.hpp"
#include "platform/ui/NavigationController.hpp"
#include "ui/CloseButton.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OSLPopupHolderViewController.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

std::optional<std::string> BaseViewController::screenName(const std::string& className) {
  if (className == "OSLScanNFCVC") return screen_names::kNfc;
  if (className == "OSLFaceVC") return screen_names::kLiveness;
  if (className == "ConfirmViewController") return screen_names::kConfirmInformation;
  return std::nullopt;
}

void BaseViewController::viewDidLoad() {
  ViewController::viewDidLoad();
  setupUI();
}

void BaseViewController::setupUI() {
  navigationItem()->setHidesBackButton(true, true);
  auto close = makeCloseButton<BaseViewController>(
      shared<BaseViewController>(), [](BaseViewController& self) { self.closeTapped(); });
  navigationItem()->rightBarButtonItems = {std::make_shared<BarButtonItem>(close)};
  view()->setBackgroundColor(colorFromHex(currentAppearance()->backgroundColor));
  if (auto navigation = navigationController()) {
    auto bar = navigation->navigationBar();
    bar->setBackgroundImage(std::make_shared<Image>(Size{}), BarMetrics::defaultMetrics);
    bar->shadowImage = std::make_shared<Image>(Size{});
    bar->isTranslucent = true;
    bar->barTintColor = Color::white();
    bar->setTintColor(Color::white());
  }
}

void BaseViewController::viewWillAppear(bool animated) {
  ViewController::viewWillAppear(animated);
  auto& center = NotificationCenter::defaultCenter();
  std::weak_ptr<BaseViewController> weakSelf = weak<BaseViewController>();
  center.addObserver(shared<BaseViewController>(), ApplicationDidBecomeActiveNotification,
                     [weakSelf](const Notification&) {
                       if (auto self = weakSelf.lock()) self->didBecomeActiveNotification();
                     });
  center.addObserver(shared<BaseViewController>(), ApplicationWillResignActiveNotification,
                     [weakSelf](const Notification&) {
                       if (auto self = weakSelf.lock()) self->willResignActiveNotification();
                     });
}

void BaseViewController::viewWillDisappear(bool animated) {
  ViewController::viewWillDisappear(animated);
  // Every registration of this screen goes, a subclass's own included.
  NotificationCenter::defaultCenter().removeObserver(this);
}

void BaseViewController::willResignActiveNotification() {
  logScreenEvent(OSLTrackingEvent::SDK_IN_BACKGROUND);
}

void BaseViewController::didBecomeActiveNotification() {
  logScreenEvent(OSLTrackingEvent::SDK_IN_FOREGROUND);
}

void BaseViewController::logScreenEvent(OSLTrackingEvent event) {
  if (auto name = screenName(typeNameWithoutModule(*this))) {
    trackEvent(OSLLogLevel::info, event, *name, JSON::object());
  }
}

void BaseViewController::closeTapped() {
  auto alert = OSLAlertVC::newVC(OSLAlertVC::TypeOfAlert::exitConfirmation);
  alert->onConfirmAction = [] { closeSessionCancelled(); };
  auto holder = OSLPopupHolderViewController::makeHolder(alert);
  std::shared_ptr<ViewController> presenter = tabBarController();
  if (!presenter) presenter = shared<ViewController>();
  presenter->present(holder, true);
}

}  // namespace ostrel
