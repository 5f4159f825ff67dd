#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "platform/camera/SensorLayout.hpp"
#include "platform/camera/VideoIOCameraBackend.hpp"
#include "platform/camera/CaptureSession.hpp"
#include "platform/media/Image.hpp"
#include "platform/media/PixelBufferConversion.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "testing/ImageFileCamera.hpp"
#include "testing/RuntimeFixture.hpp"

namespace ostrel::platform {
namespace {

// Threads of this process that grab camera frames.
int grabThreads() {
  int count = 0;
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    if (name == "ostrel-camera") ++count;
  }
  return count;
}

struct Frames : CaptureVideoDataOutputSampleBufferDelegate {
  std::mutex mutex;
  int count = 0;
  SampleBufferPtr last;
  std::function<void()> whileHandling;
  void captureOutput(CaptureOutput&, const SampleBufferPtr& sample, CaptureConnection&) override {
    {
      std::lock_guard guard(mutex);
      ++count;
      last = sample;
    }
    if (whileHandling) whileHandling();
  }
  int frames() {
    std::lock_guard guard(mutex);
    return count;
  }
};

// The real backend on an image sequence, the way machines without a webcam run it.
class VideoIOBackendTest : public testing::RuntimeTest {
 protected:
  // Grab threads come and go, and sessions die on them, without posting anything: ask often.
  bool eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 200; ++i)
      if (waitUntil(done, 0.025)) return true;
    return false;
  }
  bool threadsSettle(int expected) {
    return eventually([&] { return grabThreads() == expected; });
  }

  void SetUp() override {
    // Five 50 x 30 pictures whose colours say where each pixel is and which frame it is.
    for (int k = 0; k < 5; ++k) {
      cv::Mat rgba = testing::coordinatePicture(50, 30), bgr;
      rgba.forEach<cv::Vec4b>([k](cv::Vec4b& px, const int*) { px[2] = std::uint8_t(10 * k); });
      cv::cvtColor(rgba, bgr, cv::COLOR_RGBA2BGR);
      char name[32];
      std::snprintf(name, sizeof name, "img_%03d.png", k);
      ASSERT_TRUE(cv::imwrite((dataDirectory() / name).string(), bgr));
    }
    backend = std::make_shared<VideoIOCameraBackend>(
        VideoIOSource{(dataDirectory() / "img_%03d.png").string(), cv::CAP_IMAGES});
    CameraBackend::install(backend);
    device = CaptureDevice::defaultDevice(MediaType::video);
    ASSERT_TRUE(device);
    session = std::make_shared<CaptureSession>();
    ASSERT_TRUE(session->addInput(CaptureDeviceInput::make(device).value));
    output = std::make_shared<CaptureVideoDataOutput>();
    output->setSampleBufferDelegate(frames, DispatchQueue::make("frames"));
    ASSERT_TRUE(session->addOutput(output));
  }

  void TearDown() override {
    if (session) session->stopRunning();
    EXPECT_TRUE(threadsSettle(0));
  }

  std::shared_ptr<VideoIOCameraBackend> backend;
  CaptureDevicePtr device;
  std::shared_ptr<CaptureSession> session;
  std::shared_ptr<CaptureVideoDataOutput> output;
  std::shared_ptr<Frames> frames = std::make_shared<Frames>();
};

TEST_F(VideoIOBackendTest, DescribesTheSourceAsTheSensorWritesIt) {
  EXPECT_EQ(device->position(), CaptureDevicePosition::back);
  ASSERT_TRUE(CaptureDevice::defaultDevice(CaptureDeviceType::builtInWideAngleCamera, MediaType::video,
                                           CaptureDevicePosition::front));
  EXPECT_EQ(device->activeFormat().width, 30);
  EXPECT_EQ(device->activeFormat().height, 50);
  EXPECT_FALSE(device->supportsSessionPreset(SessionPreset::hd1920x1080));
  ASSERT_TRUE(session->setSessionPreset(SessionPreset::low));
  EXPECT_EQ(session->presetDimensions(), (Size{30, 50}));
  EXPECT_FALSE(device->hasTorch());
  EXPECT_FALSE(device->isAutoFocusRangeRestrictionSupported());
  EXPECT_FALSE(device->isVideoStabilizationSupported());
}

TEST_F(VideoIOBackendTest, BGRAFramesWithTheDriverStrideTurnedForTheBackCamera) {
  session->startRunning();
  ASSERT_TRUE(session->isRunning());
  ASSERT_TRUE(waitUntil([&] { return frames->frames() >= 2; }));
  session->stopRunning();
  auto sample = frames->last;
  ASSERT_TRUE(sample && sample->imageBuffer);
  EXPECT_FALSE(sample->cameraIntrinsics);
  EXPECT_EQ(sample->presentationTime.timescale, 1000000000);
  const auto& buffer = *sample->imageBuffer;
  EXPECT_EQ(buffer.pixelFormat(), PixelFormat::bgra32);
  EXPECT_EQ(buffer.width(), 30);
  EXPECT_EQ(buffer.height(), 50);
  EXPECT_EQ(buffer.bytesPerRow(), 128u);
  // Turned back clockwise, the buffer is the picture (red and green say where, blue which).
  cv::Mat upright;
  cv::rotate(rgbaFromPixelBuffer(buffer), upright, cv::ROTATE_90_CLOCKWISE);
  ASSERT_EQ(upright.size(), cv::Size(50, 30));
  for (int y = 0; y < 30; y += 7)
    for (int x = 0; x < 50; x += 9) {
      auto px = upright.at<cv::Vec4b>(y, x);
      EXPECT_EQ(px[0], x);
      EXPECT_EQ(px[1], y);
    }
}

