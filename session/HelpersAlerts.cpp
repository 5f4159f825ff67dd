#include "session/HelpersAlerts.hpp"

#include <atomic>

#include "core/CloseSession.hpp"
#include "core/CurrentConfig.hpp"
#include "core/Localization.hpp"
#include "core/OpenAppSettings.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/ui/NavigationController.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OSLPopupHolderViewController.hpp"
#include "ui/OSLProgressHUD.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

// Whether a presentation in `presenter`'s window is still arriving or leaving.
bool transitionRuns(const std::shared_ptr<ViewController>& presenter) {
  auto window = presenter && presenter->isViewLoaded() ? presenter->view()->window() : nullptr;
  if (!window) return false;
  for (auto c = window->rootViewController(); c; c = c->presentedViewController()) {
    if (c->isBeingPresented()) return true;
  }
  return false;
}

// How long an alert waits, at most, for a running transition to end before it is given up.
constexpr int kTransitionWaits = 30;
constexpr double kTransitionWait = 0.1;

void presentAlert(const std::shared_ptr<OSLAlertVC>& alert, std::shared_ptr<ViewController> fromVC,
                  int waitsLeft = kTransitionWaits) {
  const std::weak_ptr<ViewController> given = fromVC;
  const bool onTop = !fromVC;
  if (!fromVC) {
    auto window = currentKeyWindow();
    fromVC = topMostViewController(window ? window->rootViewController() : nullptr);
  }
  if (!fromVC) {
    debugLog("alert of kind " + std::to_string(static_cast<int>(alert->alert)) +
             " not shown: no screen to show it on");
    return;
  }
  std::shared_ptr<ViewController> presenter = fromVC->tabBarController();
  if (!presenter) presenter = fromVC;
  // A reply that arrives while a screen is still sliding in or out must not lose its alert:
  // it is shown once the transition is over.
  if (waitsLeft > 0 && transitionRuns(presenter)) {
    DispatchQueue::main()->asyncAfter(kTransitionWait, [alert, given, onTop, waitsLeft] {
      auto from = given.lock();
      if (!onTop && !from) return;
      presentAlert(alert, std::move(from), waitsLeft - 1);
    });
    return;
  }
  auto holder = OSLPopupHolderViewController::makeHolder(alert);
  if (!presenter->present(holder, true)) {
    debugLog("alert of kind " + std::to_string(static_cast<int>(alert->alert)) + " not shown: " +
             presenter->className() + " cannot present (no window, or a presentation under way)");
  }
}

}  // namespace

void Helpers::showAlert(int alertType, int errorCode, ImagePtr titleIcon,
                        std::optional<std::string> title, std::optional<std::string> message,
                        std::optional<std::string> titleCancel,
                        std::optional<std::string> titleConfirm, std::function<void()> cancelAction,
                        std::function<void()> confirmAction,
                        std::shared_ptr<ViewController> fromVC) {
  assertOnQueue(DispatchQueue::main());
  auto kind = OSLAlertVC::typeOfAlert(alertType);
  if (!kind) {
    debugLog("showAlert: " + std::to_string(alertType) + " is not an alert kind");
    return;
  }
  if (errorCode >= 1) title = osl_localize("error_invalid_data");
  auto alert = OSLAlertVC::newVC(*kind, std::move(titleIcon), std::move(title), std::move(message),
                                 std::move(titleCancel), std::move(titleConfirm));
  alert->onCancelAction = std::move(cancelAction);
  alert->onConfirmAction = std::move(confirmAction);
  presentAlert(alert, std::move(fromVC));
}

void Helpers::showErrorAlert(std::optional<std::string> title, std::optional<std::string> message,
                             std::function<void()> confirmAction,
                             std::shared_ptr<ViewController> fromVC) {
  showAlert(static_cast<int>(OSLAlertVC::TypeOfAlert::generalError), 0, nullptr, std::move(title),
            std::move(message), std::nullopt, std::nullopt, {}, std::move(confirmAction),
            std::move(fromVC));
}

void Helpers::showTimeoutAlert(std::shared_ptr<ViewController> fromVC) {
  showAlert(static_cast<int>(OSLAlertVC::TypeOfAlert::timeout), 0, nullptr, std::nullopt,
            std::nullopt, std::nullopt, std::nullopt, {}, {}, std::move(fromVC));
}

void Helpers::showCameraPermissionAlert() {
  showAlert(static_cast<int>(OSLAlertVC::TypeOfAlert::customConfirmation), -1, nullptr,
            osl_localize("check_permission_camera_title"), osl_localize("check_permission_camera"),
            osl_localize("button_no"), osl_localize("button_yes"), [] { closeSessionCancelled(); },
            [] { closeSessionCancelled([] { openAppSettings(); }); }, nullptr);
}

namespace {

std::atomic<bool>& builtInLoadingShownFlag() {
  static std::atomic<bool> shown{false};
  return shown;
}

}  // namespace

bool Helpers::takeBuiltInLoadingShown() {
  return builtInLoadingShownFlag().exchange(false);
}

void Helpers::showLoading(std::shared_ptr<ViewController> fromVC, std::optional<std::string> text,
                          std::optional<Color> colorAnimation, bool interaction) {
  auto config = currentConfig();
  if (auto handler = config->showLoadingHandler) {
    // The host hears from the library on the main queue only.
    if (isMainQueue()) {
      handler(std::move(fromVC));
    } else {
      DispatchQueue::main()->async(
          [handler = std::move(handler), fromVC = std::move(fromVC)] { handler(fromVC); });
    }
    return;
  }
  // The indicator's colours belong to the main queue like the rest of it; this block runs just
  // before the show's, whatever thread we are on.
  DispatchQueue::main()->async([colorAnimation] {
    Color color = colorAnimation.value_or(colorFromHex(currentAppearance()->mainColor));
    auto hud = OSLProgressHUD::shared();
    hud->colorAnimation = color;
    hud->colorProgress = color;
  });
  builtInLoadingShownFlag() = true;
  OSLProgressHUD::show(std::move(text), interaction);
}

}  // namespace ostrel
