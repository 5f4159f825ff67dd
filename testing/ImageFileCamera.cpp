#include "testing/ImageFileCamera.hpp"

#include <cmath>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/camera/SensorLayout.hpp"
#include "platform/media/PixelBufferConversion.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/runtime/Runtime.hpp"
#include "testing/ExifJpeg.hpp"

namespace ostrel::testing {

using namespace ostrel::platform;

namespace {

constexpr std::int32_t kTimescale = 600;

cv::Mat toBGRA(const cv::Mat& rgba) {
  cv::Mat bgra;
  if (rgba.channels() == 4)
    cv::cvtColor(rgba, bgra, cv::COLOR_RGBA2BGRA);
  else if (rgba.channels() == 3)
    cv::cvtColor(rgba, bgra, cv::COLOR_RGB2BGRA);
  else
    cv::cvtColor(rgba, bgra, cv::COLOR_GRAY2BGRA);
  return bgra;
}

}  // namespace

ScriptedFrame ScriptedFrame::fromFile(const std::filesystem::path& path) {
  cv::Mat bgr = cv::imread(path.string(), cv::IMREAD_COLOR);
  cv::Mat rgba;
  if (!bgr.empty()) cv::cvtColor(bgr, rgba, cv::COLOR_BGR2RGBA);
  return picture(rgba);
}

ScriptedPhoto ScriptedPhoto::jpeg(cv::Mat storedRGBA, int exifOrientation) {
  ScriptedPhoto photo;
  photo.storedRGBA = std::move(storedRGBA);
  photo.exifOrientation = exifOrientation;
  return photo;
}

ScriptedPhoto ScriptedPhoto::ofUprightScene(const cv::Mat& uprightRGBA, CaptureDevicePosition position) {
  return jpeg(sensorLayoutFromUpright(uprightRGBA, position),
              position == CaptureDevicePosition::front ? 5 : 6);
}

ScriptedPhoto ScriptedPhoto::failure(PlatformError error) {
  ScriptedPhoto photo;
  photo.kind = Kind::error;
  photo.error = std::move(error);
  return photo;
}

ScriptedPhoto ScriptedPhoto::noData() {
  ScriptedPhoto photo;
  photo.kind = Kind::noData;
  return photo;
}

ScriptedPhoto ScriptedPhoto::undecodable() {
  ScriptedPhoto photo;
  photo.kind = Kind::undecodable;
  return photo;
}

ScriptedCameraDevice ScriptedCameraDevice::make(CaptureDevicePosition position,
                                                std::vector<ScriptedFrame> frames) {
  ScriptedCameraDevice script;
  auto& d = script.description;
  d.position = position;
  d.uniqueID = position == CaptureDevicePosition::front ? "scripted-front" : "scripted-back";
  d.localizedName = position == CaptureDevicePosition::front ? "Front Camera" : "Back Camera";
  int width = 1920, height = 1080;
  for (const auto& frame : frames)
    if (!frame.upright.empty()) {
      // The buffer is the upright picture turned a quarter.
      width = frame.upright.rows;
      height = frame.upright.cols;
      break;
    }
  d.formats = {{width, height, {FrameRateRange::ofRates(1, 30)}}};
  for (SessionPreset preset : allSessionPresets()) d.presets.emplace_back(preset, nominalDimensions(preset));
  d.exposureModes = {ExposureMode::locked, ExposureMode::autoExpose, ExposureMode::continuousAutoExposure};
  d.whiteBalanceModes = {WhiteBalanceMode::locked, WhiteBalanceMode::autoWhiteBalance,
                         WhiteBalanceMode::continuousAutoWhiteBalance};
  script.frames = std::move(frames);
  return script;
}

// ------------------------------------------------------------------------------ backend

std::shared_ptr<ImageFileCamera> ImageFileCamera::install() {
  auto camera = std::make_shared<ImageFileCamera>();
  CameraBackend::install(camera);
  return camera;
}

CaptureDevicePtr ImageFileCamera::addDevice(ScriptedCameraDevice script) {
  auto driver = std::make_shared<ImageFileCameraDriver>(script);
  auto device = std::make_shared<CaptureDevice>(script.description, driver);
  std::lock_guard guard(mutex_);
  devices_.push_back(device);
  drivers_.push_back(driver);
  return device;
}

std::vector<CaptureDevicePtr> ImageFileCamera::devices() {
  std::lock_guard guard(mutex_);
  return devices_;
}

std::shared_ptr<ImageFileCameraDriver> ImageFileCamera::driver(CaptureDevicePosition position) const {
  std::lock_guard guard(mutex_);
  for (auto& driver : drivers_)
    if (driver->script().description.position == position) return driver;
  return nullptr;
}

// ------------------------------------------------------------------------------ driver

ImageFileCameraDriver::ImageFileCameraDriver(ScriptedCameraDevice script)
    : script_(std::move(script)), frames_(script_.frames) {}

void ImageFileCameraDriver::show(std::vector<ScriptedFrame> frames) {
  std::lock_guard guard(mutex_);
  frames_ = std::move(frames);
  buffers_.clear();
  // A photo taken before the next frame shows the new scene too.
  if (current_ >= 0) current_ = frames_.empty() ? -1 : 0;
}

CaptureResult ImageFileCameraDriver::checkInput() {
  if (script_.inputFails)
    return captureError(kCaptureErrorDeviceNotAvailable, "Cannot use the camera",
                        "The scripted camera refuses to open.");
  return std::nullopt;
}

CaptureResult ImageFileCameraDriver::startStreaming(CaptureDevicePtr device,
                                                    const FrameStreamRequest& request,
                                                    std::function<void(SampleBufferPtr)> deliver) {
  std::uint64_t generation;
  {
    std::lock_guard guard(mutex_);
    generation = ++generation_;
    streaming_ = true;
    if (format_ != request.pixelFormat) buffers_.clear();
    format_ = request.pixelFormat;
    device_ = device;
    deliver_ = std::move(deliver);
    if (!queue_) queue_ = DispatchQueue::make("ostrel.testing.ImageFileCamera");
    startUptime_ = Runtime::currentShared()->uptime();
    startTicks_ = std::llround(startUptime_ * kTimescale);
    frameDuration_ = device ? device->activeVideoMinFrameDuration() : CMTime::invalid();
    if (!frameDuration_.isValid() || frameDuration_.value <= 0) frameDuration_ = CMTime::make(1, 30);
  }
  std::weak_ptr<ImageFileCameraDriver> weakSelf = weak_from_this();
  queue_->async([weakSelf, generation] {
    if (auto self = weakSelf.lock()) self->emit(generation, 0);
  });
  return std::nullopt;
}

void ImageFileCameraDriver::stopStreaming() {
  std::lock_guard guard(mutex_);
  ++generation_;
  streaming_ = false;
  deliver_ = nullptr;
}

bool ImageFileCameraDriver::isStreaming() const {
  std::lock_guard guard(mutex_);
  return streaming_;
}

PixelFormat ImageFileCameraDriver::streamedPixelFormat() const {
  std::lock_guard guard(mutex_);
  return format_;
}

namespace {

// Frames kept for reuse stay under this many bytes (a dozen 1080p frames).
constexpr std::size_t kBufferBudget = std::size_t(100) << 20;

std::size_t bytesOf(const PixelBufferPtr& buffer) {
  std::size_t total = 0;
  for (std::size_t i = 0; buffer && i < buffer->planeCount(); ++i)
    total += buffer->plane(i).bytes.size();
  return total;
}

}  // namespace

void ImageFileCameraDriver::emit(std::uint64_t generation, std::int64_t index) {
  std::function<void(SampleBufferPtr)> deliver;
  auto sample = std::make_shared<SampleBuffer>();
  double nextDue;
  {
    std::lock_guard guard(mutex_);
    if (generation != generation_ || !deliver_) return;
    deliver = deliver_;
    std::int64_t ticks = index * frameDuration_.value * kTimescale / frameDuration_.timescale;
    sample->presentationTime = CMTime::make(startTicks_ + ticks, kTimescale);
    sample->cameraIntrinsics = script_.intrinsics;
    if (!frames_.empty()) {
      current_ = index % std::int64_t(frames_.size());
      const auto& frame = frames_[std::size_t(current_)];
      if (!frame.withoutImageBuffer && !frame.upright.empty()) {
        // A picture shown again (a looping script) is turned and packed once and its frames
        // share that buffer, as a real camera's frames share its pool; nothing downstream
        // writes to a frame. A long sequence is packed frame by frame instead of held.
        if (buffers_.size() != frames_.size()) buffers_.assign(frames_.size(), nullptr);
        auto& buffer = buffers_[std::size_t(current_)];
        sample->imageBuffer =
            buffer ? buffer
                   : makePixelBuffer(sensorLayoutFromUpright(toBGRA(frame.upright),
                                                             script_.description.position),
                                     format_, script_.rowPadding);
        if (!buffer) {
          std::size_t kept = bytesOf(sample->imageBuffer);
          for (const auto& other : buffers_) kept += bytesOf(other);
          if (kept <= kBufferBudget) buffer = sample->imageBuffer;
        }
      }
    }
    nextDue = startUptime_ + double(index + 1) * frameDuration_.seconds();
  }
  ++emitted_;
  deliver(sample);
  double delay = std::max(0.0, nextDue - Runtime::currentShared()->uptime());
  std::weak_ptr<ImageFileCameraDriver> weakSelf = weak_from_this();
  queue_->asyncAfter(delay, [weakSelf, generation, index] {
    if (auto self = weakSelf.lock()) self->emit(generation, index + 1);
  });
}

void ImageFileCameraDriver::queuePhoto(ScriptedPhoto photo) {
  std::lock_guard guard(mutex_);
  photos_.push_back(std::move(photo));
}

std::vector<PhotoRequest> ImageFileCameraDriver::photoRequests() const {
  std::lock_guard guard(mutex_);
  return requests_;
}

void ImageFileCameraDriver::capturePhoto(const PhotoRequest& request,
                                         std::function<void(PhotoAnswer)> answer) {
  ScriptedPhoto photo;
  {
    std::lock_guard guard(mutex_);
    requests_.push_back(request);
    if (!photos_.empty()) {
      photo = std::move(photos_.front());
      photos_.pop_front();
    } else {
      cv::Mat scene;
      if (!frames_.empty()) {
        auto at = current_ < 0 ? 0 : std::size_t(current_);
        scene = frames_[at].upright;
      }
      if (scene.empty()) scene = cv::Mat(32, 24, CV_8UC4, cv::Scalar(128, 128, 128, 255));
      photo = ScriptedPhoto::ofUprightScene(scene, script_.description.position);
    }
  }
  switch (photo.kind) {
    case ScriptedPhoto::Kind::jpeg:
      answer({jpegWithExifOrientation(photo.storedRGBA, photo.exifOrientation), std::nullopt});
      return;
    case ScriptedPhoto::Kind::error: answer({std::nullopt, photo.error}); return;
    case ScriptedPhoto::Kind::noData: answer({std::nullopt, std::nullopt}); return;
    case ScriptedPhoto::Kind::undecodable:
      answer({Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'n', 'o', 't', ' ', 'a', ' ', 'p', 'h', 'o', 't', 'o'},
              std::nullopt});
      return;
  }
}

cv::Mat coordinatePicture(int width, int height) {
  cv::Mat picture(height, width, CV_8UC4);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      picture.at<cv::Vec4b>(y, x) = cv::Vec4b(std::uint8_t(x), std::uint8_t(y), 77, 255);
  return picture;
}

}  // namespace ostrel::testing
