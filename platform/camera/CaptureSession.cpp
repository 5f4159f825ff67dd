#include "platform/camera/CaptureSession.hpp"

#include <algorithm>

#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel::platform {

// ------------------------------------------------------------------------------ input

CaptureMade<CaptureDeviceInput> CaptureDeviceInput::make(CaptureDevicePtr device) {
  if (!device)
    return {nullptr, captureError(kCaptureErrorDeviceNotAvailable, "Cannot use the camera",
                                  "There is no camera.")};
  auto status = CameraAuthorization::authorizationStatus(MediaType::video);
  if (status == AuthorizationStatus::denied || status == AuthorizationStatus::restricted)
    return {nullptr, captureError(kCaptureErrorNotAuthorized, "Cannot use the camera",
                                  "This app is not authorized to use the camera.")};
  if (auto error = device->driver() ? device->driver()->checkInput() : std::nullopt)
    return {nullptr, std::move(error)};
  return {std::make_shared<CaptureDeviceInput>(std::move(device)), std::nullopt};
}

// ------------------------------------------------------------------------------ connection

CaptureVideoOrientation CaptureConnection::videoOrientation() const {
  std::lock_guard guard(mutex_);
  return orientation_;
}

void CaptureConnection::setVideoOrientation(CaptureVideoOrientation orientation) {
  std::lock_guard guard(mutex_);
  orientation_ = orientation;
}

bool CaptureConnection::isVideoMirrored() const {
  std::lock_guard guard(mutex_);
  return mirrored_;
}

void CaptureConnection::setVideoMirrored(bool mirrored) {
  std::lock_guard guard(mutex_);
  mirrored_ = mirrored;
}

bool CaptureConnection::isVideoStabilizationSupported() const {
  std::lock_guard guard(mutex_);
  auto device = device_.lock();
  return device && device->isVideoStabilizationSupported();
}

VideoStabilizationMode CaptureConnection::preferredVideoStabilizationMode() const {
  std::lock_guard guard(mutex_);
  return preferred_;
}

void CaptureConnection::setPreferredVideoStabilizationMode(VideoStabilizationMode mode) {
  std::lock_guard guard(mutex_);
  preferred_ = mode;
}

VideoStabilizationMode CaptureConnection::activeVideoStabilizationMode() const {
  std::lock_guard guard(mutex_);
  auto device = device_.lock();
  if (!device || !device->isVideoStabilizationSupported()) return VideoStabilizationMode::off;
  // A camera that stabilises picks the standard mode when asked to choose itself.
  return preferred_ == VideoStabilizationMode::automatic ? VideoStabilizationMode::standard
                                                         : preferred_;
}

void CaptureConnection::attach(CaptureDevicePtr device) {
  std::lock_guard guard(mutex_);
  device_ = device;
}

// ------------------------------------------------------------------------------ outputs

std::shared_ptr<CaptureConnection> CaptureOutput::connection() const {
  std::lock_guard guard(mutex_);
  return connection_;
}

void CaptureOutput::attachToSession(const std::shared_ptr<CaptureSession>& session,
                                    CaptureDevicePtr device) {
  std::lock_guard guard(mutex_);
  session_ = session;
  if (!device) {
    connection_.reset();
    return;
  }
  if (!connection_) connection_ = std::make_shared<CaptureConnection>();
  connection_->attach(std::move(device));
}

void CaptureOutput::detachFromSession() {
  std::lock_guard guard(mutex_);
  session_.reset();
  connection_.reset();
}

const std::vector<PixelFormat>& CaptureVideoDataOutput::availableVideoPixelFormatTypes() const {
  static const std::vector<PixelFormat> formats{PixelFormat::bgra32,
                                                PixelFormat::yCbCr420BiPlanarFullRange};
  return formats;
}

void CaptureVideoDataOutput::setSampleBufferDelegate(
    std::weak_ptr<CaptureVideoDataOutputSampleBufferDelegate> delegate,
    std::shared_ptr<DispatchQueue> queue) {
  std::lock_guard guard(mutex_);
  delegate_ = std::move(delegate);
  queue_ = std::move(queue);
}

std::shared_ptr<DispatchQueue> CaptureVideoDataOutput::sampleBufferCallbackQueue() const {
  std::lock_guard guard(mutex_);
  return queue_;
}

void CaptureVideoDataOutput::deliverFrame(const SampleBufferPtr& sample) {
  std::weak_ptr<CaptureVideoDataOutputSampleBufferDelegate> delegate;
  std::shared_ptr<DispatchQueue> queue;
  {
    std::lock_guard guard(mutex_);
    delegate = delegate_;
    queue = queue_;
  }
  if (!queue || delegate.expired()) return;
  auto self = std::static_pointer_cast<CaptureVideoDataOutput>(shared_from_this());
  if (discardLate_.load() && inFlight_.exchange(true)) {
    ++dropped_;
    queue->async([self, delegate, sample] {
      auto connection = self->connection();
      if (auto receiver = delegate.lock(); receiver && connection)
        receiver->captureOutputDidDrop(*self, sample, *connection);
    });
    return;
  }
  std::weak_ptr<CaptureVideoDataOutput> weakSelf = self;
  queue->async([weakSelf, delegate, sample] {
    auto output = weakSelf.lock();
    if (!output) return;
    auto connection = output->connection();
    if (auto receiver = delegate.lock(); receiver && connection)
      receiver->captureOutput(*output, sample, *connection);
    output->inFlight_ = false;
  });
}

