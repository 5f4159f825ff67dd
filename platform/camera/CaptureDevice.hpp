#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/camera/CameraAuthorization.hpp"
#include "platform/camera/CaptureTypes.hpp"
#include "platform/foundation/JSON.hpp"
#include "platform/media/PixelBuffer.hpp"
#include "platform/media/SampleBuffer.hpp"

namespace ostrel::platform {

class CaptureDevice;

// What a backend knows about one camera: what it can do and how it starts out.
struct CaptureDeviceDescription {
  std::string uniqueID;
  std::string localizedName;
  CaptureDevicePosition position = CaptureDevicePosition::back;
  // The first is active at start unless `activeFormatIndex` says otherwise.
  std::vector<CaptureDeviceFormat> formats;
  std::size_t activeFormatIndex = 0;
  // The presets the camera takes and the buffer size each gives.
  std::vector<std::pair<SessionPreset, Size>> presets;
  std::vector<ExposureMode> exposureModes{ExposureMode::locked};
  ExposureMode exposureMode = ExposureMode::locked;
  std::vector<WhiteBalanceMode> whiteBalanceModes{WhiteBalanceMode::locked};
  WhiteBalanceMode whiteBalanceMode = WhiteBalanceMode::locked;
  bool hasTorch = false;
  bool torchAvailable = false;
  double maxVideoZoomFactor = 1;
  bool autoFocusRangeRestrictionSupported = false;
  bool videoStabilizationSupported = false;
  // A camera someone else holds: the configuration lock is refused.
  bool lockFails = false;
  // What a session answers when asked to take this camera's input or an output beside it.
  bool sessionAcceptsInput = true;
  bool sessionAcceptsVideoDataOutput = true;
  bool sessionAcceptsPhotoOutput = true;
  bool sessionAcceptsMetadataOutput = true;
};

// What a session asks of a running camera.
struct FrameStreamRequest {
  PixelFormat pixelFormat = PixelFormat::bgra32;
  // The buffer size the session's preset asks for (the camera may deliver another).
  Size dimensions;
};

struct PhotoRequest {
  std::int64_t uniqueID = 0;
  FlashMode flashMode = FlashMode::off;
  bool highResolution = false;
};

// A photo as the camera hands it over: its file bytes (JPEG), none, or an error.
struct PhotoAnswer {
  std::optional<Bytes> fileData;
  std::optional<PlatformError> error;
};

// The hardware side of a camera, provided by a backend. Frames and photo answers may come from
// any thread.
class CaptureDeviceDriver {
 public:
  virtual ~CaptureDeviceDriver() = default;

  // Whether an input can be made for the camera now (it can be opened).
  virtual CaptureResult checkInput() { return std::nullopt; }
  // Starts frames; `deliver` is called for each until `stopStreaming` returns. Blocks until the
  // camera runs, or fails with an error.
  virtual CaptureResult startStreaming(std::shared_ptr<CaptureDevice> device,
                                       const FrameStreamRequest& request,
                                       std::function<void(SampleBufferPtr)> deliver) = 0;
  // Stops frames; nothing is delivered after it returns. Safe to call when not streaming, and
  // from the thread that delivers frames (which is then left to finish on its own).
  virtual void stopStreaming() = 0;
  // Takes one photo of the running camera; `answer` is called exactly once.
  virtual void capturePhoto(const PhotoRequest& request, std::function<void(PhotoAnswer)> answer) = 0;
};

// One camera and its settings. Settings are refused with an error, never a crash: without the
// configuration lock, when the camera lacks the feature, or out of range. Safe from any thread.
class CaptureDevice : public std::enable_shared_from_this<CaptureDevice> {
 public:
  CaptureDevice(CaptureDeviceDescription description, std::shared_ptr<CaptureDeviceDriver> driver);

  // Every camera of the installed backend.
  static std::vector<std::shared_ptr<CaptureDevice>> devices();
  // The wide-angle camera at `position` (video only); nothing when there is none.
  static std::shared_ptr<CaptureDevice> defaultDevice(CaptureDeviceType type, MediaType mediaType,
                                                      CaptureDevicePosition position);
  // The back camera, else the first camera.
  static std::shared_ptr<CaptureDevice> defaultDevice(MediaType mediaType);

