#include "platform/foundation/DeviceInfo.hpp"

#include <sys/utsname.h>
#include <fstream>
#include <mutex>

namespace ostrel::platform {
namespace {

std::mutex& deviceMutex() {
  static std::mutex m;
  return m;
}

std::optional<DeviceInfo>& overridden() {
  static std::optional<DeviceInfo> device;
  return device;
}

DeviceInfo probe() {
  DeviceInfo info;
  utsname names{};
  if (uname(&names) == 0) {
    info.systemName = names.sysname;
    info.systemVersion = names.release;
    info.modelIdentifier = names.machine;
  }
  std::ifstream product("/sys/devices/virtual/dmi/id/product_name");
  std::string line;
  if (product && std::getline(product, line) && !line.empty()) info.modelIdentifier = line;
  if (info.systemName.empty()) info.systemName = "Linux";
  return info;
}

}  // namespace

DeviceInfo DeviceInfo::current() {
  std::lock_guard lock(deviceMutex());
  if (overridden()) return *overridden();
  static const DeviceInfo real = probe();
  return real;
}

void DeviceInfo::override(std::optional<DeviceInfo> device) {
  std::lock_guard lock(deviceMutex());
  overridden() = std::move(device);
}

}  // namespace ostrel::platform
