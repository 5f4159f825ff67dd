#include "platform/camera/CaptureDevice.hpp"

#include <algorithm>
#include <cmath>

#include "platform/camera/VideoIOCameraBackend.hpp"

namespace ostrel::platform {

Size nominalDimensions(SessionPreset preset) {
  switch (preset) {
    case SessionPreset::hd4K3840x2160: return {3840, 2160};
    case SessionPreset::hd1920x1080: return {1920, 1080};
    case SessionPreset::hd1280x720: return {1280, 720};
    case SessionPreset::vga640x480: return {640, 480};
    case SessionPreset::cif352x288: return {352, 288};
    case SessionPreset::low: return {192, 144};
  }
  return {};
}

const char* presetName(SessionPreset preset) {
  switch (preset) {
    case SessionPreset::hd4K3840x2160: return "AVCaptureSessionPreset3840x2160";
    case SessionPreset::hd1920x1080: return "AVCaptureSessionPreset1920x1080";
    case SessionPreset::hd1280x720: return "AVCaptureSessionPreset1280x720";
    case SessionPreset::vga640x480: return "AVCaptureSessionPreset640x480";
    case SessionPreset::cif352x288: return "AVCaptureSessionPreset352x288";
    case SessionPreset::low: return "AVCaptureSessionPresetLow";
  }
  return "";
}

FrameRateRange FrameRateRange::ofRates(int minRate, int maxRate) {
  FrameRateRange range;
  range.minFrameRate = minRate;
  range.maxFrameRate = maxRate;
  range.minFrameDuration = CMTime::make(1, maxRate);
  range.maxFrameDuration = CMTime::make(1, minRate);
  return range;
}

PlatformError captureError(int code, std::string description, std::string reason) {
  return PlatformError{kCaptureErrorDomain, code, std::move(description), std::move(reason)};
}

// ------------------------------------------------------------------------------ device

CaptureDevice::CaptureDevice(CaptureDeviceDescription description,
                             std::shared_ptr<CaptureDeviceDriver> driver)
    : description_(std::move(description)),
      driver_(std::move(driver)),
      activeFormat_(description_.activeFormatIndex < description_.formats.size()
                        ? description_.activeFormatIndex
                        : 0),
      exposureMode_(description_.exposureMode),
      whiteBalanceMode_(description_.whiteBalanceMode) {
  resetFrameDurations();
}

void CaptureDevice::resetFrameDurations() {
  minFrameDuration_ = CMTime::invalid();
  maxFrameDuration_ = CMTime::invalid();
  if (activeFormat_ >= description_.formats.size()) return;
  const auto& ranges = description_.formats[activeFormat_].videoSupportedFrameRateRanges;
  if (ranges.empty()) return;
  minFrameDuration_ = ranges.front().minFrameDuration;
  maxFrameDuration_ = ranges.front().maxFrameDuration;
}

std::vector<CaptureDevicePtr> CaptureDevice::devices() { return CameraBackend::current()->devices(); }

CaptureDevicePtr CaptureDevice::defaultDevice(CaptureDeviceType, MediaType mediaType,
                                              CaptureDevicePosition position) {
  if (mediaType != MediaType::video) return nullptr;
  for (auto& device : devices())
    if (device->position() == position) return device;
  return nullptr;
}

CaptureDevicePtr CaptureDevice::defaultDevice(MediaType mediaType) {
  if (mediaType != MediaType::video) return nullptr;
  auto all = devices();
  for (auto& device : all)
    if (device->position() == CaptureDevicePosition::back) return device;
  return all.empty() ? nullptr : all.front();
}

CaptureResult CaptureDevice::lockForConfiguration() {
  std::lock_guard guard(mutex_);
  if (description_.lockFails)
    return captureError(kCaptureErrorLockFailed, "Cannot lock the camera for configuration",
                        "The camera is in use by another client.");
  locked_ = true;
  return std::nullopt;
}

void CaptureDevice::unlockForConfiguration() {
  std::lock_guard guard(mutex_);
  locked_ = false;
}

bool CaptureDevice::isLockedForConfiguration() const {
  std::lock_guard guard(mutex_);
  return locked_;
}

CaptureResult CaptureDevice::requireLock() const {
  if (locked_) return std::nullopt;
  return captureError(kCaptureErrorNotLocked, "The camera is not locked for configuration",
                      "Call lockForConfiguration before changing a setting.");
}

namespace {

PlatformError unsupported(const std::string& what) {
  return captureError(kCaptureErrorUnsupported, "Operation not supported",
                      "The camera does not support " + what + ".");
}

}  // namespace

CaptureDeviceFormat CaptureDevice::activeFormat() const {
  std::lock_guard guard(mutex_);
  if (activeFormat_ >= description_.formats.size()) return {};
  return description_.formats[activeFormat_];
}

CaptureResult CaptureDevice::setActiveFormat(std::size_t index) {
  std::lock_guard guard(mutex_);
  if (auto error = requireLock()) return error;
  if (index >= description_.formats.size()) return unsupported("this format");
  activeFormat_ = index;
  resetFrameDurations();
  return std::nullopt;
}

void CaptureDevice::adoptPresetDimensions(Size dimensions) {
  std::lock_guard guard(mutex_);
  for (std::size_t i = 0; i < description_.formats.size(); ++i) {
    const auto& format = description_.formats[i];
    if (format.width == dimensions.width && format.height == dimensions.height) {
      if (i != activeFormat_) {
        activeFormat_ = i;
        resetFrameDurations();
      }
      return;
    }
  }
}

CMTime CaptureDevice::activeVideoMinFrameDuration() const {
  std::lock_guard guard(mutex_);
  return minFrameDuration_;
}

CMTime CaptureDevice::activeVideoMaxFrameDuration() const {
  std::lock_guard guard(mutex_);
  return maxFrameDuration_;
}

namespace {

bool durationFits(const CaptureDeviceFormat& format, CMTime duration) {
  if (!duration.isValid()) return false;
  for (const auto& range : format.videoSupportedFrameRateRanges)
    if (range.minFrameDuration <= duration && duration <= range.maxFrameDuration) return true;
  return false;
}

}  // namespace

CaptureResult CaptureDevice::setActiveVideoMinFrameDuration(CMTime duration) {
  std::lock_guard guard(mutex_);
  if (auto error = requireLock()) return error;
  if (activeFormat_ >= description_.formats.size() ||
      !durationFits(description_.formats[activeFormat_], duration))
    return unsupported("this frame duration");
  minFrameDuration_ = duration;
  return std::nullopt;
}

CaptureResult CaptureDevice::setActiveVideoMaxFrameDuration(CMTime duration) {
  std::lock_guard guard(mutex_);
  if (auto error = requireLock()) return error;
  if (activeFormat_ >= description_.formats.size() ||
      !durationFits(description_.formats[activeFormat_], duration))
    return unsupported("this frame duration");
  maxFrameDuration_ = duration;
  return std::nullopt;
}

bool CaptureDevice::isExposureModeSupported(ExposureMode mode) const {
  const auto& modes = description_.exposureModes;
  return std::find(modes.begin(), modes.end(), mode) != modes.end();
}

ExposureMode CaptureDevice::exposureMode() const {
  std::lock_guard guard(mutex_);
  return exposureMode_;
}

CaptureResult CaptureDevice::setExposureMode(ExposureMode mode) {
  std::lock_guard guard(mutex_);
  if (auto error = requireLock()) return error;
  if (!isExposureModeSupported(mode)) return unsupported("this exposure mode");
  exposureMode_ = mode;
  return std::nullopt;
}

bool CaptureDevice::isWhiteBalanceModeSupported(WhiteBalanceMode mode) const {
  const auto& modes = description_.whiteBalanceModes;
  return std::find(modes.begin(), modes.end(), mode) != modes.end();
}

WhiteBalanceMode CaptureDevice::whiteBalanceMode() const {
  std::lock_guard guard(mutex_);
  return whiteBalanceMode_;
}

CaptureResult CaptureDevice::setWhiteBalanceMode(WhiteBalanceMode mode) {
  std::lock_guard guard(mutex_);
  if (auto error = requireLock()) return error;
  if (!isWhiteBalanceModeSupported(mode)) return unsupported("this white balance mode");
  whiteBalanceMode_ = mode;
  return std::nullopt;
}

bool CaptureDevice::supportsSessionPreset(SessionPreset preset) const {
  return dimensionsForPreset(preset).has_value();
}

std::optional<Size> CaptureDevice::dimensionsForPreset(SessionPreset preset) const {
  for (const auto& [p, size] : description_.presets)
    if (p == preset) return size;
  return std::nullopt;
}

bool CaptureDevice::isTorchModeSupported(TorchMode mode) const {
  return mode == TorchMode::off || description_.hasTorch;
}

TorchMode CaptureDevice::torchMode() const {
  std::lock_guard guard(mutex_);
  return torchMode_;
}

CaptureResult CaptureDevice::setTorchMode(TorchMode mode) {
  std::lock_guard guard(mutex_);
  if (auto error = requireLock()) return error;
  if (!description_.hasTorch) return unsupported("a torch");
  if (mode != TorchMode::off && !description_.torchAvailable)
    return captureError(kCaptureErrorUnsupported, "The torch is not available",
                        "The torch cannot be used right now.");
  torchMode_ = mode;
  return std::nullopt;
}

double CaptureDevice::videoZoomFactor() const {
  std::lock_guard guard(mutex_);
  return zoom_;
}

CaptureResult CaptureDevice::setVideoZoomFactor(double factor) {
  std::lock_guard guard(mutex_);
  if (auto error = requireLock()) return error;
  if (!std::isfinite(factor) || factor < 1 || factor > description_.maxVideoZoomFactor)
    return unsupported("this zoom factor");
  zoom_ = factor;
  return std::nullopt;
}

AutoFocusRangeRestriction CaptureDevice::autoFocusRangeRestriction() const {
  std::lock_guard guard(mutex_);
  return focusRange_;
}

CaptureResult CaptureDevice::setAutoFocusRangeRestriction(AutoFocusRangeRestriction restriction) {
  std::lock_guard guard(mutex_);
  if (auto error = requireLock()) return error;
  if (!description_.autoFocusRangeRestrictionSupported)
    return unsupported("a focus range restriction");
  focusRange_ = restriction;
  return std::nullopt;
}

// ------------------------------------------------------------------------------ backend

namespace {

std::mutex& cameraBackendLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<CameraBackend>& installedCameraBackend() {
  static std::shared_ptr<CameraBackend> backend;
  return backend;
}

}  // namespace

std::shared_ptr<CameraBackend> CameraBackend::current() {
  std::lock_guard guard(cameraBackendLock());
  auto& backend = installedCameraBackend();
  if (!backend) backend = std::make_shared<VideoIOCameraBackend>();
  return backend;
}

void CameraBackend::install(std::shared_ptr<CameraBackend> backend) {
  std::lock_guard guard(cameraBackendLock());
  installedCameraBackend() = std::move(backend);
}

}  // namespace ostrel::platform
