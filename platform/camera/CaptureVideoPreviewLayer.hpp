#pragma once

#include <memory>
#include <mutex>

#include "platform/camera/CaptureMetadataOutput.hpp"
#include "platform/camera/CaptureSession.hpp"
#include "platform/ui/Layer.hpp"

namespace ostrel::platform {

// Shows a session's frames. Its connection's orientation says how the buffer is turned on
// screen and the gravity how the turned picture fills the layer. Metadata coordinates are
// normalised to the buffer as the camera writes it, origin top-left.
class CaptureVideoPreviewLayer : public Layer {
 public:
  explicit CaptureVideoPreviewLayer(std::shared_ptr<CaptureSession> session = nullptr);

  const std::shared_ptr<CaptureSession>& session() const { return session_; }
  void setSession(std::shared_ptr<CaptureSession> session);
  LayerVideoGravity videoGravity = LayerVideoGravity::resizeAspect;
  // Nothing while the layer has no session with a camera.
  std::shared_ptr<CaptureConnection> connection() const;

  // The buffer size the mapping uses: the last frame's, else the session's preset size.
  Size bufferDimensions() const;

  Point layerPointConvertedFromMetadataOutputPoint(Point point) const;
  Point metadataOutputPointConvertedFromLayerPoint(Point point) const;
  // A metadata rectangle (normalised, origin top-left) in layer points.
  Rect rectForMetadataOutputRectOfInterest(Rect rect) const;
  // A layer rectangle as a normalised metadata rectangle.
  Rect metadataOutputRectOfInterestForRect(Rect rect) const;
  // A copy of `object` with its bounds and corners in layer points; nothing when the layer
  // has no camera to map through or the object's numbers are not finite.
  std::shared_ptr<MetadataObject> transformedMetadataObject(
      const std::shared_ptr<MetadataObject>& object) const;

  // The session's latest frame turned for the screen and placed by the gravity.
  std::optional<Contents> currentContents() const override;

 private:
  struct Mapping;
  Mapping mapping() const;

  std::shared_ptr<CaptureSession> session_;
  std::shared_ptr<CaptureConnection> connection_;
  // The last frame shown, turned, and its picture, so a frame is turned once however often it
  // is drawn.
  mutable std::mutex shownMutex_;
  mutable PixelBufferPtr shownBuffer_;
  mutable CaptureVideoOrientation shownOrientation_ = CaptureVideoOrientation::landscapeRight;
  mutable ImagePtr shownPicture_;
};

}  // namespace ostrel::platform
