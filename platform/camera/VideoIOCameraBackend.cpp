#include "platform/camera/VideoIOCameraBackend.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <thread>

#include <pthread.h>

#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "platform/camera/SensorLayout.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/media/Image.hpp"
#include "platform/media/PixelBufferConversion.hpp"
#include "platform/runtime/Runtime.hpp"

namespace ostrel::platform {

bool VideoIOSource::paced() const { return apiPreference == cv::CAP_IMAGES; }

namespace {

constexpr int kDefaultFrameRate = 30;
constexpr const char* kGrabThreadName = "ostrel-camera";

void quietOpenCV() {
  static std::once_flag once;
  // The image-sequence reader warns at the end of every sequence.
  std::call_once(once, [] { cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR); });
}

// What probing a source found: its picture size, frame rate and the picture sizes it takes.
struct Probe {
  int width = 0;
  int height = 0;
  int fps = kDefaultFrameRate;
  bool autoExposure = false;
  bool autoWhiteBalance = false;
  bool zoomProperty = false;
  std::vector<std::pair<SessionPreset, cv::Size>> presets;
};

bool probeSource(const VideoIOSource& source, Probe& probe) {
  quietOpenCV();
  cv::VideoCapture capture;
  try {
    if (!capture.open(source.name, source.apiPreference) || !capture.isOpened()) return false;
    cv::Mat frame;
    if (!capture.read(frame) || frame.empty()) return false;
    probe.width = frame.cols;
    probe.height = frame.rows;
    double fps = capture.get(cv::CAP_PROP_FPS);
    // Image sequences report no meaningful rate; they play at the default one.
    if (!source.paced() && std::isfinite(fps) && fps >= 1 && fps <= 240) probe.fps = int(std::lround(fps));
    probe.autoExposure = capture.get(cv::CAP_PROP_AUTO_EXPOSURE) > 0;
    probe.autoWhiteBalance = capture.get(cv::CAP_PROP_AUTO_WB) > 0;
    probe.zoomProperty = !source.paced() && capture.get(cv::CAP_PROP_ZOOM) > 0;
    for (SessionPreset preset : allSessionPresets()) {
      if (preset == SessionPreset::low) continue;
      Size nominal = nominalDimensions(preset);
      cv::Size wanted(int(nominal.width), int(nominal.height));
      bool taken = wanted == cv::Size(probe.width, probe.height);
      if (!taken && !source.paced()) {
        // Set and read back: the driver answers with the size it really took.
        capture.set(cv::CAP_PROP_FRAME_WIDTH, wanted.width);
        capture.set(cv::CAP_PROP_FRAME_HEIGHT, wanted.height);
        taken = int(capture.get(cv::CAP_PROP_FRAME_WIDTH)) == wanted.width &&
                int(capture.get(cv::CAP_PROP_FRAME_HEIGHT)) == wanted.height;
      }
      if (taken) probe.presets.emplace_back(preset, wanted);
    }
    // The low preset takes the smallest size found.
    cv::Size smallest(probe.width, probe.height);
    for (auto& [preset, size] : probe.presets)
      if (size.area() < smallest.area()) smallest = size;
    probe.presets.emplace_back(SessionPreset::low, smallest);
  } catch (const cv::Exception& e) {
    debugLog(std::string("videoio camera probe failed: ") + e.what());
    return false;
  }
  return true;
}

// Buffer size for a webcam picture size: both positions write the picture turned a quarter.
Size bufferSize(cv::Size picture) { return {double(picture.height), double(picture.width)}; }

class VideoIODriver : public CaptureDeviceDriver,
                      public std::enable_shared_from_this<VideoIODriver> {
 public:
  VideoIODriver(VideoIOSource source, CaptureDevicePosition position, Probe probe)
      : source_(std::move(source)), position_(position), probe_(std::move(probe)) {}

  ~VideoIODriver() override { stopStreaming(); }

  CaptureResult checkInput() override {
    if (source_.paced()) return std::nullopt;
    std::error_code ec;
    if (!std::filesystem::exists(source_.name, ec))
      return captureError(kCaptureErrorDeviceNotAvailable, "Cannot use the camera",
                          "The camera is not connected.");
    return std::nullopt;
  }

  CaptureResult startStreaming(std::shared_ptr<CaptureDevice> device, const FrameStreamRequest& request,
                               std::function<void(SampleBufferPtr)> deliver) override {
    stopStreaming();
    auto capture = std::make_shared<cv::VideoCapture>();
    try {
      if (!capture->open(source_.name, source_.apiPreference) || !capture->isOpened())
        return captureError(kCaptureErrorDeviceNotAvailable, "Cannot use the camera",
                            "The camera could not be opened.");
      if (!source_.paced() && request.dimensions.width > 0) {
        capture->set(cv::CAP_PROP_FRAME_WIDTH, request.dimensions.height);
        capture->set(cv::CAP_PROP_FRAME_HEIGHT, request.dimensions.width);
      }
    } catch (const cv::Exception& e) {
      return captureError(kCaptureErrorDeviceNotAvailable, "Cannot use the camera", e.what());
    }
    std::lock_guard guard(mutex_);
    auto state = std::make_shared<Stream>();
    state->capture = capture;
    state->deliver = std::move(deliver);
    state->format = request.pixelFormat;
    state->device = device;
    stream_ = state;
    // The thread keeps the driver alive: it may outlive a session that let go of it.
    thread_ = std::thread([self = shared_from_this(), state] { self->run(state); });
    return std::nullopt;
  }

  void stopStreaming() override {
    std::thread thread;
    std::deque<std::function<void(PhotoAnswer)>> photos;
    {
      std::lock_guard guard(mutex_);
      if (stream_) stream_->stop = true;
      stream_.reset();
      thread = std::move(thread_);
      photos.swap(photos_);
    }
    wake_.notify_all();
    for (auto& answer : photos)
      answer({std::nullopt, captureError(kCaptureErrorSessionNotRunning, "Cannot take a photo",
                                         "The camera stopped.")});
    if (!thread.joinable()) return;
    // A session let go from inside its own frame delivery stops here: the grab thread cannot
    // wait for itself, so it is left to see the stop flag and end on its own.
    if (thread.get_id() == std::this_thread::get_id())
      thread.detach();
    else
      thread.join();
  }

  void capturePhoto(const PhotoRequest&, std::function<void(PhotoAnswer)> answer) override {
    std::unique_lock guard(mutex_);
    if (!stream_) {
      guard.unlock();
      answer({std::nullopt, captureError(kCaptureErrorSessionNotRunning, "Cannot take a photo",
                                         "The camera is not running.")});
      return;
    }
    photos_.push_back(std::move(answer));
  }

 private:
  struct Stream {
    std::shared_ptr<cv::VideoCapture> capture;
    std::function<void(SampleBufferPtr)> deliver;
    PixelFormat format = PixelFormat::bgra32;
    std::weak_ptr<CaptureDevice> device;
    bool stop = false;  // guarded by the driver's mutex
  };

  bool stopping(const Stream& stream) {
    std::lock_guard guard(mutex_);
    return stream.stop;
  }

  cv::Mat zoomed(const cv::Mat& frame, double factor) {
    if (factor <= 1 || probe_.zoomProperty) return frame;
    int w = std::max(1, int(frame.cols / factor)), h = std::max(1, int(frame.rows / factor));
    cv::Mat crop = frame(cv::Rect((frame.cols - w) / 2, (frame.rows - h) / 2, w, h)), out;
    cv::resize(crop, out, frame.size(), 0, 0, cv::INTER_LINEAR);
    return out;
  }

  void run(std::shared_ptr<Stream> stream) {
    pthread_setname_np(pthread_self(), kGrabThreadName);
    auto runtime = Runtime::currentShared();
    auto next = std::chrono::steady_clock::now();
    double appliedZoom = 1;
    while (!stopping(*stream)) {
      auto device = stream->device.lock();
      double frameSeconds = 1.0 / kDefaultFrameRate;
      double zoom = 1;
      if (device) {
        CMTime duration = device->activeVideoMinFrameDuration();
        if (duration.isValid() && duration.seconds() > 0) frameSeconds = duration.seconds();
        zoom = device->videoZoomFactor();
      }
      device.reset();
      if (source_.paced()) {
        next += std::chrono::nanoseconds(std::int64_t(frameSeconds * 1e9));
        std::unique_lock guard(mutex_);
        if (wake_.wait_until(guard, next, [&] { return stream->stop; })) break;
      }
      cv::Mat frame;
      bool read = false;
      try {
        if (probe_.zoomProperty && zoom != appliedZoom) {
          stream->capture->set(cv::CAP_PROP_ZOOM, zoom);
          appliedZoom = zoom;
        }
        read = stream->capture->read(frame) && !frame.empty();
        if (!read && source_.paced()) {
          // The end of an image sequence: play it again from the start.
          stream->capture->open(source_.name, source_.apiPreference);
          read = stream->capture->read(frame) && !frame.empty();
        }
      } catch (const cv::Exception& e) {
        debugLog(std::string("videoio camera read failed: ") + e.what());
      }
      if (!read) {
        // A camera that stopped answering: wait a little and try again until stopped.
        std::unique_lock guard(mutex_);
        if (wake_.wait_for(guard, std::chrono::milliseconds(50), [&] { return stream->stop; })) break;
        continue;
      }
      if (frame.channels() == 1) cv::cvtColor(frame, frame, cv::COLOR_GRAY2BGR);
      frame = zoomed(frame, zoom);
      answerPhotos(frame);
      cv::Mat sensor = sensorLayoutFromUpright(frame, position_);
      std::size_t padding = 0;
      if (stream->format == PixelFormat::bgra32) padding = driverRowStride(sensor.cols) - std::size_t(sensor.cols) * 4;
      auto sample = std::make_shared<SampleBuffer>();
      sample->imageBuffer = makePixelBuffer(sensor, stream->format, padding);
      sample->presentationTime =
          CMTime::make(std::int64_t(std::llround(runtime->uptime() * 1e9)), 1000000000);
      if (stopping(*stream)) break;
      stream->deliver(sample);
    }
    try {
      stream->capture->release();
    } catch (const cv::Exception&) {
    }
  }

  void answerPhotos(const cv::Mat& frame) {
    std::deque<std::function<void(PhotoAnswer)>> photos;
    {
      std::lock_guard guard(mutex_);
      photos.swap(photos_);
    }
    if (photos.empty()) return;
    // The webcam's picture is upright already: the photo carries no orientation.
    cv::Mat rgba;
    cv::cvtColor(frame, rgba, cv::COLOR_BGR2RGBA);
    auto jpeg = Image(std::move(rgba)).jpegData(0.9);
    for (auto& answer : photos) answer({jpeg, std::nullopt});
  }

  const VideoIOSource source_;
  const CaptureDevicePosition position_;
  const Probe probe_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::shared_ptr<Stream> stream_;
  std::thread thread_;
  std::deque<std::function<void(PhotoAnswer)>> photos_;
};

CaptureDevicePtr makeDevice(const VideoIOSource& source, CaptureDevicePosition position,
                            const Probe& probe) {
  CaptureDeviceDescription d;
  d.uniqueID = source.name + (position == CaptureDevicePosition::front ? "#front" : "#back");
  d.localizedName = position == CaptureDevicePosition::front ? "Front Camera" : "Back Camera";
  d.position = position;
  std::vector<cv::Size> sizes{cv::Size(probe.width, probe.height)};
  for (auto& [preset, size] : probe.presets) {
    if (std::find(sizes.begin(), sizes.end(), size) == sizes.end()) sizes.push_back(size);
    d.presets.emplace_back(preset, bufferSize(size));
  }
  for (auto& size : sizes) {
    Size buffer = bufferSize(size);
    d.formats.push_back({int(buffer.width), int(buffer.height), {FrameRateRange::ofRates(1, probe.fps)}});
  }
  d.exposureModes = {ExposureMode::locked};
  if (probe.autoExposure) d.exposureModes.push_back(ExposureMode::continuousAutoExposure);
  d.whiteBalanceModes = {WhiteBalanceMode::locked};
  if (probe.autoWhiteBalance) d.whiteBalanceModes.push_back(WhiteBalanceMode::continuousAutoWhiteBalance);
  d.exposureMode = probe.autoExposure ? ExposureMode::continuousAutoExposure : ExposureMode::locked;
  d.whiteBalanceMode =
      probe.autoWhiteBalance ? WhiteBalanceMode::continuousAutoWhiteBalance : WhiteBalanceMode::locked;
  d.maxVideoZoomFactor = 4;
  return std::make_shared<CaptureDevice>(std::move(d),
                                         std::make_shared<VideoIODriver>(source, position, probe));
}

}  // namespace

