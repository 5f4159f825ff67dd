#include "platform/ui/Device.hpp"

#include <atomic>
#include <mutex>

namespace ostrel::platform {

namespace {
std::atomic<DeviceOrientation> gOrientation{DeviceOrientation::portrait};
std::atomic<UserInterfaceIdiom> gIdiom{UserInterfaceIdiom::phone};
std::atomic<bool> gModernPicker{true};
std::atomic<bool> gGeometryRequests{true};
std::mutex gLegacyMutex;
std::vector<int> gLegacyValues;
}  // namespace

Device& Device::current() {
  static Device device;
  return device;
}

DeviceOrientation Device::orientation() const { return gOrientation.load(); }

void Device::setOrientation(DeviceOrientation orientation) { gOrientation.store(orientation); }

UserInterfaceIdiom Device::userInterfaceIdiom() const { return gIdiom.load(); }

void Device::setUserInterfaceIdiom(UserInterfaceIdiom idiom) { gIdiom.store(idiom); }

void Device::setLegacyOrientationValue(int rawValue) {
  std::lock_guard guard(gLegacyMutex);
  gLegacyValues.push_back(rawValue);
}

std::vector<int> Device::legacyOrientationValues() const {
  std::lock_guard guard(gLegacyMutex);
  return gLegacyValues;
}

bool Device::supportsModernPhotoPicker() const { return gModernPicker.load(); }
void Device::setSupportsModernPhotoPicker(bool supported) { gModernPicker.store(supported); }
bool Device::supportsSceneGeometryRequests() const { return gGeometryRequests.load(); }
void Device::setSupportsSceneGeometryRequests(bool supported) {
  gGeometryRequests.store(supported);
}

void Device::resetForTesting() {
  gOrientation.store(DeviceOrientation::portrait);
  gIdiom.store(UserInterfaceIdiom::phone);
  gModernPicker.store(true);
  gGeometryRequests.store(true);
  std::lock_guard guard(gLegacyMutex);
  gLegacyValues.clear();
}

}  // namespace ostrel::platform