TEST_F(VideoIOBackendTest, FourTwentyFFramesAndPhotosOfTheRunningCamera) {
  output->setPixelFormat(PixelFormat::yCbCr420BiPlanarFullRange);
  auto photo = std::make_shared<CapturePhotoOutput>();
  ASSERT_TRUE(session->addOutput(photo));
  session->startRunning();
  ASSERT_TRUE(waitUntil([&] { return frames->frames() >= 1; }));
  ASSERT_TRUE(frames->last->imageBuffer);
  EXPECT_EQ(frames->last->imageBuffer->planeCount(), 2u);

  struct Photo : CapturePhotoCaptureDelegate {
    std::optional<Bytes> data;
    bool answered = false;
    void didFinishProcessingPhoto(CapturePhotoOutput&, const CapturePhoto& p,
                                  const std::optional<PlatformError>&) override {
      data = p.fileDataRepresentation();
      answered = true;
    }
  };
  auto delegate = std::make_shared<Photo>();
  photo->capturePhoto(CapturePhotoSettings::jpeg(), delegate);
  ASSERT_TRUE(waitUntil([&] { return delegate->answered; }));
  ASSERT_TRUE(delegate->data);
  // An upright JPEG of the webcam's picture.
  auto image = Image::decode(*delegate->data);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->orientation(), ImageOrientation::up);
  EXPECT_EQ(image->pixelWidth(), 50);
  EXPECT_EQ(image->pixelHeight(), 30);
}

TEST_F(VideoIOBackendTest, LateFramesAreDroppedAndTheCameraStopsAndStartsAgain) {
  std::mutex mutex;
  std::condition_variable dropped;
  bool first = true;
  frames->whileHandling = [&] {
    if (!first) return;
    first = false;
    // Handling the first frame takes as long as two more frames need to arrive.
    std::unique_lock guard(mutex);
    for (int i = 0; i < 500 && output->droppedFrameCount() < 2; ++i)
      dropped.wait_for(guard, std::chrono::milliseconds(10));
  };
  session->startRunning();
  ASSERT_TRUE(waitUntil([&] { return frames->frames() >= 1 && !first; }));
  EXPECT_GE(output->droppedFrameCount(), 2);

  session->stopRunning();
  EXPECT_FALSE(session->isRunning());
  EXPECT_EQ(grabThreads(), 0);
  runUntilIdle();
  int afterStop = frames->frames();
  runUntilIdle();
  EXPECT_EQ(frames->frames(), afterStop);

  session->startRunning();
  EXPECT_TRUE(threadsSettle(1));
  ASSERT_TRUE(waitUntil([&] { return frames->frames() > afterStop; }));
}

// An output whose frame hand-over lets go of the last owner of its session, on the grab thread.
struct LettingGo : CaptureOutput {
  std::mutex mutex;
  std::shared_ptr<CaptureSession> owner;
  Kind kind() const override { return Kind::metadata; }
  void deliverFrame(const SampleBufferPtr&) override {
    std::lock_guard guard(mutex);
    owner.reset();
  }
};

TEST_F(VideoIOBackendTest, ASessionLetGoWhileRunningLeavesNoGrabThread) {
  session->startRunning();
  ASSERT_TRUE(waitUntil([&] { return frames->frames() >= 1; }));
  EXPECT_TRUE(threadsSettle(1));
  std::weak_ptr<CaptureSession> weak = session;
  session.reset();
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(grabThreads(), 0);

  // Let go from the grab thread itself: it cannot wait for itself, and still ends.
  auto again = std::make_shared<CaptureSession>();
  ASSERT_TRUE(again->addInput(CaptureDeviceInput::make(device).value));
  auto letGo = std::make_shared<LettingGo>();
  ASSERT_TRUE(again->addOutput(letGo));
  again->startRunning();
  weak = again;
  {
    std::lock_guard guard(letGo->mutex);
    letGo->owner = std::move(again);
  }
  EXPECT_TRUE(eventually([&] { return weak.expired(); }));
  EXPECT_TRUE(threadsSettle(0));
}

TEST(VideoIOV4L2Test, ARealWebcamDeliversFrames) {
  testing::RuntimeEnvironment environment;
  auto backend = std::make_shared<VideoIOCameraBackend>();
  auto devices = backend->devices();
  if (devices.empty()) GTEST_SKIP() << "no V4L2 camera opens on this machine (none under /dev/video*)";
  auto session = std::make_shared<CaptureSession>();
  ASSERT_TRUE(session->addInput(CaptureDeviceInput::make(devices.front()).value));
  auto output = std::make_shared<CaptureVideoDataOutput>();
  auto frames = std::make_shared<Frames>();
  output->setSampleBufferDelegate(frames, DispatchQueue::make("frames"));
  ASSERT_TRUE(session->addOutput(output));
  session->startRunning();
  ASSERT_TRUE(session->isRunning()) << "the camera listed but did not open";
  EXPECT_TRUE(environment.runtime().waitUntil([&] { return frames->frames() >= 1; }));
  session->stopRunning();
}

}  // namespace
}  // namespace ostrel::platform
