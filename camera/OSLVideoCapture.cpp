#include "camera/OSLVideoCapture.hpp"

#include <string>

#include "platform/foundation/Debug.hpp"
#include "platform/runtime/DispatchQueue.hpp"

#ifndef OSTREL_BUNDLE_ID
#define OSTREL_BUNDLE_ID "org.example.ostrel"
#endif

namespace ostrel {

using namespace ostrel::platform;

OSLVideoCapture::OSLVideoCapture()
    : _captureSession(std::make_shared<CaptureSession>()),
      _videoOutput(std::make_shared<CaptureVideoDataOutput>()),
      _captureSessionQueue(
          DispatchQueue::make(std::string(OSTREL_BUNDLE_ID) + ".OSLVideoCapture.CaptureSessionQueue")),
      _videoDataOutputQueue(DispatchQueue::make(std::string(OSTREL_BUNDLE_ID) +
                                                ".OSLVideoCapture.VideoDataOutputQueue")),
      _lastTimestamp(CMTime::invalid()) {}

void OSLVideoCapture::setUp(LayerVideoGravity videoGravity, CaptureDevicePosition position, int fps,
                            const std::function<void(bool)>& completion) {
  // Set up once: a second call would add a second input and outputs to the session.
  if (setUpOutcome_) {
    if (completion) completion(*setUpOutcome_);
    return;
  }
  auto finish = [&](bool configured) {
    setUpOutcome_ = configured;
    if (completion) completion(configured);
  };
  // 1/fps is the throttle's interval and the camera's frame duration.
  if (fps < 1) {
    debugLog("OSLVideoCapture: a frame rate under 1 cannot be set up");
    finish(false);
    return;
  }

  _captureSession->beginConfiguration();
  _fps = fps;
  auto fail = [&](const char* diagnostic) {
    debugLog(diagnostic);
    _captureSession->commitConfiguration();
    finish(false);
  };

  auto device = CaptureDevice::defaultDevice(CaptureDeviceType::builtInWideAngleCamera,
                                             MediaType::video, position);
  if (!device) return fail("Not avaiable device");

  auto input = CaptureDeviceInput::make(device);
  if (!input) return fail("Not could not create AVCaptureDeviceInput");
  // Without its input the session shows nothing and every photo fails.
  if (!_captureSession->addInput(input.value))
    return fail("OSLVideoCapture: the session refused the camera input");

  bool presetSet = false;
  for (SessionPreset preset : {SessionPreset::hd1920x1080, SessionPreset::hd1280x720,
                               SessionPreset::vga640x480, SessionPreset::cif352x288}) {
    if (_captureSession->canSetSessionPreset(preset)) {
      presetSet = _captureSession->setSessionPreset(preset);
      break;
    }
  }
  if (!presetSet) (void)_captureSession->setSessionPreset(SessionPreset::low);

  auto layer = std::make_shared<CaptureVideoPreviewLayer>(_captureSession);
  layer->videoGravity = videoGravity;
  if (auto connection = layer->connection())
    connection->setVideoOrientation(CaptureVideoOrientation::portrait);

  auto imageCapture = std::make_shared<iOS10CaptureOutput>();
  imageCapture->output()->setHighResolutionCaptureEnabled(true);
  if (!_captureSession->addOutput(imageCapture->output())) {
    _captureSession->removeInput(input.value);
    return fail("OSLVideoCapture: the session refused the photo output");
  }
  previewLayer = layer;
  _imageCaptureOutput = imageCapture;

  _videoOutput->setPixelFormat(PixelFormat::bgra32);
  _videoOutput->setAlwaysDiscardsLateVideoFrames(true);
  _videoOutput->setSampleBufferDelegate(weak_from_this(), _videoDataOutputQueue);
  if (!_captureSession->addOutput(_videoOutput))
    debugLog("OSLVideoCapture: the session refused the video output; photos only");

  if (!device->lockForConfiguration()) {
    auto format = device->activeFormat();
    bufferSize = Size{double(format.width), double(format.height)};
    if (device->isExposureModeSupported(ExposureMode::continuousAutoExposure))
      (void)device->setExposureMode(ExposureMode::continuousAutoExposure);
    else if (device->isExposureModeSupported(ExposureMode::autoExpose))
      (void)device->setExposureMode(ExposureMode::autoExpose);
    if (device->isWhiteBalanceModeSupported(WhiteBalanceMode::continuousAutoWhiteBalance))
      (void)device->setWhiteBalanceMode(WhiteBalanceMode::continuousAutoWhiteBalance);
    else if (device->isWhiteBalanceModeSupported(WhiteBalanceMode::autoWhiteBalance))
      (void)device->setWhiteBalanceMode(WhiteBalanceMode::autoWhiteBalance);
    const auto& ranges = format.videoSupportedFrameRateRanges;
    if (!ranges.empty()) {
      CMTime duration = CMTime::make(1, fps);
      const auto& range = ranges.front();
      if (range.minFrameDuration <= duration && duration <= range.maxFrameDuration) {
        (void)device->setActiveVideoMinFrameDuration(duration);
        (void)device->setActiveVideoMaxFrameDuration(duration);
      }
    }
    device->unlockForConfiguration();
  }

  _captureSession->commitConfiguration();
  finish(true);
}

void OSLVideoCapture::start() {
  std::weak_ptr<OSLVideoCapture> weakSelf = weak_from_this();
  _captureSessionQueue->async([weakSelf] {
    auto self = weakSelf.lock();
    if (self && !self->_captureSession->isRunning()) self->_captureSession->startRunning();
  });
}

void OSLVideoCapture::stop() {
  std::weak_ptr<OSLVideoCapture> weakSelf = weak_from_this();
  _captureSessionQueue->async([weakSelf] {
    auto self = weakSelf.lock();
    if (self && self->_captureSession->isRunning()) self->_captureSession->stopRunning();
  });
}

void OSLVideoCapture::captureOutput(platform::CaptureOutput&, const SampleBufferPtr& sampleBuffer,
                                    CaptureConnection&) {
  if (!sampleBuffer) return;
  CMTime timestamp = sampleBuffer->presentationTime;
  if (timestamp - _lastTimestamp < CMTime::make(1, _fps.load())) return;
  _lastTimestamp = timestamp;
  auto imageBuffer = sampleBuffer->imageBuffer;
  auto receiver = delegate();
  if (!receiver) return;
  receiver->videoCapture(*this, imageBuffer, sampleBuffer, timestamp);
}

}  // namespace ostrel
