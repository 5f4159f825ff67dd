#pragma once

#include <memory>

#include "platform/foundation/UserDefaults.hpp"

namespace ostrel {

// The library's user-defaults suite "OSL" and the keys kept in it.
std::shared_ptr<platform::UserDefaults> sharedDefaults();

namespace defaults_keys {
inline constexpr const char* kLanguageDictionary = "OSL_LANGUAGE_DICTIONARY";
inline constexpr const char* kCurrentCodeLanguage = "OSL_CURRENT_CODE_LANGUAGE";
inline constexpr const char* kCurrentLanguageVersion = "OSL_CURRENT_LANGUAGE_VERSION";
inline constexpr const char* kConfigVersion = "OSL_CONFIG_VERSION";
inline constexpr const char* kDeviceImage = "OSL_DEVICE_IMAGE";
inline constexpr const char* kCurrentCustomerLanguage = "oslCurrentCustomerLanguage";
inline constexpr const char* kIsManualLivenessCaptureEnabled = "oslIsManualLivenessCaptureEnabled";
inline constexpr const char* kTimerAllProcessBackgroundDate = "oslTimerAllProcessBackgroundDate";
inline constexpr const char* kTimerPerActionBackgroundDate = "oslTimerPerActionBackgroundDate";
}  // namespace defaults_keys

}  // namespace ostrel