namespace {

std::int64_t nextPhotoID() {
  static std::atomic<std::int64_t> counter{0};
  return ++counter;
}

}  // namespace

CapturePhotoSettings::CapturePhotoSettings() : uniqueID(nextPhotoID()) {}

CapturePhotoSettings CapturePhotoSettings::jpeg() { return CapturePhotoSettings(); }

CapturePhotoOutput::CapturePhotoOutput()
    : queue_(DispatchQueue::make("ostrel.platform.CapturePhotoOutput")) {}

std::vector<FlashMode> CapturePhotoOutput::supportedFlashModes() const {
  // Neither backend has a flash.
  return {FlashMode::off};
}

std::vector<CapturePhotoSettings> CapturePhotoOutput::requestedSettings() const {
  std::lock_guard guard(mutex_);
  return requested_;
}

void CapturePhotoOutput::capturePhoto(const CapturePhotoSettings& settings,
                                      std::shared_ptr<CapturePhotoCaptureDelegate> delegate) {
  {
    std::lock_guard guard(mutex_);
    requested_.push_back(settings);
  }
  // The output and the delegate stay alive until the answer, which comes exactly once.
  auto self = std::static_pointer_cast<CapturePhotoOutput>(shared_from_this());
  auto answered = std::make_shared<std::atomic<bool>>(false);
  auto answer = [self, delegate, answered, id = settings.uniqueID](PhotoAnswer reply) {
    if (answered->exchange(true)) return;
    self->queue_->async([self, delegate, id, reply = std::move(reply)] {
      if (!delegate) return;
      CapturePhoto photo(id, reply.fileData);
      delegate->didFinishProcessingPhoto(*self, photo, reply.error);
    });
  };
  auto session = this->session();
  auto device = session ? session->videoDevice() : nullptr;
  if (!session || !session->isRunning() || !device || !device->driver()) {
    answer({std::nullopt, captureError(kCaptureErrorSessionNotRunning, "Cannot take a photo",
                                       "The capture session is not running.")});
    return;
  }
  PhotoRequest request{settings.uniqueID, settings.flashMode,
                       settings.highResolutionPhotoEnabled && isHighResolutionCaptureEnabled()};
  device->driver()->capturePhoto(request, answer);
}

// ------------------------------------------------------------------------------ session

CaptureSession::~CaptureSession() {
  // Owners may let go of a running session; its camera must not go on delivering.
  if (streamingDriver_) streamingDriver_->stopStreaming();
}

void CaptureSession::beginConfiguration() {
  std::lock_guard guard(mutex_);
  ++configuring_;
}

void CaptureSession::commitConfiguration() {
  std::lock_guard guard(mutex_);
  if (configuring_ > 0) --configuring_;
}

bool CaptureSession::isConfiguring() const {
  std::lock_guard guard(mutex_);
  return configuring_ > 0;
}

bool CaptureSession::canAddInput(const std::shared_ptr<CaptureDeviceInput>& input) const {
  std::lock_guard guard(mutex_);
  if (!input || !input->device()) return false;
  // One camera per session.
  if (!inputs_.empty()) return false;
  return input->device()->description().sessionAcceptsInput;
}

bool CaptureSession::addInput(const std::shared_ptr<CaptureDeviceInput>& input) {
  if (!canAddInput(input)) return false;
  std::vector<std::shared_ptr<CaptureOutput>> outputs;
  std::optional<SessionPreset> preset;
  {
    std::lock_guard guard(mutex_);
    inputs_.push_back(input);
    outputs = outputs_;
    preset = preset_;
  }
  auto self = shared_from_this();
  for (auto& output : outputs) output->attachToSession(self, input->device());
  if (preset)
    if (auto size = input->device()->dimensionsForPreset(*preset))
      input->device()->adoptPresetDimensions(*size);
  return true;
}

void CaptureSession::removeInput(const std::shared_ptr<CaptureDeviceInput>& input) {
  std::vector<std::shared_ptr<CaptureOutput>> outputs;
  {
    std::lock_guard guard(mutex_);
    auto it = std::find(inputs_.begin(), inputs_.end(), input);
    if (it == inputs_.end()) return;
    inputs_.erase(it);
    outputs = outputs_;
  }
  auto self = shared_from_this();
  for (auto& output : outputs) output->attachToSession(self, nullptr);
}

std::vector<std::shared_ptr<CaptureDeviceInput>> CaptureSession::inputs() const {
  std::lock_guard guard(mutex_);
  return inputs_;
}

