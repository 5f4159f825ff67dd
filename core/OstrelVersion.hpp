#pragma once

#include <string>

#ifndef OSTREL_SDK_VERSION
#define OSTREL_SDK_VERSION "2.8.3"
#endif
#ifndef OSTREL_BUILD_NUMBER
#define OSTREL_BUILD_NUMBER 1.0
#endif

namespace ostrel {

// The exported version values.
inline constexpr const char* OstrelSDKVersionString = OSTREL_SDK_VERSION;
inline constexpr double OstrelSDKVersionNumber = OSTREL_BUILD_NUMBER;

// The short version string of the library's resource bundle; "2.8.3" when it has none.
std::string sdkVersion();

}  // namespace ostrel
