#pragma once

namespace ostrel {

// Opens the application's page in the system settings (where the user grants the camera), with
// no options and nothing to run afterwards. Used by the camera-permission alerts.
void openAppSettings();

}  // namespace ostrel
