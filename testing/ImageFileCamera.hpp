#pragma once

#include <atomic>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/camera/CaptureDevice.hpp"
#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel::testing {

// One frame of a scripted camera: an upright picture (RGBA), written into the buffer the way
// the camera's sensor writes it for its position.
struct ScriptedFrame {
  cv::Mat upright;
  // Deliver a sample buffer that carries no image buffer.
  bool withoutImageBuffer = false;

  static ScriptedFrame picture(cv::Mat uprightRGBA) { return {std::move(uprightRGBA), false}; }
  // A picture file (PNG, JPEG) read as it is stored.
  static ScriptedFrame fromFile(const std::filesystem::path& path);
  static ScriptedFrame noImageBuffer() { return {cv::Mat(), true}; }
};

// What the camera answers to one photo request.
struct ScriptedPhoto {
  enum class Kind { jpeg, error, noData, undecodable };
  Kind kind = Kind::jpeg;
  cv::Mat storedRGBA;       // pixels as the file stores them
  int exifOrientation = 1;  // the file's EXIF orientation tag (1-8)
  platform::PlatformError error;

  // A JPEG of `storedRGBA` with the orientation tag.
  static ScriptedPhoto jpeg(cv::Mat storedRGBA, int exifOrientation);
  // The photo a phone camera at `position` takes of an upright scene: the sensor's pixels and
  // the tag that shows them upright (6 for the back camera, 5 for the front).
  static ScriptedPhoto ofUprightScene(const cv::Mat& uprightRGBA, platform::CaptureDevicePosition position);
  static ScriptedPhoto failure(platform::PlatformError error);
  static ScriptedPhoto noData();
  // Bytes that start like a JPEG but decode to nothing.
  static ScriptedPhoto undecodable();
};

// One camera of the image-file backend and what it does.
struct ScriptedCameraDevice {
  // Capabilities: every preset (nominal sizes), continuous exposure and white balance, 1-30 fps
  // at the first frame's buffer size, no torch, no zoom, no focus range, no stabilisation.
  // Tests change what they need.
  platform::CaptureDeviceDescription description;
  // Played in order at the device's frame rate, from the first again after the last.
  std::vector<ScriptedFrame> frames;
  bool inputFails = false;
  // Bytes added to every buffer row.
  std::size_t rowPadding = 16;
  std::optional<platform::CameraIntrinsics> intrinsics;

  static ScriptedCameraDevice make(platform::CaptureDevicePosition position,
                                   std::vector<ScriptedFrame> frames);
};

class ImageFileCameraDriver;

// The camera backend of tests and the demo: scripted cameras whose frames come from pictures,
// emitted on the runtime's (virtual) clock at the device rate, stamped in timescale 600.
// Settings (zoom, torch, focus range, stabilisation) are recorded by the device and the
// pictures delivered unchanged. Photos answer with scripted results, by default a JPEG of the
// frame under way as the phone would write it.
class ImageFileCamera : public platform::CameraBackend {
 public:
  // A fresh backend without cameras, installed process-wide.
  static std::shared_ptr<ImageFileCamera> install();

  platform::CaptureDevicePtr addDevice(ScriptedCameraDevice script);
  std::vector<platform::CaptureDevicePtr> devices() override;

  // The driver of the camera at `position` (null when there is none).
  std::shared_ptr<ImageFileCameraDriver> driver(platform::CaptureDevicePosition position) const;

 private:
  mutable std::mutex mutex_;
  std::vector<platform::CaptureDevicePtr> devices_;
  std::vector<std::shared_ptr<ImageFileCameraDriver>> drivers_;
};

class ImageFileCameraDriver : public platform::CaptureDeviceDriver,
                              public std::enable_shared_from_this<ImageFileCameraDriver> {
 public:
  explicit ImageFileCameraDriver(ScriptedCameraDevice script);

  platform::CaptureResult checkInput() override;
  platform::CaptureResult startStreaming(platform::CaptureDevicePtr device,
                                         const platform::FrameStreamRequest& request,
                                         std::function<void(platform::SampleBufferPtr)> deliver) override;
  void stopStreaming() override;
  void capturePhoto(const platform::PhotoRequest& request,
                    std::function<void(platform::PhotoAnswer)> answer) override;

  // What the camera sees from its next frame on (and what a photo shows), in place of the
  // script's frames: something else held up to it. Keep the frames' size: the device's formats
  // were made from the first picture.
  void show(std::vector<ScriptedFrame> frames);

  // The answer to the next photo request (consumed by it).
  void queuePhoto(ScriptedPhoto photo);
  std::vector<platform::PhotoRequest> photoRequests() const;
  int framesEmitted() const { return emitted_.load(); }
  bool isStreaming() const;
  platform::PixelFormat streamedPixelFormat() const;
  const ScriptedCameraDevice& script() const { return script_; }

 private:
  void emit(std::uint64_t generation, std::int64_t index);

  const ScriptedCameraDevice script_;
  mutable std::mutex mutex_;
  std::uint64_t generation_ = 0;
  bool streaming_ = false;
  platform::PixelFormat format_ = platform::PixelFormat::bgra32;
  std::weak_ptr<platform::CaptureDevice> device_;
  std::function<void(platform::SampleBufferPtr)> deliver_;
  std::shared_ptr<platform::DispatchQueue> queue_;
  double startUptime_ = 0;
  std::int64_t startTicks_ = 0;
  platform::CMTime frameDuration_;
  std::int64_t current_ = -1;
  // What is in front of the camera: the script's frames until `show`.
  std::vector<ScriptedFrame> frames_;
  // `frames_` as streamed, made on first use.
  std::vector<platform::PixelBufferPtr> buffers_;
  std::deque<ScriptedPhoto> photos_;
  std::vector<platform::PhotoRequest> requests_;
  std::atomic<int> emitted_{0};
};

// A picture whose every pixel says where it is: red = x, green = y (mod 256), blue 77,
// alpha 255. Turned pictures can then be checked pixel by pixel.
cv::Mat coordinatePicture(int width, int height);

}  // namespace ostrel::testing
