#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/camera/CaptureSession.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "testing/ImageFileCamera.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/ScriptedCameraAuthorization.hpp"

namespace ostrel::platform {
namespace {

using testing::ImageFileCamera;
using testing::ScriptedCameraAuthorization;
using testing::ScriptedCameraDevice;
using testing::ScriptedFrame;

class CaptureDeviceTest : public testing::RuntimeTest {
 protected:
  std::shared_ptr<ImageFileCamera> camera = ImageFileCamera::install();
};

// Settings a camera lacks, out of range or made without the lock are refused with an error;
// settings it has are kept.
TEST_F(CaptureDeviceTest, SettingsAreRefusedOrRecorded) {
  struct Row {
    const char* name;
    std::function<void(CaptureDeviceDescription&)> describe;
    bool lock;
    std::function<CaptureResult(CaptureDevice&)> change;
    int refusedWith;  // 0 = accepted
    std::function<bool(const CaptureDevice&)> kept;
  };
  auto nothing = [](CaptureDeviceDescription&) {};
  auto withTorch = [](CaptureDeviceDescription& d) { d.hasTorch = d.torchAvailable = true; };
  auto withZoom = [](CaptureDeviceDescription& d) { d.maxVideoZoomFactor = 4; };
  auto withFocus = [](CaptureDeviceDescription& d) { d.autoFocusRangeRestrictionSupported = true; };
  auto lockedExposureOnly = [](CaptureDeviceDescription& d) { d.exposureModes = {ExposureMode::locked}; };
  const Row rows[] = {
      {"torch without one", nothing, true, [](CaptureDevice& c) { return c.setTorchMode(TorchMode::on); },
       kCaptureErrorUnsupported, nullptr},
      {"torch", withTorch, true, [](CaptureDevice& c) { return c.setTorchMode(TorchMode::on); }, 0,
       [](const CaptureDevice& c) { return c.torchMode() == TorchMode::on; }},
      {"torch unavailable",
       [](CaptureDeviceDescription& d) { d.hasTorch = true; d.torchAvailable = false; }, true,
       [](CaptureDevice& c) { return c.setTorchMode(TorchMode::on); }, kCaptureErrorUnsupported, nullptr},
      {"torch without the lock", withTorch, false,
       [](CaptureDevice& c) { return c.setTorchMode(TorchMode::on); }, kCaptureErrorNotLocked, nullptr},
      {"zoom on a camera without", nothing, true, [](CaptureDevice& c) { return c.setVideoZoomFactor(2); },
       kCaptureErrorUnsupported, nullptr},
      {"zoom", withZoom, true, [](CaptureDevice& c) { return c.setVideoZoomFactor(4); }, 0,
       [](const CaptureDevice& c) { return c.videoZoomFactor() == 4; }},
      {"zoom past the maximum", withZoom, true, [](CaptureDevice& c) { return c.setVideoZoomFactor(4.01); },
       kCaptureErrorUnsupported, nullptr},
      {"zoom under 1", withZoom, true, [](CaptureDevice& c) { return c.setVideoZoomFactor(0.5); },
       kCaptureErrorUnsupported, nullptr},
      {"zoom NaN", withZoom, true, [](CaptureDevice& c) { return c.setVideoZoomFactor(std::nan("")); },
       kCaptureErrorUnsupported, nullptr},
      {"focus range without one", nothing, true,
       [](CaptureDevice& c) { return c.setAutoFocusRangeRestriction(AutoFocusRangeRestriction::near); },
       kCaptureErrorUnsupported, nullptr},
      {"focus range", withFocus, true,
       [](CaptureDevice& c) { return c.setAutoFocusRangeRestriction(AutoFocusRangeRestriction::near); }, 0,
       [](const CaptureDevice& c) { return c.autoFocusRangeRestriction() == AutoFocusRangeRestriction::near; }},
      {"exposure mode it lacks", lockedExposureOnly, true,
       [](CaptureDevice& c) { return c.setExposureMode(ExposureMode::continuousAutoExposure); },
       kCaptureErrorUnsupported, nullptr},
      {"frame duration at the slow bound", nothing, true,
       [](CaptureDevice& c) { return c.setActiveVideoMaxFrameDuration(CMTime::make(1, 1)); }, 0,
       [](const CaptureDevice& c) { return c.activeVideoMaxFrameDuration() == CMTime::make(1, 1); }},
      {"frame duration at the fast bound", nothing, true,
       [](CaptureDevice& c) { return c.setActiveVideoMinFrameDuration(CMTime::make(20, 600)); }, 0,
       [](const CaptureDevice& c) { return c.activeVideoMinFrameDuration() == CMTime::make(1, 30); }},
      {"frame duration too fast", nothing, true,
       [](CaptureDevice& c) { return c.setActiveVideoMinFrameDuration(CMTime::make(1, 31)); },
       kCaptureErrorUnsupported, nullptr},
      {"invalid frame duration", nothing, true,
       [](CaptureDevice& c) { return c.setActiveVideoMinFrameDuration(CMTime::invalid()); },
       kCaptureErrorUnsupported, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto script = ScriptedCameraDevice::make(CaptureDevicePosition::back, {});
    row.describe(script.description);
    CaptureDevice device(script.description, nullptr);
    if (row.lock) {
      ASSERT_FALSE(device.lockForConfiguration());
    }
    auto error = row.change(device);
    if (row.refusedWith == 0) {
      EXPECT_FALSE(error);
      ASSERT_TRUE(row.kept);
      EXPECT_TRUE(row.kept(device));
    } else {
      ASSERT_TRUE(error);
      EXPECT_EQ(error->code, row.refusedWith);
      EXPECT_EQ(error->domain, kCaptureErrorDomain);
      EXPECT_FALSE(error->localizedFailureReason.empty());
    }
  }
}

TEST_F(CaptureDeviceTest, LockCanFailAndSettingsThenStayRefused) {
  auto script = ScriptedCameraDevice::make(CaptureDevicePosition::back, {});
  script.description.lockFails = true;
  script.description.hasTorch = script.description.torchAvailable = true;
  CaptureDevice device(script.description, nullptr);
  auto error = device.lockForConfiguration();
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, kCaptureErrorLockFailed);
  EXPECT_FALSE(device.isLockedForConfiguration());
  EXPECT_TRUE(device.setTorchMode(TorchMode::on));
  EXPECT_EQ(device.torchMode(), TorchMode::off);
}

TEST_F(CaptureDeviceTest, DefaultDevicesByPosition) {
  EXPECT_EQ(CaptureDevice::defaultDevice(MediaType::video), nullptr);
  auto front = camera->addDevice(ScriptedCameraDevice::make(CaptureDevicePosition::front, {}));
  EXPECT_EQ(CaptureDevice::defaultDevice(MediaType::video), front);  // no back camera: the first
  EXPECT_EQ(CaptureDevice::defaultDevice(CaptureDeviceType::builtInWideAngleCamera, MediaType::video,
                                         CaptureDevicePosition::back),
            nullptr);
  auto back = camera->addDevice(ScriptedCameraDevice::make(CaptureDevicePosition::back, {}));
  EXPECT_EQ(CaptureDevice::defaultDevice(MediaType::video), back);
  EXPECT_EQ(CaptureDevice::defaultDevice(CaptureDeviceType::builtInWideAngleCamera, MediaType::video,
                                         CaptureDevicePosition::front),
            front);
  EXPECT_EQ(CaptureDevice::defaultDevice(MediaType::audio), nullptr);
}

TEST_F(CaptureDeviceTest, InputIsRefusedWhileAccessIsDeniedOrRestricted) {
  auto device = camera->addDevice(ScriptedCameraDevice::make(CaptureDevicePosition::back, {}));
  auto authorization = ScriptedCameraAuthorization::install(AuthorizationStatus::denied);
  for (auto status : {AuthorizationStatus::denied, AuthorizationStatus::restricted}) {
    SCOPED_TRACE(int(status));
    authorization->setStatus(status);
    auto input = CaptureDeviceInput::make(device);
    EXPECT_FALSE(input);
    ASSERT_TRUE(input.error);
    EXPECT_EQ(input.error->code, kCaptureErrorNotAuthorized);
  }
  for (auto status : {AuthorizationStatus::notDetermined, AuthorizationStatus::authorized}) {
    SCOPED_TRACE(int(status));
    authorization->setStatus(status);
    EXPECT_TRUE(CaptureDeviceInput::make(device));
  }
  auto failing = ScriptedCameraDevice::make(CaptureDevicePosition::front, {});
  failing.inputFails = true;
  EXPECT_FALSE(CaptureDeviceInput::make(camera->addDevice(failing)));
  EXPECT_FALSE(CaptureDeviceInput::make(nullptr));
}

// Counts frames on the delegate queue.
struct FrameCounter : CaptureVideoDataOutputSampleBufferDelegate {
  int frames = 0;
  int drops = 0;
  SampleBufferPtr last;
  std::function<void()> whileHandling;
  void captureOutput(CaptureOutput&, const SampleBufferPtr& sample, CaptureConnection&) override {
    ++frames;
    last = sample;
    if (whileHandling) whileHandling();
  }
  void captureOutputDidDrop(CaptureOutput&, const SampleBufferPtr&, CaptureConnection&) override { ++drops; }
};

struct RunningSession {
  std::shared_ptr<CaptureSession> session = std::make_shared<CaptureSession>();
  std::shared_ptr<CaptureVideoDataOutput> output = std::make_shared<CaptureVideoDataOutput>();
  std::shared_ptr<FrameCounter> counter = std::make_shared<FrameCounter>();

