#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "camera/OSLVideoCapture.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "testing/ImageFileCamera.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/ScriptedCameraAuthorization.hpp"

namespace ostrel {
namespace {

using namespace ostrel::platform;
using testing::ImageFileCamera;
using testing::ScriptedCameraDevice;
using testing::ScriptedFrame;

struct RecordingDelegate : OSLVideoCaptureDelegate {
  std::vector<CMTime> timestamps;
  std::vector<bool> withBuffer;
  std::vector<bool> onVideoQueue;
  void videoCapture(OSLVideoCapture& capture, const PixelBufferPtr& buffer, const SampleBufferPtr&,
                    CMTime timestamp) override {
    timestamps.push_back(timestamp);
    withBuffer.push_back(buffer != nullptr);
    onVideoQueue.push_back(capture.videoDataOutputQueue()->isCurrent());
  }
};

SampleBufferPtr frameAt(CMTime time) {
  auto sample = std::make_shared<SampleBuffer>();
  sample->presentationTime = time;
  sample->imageBuffer = PixelBuffer::makeBGRA(2, 2);
  return sample;
}

class OSLVideoCaptureTest : public testing::RuntimeTest {
 protected:
  ScriptedCameraDevice backCamera() {
    return ScriptedCameraDevice::make(CaptureDevicePosition::back,
                                      {ScriptedFrame::picture(testing::coordinatePicture(27, 48))});
  }

  bool setUp(const std::shared_ptr<OSLVideoCapture>& capture, int fps = 30,
             CaptureDevicePosition position = CaptureDevicePosition::back) {
    std::optional<bool> answer;
    capture->setUp(LayerVideoGravity::resizeAspectFill, position, fps,
                   [&](bool configured) { answer = configured; });
    EXPECT_TRUE(answer.has_value()) << "set-up must answer before it returns";
    return answer.value_or(false);
  }

