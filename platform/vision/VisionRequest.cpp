#include "platform/vision/VisionRequest.hpp"

#include <exception>

#include "platform/vision/VisionError.hpp"

namespace ostrel::platform {

std::vector<ObservationPtr> VisionRequest::results() const {
  std::lock_guard lock(resultsLock_);
  return results_;
}

std::optional<PlatformError> VisionRequest::run(const VisionImage& image) {
  std::vector<ObservationPtr> found;
  std::optional<PlatformError> error;
  try {
    found = observe(image);
  } catch (const VisionError& e) {
    error = e.error();
  } catch (const std::exception& e) {
    error = PlatformError{kVisionErrorDomain, static_cast<int>(VisionErrorCode::internalError),
                          e.what(), ""};
  }
  if (error) found.clear();
  {
    std::lock_guard lock(resultsLock_);
    results_ = std::move(found);
  }
  if (completion_) completion_(*this, error);
  return error;
}

}  // namespace ostrel::platform
