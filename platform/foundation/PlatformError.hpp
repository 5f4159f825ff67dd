#pragma once

#include <string>

namespace ostrel::platform {

// An error raised by a platform service (camera, vision): its domain and code, and the
// localised texts a host may show.
struct PlatformError {
  std::string domain;
  int code = 0;
  std::string localizedDescription;
  std::string localizedFailureReason;
};

}  // namespace ostrel::platform
