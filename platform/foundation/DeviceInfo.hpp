#pragma once

#include <optional>
#include <string>

namespace ostrel::platform {

struct DeviceInfo {
  std::string modelIdentifier;  // hardware model, e.g. "iPhone14,2" or the machine's product name
  std::string systemName;       // "Linux", "iOS", ...
  std::string systemVersion;

  // The device the library runs on, or the one a test put in its place.
  static DeviceInfo current();
  static void override(std::optional<DeviceInfo> device);
};

}  // namespace ostrel::platform
