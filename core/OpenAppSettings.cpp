#include "core/OpenAppSettings.hpp"

#include "platform/runtime/Application.hpp"

namespace ostrel {

void openAppSettings() {
  platform::Application::shared().openSettings();
}

}  // namespace ostrel
