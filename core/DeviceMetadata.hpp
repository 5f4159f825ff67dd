#pragma once

#include <string>

#include "platform/foundation/JSON.hpp"

namespace ostrel {

// The hardware model of the device the library runs on.
std::string deviceModelIdentifier();

// What every tracking event carries: "timestamp" (UTC, ISO 8601 with milliseconds),
// "os_platform", "os_version", "device_model" and "sdk_version".
platform::JSON deviceMetadata();

// The capture-device description sent with server requests; "" until the camera layer sets it.
void setCaptureDeviceDescription(std::string description);
std::string captureDeviceDescription();

// The header describing the device on every server request except the model download, and its
// value: compact JSON of os_platform, os_version, device_model, sdk_version and camera.
std::string deviceMetadataHeaderName();
void setDeviceMetadataHeaderName(std::string name);
std::string deviceMetadataHeaderValue();

}  // namespace ostrel
