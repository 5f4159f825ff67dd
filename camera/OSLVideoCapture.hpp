#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "camera/iOS10CaptureOutput.hpp"
#include "core/OSLAtomicWithNSLock.hpp"
#include "platform/camera/CaptureSession.hpp"
#include "platform/camera/CaptureVideoPreviewLayer.hpp"
#include "platform/media/CMTime.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/media/SampleBuffer.hpp"

namespace ostrel::platform {
class DispatchQueue;
}

namespace ostrel {

class OSLVideoCapture;

// Receives the frames an `OSLVideoCapture` lets through, on its video queue.
class OSLVideoCaptureDelegate {
 public:
  virtual ~OSLVideoCaptureDelegate() = default;
  // `didCapture` is null when the frame carries no image buffer.
  virtual void videoCapture(OSLVideoCapture& capture, const platform::PixelBufferPtr& didCapture,
                            const platform::SampleBufferPtr& sampleBuffer,
                            platform::CMTime timestamp) = 0;
};

// One camera session turned into a stream of at most `fps` frames a second for one screen,
// with a preview layer and still photos.
//
// Set-up runs once, on the caller's thread (a second call answers the first outcome). Start and
// stop run on a private session queue, which also decides whether there is anything to do, so
// a quick stop-start ends running. Frames, the throttle and the delegate call run on the video
// queue. The delegate is shared with the main queue behind a lock.
class OSLVideoCapture : public platform::CaptureVideoDataOutputSampleBufferDelegate,
                        public std::enable_shared_from_this<OSLVideoCapture> {
 public:
  OSLVideoCapture();

  // Pixel size of the camera's active format; zero until a set-up has locked the camera.
  platform::Size bufferSize;
  // The session's preview; made by a successful set-up.
  std::shared_ptr<platform::CaptureVideoPreviewLayer> previewLayer;

  std::shared_ptr<OSLVideoCaptureDelegate> delegate() const { return delegate_.value().lock(); }
  void setDelegate(std::weak_ptr<OSLVideoCaptureDelegate> delegate) {
    delegate_.setValue(std::move(delegate));
  }

  // Configures the camera at `position` for `fps` frames a second and calls `completion` with
  // whether it worked, before returning. It fails without a camera there, when its input cannot
  // be made or the session refuses it, when the session refuses the photo output, or for an
  // `fps` under 1. A refused video output still succeeds: photos work without frames.
  void setUp(platform::LayerVideoGravity videoGravity, platform::CaptureDevicePosition position,
             int fps, const std::function<void(bool)>& completion);
  void start();
  void stop();

  // The frame throttle: a frame passes when at least 1/fps seconds have gone since the last
  // frame that passed; the first frame always passes.
  void captureOutput(platform::CaptureOutput& output, const platform::SampleBufferPtr& sampleBuffer,
                     platform::CaptureConnection& connection) override;

  // Still photos of the session; null before a successful set-up.
  std::shared_ptr<ostrel::CaptureOutput> imageCaptureOutput() const { return _imageCaptureOutput; }
  const std::shared_ptr<platform::CaptureSession>& captureSession() const { return _captureSession; }
  const std::shared_ptr<platform::CaptureVideoDataOutput>& videoOutput() const { return _videoOutput; }
  const std::shared_ptr<platform::DispatchQueue>& videoDataOutputQueue() const {
    return _videoDataOutputQueue;
  }
  int fps() const { return _fps.load(); }
  // Video queue only.
  platform::CMTime lastTimestamp() const { return _lastTimestamp; }

 private:
  std::shared_ptr<platform::CaptureSession> _captureSession;
  std::shared_ptr<platform::CaptureVideoDataOutput> _videoOutput;
  std::shared_ptr<platform::DispatchQueue> _captureSessionQueue;
  std::shared_ptr<platform::DispatchQueue> _videoDataOutputQueue;
  platform::CMTime _lastTimestamp;
  std::atomic<int> _fps{30};
  std::shared_ptr<ostrel::CaptureOutput> _imageCaptureOutput;
  std::optional<bool> setUpOutcome_;
  OSLAtomicWithNSLock<std::weak_ptr<OSLVideoCaptureDelegate>> delegate_;
};

}  // namespace ostrel
