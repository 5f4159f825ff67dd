#include "platform/camera/CaptureVideoPreviewLayer.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/core.hpp>

#include "platform/media/PixelBufferConversion.hpp"

namespace ostrel::platform {

CaptureVideoPreviewLayer::CaptureVideoPreviewLayer(std::shared_ptr<CaptureSession> session)
    : connection_(std::make_shared<CaptureConnection>()) {
  setSession(std::move(session));
}

void CaptureVideoPreviewLayer::setSession(std::shared_ptr<CaptureSession> session) {
  session_ = std::move(session);
  connection_->attach(session_ ? session_->videoDevice() : nullptr);
}

std::shared_ptr<CaptureConnection> CaptureVideoPreviewLayer::connection() const {
  if (!session_ || !session_->videoDevice()) return nullptr;
  return connection_;
}

Size CaptureVideoPreviewLayer::bufferDimensions() const {
  if (!session_) return {};
  if (auto last = session_->lastFrameDimensions()) return *last;
  return session_->presetDimensions();
}

// The buffer turned for the screen, then scaled by the gravity and centred in the layer.
struct CaptureVideoPreviewLayer::Mapping {
  CaptureVideoOrientation orientation = CaptureVideoOrientation::landscapeRight;
  double scaleX = 0, scaleY = 0;  // layer points per unit of the turned, normalised picture
  double offsetX = 0, offsetY = 0;
  bool usable = false;
};

CaptureVideoPreviewLayer::Mapping CaptureVideoPreviewLayer::mapping() const {
  Mapping m;
  m.orientation = connection_->videoOrientation();
  Size buffer = bufferDimensions();
  bool quarter = m.orientation == CaptureVideoOrientation::portrait ||
                 m.orientation == CaptureVideoOrientation::portraitUpsideDown;
  double tw = quarter ? buffer.height : buffer.width;
  double th = quarter ? buffer.width : buffer.height;
  double lw = frame.size.width, lh = frame.size.height;
  if (tw <= 0 || th <= 0 || lw <= 0 || lh <= 0) return m;
  double dw = lw, dh = lh;
  switch (videoGravity) {
    case LayerVideoGravity::resizeAspect: {
      double s = std::min(lw / tw, lh / th);
      dw = tw * s;
      dh = th * s;
      break;
    }
    case LayerVideoGravity::resizeAspectFill: {
      double s = std::max(lw / tw, lh / th);
      dw = tw * s;
      dh = th * s;
      break;
    }
    case LayerVideoGravity::resize: break;
  }
  m.scaleX = dw;
  m.scaleY = dh;
  m.offsetX = (lw - dw) / 2;
  m.offsetY = (lh - dh) / 2;
  m.usable = true;
  return m;
}

namespace {

// Buffer coordinates to the picture as turned for the screen.
Point turn(Point p, CaptureVideoOrientation orientation) {
  switch (orientation) {
    case CaptureVideoOrientation::portrait: return {1 - p.y, p.x};
    case CaptureVideoOrientation::portraitUpsideDown: return {p.y, 1 - p.x};
    case CaptureVideoOrientation::landscapeRight: return p;
    case CaptureVideoOrientation::landscapeLeft: return {1 - p.x, 1 - p.y};
  }
  return p;
}

Point unturn(Point p, CaptureVideoOrientation orientation) {
  switch (orientation) {
    case CaptureVideoOrientation::portrait: return {p.y, 1 - p.x};
    case CaptureVideoOrientation::portraitUpsideDown: return {1 - p.y, p.x};
    case CaptureVideoOrientation::landscapeRight: return p;
    case CaptureVideoOrientation::landscapeLeft: return {1 - p.x, 1 - p.y};
  }
  return p;
}

Rect spanning(Point a, Point b) {
  double x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
  return {x0, y0, std::max(a.x, b.x) - x0, std::max(a.y, b.y) - y0};
}

}  // namespace

Point CaptureVideoPreviewLayer::layerPointConvertedFromMetadataOutputPoint(Point point) const {
  auto m = mapping();
  if (!m.usable) return {};
  Point t = turn(point, m.orientation);
  return {m.offsetX + t.x * m.scaleX, m.offsetY + t.y * m.scaleY};
}

Point CaptureVideoPreviewLayer::metadataOutputPointConvertedFromLayerPoint(Point point) const {
  auto m = mapping();
  if (!m.usable) return {};
  Point t{(point.x - m.offsetX) / m.scaleX, (point.y - m.offsetY) / m.scaleY};
  return unturn(t, m.orientation);
}

Rect CaptureVideoPreviewLayer::rectForMetadataOutputRectOfInterest(Rect rect) const {
  return spanning(layerPointConvertedFromMetadataOutputPoint(rect.origin),
                  layerPointConvertedFromMetadataOutputPoint({rect.maxX(), rect.maxY()}));
}

Rect CaptureVideoPreviewLayer::metadataOutputRectOfInterestForRect(Rect rect) const {
  return spanning(metadataOutputPointConvertedFromLayerPoint(rect.origin),
                  metadataOutputPointConvertedFromLayerPoint({rect.maxX(), rect.maxY()}));
}

namespace {

bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }
bool finite(const Rect& r) {
  return finite(r.origin) && std::isfinite(r.width()) && std::isfinite(r.height());
}

}  // namespace

std::shared_ptr<MetadataObject> CaptureVideoPreviewLayer::transformedMetadataObject(
    const std::shared_ptr<MetadataObject>& object) const {
  if (!object || !finite(object->bounds) || !mapping().usable) return nullptr;
  std::shared_ptr<MetadataObject> copy;
  if (auto code = std::dynamic_pointer_cast<MachineReadableCodeObject>(object)) {
    auto converted = std::make_shared<MachineReadableCodeObject>(*code);
    for (auto& corner : converted->corners) {
      if (!finite(corner)) return nullptr;
      corner = layerPointConvertedFromMetadataOutputPoint(corner);
    }
    copy = converted;
  } else {
    copy = std::make_shared<MetadataObject>(*object);
  }
  copy->bounds = rectForMetadataOutputRectOfInterest(object->bounds);
  return finite(copy->bounds) ? copy : nullptr;
}

std::optional<Layer::Contents> CaptureVideoPreviewLayer::currentContents() const {
  if (!session_) return std::nullopt;
  PixelBufferPtr buffer = session_->lastFrame();
  if (!buffer) return std::nullopt;
  auto m = mapping();
  if (!m.usable) return std::nullopt;
  std::lock_guard guard(shownMutex_);
  if (buffer != shownBuffer_ || m.orientation != shownOrientation_) {
    cv::Mat rgba = rgbaFromPixelBuffer(*buffer);
    if (rgba.empty()) return std::nullopt;
    // The same turns as `turn` above, applied to the pixels.
    cv::Mat turned = rgba;
    switch (m.orientation) {
      case CaptureVideoOrientation::portrait: cv::rotate(rgba, turned, cv::ROTATE_90_CLOCKWISE); break;
      case CaptureVideoOrientation::portraitUpsideDown:
        cv::rotate(rgba, turned, cv::ROTATE_90_COUNTERCLOCKWISE);
        break;
      case CaptureVideoOrientation::landscapeLeft: cv::rotate(rgba, turned, cv::ROTATE_180); break;
      case CaptureVideoOrientation::landscapeRight: break;
    }
    shownBuffer_ = buffer;
    shownOrientation_ = m.orientation;
    shownPicture_ = std::make_shared<Image>(turned);
  }
  return Contents{shownPicture_, Rect{m.offsetX, m.offsetY, m.scaleX, m.scaleY}};
}

}  // namespace ostrel::platform