  explicit RunningSession(const CaptureDevicePtr& device, PixelFormat format = PixelFormat::bgra32) {
    auto input = CaptureDeviceInput::make(device);
    EXPECT_TRUE(session->addInput(input.value));
    output->setPixelFormat(format);
    output->setSampleBufferDelegate(counter, DispatchQueue::make("frames"));
    EXPECT_TRUE(session->addOutput(output));
  }
};

TEST_F(CaptureDeviceTest, FramesAreWithheldUntilAccessIsGranted) {
  auto authorization = ScriptedCameraAuthorization::install(AuthorizationStatus::notDetermined);
  auto device = camera->addDevice(ScriptedCameraDevice::make(
      CaptureDevicePosition::back, {ScriptedFrame::picture(testing::coordinatePicture(48, 64))}));
  RunningSession run(device);
  run.session->startRunning();
  ASSERT_TRUE(run.session->isRunning());
  advance(0.5);
  EXPECT_EQ(run.counter->frames, 0);
  EXPECT_FALSE(run.session->lastFrameDimensions());

  CameraAuthorization::requestAccess(MediaType::video, [](bool) {});
  EXPECT_EQ(authorization->answerPending(true), 1);
  runUntilIdle();
  advance(0.5);
  EXPECT_GE(run.counter->frames, 14);
  ASSERT_TRUE(run.session->lastFrameDimensions());
  EXPECT_EQ(*run.session->lastFrameDimensions(), (Size{64, 48}));
}

// The image-file camera runs on the virtual clock: one frame per 1/30 s stamped in 1/600 s,
// pictures turned the way the sensor writes them, rows padded, late frames dropped.
TEST_F(CaptureDeviceTest, ImageFileCameraEmitsOnTheVirtualClock) {
  auto script = ScriptedCameraDevice::make(
      CaptureDevicePosition::back,
      {ScriptedFrame::picture(testing::coordinatePicture(6, 4)), ScriptedFrame::noImageBuffer()});
  script.rowPadding = 8;
  script.intrinsics = CameraIntrinsics{500, 0, 2, 0, 500, 3, 0, 0, 1};
  auto device = camera->addDevice(script);
  RunningSession run(device);
  std::vector<CMTime> stamps;
  std::vector<bool> withImage;
  run.counter->whileHandling = [&] {
    stamps.push_back(run.counter->last->presentationTime);
    withImage.push_back(run.counter->last->imageBuffer != nullptr);
  };
  run.session->startRunning();
  advance(0.1 + 1e-9);
  ASSERT_EQ(stamps.size(), 4u);
  for (std::size_t k = 0; k < stamps.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(stamps[k].timescale, 600);
    EXPECT_EQ(stamps[k].value, std::int64_t(20 * k));
    EXPECT_EQ(withImage[k], k % 2 == 0);
  }
  // The first frame: the 6 x 4 picture turned 90 degrees counter-clockwise into a 4 x 6 buffer.
  run.session->stopRunning();
  advance(1);
  EXPECT_EQ(run.counter->frames, 4);
  ASSERT_TRUE(run.session->lastFrameDimensions());
  EXPECT_EQ(*run.session->lastFrameDimensions(), (Size{4, 6}));
}

TEST_F(CaptureDeviceTest, LateFramesAreDroppedWhileTheDelegateIsBusy) {
  auto device = camera->addDevice(ScriptedCameraDevice::make(
      CaptureDevicePosition::back, {ScriptedFrame::picture(testing::coordinatePicture(8, 8))}));
  RunningSession run(device);
  bool busy = false;
  run.counter->whileHandling = [&] {
    if (busy) return;
    busy = true;
    // Handling takes a tenth of a second of camera time: the camera goes on meanwhile.
    advance(0.11);
    busy = false;
  };
  run.session->startRunning();
  runUntilIdle();
  EXPECT_EQ(run.counter->frames, 1);
  EXPECT_EQ(run.output->droppedFrameCount(), 3);
  EXPECT_EQ(run.counter->drops, 3);

  run.output->setAlwaysDiscardsLateVideoFrames(false);
  int before = run.counter->frames;
  advance(0.2);
  EXPECT_GT(run.counter->frames, before);
  EXPECT_EQ(run.output->droppedFrameCount(), 3);
}

TEST_F(CaptureDeviceTest, PresetsAndTheirBufferSizesAreKnownBeforeTheFirstFrame) {
  auto script = ScriptedCameraDevice::make(CaptureDevicePosition::back, {});
  script.description.presets = {{SessionPreset::hd1280x720, {1280, 720}},
                                {SessionPreset::vga640x480, {640, 480}}};
  auto device = camera->addDevice(script);
  auto session = std::make_shared<CaptureSession>();
  EXPECT_TRUE(session->canSetSessionPreset(SessionPreset::hd4K3840x2160));  // no camera yet
  ASSERT_TRUE(session->addInput(CaptureDeviceInput::make(device).value));
  EXPECT_FALSE(session->addInput(CaptureDeviceInput::make(device).value));  // one camera
  EXPECT_FALSE(session->canSetSessionPreset(SessionPreset::hd1920x1080));
  EXPECT_FALSE(session->setSessionPreset(SessionPreset::hd1920x1080));
  ASSERT_TRUE(session->setSessionPreset(SessionPreset::hd1280x720));
  EXPECT_EQ(session->presetDimensions(), (Size{1280, 720}));
  ASSERT_TRUE(session->setSessionPreset(SessionPreset::vga640x480));
  EXPECT_EQ(session->presetDimensions(), (Size{640, 480}));
  EXPECT_EQ(nominalDimensions(SessionPreset::hd4K3840x2160), (Size{3840, 2160}));
  EXPECT_EQ(nominalDimensions(SessionPreset::cif352x288), (Size{352, 288}));
}

TEST_F(CaptureDeviceTest, OutputsAndTheirConnections) {
  auto script = ScriptedCameraDevice::make(CaptureDevicePosition::back, {});
  script.description.sessionAcceptsPhotoOutput = false;
  auto plain = camera->addDevice(script);
  auto stabilised = ScriptedCameraDevice::make(CaptureDevicePosition::front, {});
  stabilised.description.videoStabilizationSupported = true;
  auto steady = camera->addDevice(stabilised);

  auto session = std::make_shared<CaptureSession>();
  ASSERT_TRUE(session->addInput(CaptureDeviceInput::make(plain).value));
  auto photo = std::make_shared<CapturePhotoOutput>();
  EXPECT_FALSE(session->canAddOutput(photo));
  auto video = std::make_shared<CaptureVideoDataOutput>();
  ASSERT_TRUE(session->addOutput(video));
  EXPECT_FALSE(session->addOutput(std::make_shared<CaptureVideoDataOutput>()));  // one of a kind
  ASSERT_TRUE(video->connection());
  video->connection()->setPreferredVideoStabilizationMode(VideoStabilizationMode::standard);
  EXPECT_EQ(video->connection()->preferredVideoStabilizationMode(), VideoStabilizationMode::standard);
  EXPECT_EQ(video->connection()->activeVideoStabilizationMode(), VideoStabilizationMode::off);

  auto other = std::make_shared<CaptureSession>();
  ASSERT_TRUE(other->addInput(CaptureDeviceInput::make(steady).value));
  auto video2 = std::make_shared<CaptureVideoDataOutput>();
  ASSERT_TRUE(other->addOutput(video2));
  video2->connection()->setPreferredVideoStabilizationMode(VideoStabilizationMode::standard);
  EXPECT_EQ(video2->connection()->activeVideoStabilizationMode(), VideoStabilizationMode::standard);
}

// Photos are answered on the output's own queue, once per request, each with its own id; a
// session that does not run answers with an error.
TEST_F(CaptureDeviceTest, PhotoOutputAnswersEveryRequestOnItsQueue) {
  struct Collector : CapturePhotoCaptureDelegate {
    std::vector<std::int64_t> ids;
    std::vector<bool> withData;
    std::vector<int> errors;
    std::vector<bool> onItsQueue;
    std::shared_ptr<DispatchQueue> queue;
    void didFinishProcessingPhoto(CapturePhotoOutput&, const CapturePhoto& photo,
                                  const std::optional<PlatformError>& error) override {
      ids.push_back(photo.uniqueID());
      withData.push_back(photo.fileDataRepresentation().has_value());
      errors.push_back(error ? error->code : 0);
      onItsQueue.push_back(queue->isCurrent());
    }
  };
  auto device = camera->addDevice(ScriptedCameraDevice::make(
      CaptureDevicePosition::back, {ScriptedFrame::picture(testing::coordinatePicture(8, 8))}));
  auto session = std::make_shared<CaptureSession>();
  ASSERT_TRUE(session->addInput(CaptureDeviceInput::make(device).value));
  auto photo = std::make_shared<CapturePhotoOutput>();
  ASSERT_TRUE(session->addOutput(photo));
  auto collector = std::make_shared<Collector>();
  collector->queue = photo->callbackQueue();

  auto early = CapturePhotoSettings::jpeg();
  photo->capturePhoto(early, collector);
  runUntilIdle();
  ASSERT_EQ(collector->errors.size(), 1u);
  EXPECT_EQ(collector->errors[0], kCaptureErrorSessionNotRunning);
  EXPECT_EQ(collector->ids[0], early.uniqueID);

  session->startRunning();
  camera->driver(CaptureDevicePosition::back)->queuePhoto(testing::ScriptedPhoto::noData());
  auto first = CapturePhotoSettings::jpeg();
  auto second = CapturePhotoSettings::jpeg();
  photo->capturePhoto(first, collector);
  photo->capturePhoto(second, collector);
  runUntilIdle();
  ASSERT_EQ(collector->ids.size(), 3u);
  EXPECT_EQ(collector->ids[1], first.uniqueID);
  EXPECT_FALSE(collector->withData[1]);
  EXPECT_EQ(collector->ids[2], second.uniqueID);
  EXPECT_TRUE(collector->withData[2]);
  EXPECT_EQ(collector->errors[2], 0);
  for (bool onQueue : collector->onItsQueue) EXPECT_TRUE(onQueue);
  EXPECT_NE(first.uniqueID, second.uniqueID);
}

}  // namespace
}  // namespace ostrel::platform
