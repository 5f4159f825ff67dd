#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/camera/CaptureDevice.hpp"
#include "platform/foundation/JSON.hpp"
#include "platform/media/PixelBuffer.hpp"
#include "platform/media/SampleBuffer.hpp"

namespace ostrel::platform {

class CaptureSession;
class CaptureOutput;
class DispatchQueue;

// A camera as a session input. Made while access is authorised or not yet determined (the
// session then withholds frames until access is granted); refused while it is denied or
// restricted, or when the camera cannot be opened.
class CaptureDeviceInput {
 public:
  static CaptureMade<CaptureDeviceInput> make(CaptureDevicePtr device);
  const CaptureDevicePtr& device() const { return device_; }

  explicit CaptureDeviceInput(CaptureDevicePtr device) : device_(std::move(device)) {}

 private:
  CaptureDevicePtr device_;
};

// The link between the session's camera and one output or preview.
class CaptureConnection {
 public:
  bool isVideoOrientationSupported() const { return true; }
  CaptureVideoOrientation videoOrientation() const;
  void setVideoOrientation(CaptureVideoOrientation orientation);
  bool isVideoMirrored() const;
  void setVideoMirrored(bool mirrored);

  bool isVideoStabilizationSupported() const;
  VideoStabilizationMode preferredVideoStabilizationMode() const;
  void setPreferredVideoStabilizationMode(VideoStabilizationMode mode);
  // What the camera actually does: off on a camera without stabilisation.
  VideoStabilizationMode activeVideoStabilizationMode() const;

  // The camera the connection comes from, set while both sit in a session.
  void attach(CaptureDevicePtr device);

 private:
  mutable std::mutex mutex_;
  CaptureVideoOrientation orientation_ = CaptureVideoOrientation::landscapeRight;
  bool mirrored_ = false;
  VideoStabilizationMode preferred_ = VideoStabilizationMode::off;
  std::weak_ptr<CaptureDevice> device_;
};

// Something a session feeds.
class CaptureOutput : public std::enable_shared_from_this<CaptureOutput> {
 public:
  enum class Kind { videoData, photo, metadata };
  virtual ~CaptureOutput() = default;
  virtual Kind kind() const = 0;

  // The connection to the camera; nothing until the output sits in a session with a camera.
  std::shared_ptr<CaptureConnection> connection() const;
  std::shared_ptr<CaptureSession> session() const { return session_.lock(); }

  // Used by the session.
  void attachToSession(const std::shared_ptr<CaptureSession>& session, CaptureDevicePtr device);
  void detachFromSession();
  virtual void deliverFrame(const SampleBufferPtr& sample) { (void)sample; }

 private:
  mutable std::mutex mutex_;
  std::weak_ptr<CaptureSession> session_;
  std::shared_ptr<CaptureConnection> connection_;
};

class CaptureVideoDataOutputSampleBufferDelegate {
 public:
  virtual ~CaptureVideoDataOutputSampleBufferDelegate() = default;
  // On the delegate's queue, one frame at a time.
  virtual void captureOutput(CaptureOutput& output, const SampleBufferPtr& sampleBuffer,
                             CaptureConnection& connection) = 0;
  // A frame the output discarded because the previous one was still being handled.
  virtual void captureOutputDidDrop(CaptureOutput& output, const SampleBufferPtr& sampleBuffer,
                                    CaptureConnection& connection) {
    (void)output, (void)sampleBuffer, (void)connection;
  }
};

// Frames for a delegate on a queue, in the pixel format asked for (BGRA by default).
class CaptureVideoDataOutput : public CaptureOutput {
 public:
  Kind kind() const override { return Kind::videoData; }

  PixelFormat pixelFormat() const { return pixelFormat_.load(); }
  void setPixelFormat(PixelFormat format) { pixelFormat_ = format; }
  const std::vector<PixelFormat>& availableVideoPixelFormatTypes() const;

  // When on, a frame arriving while the delegate still handles the previous one is dropped;
  // when off, frames queue up.
  bool alwaysDiscardsLateVideoFrames() const { return discardLate_.load(); }
  void setAlwaysDiscardsLateVideoFrames(bool discard) { discardLate_ = discard; }

  // The delegate is held weakly; frames stop when it goes away.
  void setSampleBufferDelegate(std::weak_ptr<CaptureVideoDataOutputSampleBufferDelegate> delegate,
                               std::shared_ptr<DispatchQueue> queue);
  std::shared_ptr<DispatchQueue> sampleBufferCallbackQueue() const;

  void deliverFrame(const SampleBufferPtr& sample) override;
  // Frames discarded as late so far.
  int droppedFrameCount() const { return dropped_.load(); }

 private:
  std::atomic<PixelFormat> pixelFormat_{PixelFormat::bgra32};
  std::atomic<bool> discardLate_{true};
  std::atomic<bool> inFlight_{false};
  std::atomic<int> dropped_{0};
  mutable std::mutex mutex_;
  std::weak_ptr<CaptureVideoDataOutputSampleBufferDelegate> delegate_;
  std::shared_ptr<DispatchQueue> queue_;
};

// The settings of one photo; each gets its own id.
struct CapturePhotoSettings {
  CapturePhotoSettings();
  // The JPEG codec (the only one this platform writes).
  static CapturePhotoSettings jpeg();