bool CaptureSession::canAddOutput(const std::shared_ptr<CaptureOutput>& output) const {
  std::lock_guard guard(mutex_);
  if (!output || output->session()) return false;
  for (auto& existing : outputs_)
    if (existing == output || existing->kind() == output->kind()) return false;
  if (inputs_.empty()) return true;
  const auto& description = inputs_.front()->device()->description();
  switch (output->kind()) {
    case CaptureOutput::Kind::videoData: return description.sessionAcceptsVideoDataOutput;
    case CaptureOutput::Kind::photo: return description.sessionAcceptsPhotoOutput;
    case CaptureOutput::Kind::metadata: return description.sessionAcceptsMetadataOutput;
  }
  return true;
}

bool CaptureSession::addOutput(const std::shared_ptr<CaptureOutput>& output) {
  if (!canAddOutput(output)) return false;
  CaptureDevicePtr device;
  {
    std::lock_guard guard(mutex_);
    outputs_.push_back(output);
    if (!inputs_.empty()) device = inputs_.front()->device();
  }
  output->attachToSession(shared_from_this(), device);
  return true;
}

void CaptureSession::removeOutput(const std::shared_ptr<CaptureOutput>& output) {
  {
    std::lock_guard guard(mutex_);
    auto it = std::find(outputs_.begin(), outputs_.end(), output);
    if (it == outputs_.end()) return;
    outputs_.erase(it);
  }
  output->detachFromSession();
}

std::vector<std::shared_ptr<CaptureOutput>> CaptureSession::outputs() const {
  std::lock_guard guard(mutex_);
  return outputs_;
}

CaptureDevicePtr CaptureSession::videoDevice() const {
  std::lock_guard guard(mutex_);
  return inputs_.empty() ? nullptr : inputs_.front()->device();
}

bool CaptureSession::canSetSessionPreset(SessionPreset preset) const {
  auto device = videoDevice();
  return !device || device->supportsSessionPreset(preset);
}

bool CaptureSession::setSessionPreset(SessionPreset preset) {
  if (!canSetSessionPreset(preset)) return false;
  {
    std::lock_guard guard(mutex_);
    preset_ = preset;
  }
  if (auto device = videoDevice())
    if (auto size = device->dimensionsForPreset(preset)) device->adoptPresetDimensions(*size);
  return true;
}

std::optional<SessionPreset> CaptureSession::sessionPreset() const {
  std::lock_guard guard(mutex_);
  return preset_;
}

Size CaptureSession::presetDimensions() const {
  auto device = videoDevice();
  auto preset = sessionPreset();
  if (!device) return preset ? nominalDimensions(*preset) : Size{};
  if (preset)
    if (auto size = device->dimensionsForPreset(*preset)) return *size;
  auto format = device->activeFormat();
  return {double(format.width), double(format.height)};
}

std::optional<Size> CaptureSession::lastFrameDimensions() const {
  std::lock_guard guard(mutex_);
  return lastFrame_;
}

PixelBufferPtr CaptureSession::lastFrame() const {
  std::lock_guard guard(mutex_);
  return lastBuffer_;
}

std::optional<PlatformError> CaptureSession::runtimeError() const {
  std::lock_guard guard(mutex_);
  return runtimeError_;
}

void CaptureSession::startRunning() {
  std::lock_guard run(runMutex_);
  if (running_.load()) return;
  auto device = videoDevice();
  if (!device || !device->driver()) {
    // A session without a camera runs and delivers nothing.
    running_ = true;
    return;
  }
  FrameStreamRequest request;
  request.dimensions = presetDimensions();
  for (auto& output : outputs())
    if (output->kind() == CaptureOutput::Kind::videoData)
      request.pixelFormat = std::static_pointer_cast<CaptureVideoDataOutput>(output)->pixelFormat();
  std::weak_ptr<CaptureSession> weakSelf = weak_from_this();
  auto driver = device->driver();
  auto error = driver->startStreaming(device, request, [weakSelf](SampleBufferPtr sample) {
    if (auto self = weakSelf.lock()) self->deliver(sample);
  });
  {
    std::lock_guard guard(mutex_);
    runtimeError_ = error;
    if (!error) streamingDriver_ = driver;
  }
  if (!error) running_ = true;
}

void CaptureSession::stopRunning() {
  std::lock_guard run(runMutex_);
  if (!running_.load()) return;
  std::shared_ptr<CaptureDeviceDriver> driver;
  {
    std::lock_guard guard(mutex_);
    driver = std::move(streamingDriver_);
  }
  if (driver) driver->stopStreaming();
  running_ = false;
}

void CaptureSession::deliver(const SampleBufferPtr& sample) {
  if (!sample) return;
  // Until the user grants access the camera runs but nothing of it is shown.
  if (CameraAuthorization::authorizationStatus(MediaType::video) != AuthorizationStatus::authorized)
    return;
  std::vector<std::shared_ptr<CaptureOutput>> outputs;
  {
    std::lock_guard guard(mutex_);
    if (sample->imageBuffer) {
      lastFrame_ = Size{double(sample->imageBuffer->width()), double(sample->imageBuffer->height())};
      lastBuffer_ = sample->imageBuffer;
    }
    outputs = outputs_;
  }
  for (auto& output : outputs) output->deliverFrame(sample);
}

}  // namespace ostrel::platform
