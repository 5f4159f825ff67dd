#include "platform/ui/Device.hpp"

#include <atomic>

namespace ostrel::platform {

namespace {
std::atomic<DeviceOrientation> gOrientation{DeviceOrientation::portrait};
}

Device& Device::current() {
  static Device device;
  return device;
}

DeviceOrientation Device::orientation() const { return gOrientation.load(); }

void Device::setOrientation(DeviceOrientation orientation) { gOrientation.store(orientation); }

void Device::resetForTesting() { gOrientation.store(DeviceOrientation::portrait); }

}  // namespace ostrel::platform
