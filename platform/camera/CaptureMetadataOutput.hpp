#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/camera/CaptureSession.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/vision/BarcodeReader.hpp"

namespace ostrel::platform {

class DispatchQueue;

// Something the metadata output found in a frame. Coordinates are normalised to the buffer as
// the camera writes it (origin top-left, 0-1), or, once transformed by a preview layer, in the
// layer's points.
class MetadataObject {
 public:
  virtual ~MetadataObject() = default;
  MachineReadableCodeType type = MachineReadableCodeType::qr;
  Rect bounds;
};

// A code: its corners in the symbol's order and its text, when the reader has one.
class MachineReadableCodeObject : public MetadataObject {
 public:
  std::array<Point, 4> corners{};
  std::optional<std::string> stringValue;
};

using MetadataObjects = std::vector<std::shared_ptr<MetadataObject>>;

class CaptureMetadataOutput;

class CaptureMetadataOutputObjectsDelegate {
 public:
  virtual ~CaptureMetadataOutputObjectsDelegate() = default;
  // On the delegate's queue, one batch per frame that held at least one code.
  virtual void captureOutput(CaptureMetadataOutput& output, const MetadataObjects& objects,
                             CaptureConnection& connection) = 0;
};

// Codes read from a session's frames. While the session runs, each frame is read for the
// enabled types on the output's own serial queue, one frame at a time (frames arriving
// meanwhile are dropped); a frame with codes hands its batch to the delegate's queue.
class CaptureMetadataOutput : public CaptureOutput {
 public:
  CaptureMetadataOutput();
  Kind kind() const override { return Kind::metadata; }

  // Every type the reader knows while the output sits in a session with a camera input; none
  // otherwise.
  std::vector<MachineReadableCodeType> availableMetadataObjectTypes() const;
  std::vector<MachineReadableCodeType> metadataObjectTypes() const;
  // Keeps the available ones of `types`.
  void setMetadataObjectTypes(const std::vector<MachineReadableCodeType>& types);

  // The delegate is held weakly.
  void setMetadataObjectsDelegate(std::weak_ptr<CaptureMetadataOutputObjectsDelegate> delegate,
                                  std::shared_ptr<DispatchQueue> queue);
  std::shared_ptr<DispatchQueue> metadataObjectsCallbackQueue() const;

  void deliverFrame(const SampleBufferPtr& sample) override;
  // Frames dropped because the previous one was still being read.
  int droppedFrameCount() const { return dropped_.load(); }

 private:
  void read(const SampleBufferPtr& sample);

  mutable std::mutex mutex_;
  std::vector<MachineReadableCodeType> types_;
  std::weak_ptr<CaptureMetadataOutputObjectsDelegate> delegate_;
  std::shared_ptr<DispatchQueue> delegateQueue_;
  std::shared_ptr<DispatchQueue> readQueue_;
  std::atomic<bool> inFlight_{false};
  std::atomic<int> dropped_{0};
};

}  // namespace ostrel::platform
