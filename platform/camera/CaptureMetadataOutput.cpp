#include "platform/camera/CaptureMetadataOutput.hpp"

#include <algorithm>

#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel::platform {

CaptureMetadataOutput::CaptureMetadataOutput()
    : readQueue_(DispatchQueue::make("platform.metadataOutput")) {}

std::vector<MachineReadableCodeType> CaptureMetadataOutput::availableMetadataObjectTypes() const {
  auto owner = session();
  if (!owner || !owner->videoDevice()) return {};
  return offeredMachineReadableCodeTypes();
}

std::vector<MachineReadableCodeType> CaptureMetadataOutput::metadataObjectTypes() const {
  std::lock_guard guard(mutex_);
  return types_;
}

void CaptureMetadataOutput::setMetadataObjectTypes(
    const std::vector<MachineReadableCodeType>& types) {
  const auto available = availableMetadataObjectTypes();
  std::vector<MachineReadableCodeType> kept;
  for (auto type : types)
    if (std::find(available.begin(), available.end(), type) != available.end() &&
        std::find(kept.begin(), kept.end(), type) == kept.end())
      kept.push_back(type);
  std::lock_guard guard(mutex_);
  types_ = std::move(kept);
}

void CaptureMetadataOutput::setMetadataObjectsDelegate(
    std::weak_ptr<CaptureMetadataOutputObjectsDelegate> delegate,
    std::shared_ptr<DispatchQueue> queue) {
  std::lock_guard guard(mutex_);
  delegate_ = std::move(delegate);
  delegateQueue_ = std::move(queue);
}

std::shared_ptr<DispatchQueue> CaptureMetadataOutput::metadataObjectsCallbackQueue() const {
  std::lock_guard guard(mutex_);
  return delegateQueue_;
}

void CaptureMetadataOutput::deliverFrame(const SampleBufferPtr& sample) {
  if (!sample || !sample->imageBuffer) return;
  {
    std::lock_guard guard(mutex_);
    if (types_.empty() || !delegateQueue_ || delegate_.expired()) return;
  }
  if (inFlight_.exchange(true)) {
    ++dropped_;
    return;
  }
  std::weak_ptr<CaptureMetadataOutput> weakSelf =
      std::static_pointer_cast<CaptureMetadataOutput>(shared_from_this());
  readQueue_->async([weakSelf, sample] {
    if (auto self = weakSelf.lock()) self->read(sample);
  });
}

void CaptureMetadataOutput::read(const SampleBufferPtr& sample) {
  std::vector<MachineReadableCodeType> types;
  std::weak_ptr<CaptureMetadataOutputObjectsDelegate> delegate;
  std::shared_ptr<DispatchQueue> queue;
  {
    std::lock_guard guard(mutex_);
    types = types_;
    delegate = delegate_;
    queue = delegateQueue_;
  }
  const auto& frame = *sample->imageBuffer;
  auto codes = BarcodeReader::current()->readFrame(frame, types);
  inFlight_ = false;
  if (codes.empty() || !queue || frame.width() <= 0 || frame.height() <= 0) return;
  const double w = frame.width(), h = frame.height();
  MetadataObjects objects;
  for (const auto& code : codes) {
    auto object = std::make_shared<MachineReadableCodeObject>();
    object->type = code.type;
    object->stringValue = code.text;
    double x1 = code.corners[0].x, y1 = code.corners[0].y, x2 = x1, y2 = y1;
    for (int i = 0; i < 4; ++i) {
      const Point& p = code.corners[i];
      object->corners[i] = {p.x / w, p.y / h};
      x1 = std::min(x1, p.x), y1 = std::min(y1, p.y);
      x2 = std::max(x2, p.x), y2 = std::max(y2, p.y);
    }
    object->bounds = {x1 / w, y1 / h, (x2 - x1) / w, (y2 - y1) / h};
    objects.push_back(std::move(object));
  }
  auto self = std::static_pointer_cast<CaptureMetadataOutput>(shared_from_this());
  queue->async([self, delegate, objects = std::move(objects)] {
    auto connection = self->connection();
    if (auto receiver = delegate.lock(); receiver && connection)
      receiver->captureOutput(*self, objects, *connection);
  });
}

}  // namespace ostrel::platform
