#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/Helpers.hpp"
#include "platform/media/Color.hpp"
#include "platform/media/Image.hpp"

namespace ostrel::platform {
class ViewController;
}

namespace ostrel::Helpers {

// Main queue only, except `showLoading`. An alert is an `OSLAlertVC` in a popup holder
// (margins 20, no fixed top) presented animated over full screen from `fromVC`, else from the
// top-most presented controller of the key window; either way through its tab bar controller
// when it has one. An alert that cannot be presented (no window, a presentation already
// running) is reported to the debug sink and dropped.

// An alert of kind `alertType` (the raw value of `OSLAlertVC::TypeOfAlert`; any other value
// shows nothing) with the optional icon and texts (absent ones leave the kind's own), except
// that an `errorCode` of 1 or more replaces the title with the localised "error_invalid_data".
void showAlert(int alertType, int errorCode, platform::ImagePtr titleIcon,
               std::optional<std::string> title, std::optional<std::string> message,
               std::optional<std::string> titleCancel, std::optional<std::string> titleConfirm,
               std::function<void()> cancelAction, std::function<void()> confirmAction,
               std::shared_ptr<platform::ViewController> fromVC);
// The general error alert.
void showErrorAlert(std::optional<std::string> title, std::optional<std::string> message,
                    std::function<void()> confirmAction,
                    std::shared_ptr<platform::ViewController> fromVC);
// The time-out alert; confirming it ends the session and reports the expiry.
void showTimeoutAlert(std::shared_ptr<platform::ViewController> fromVC);
// The alert of a refused camera: either answer ends the session as cancelled; confirming then
// opens the app's page in the system settings, where the camera can be allowed.
void showCameraPermissionAlert();
// The host's show-loading handler with `fromVC` when the configuration has one; otherwise the
// loading indicator, its dots in `colorAnimation` (the appearance main colour when absent).
// Callable from any thread: the host's handler runs on the main queue (at once when already
// there), and the colours are set on the main queue, just before the show.
void showLoading(std::shared_ptr<platform::ViewController> fromVC,
                 std::optional<std::string> text = std::nullopt,
                 std::optional<platform::Color> colorAnimation = std::nullopt,
                 bool interaction = false);
// Whether the built-in indicator went up since the last hide, and forgets it. A host may set
// only the hide handler; the indicator the library showed must come down all the same.
bool takeBuiltInLoadingShown();

}  // namespace ostrel::Helpers
