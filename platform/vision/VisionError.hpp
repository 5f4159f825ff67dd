#pragma once

#include <stdexcept>
#include <string>

#include "platform/foundation/PlatformError.hpp"

namespace ostrel::platform {

inline constexpr const char* kVisionErrorDomain = "com.apple.vis";

// Error codes of the vision layer, numbered as the platform numbers them.
enum class VisionErrorCode : int {
  internalError = 9,
  invalidFormat = 2,
  invalidImage = 11,
  invalidModel = 15,
  invalidArgument = 14,
};

// A vision failure, thrown by model loading and by `ImageRequestHandler::perform`.
class VisionError : public std::runtime_error {
 public:
  VisionError(VisionErrorCode code, const std::string& description)
      : std::runtime_error(description),
        error_{kVisionErrorDomain, static_cast<int>(code), description, ""} {}
  explicit VisionError(PlatformError error)
      : std::runtime_error(error.localizedDescription), error_(std::move(error)) {}

  const PlatformError& error() const { return error_; }
  VisionErrorCode code() const { return static_cast<VisionErrorCode>(error_.code); }

 private:
  PlatformError error_;
};

}  // namespace ostrel::platform