  const std::string& uniqueID() const { return description_.uniqueID; }
  const std::string& localizedName() const { return description_.localizedName; }
  CaptureDevicePosition position() const { return description_.position; }
  bool hasMediaType(MediaType type) const { return type == MediaType::video; }
  const std::shared_ptr<CaptureDeviceDriver>& driver() const { return driver_; }

  [[nodiscard]] CaptureResult lockForConfiguration();
  void unlockForConfiguration();
  bool isLockedForConfiguration() const;

  const std::vector<CaptureDeviceFormat>& formats() const { return description_.formats; }
  // The zero format when the camera has none.
  CaptureDeviceFormat activeFormat() const;
  [[nodiscard]] CaptureResult setActiveFormat(std::size_t index);
  CMTime activeVideoMinFrameDuration() const;
  CMTime activeVideoMaxFrameDuration() const;
  // Accepted when some range of the active format holds the duration, both bounds included.
  [[nodiscard]] CaptureResult setActiveVideoMinFrameDuration(CMTime duration);
  [[nodiscard]] CaptureResult setActiveVideoMaxFrameDuration(CMTime duration);

  bool isExposureModeSupported(ExposureMode mode) const;
  ExposureMode exposureMode() const;
  [[nodiscard]] CaptureResult setExposureMode(ExposureMode mode);
  bool isWhiteBalanceModeSupported(WhiteBalanceMode mode) const;
  WhiteBalanceMode whiteBalanceMode() const;
  [[nodiscard]] CaptureResult setWhiteBalanceMode(WhiteBalanceMode mode);

  bool supportsSessionPreset(SessionPreset preset) const;
  // The buffer size the preset gives on this camera; nothing when it does not take it.
  std::optional<Size> dimensionsForPreset(SessionPreset preset) const;

  bool hasTorch() const { return description_.hasTorch; }
  bool isTorchAvailable() const { return description_.hasTorch && description_.torchAvailable; }
  bool isTorchModeSupported(TorchMode mode) const;
  TorchMode torchMode() const;
  [[nodiscard]] CaptureResult setTorchMode(TorchMode mode);

  double videoZoomFactor() const;
  double maxAvailableVideoZoomFactor() const { return description_.maxVideoZoomFactor; }
  // From 1 up to the maximum.
  [[nodiscard]] CaptureResult setVideoZoomFactor(double factor);

  bool isAutoFocusRangeRestrictionSupported() const {
    return description_.autoFocusRangeRestrictionSupported;
  }
  AutoFocusRangeRestriction autoFocusRangeRestriction() const;
  [[nodiscard]] CaptureResult setAutoFocusRangeRestriction(AutoFocusRangeRestriction restriction);

  bool isVideoStabilizationSupported() const { return description_.videoStabilizationSupported; }

  // What a session asks of the camera's backend.
  const CaptureDeviceDescription& description() const { return description_; }
  // A session preset picks the format of its size when the camera has one (no lock needed).
  void adoptPresetDimensions(Size dimensions);

 private:
  CaptureResult requireLock() const;
  void resetFrameDurations();

  const CaptureDeviceDescription description_;
  const std::shared_ptr<CaptureDeviceDriver> driver_;
  mutable std::mutex mutex_;
  bool locked_ = false;
  std::size_t activeFormat_ = 0;
  CMTime minFrameDuration_;
  CMTime maxFrameDuration_;
  ExposureMode exposureMode_;
  WhiteBalanceMode whiteBalanceMode_;
  TorchMode torchMode_ = TorchMode::off;
  double zoom_ = 1;
  AutoFocusRangeRestriction focusRange_ = AutoFocusRangeRestriction::none;
};

using CaptureDevicePtr = std::shared_ptr<CaptureDevice>;

// Who provides the cameras, installed per process like the chip reader backend. Nothing
// installed means the real one (V4L2 through OpenCV videoio); tests install their own.
class CameraBackend {
 public:
  virtual ~CameraBackend() = default;

  static std::shared_ptr<CameraBackend> current();
  // nullptr goes back to the real backend.
  static void install(std::shared_ptr<CameraBackend> backend);

  virtual std::vector<CaptureDevicePtr> devices() = 0;
};

// A machine without cameras.
class NoCameraBackend : public CameraBackend {
 public:
  std::vector<CaptureDevicePtr> devices() override { return {}; }
};

}  // namespace ostrel::platform
