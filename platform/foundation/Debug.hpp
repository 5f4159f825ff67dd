#pragma once

#include <functional>
#include <string_view>

namespace ostrel::platform {

// Diagnostics nobody is shown: silent by default, stderr when OSTREL_DEBUG=1.
void debugLog(std::string_view message);

// Replaces the sink (tests capture what was reported); an empty function restores the default.
void setDebugSink(std::function<void(std::string_view)> sink);

}  // namespace ostrel::platform
