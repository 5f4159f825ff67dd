#include "camera/iOS10CaptureOutput.hpp"

namespace ostrel {

iOS10CaptureOutput::iOS10CaptureOutput()
    : output_(std::make_shared<platform::CapturePhotoOutput>()) {}

void iOS10CaptureOutput::capture(CaptureCompletion completion) {
  auto settings = platform::CapturePhotoSettings::jpeg();
  // The flash never fires, whatever the device offers.
  settings.flashMode = platform::FlashMode::off;
  {
    std::lock_guard guard(mutex_);
    callbacks_[settings.uniqueID] = std::move(completion);
  }
  output_->capturePhoto(settings, shared_from_this());
}

void iOS10CaptureOutput::didFinishProcessingPhoto(
    platform::CapturePhotoOutput&, const platform::CapturePhoto& photo,
    const std::optional<platform::PlatformError>& error) {
  CaptureCompletion callback;
  {
    std::lock_guard guard(mutex_);
    auto it = callbacks_.find(photo.uniqueID());
    if (it == callbacks_.end()) return;
    callback = std::move(it->second);
    callbacks_.erase(it);
  }
  if (!callback) return;
  if (error) {
    callback(nullptr, error);
    return;
  }
  if (const auto& data = photo.fileDataRepresentation()) {
    callback(platform::Image::decode(*data), std::nullopt);
    return;
  }
  callback(nullptr, platform::PlatformError{kErrorDomain, -1, kConversionFailed, kNoFileData});
}

std::size_t iOS10CaptureOutput::pendingRequestCount() const {
  std::lock_guard guard(mutex_);
  return callbacks_.size();
}

}  // namespace ostrel
