#include "core/DeviceMetadata.hpp"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "core/OstrelVersion.hpp"
#include "platform/foundation/DeviceInfo.hpp"
#include "platform/runtime/Runtime.hpp"

namespace ostrel {
namespace {

std::mutex& metadataMutex() {
  static std::mutex m;
  return m;
}

std::string& cameraDescription() {
  static std::string description;
  return description;
}

std::string& headerName() {
  static std::string name = "X-Device-Metadata";
  return name;
}

std::string isoTimestamp(double secondsSince1970) {
  double whole = std::floor(secondsSince1970);
  auto millis = static_cast<int>(std::lround((secondsSince1970 - whole) * 1000));
  if (millis == 1000) {
    whole += 1;
    millis = 0;
  }
  std::time_t t = static_cast<std::time_t>(whole);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
  return buffer;
}

}  // namespace

std::string deviceModelIdentifier() {
  return platform::DeviceInfo::current().modelIdentifier;
}

platform::JSON deviceMetadata() {
  const auto device = platform::DeviceInfo::current();
  return {
      {"timestamp", isoTimestamp(platform::Runtime::current().now().timeIntervalSince1970)},
      {"os_platform", device.systemName},
      {"os_version", device.systemVersion},
      {"device_model", device.modelIdentifier},
      {"sdk_version", sdkVersion()},
  };
}

void setCaptureDeviceDescription(std::string description) {
  std::lock_guard lock(metadataMutex());
  cameraDescription() = std::move(description);
}

std::string captureDeviceDescription() {
  std::lock_guard lock(metadataMutex());
  return cameraDescription();
}

std::string deviceMetadataHeaderName() {
  std::lock_guard lock(metadataMutex());
  return headerName();
}

void setDeviceMetadataHeaderName(std::string name) {
  std::lock_guard lock(metadataMutex());
  headerName() = name.empty() ? "X-Device-Metadata" : std::move(name);
}

std::string deviceMetadataHeaderValue() {
  const auto device = platform::DeviceInfo::current();
  platform::JSON header = {
      {"os_platform", device.systemName},       {"os_version", device.systemVersion},
      {"device_model", device.modelIdentifier}, {"sdk_version", sdkVersion()},
      {"camera", captureDeviceDescription()},
  };
  return header.dump(-1, ' ', false, platform::JSON::error_handler_t::replace);
}

}  // namespace ostrel