  std::int64_t uniqueID = 0;
  FlashMode flashMode = FlashMode::off;
  bool highResolutionPhotoEnabled = false;
};

// A finished photo: the file bytes (none when the camera gave none) and the id of its request.
class CapturePhoto {
 public:
  CapturePhoto(std::int64_t uniqueID, std::optional<Bytes> fileData)
      : uniqueID_(uniqueID), fileData_(std::move(fileData)) {}
  std::int64_t uniqueID() const { return uniqueID_; }
  const std::optional<Bytes>& fileDataRepresentation() const { return fileData_; }

 private:
  std::int64_t uniqueID_;
  std::optional<Bytes> fileData_;
};

class CapturePhotoOutput;

class CapturePhotoCaptureDelegate {
 public:
  virtual ~CapturePhotoCaptureDelegate() = default;
  virtual void didFinishProcessingPhoto(CapturePhotoOutput& output, const CapturePhoto& photo,
                                        const std::optional<PlatformError>& error) = 0;
};

// Still photos. Every request is answered exactly once, on the output's own queue; the
// delegate is kept until then. A photo asked of a session that does not run is answered with
// an error.
class CapturePhotoOutput : public CaptureOutput {
 public:
  CapturePhotoOutput();
  Kind kind() const override { return Kind::photo; }

  bool isHighResolutionCaptureEnabled() const { return highResolution_.load(); }
  void setHighResolutionCaptureEnabled(bool enabled) { highResolution_ = enabled; }
  std::vector<FlashMode> supportedFlashModes() const;

  void capturePhoto(const CapturePhotoSettings& settings,
                    std::shared_ptr<CapturePhotoCaptureDelegate> delegate);
  const std::shared_ptr<DispatchQueue>& callbackQueue() const { return queue_; }
  // The settings of every photo asked for, in order.
  std::vector<CapturePhotoSettings> requestedSettings() const;

 private:
  std::atomic<bool> highResolution_{false};
  std::shared_ptr<DispatchQueue> queue_;
  mutable std::mutex mutex_;
  std::vector<CapturePhotoSettings> requested_;
};

// One camera feeding outputs. Configuration changes may be grouped between
// begin/commitConfiguration; start and stop block until the camera runs or has stopped, so
// callers run them on a queue of their own. `isRunning` is safe from any thread. A session let
// go while running stops its camera.
class CaptureSession : public std::enable_shared_from_this<CaptureSession> {
 public:
  CaptureSession() = default;
  ~CaptureSession();
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  void beginConfiguration();
  void commitConfiguration();
  bool isConfiguring() const;

  bool canAddInput(const std::shared_ptr<CaptureDeviceInput>& input) const;
  // Adds when `canAddInput` agrees; returns whether it did.
  bool addInput(const std::shared_ptr<CaptureDeviceInput>& input);
  void removeInput(const std::shared_ptr<CaptureDeviceInput>& input);
  std::vector<std::shared_ptr<CaptureDeviceInput>> inputs() const;

  bool canAddOutput(const std::shared_ptr<CaptureOutput>& output) const;
  bool addOutput(const std::shared_ptr<CaptureOutput>& output);
  void removeOutput(const std::shared_ptr<CaptureOutput>& output);
  std::vector<std::shared_ptr<CaptureOutput>> outputs() const;

  // A preset is accepted when the session's camera takes it (any preset without a camera).
  bool canSetSessionPreset(SessionPreset preset) const;
  // Sets when accepted; returns whether it did.
  bool setSessionPreset(SessionPreset preset);
  std::optional<SessionPreset> sessionPreset() const;
  // The buffer size frames will have: the preset's on the session's camera, else the camera's
  // active format; zero without a camera.
  Size presetDimensions() const;
  // The size of the last frame delivered; nothing before the first.
  std::optional<Size> lastFrameDimensions() const;
  // The pixels of the last frame delivered, as the camera wrote them; nothing before the first.
  PixelBufferPtr lastFrame() const;

  void startRunning();
  void stopRunning();
  bool isRunning() const { return running_.load(); }
  // Why the last start failed (the camera could not be opened), if it did.
  std::optional<PlatformError> runtimeError() const;

  // The session's camera, when it has one.
  CaptureDevicePtr videoDevice() const;

 private:
  void deliver(const SampleBufferPtr& sample);

  mutable std::mutex mutex_;
  // Serialises start and stop against each other.
  std::mutex runMutex_;
  int configuring_ = 0;
  std::vector<std::shared_ptr<CaptureDeviceInput>> inputs_;
  std::vector<std::shared_ptr<CaptureOutput>> outputs_;
  std::optional<SessionPreset> preset_;
  std::optional<Size> lastFrame_;
  PixelBufferPtr lastBuffer_;
  std::optional<PlatformError> runtimeError_;
  std::shared_ptr<CaptureDeviceDriver> streamingDriver_;
  std::atomic<bool> running_{false};
};

}  // namespace ostrel::platform
