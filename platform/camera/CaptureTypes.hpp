#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/PlatformError.hpp"
#include "platform/media/CMTime.hpp"
#include "platform/media/Geometry.hpp"

namespace ostrel::platform {

// Raw values follow the phone platform's numbering throughout, so that values a caller stores
// or logs keep their meaning.

enum class CaptureDevicePosition { unspecified = 0, back = 1, front = 2 };

enum class CaptureDeviceType { builtInWideAngleCamera };

enum class ExposureMode { locked = 0, autoExpose = 1, continuousAutoExposure = 2, custom = 3 };

enum class WhiteBalanceMode { locked = 0, autoWhiteBalance = 1, continuousAutoWhiteBalance = 2 };

enum class TorchMode { off = 0, on = 1, autoMode = 2 };

enum class FlashMode { off = 0, on = 1, autoMode = 2 };

enum class AutoFocusRangeRestriction { none = 0, near = 1, far = 2 };

enum class VideoStabilizationMode { off = 0, standard = 1, cinematic = 2, automatic = -1 };

// How the buffer is turned on screen: portrait shows it turned 90 degrees clockwise.
enum class CaptureVideoOrientation {
  portrait = 1,
  portraitUpsideDown = 2,
  landscapeRight = 3,
  landscapeLeft = 4,
};

enum class LayerVideoGravity { resizeAspect, resizeAspectFill, resize };

// The session presets this platform knows, by the buffer size they ask for.
enum class SessionPreset { hd4K3840x2160, hd1920x1080, hd1280x720, vga640x480, cif352x288, low };

// The nominal buffer size of a preset (width x height as the sensor writes it). `low` asks for
// the smallest size a camera has; its nominal size is the phone platform's 192 x 144.
Size nominalDimensions(SessionPreset preset);
const char* presetName(SessionPreset preset);
inline const std::vector<SessionPreset>& allSessionPresets() {
  static const std::vector<SessionPreset> presets{
      SessionPreset::hd4K3840x2160, SessionPreset::hd1920x1080, SessionPreset::hd1280x720,
      SessionPreset::vga640x480,    SessionPreset::cif352x288,  SessionPreset::low};
  return presets;
}

// A range of frame rates a format supports; durations are the inverse of the rates
// (minFrameDuration belongs to maxFrameRate).
struct FrameRateRange {
  double minFrameRate = 0;
  double maxFrameRate = 0;
  CMTime minFrameDuration;
  CMTime maxFrameDuration;

  // The range [minRate, maxRate] frames per second, durations exact for whole rates.
  static FrameRateRange ofRates(int minRate, int maxRate);
};

// One way the camera can run: its buffer size and the frame rates it supports there.
struct CaptureDeviceFormat {
  int width = 0;
  int height = 0;
  std::vector<FrameRateRange> videoSupportedFrameRateRanges;
};

// The answer of an operation that can be refused: nothing on success.
using CaptureResult = std::optional<PlatformError>;

// The error domain of this platform's capture errors and their codes.
inline constexpr const char* kCaptureErrorDomain = "AVFoundationErrorDomain";
enum CaptureErrorCode {
  kCaptureErrorUnknown = -11800,
  kCaptureErrorDeviceNotAvailable = -11814,  // no camera, or it could not be opened
  kCaptureErrorNotAuthorized = -11852,       // access denied or restricted
  kCaptureErrorNotLocked = -11861,           // a setting made without the configuration lock
  kCaptureErrorUnsupported = -11862,         // a setting the device lacks, or out of range
  kCaptureErrorSessionNotRunning = -11803,   // a photo asked of a session that does not run
  kCaptureErrorLockFailed = -11817,          // the device refused the configuration lock
};

PlatformError captureError(int code, std::string description, std::string reason = {});

// Something made that can fail: the object, or the error that kept it from being made.
template <class T>
struct [[nodiscard]] CaptureMade {
  std::shared_ptr<T> value;
  std::optional<PlatformError> error;
  explicit operator bool() const { return value != nullptr; }
};

}  // namespace ostrel::platform