VideoIOCameraBackend::VideoIOCameraBackend() : scanDeviceNodes_(true) {}

VideoIOCameraBackend::VideoIOCameraBackend(VideoIOSource source)
    : sources_{{CaptureDevicePosition::back, source}, {CaptureDevicePosition::front, source}} {}

VideoIOCameraBackend::VideoIOCameraBackend(
    std::vector<std::pair<CaptureDevicePosition, VideoIOSource>> sources)
    : sources_(std::move(sources)) {}

std::vector<CaptureDevicePtr> VideoIOCameraBackend::devices() {
  std::lock_guard guard(mutex_);
  if (probed_) return devices_;
  probed_ = true;
  if (scanDeviceNodes_) {
    std::vector<std::string> nodes;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
      auto name = entry.path().filename().string();
      if (name.rfind("video", 0) == 0) nodes.push_back(entry.path().string());
    }
    std::sort(nodes.begin(), nodes.end());
    for (const auto& node : nodes) {
      VideoIOSource source{node, cv::CAP_V4L2};
      Probe probe;
      if (!probeSource(source, probe)) continue;
      devices_.push_back(makeDevice(source, CaptureDevicePosition::back, probe));
      devices_.push_back(makeDevice(source, CaptureDevicePosition::front, probe));
      break;
    }
    return devices_;
  }
  for (const auto& [position, source] : sources_) {
    Probe probe;
    if (probeSource(source, probe)) devices_.push_back(makeDevice(source, position, probe));
  }
  return devices_;
}

}  // namespace ostrel::platform