  std::shared_ptr<ImageFileCamera> camera = ImageFileCamera::install();
};

// The throttle passes a frame when at least 1/fps has gone by since the last one that passed,
// compared exactly.
TEST_F(OSLVideoCaptureTest, ThrottlePassesAtMostFpsFramesExactly) {
  struct Row {
    const char* name;
    std::vector<CMTime> times;
    std::vector<std::size_t> passing;
  };
  auto ns = [](std::int64_t v) { return CMTime::make(v, 1000000000); };
  const Row rows[] = {
      {"exact thirtieths", {CMTime::make(0, 30), CMTime::make(1, 30), CMTime::make(2, 30), CMTime::make(3, 30)},
       {0, 1, 2, 3}},
      {"timescale 600",
       {CMTime::make(0, 600), CMTime::make(20, 600), CMTime::make(40, 600), CMTime::make(59, 600)},
       {0, 1, 2}},
      {"nanoseconds a hair short of a thirtieth",
       {ns(0), ns(33333333), ns(66666666), ns(99999999), ns(133333332)},
       {0, 2, 4}},
      {"a drop keeps the earlier time", {CMTime::make(0, 600), CMTime::make(19, 600), CMTime::make(20, 600)},
       {0, 2}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto capture = std::make_shared<OSLVideoCapture>();
    auto delegate = std::make_shared<RecordingDelegate>();
    capture->setDelegate(delegate);
    CaptureVideoDataOutput output;
    CaptureConnection connection;
    for (auto time : row.times) capture->captureOutput(output, frameAt(time), connection);
    ASSERT_EQ(delegate->timestamps.size(), row.passing.size());
    for (std::size_t i = 0; i < row.passing.size(); ++i)
      EXPECT_EQ(delegate->timestamps[i], row.times[row.passing[i]]);
  }
}

TEST_F(OSLVideoCaptureTest, APassingFrameWithoutDelegateStillMovesTheLastTime) {
  auto capture = std::make_shared<OSLVideoCapture>();
  CaptureVideoDataOutput output;
  CaptureConnection connection;
  capture->captureOutput(output, frameAt(CMTime::make(30, 600)), connection);
  EXPECT_EQ(capture->lastTimestamp(), CMTime::make(30, 600));
  auto delegate = std::make_shared<RecordingDelegate>();
  capture->setDelegate(delegate);
  capture->captureOutput(output, frameAt(CMTime::make(45, 600)), connection);
  EXPECT_TRUE(delegate->timestamps.empty());
  capture->captureOutput(output, frameAt(CMTime::make(50, 600)), connection);
  EXPECT_EQ(delegate->timestamps.size(), 1u);
}

// Every way set-up can go, and what it leaves behind.
TEST_F(OSLVideoCaptureTest, SetUpOutcomes) {
  struct Row {
    const char* name;
    std::function<void(ScriptedCameraDevice&)> script;  // null: no back camera at all
    int fps;
    bool configured;
    std::function<void(const OSLVideoCapture&)> check;
  };
  auto unchanged = [](ScriptedCameraDevice&) {};
  const Row rows[] = {
      {"no camera there", nullptr, 30, false, nullptr},
      {"input cannot be made", [](ScriptedCameraDevice& s) { s.inputFails = true; }, 30, false, nullptr},
      {"session refuses the input",
       [](ScriptedCameraDevice& s) { s.description.sessionAcceptsInput = false; }, 30, false, nullptr},
      {"session refuses the photo output",
       [](ScriptedCameraDevice& s) { s.description.sessionAcceptsPhotoOutput = false; }, 30, false,
       [](const OSLVideoCapture& c) { EXPECT_TRUE(c.captureSession()->inputs().empty()); }},
      {"fps 0", unchanged, 0, false, nullptr},
      {"fps -5", unchanged, -5, false, nullptr},
      {"session refuses the video output",
       [](ScriptedCameraDevice& s) { s.description.sessionAcceptsVideoDataOutput = false; }, 30, true,
       [](const OSLVideoCapture& c) {
         EXPECT_EQ(c.captureSession()->outputs().size(), 1u);
         EXPECT_TRUE(c.imageCaptureOutput());
       }},
      {"camera cannot be locked", [](ScriptedCameraDevice& s) { s.description.lockFails = true; }, 30, true,
       [](const OSLVideoCapture& c) {
         EXPECT_EQ(c.bufferSize, (Size{0, 0}));
         EXPECT_EQ(c.captureSession()->videoDevice()->exposureMode(), ExposureMode::locked);
       }},
      {"configured", unchanged, 30, true,
       [](const OSLVideoCapture& c) {
         auto device = c.captureSession()->videoDevice();
         EXPECT_EQ(c.bufferSize, (Size{48, 27}));
         EXPECT_EQ(device->exposureMode(), ExposureMode::continuousAutoExposure);
         EXPECT_EQ(device->whiteBalanceMode(), WhiteBalanceMode::continuousAutoWhiteBalance);
         EXPECT_EQ(device->activeVideoMinFrameDuration(), CMTime::make(1, 30));
         EXPECT_EQ(device->activeVideoMaxFrameDuration(), CMTime::make(1, 30));
         EXPECT_EQ(c.captureSession()->sessionPreset(), SessionPreset::hd1920x1080);
         EXPECT_EQ(c.previewLayer->videoGravity, LayerVideoGravity::resizeAspectFill);
         EXPECT_EQ(c.previewLayer->connection()->videoOrientation(), CaptureVideoOrientation::portrait);
         EXPECT_EQ(c.videoOutput()->pixelFormat(), PixelFormat::bgra32);
         EXPECT_TRUE(c.videoOutput()->alwaysDiscardsLateVideoFrames());
         auto photo = std::dynamic_pointer_cast<iOS10CaptureOutput>(c.imageCaptureOutput());
         ASSERT_TRUE(photo);
         EXPECT_TRUE(photo->output()->isHighResolutionCaptureEnabled());
       }},
      {"only single-shot modes and the low preset",
       [](ScriptedCameraDevice& s) {
         s.description.exposureModes = {ExposureMode::locked, ExposureMode::autoExpose};
         s.description.whiteBalanceModes = {WhiteBalanceMode::autoWhiteBalance};
         s.description.presets = {{SessionPreset::low, {192, 144}}};
       },
       30, true,
       [](const OSLVideoCapture& c) {
         auto device = c.captureSession()->videoDevice();
         EXPECT_EQ(device->exposureMode(), ExposureMode::autoExpose);
         EXPECT_EQ(device->whiteBalanceMode(), WhiteBalanceMode::autoWhiteBalance);
         EXPECT_EQ(c.captureSession()->sessionPreset(), SessionPreset::low);
       }},
      {"a rate outside the first range stays as the format gives it", unchanged, 60, true,
       [](const OSLVideoCapture& c) {
         auto device = c.captureSession()->videoDevice();
         EXPECT_EQ(device->activeVideoMinFrameDuration(), CMTime::make(1, 30));
         EXPECT_EQ(device->activeVideoMaxFrameDuration(), CMTime::make(1, 1));
       }},
      {"the slowest rate of the range is taken", unchanged, 1, true,
       [](const OSLVideoCapture& c) {
         EXPECT_EQ(c.captureSession()->videoDevice()->activeVideoMinFrameDuration(), CMTime::make(1, 1));
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    camera = ImageFileCamera::install();
    if (row.script) {
      auto script = backCamera();
      row.script(script);
      camera->addDevice(script);
    }
    auto capture = std::make_shared<OSLVideoCapture>();
    EXPECT_EQ(setUp(capture, row.fps), row.configured);
    EXPECT_FALSE(capture->captureSession()->isConfiguring());
    if (!row.configured) {
      EXPECT_EQ(capture->previewLayer, nullptr);
      EXPECT_EQ(capture->imageCaptureOutput(), nullptr);
    } else {
      EXPECT_NE(capture->previewLayer, nullptr);
    }
    if (row.check) row.check(*capture);
  }
}

TEST_F(OSLVideoCaptureTest, DeniedAccessFailsTheSetUp) {
  camera->addDevice(backCamera());
  testing::ScriptedCameraAuthorization::install(AuthorizationStatus::denied);
  auto capture = std::make_shared<OSLVideoCapture>();
  EXPECT_FALSE(setUp(capture));
}

TEST_F(OSLVideoCaptureTest, DiagnosticsGoToTheDebugSinkOnly) {
  std::vector<std::string> said;
  setDebugSink([&](std::string_view text) { said.emplace_back(text); });
  auto capture = std::make_shared<OSLVideoCapture>();
  EXPECT_FALSE(setUp(capture));
  ASSERT_FALSE(said.empty());
  EXPECT_EQ(said.back(), "Not avaiable device");
  auto script = backCamera();
  script.inputFails = true;
  camera->addDevice(script);
  auto other = std::make_shared<OSLVideoCapture>();
  EXPECT_FALSE(setUp(other));
  EXPECT_EQ(said.back(), "Not could not create AVCaptureDeviceInput");
}

// One screen's life with its frame source: set up, run, stop and start again quickly, set up
// again, photos, and the owner letting go while the camera runs.
TEST_F(OSLVideoCaptureTest, FramesFlowThroughStartsAndStops) {
  camera->addDevice(backCamera());
  auto driver = camera->driver(CaptureDevicePosition::back);
  auto capture = std::make_shared<OSLVideoCapture>();
  auto delegate = std::make_shared<RecordingDelegate>();
  capture->setDelegate(delegate);
  ASSERT_TRUE(setUp(capture, 15));

  // A second set-up answers the first outcome and adds nothing.
  ASSERT_TRUE(setUp(capture, 30));
  EXPECT_EQ(capture->captureSession()->inputs().size(), 1u);
  EXPECT_EQ(capture->captureSession()->outputs().size(), 2u);
  EXPECT_EQ(capture->fps(), 15);

  capture->start();
  EXPECT_FALSE(capture->captureSession()->isRunning()) << "start runs on the session queue";
  runUntilIdle();
  EXPECT_TRUE(capture->captureSession()->isRunning());
  // The camera gives 15 frames a second; the throttle lets each through.
  advance(1.0 + 1e-9);
  EXPECT_EQ(delegate->timestamps.size(), 16u);
  for (bool onQueue : delegate->onVideoQueue) EXPECT_TRUE(onQueue);
  for (bool buffer : delegate->withBuffer) EXPECT_TRUE(buffer);

  // Stop then start at once: the camera ends running.
  capture->stop();
  capture->start();
  runUntilIdle();
  EXPECT_TRUE(capture->captureSession()->isRunning());
  EXPECT_TRUE(driver->isStreaming());

  capture->stop();
  runUntilIdle();
  EXPECT_FALSE(driver->isStreaming());
  auto before = delegate->timestamps.size();
  advance(1);
  EXPECT_EQ(delegate->timestamps.size(), before);

  // Let go of a running frame source: its camera stops.
  capture->start();
  runUntilIdle();
  ASSERT_TRUE(driver->isStreaming());
  std::weak_ptr<OSLVideoCapture> weak = capture;
  capture.reset();
  EXPECT_TRUE(weak.expired());
  EXPECT_FALSE(driver->isStreaming());
  advance(1);
}

}  // namespace
}  // namespace ostrel
