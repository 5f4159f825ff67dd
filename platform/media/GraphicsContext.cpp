#include "platform/media/GraphicsContext.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

namespace ostrel::platform {

std::shared_ptr<GraphicsContext> GraphicsContext::makeBitmap(int width, int height,
                                                             int bitsPerComponent,
                                                             ColorSpace colorSpace) {
  if (width <= 0 || height <= 0 || bitsPerComponent != 8 || colorSpace == ColorSpace::none) {
    return nullptr;
  }
  // Guard against absurd sizes that would exhaust memory rather than fail.
  if (static_cast<long long>(width) * height > 100'000'000LL) return nullptr;
  return std::make_shared<GraphicsContext>(width, height, 1, AffineTransform{});
}

GraphicsContext::GraphicsContext(int width, int height, double scale, AffineTransform baseTransform)
    : pixels_(std::max(height, 0), std::max(width, 0), CV_8UC4, cv::Scalar(0, 0, 0, 0)),
      scale_(scale) {
  state_.ctm = baseTransform;
}

void GraphicsContext::concatenate(const AffineTransform& t) {
  state_.ctm = t.concatenating(state_.ctm);
}
void GraphicsContext::translateBy(double x, double y) {
  state_.ctm = state_.ctm.translatedBy(x, y);
}
void GraphicsContext::scaleBy(double sx, double sy) {
  state_.ctm = state_.ctm.scaledBy(sx, sy);
}
void GraphicsContext::rotate(double radians) {
  state_.ctm = state_.ctm.rotatedBy(radians);
}
void GraphicsContext::saveGState() {
  saved_.push_back(state_);
}
void GraphicsContext::restoreGState() {
  if (saved_.empty()) return;
  state_ = saved_.back();
  saved_.pop_back();
}
void GraphicsContext::blendPixel(cv::Vec4b& dst, const cv::Vec4d& src) {
  double sa = src[3];
  double da = dst[3] / 255.0;
  cv::Vec4d out;
  switch (state_.blend) {
    case BlendMode::clear:
      out = {0, 0, 0, 0};
      break;
    case BlendMode::copy:
      out = src;
      break;
    case BlendMode::sourceIn:
      out = {src[0], src[1], src[2], sa * da};
      break;
    case BlendMode::normal: {
      double oa = sa + da * (1 - sa);
      if (oa <= 0) {
        out = {0, 0, 0, 0};
      } else {
        for (int i = 0; i < 3; ++i) out[i] = (src[i] * sa + dst[i] / 255.0 * da * (1 - sa)) / oa;
        out[3] = oa;
      }
      break;
    }
  }
  for (int i = 0; i < 4; ++i) {
    dst[i] = static_cast<uchar>(std::clamp(std::lround(out[i] * 255.0), 0L, 255L));
  }
}

GraphicsContext::PixelRange GraphicsContext::deviceRange(const Rect& rect) const {
  PixelRange range;
  double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
  for (Point corner : {Point{rect.minX(), rect.minY()}, Point{rect.maxX(), rect.minY()},
                       Point{rect.minX(), rect.maxY()}, Point{rect.maxX(), rect.maxY()}}) {
    Point device = state_.ctm.apply(corner);
    minX = std::min(minX, device.x);
    maxX = std::max(maxX, device.x);
    minY = std::min(minY, device.y);
    maxY = std::max(maxY, device.y);
  }
  if (!std::isfinite(minX) || !std::isfinite(maxX) || !std::isfinite(minY) ||
      !std::isfinite(maxY)) {
    return range;
  }
  const double w = pixels_.cols, h = pixels_.rows;
  auto clampTo = [](double v, double limit) {
    return static_cast<int>(std::clamp(v, 0.0, limit));
  };
  range.firstCol = clampTo(std::floor(minX), w);
  range.endCol = clampTo(std::ceil(maxX), w);
  // Device y grows upwards; rows count from the top.
  range.firstRow = clampTo(std::floor(h - maxY), h);
  range.endRow = clampTo(std::ceil(h - minY), h);
  return range;
}

template <typename Paint>
void GraphicsContext::paintRange(const PixelRange& range, Paint&& paint) {
  if (pixels_.empty() || !state_.ctm.invertible()) return;
  auto inverse = state_.ctm.inverted();
  const int h = pixels_.rows;
  for (int row = range.firstRow; row < range.endRow; ++row) {
    for (int col = range.firstCol; col < range.endCol; ++col) {
      Point user = inverse.apply({col + 0.5, h - (row + 0.5)});
      std::optional<cv::Vec4d> color = paint(user);
      if (color) blendPixel(pixels_.at<cv::Vec4b>(row, col), *color);
    }
  }
}

void GraphicsContext::record(GraphicsOperation operation) {
  operation.blendMode = state_.blend;
  operations_.push_back(std::move(operation));
}

namespace {

cv::Vec4d components(const Color& c) {
  return {c.red, c.green, c.blue, c.alpha};
}

constexpr double kTwoPi = 6.283185307179586;

// The arc's sweep from its start angle, positive in the direction of increasing angle (which
// is clockwise on screen, y growing downwards).
double arcSweep(const PathElement& e) {
  double sweep = e.endAngle - e.startAngle;
  if (e.clockwise) {
    if (sweep >= kTwoPi) return kTwoPi;
    sweep = std::fmod(sweep, kTwoPi);
    if (sweep < 0) sweep += kTwoPi;
  } else {
    if (sweep <= -kTwoPi) return -kTwoPi;
    sweep = std::fmod(sweep, kTwoPi);
    if (sweep > 0) sweep -= kTwoPi;
  }
  return sweep;
}

bool isFullCircle(const PathElement& e) {
  return std::abs(arcSweep(e)) >= kTwoPi - 1e-9;
}

bool isOpenSubpathElement(const PathElement& e) {
  return e.kind == PathElement::Kind::moveTo || e.kind == PathElement::Kind::lineTo ||
         e.kind == PathElement::Kind::quadCurveTo;
}

Rect elementBounds(const PathElement& e) {
  if (e.kind == PathElement::Kind::moveTo || e.kind == PathElement::Kind::curveTo) {
    return {e.point.x, e.point.y, 0, 0};
  }
  if (e.kind == PathElement::Kind::arc) {
    return {e.center.x - e.radius, e.center.y - e.radius, 2 * e.radius, 2 * e.radius};
  }
  if (e.kind == PathElement::Kind::quadCurveTo) {
    double x1 = std::min(e.point.x, e.control.x), y1 = std::min(e.point.y, e.control.y);
    double x2 = std::max(e.point.x, e.control.x), y2 = std::max(e.point.y, e.control.y);
    return {x1, y1, x2 - x1, y2 - y1};
  }
  if (isOpenSubpathElement(e)) return {e.point.x, e.point.y, 0, 0};
  return e.rect;
}

// One straight piece of an open subpath; `startsSubpath`/`endsSubpath` mark where caps go.
struct StrokeSegment {
  Point a, b;
  bool startsSubpath = false;
  bool endsSubpath = false;
};

// The open subpaths of `path` as straight pieces, curves flattened into short chords.
std::vector<StrokeSegment> openSubpathSegments(const Path& path) {
  std::vector<StrokeSegment> segments;
  std::optional<Point> current;
  bool subpathStart = true;
  auto closeSubpath = [&] {
    if (!segments.empty() && !subpathStart) segments.back().endsSubpath = true;
    subpathStart = true;
  };
  for (const auto& e : path.elements) {
    switch (e.kind) {
      case PathElement::Kind::moveTo:
        closeSubpath();
        current = e.point;
        break;
      case PathElement::Kind::lineTo:
        if (current) {
          segments.push_back({*current, e.point, subpathStart, false});
          subpathStart = false;
        }
        current = e.point;
        break;
      case PathElement::Kind::quadCurveTo:
        if (current) {
          constexpr int kSteps = 24;
          Point previous = *current;
          for (int i = 1; i <= kSteps; ++i) {
            double t = double(i) / kSteps, u = 1 - t;
            Point q{u * u * current->x + 2 * u * t * e.control.x + t * t * e.point.x,
                    u * u * current->y + 2 * u * t * e.control.y + t * t * e.point.y};
            segments.push_back({previous, q, subpathStart, false});
            subpathStart = false;
            previous = q;
          }
        }
        current = e.point;
        break;
      default:
        closeSubpath();
        current.reset();
        break;
    }
  }
  closeSubpath();
  return segments;
}

// Distance from p to a stroke piece; butt ends only count points beside the piece, square
// ends extend it by `half` where it starts or ends a subpath.
double segmentDistance(const StrokeSegment& s, Point p, LineCap cap, double half) {
  double dx = s.b.x - s.a.x, dy = s.b.y - s.a.y;
  double length = std::hypot(dx, dy);
  if (!(length > 0)) {
    if (cap == LineCap::butt) return INFINITY;
    return std::hypot(p.x - s.a.x, p.y - s.a.y);
  }
  double ux = dx / length, uy = dy / length;
  double along = (p.x - s.a.x) * ux + (p.y - s.a.y) * uy;
  double across = std::abs(-(p.x - s.a.x) * uy + (p.y - s.a.y) * ux);
  double lo = 0, hi = length;
  if (cap == LineCap::square) {
    if (s.startsSubpath) lo -= half;
    if (s.endsSubpath) hi += half;
  }
  if (along >= lo && along <= hi) return across;
  // Joins between pieces of one subpath are round; so are the ends of a round cap.
  const bool atStart = along < lo;
  const bool isEnd = atStart ? s.startsSubpath : s.endsSubpath;
  if (isEnd && cap != LineCap::round) return INFINITY;
  Point end = atStart ? s.a : s.b;
  return std::hypot(p.x - end.x, p.y - end.y);
}

// Signed distance from p to a rectangle with rounded corners (negative inside).
double roundedRectDistance(const Rect& r, double radius, Point p) {
  double hx = r.width() / 2, hy = r.height() / 2;
  radius = std::clamp(radius, 0.0, std::max(0.0, std::min(hx, hy)));
  double qx = std::abs(p.x - r.midX()) - (hx - radius);
  double qy = std::abs(p.y - r.midY()) - (hy - radius);
  double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
  return outside + std::min(std::max(qx, qy), 0.0) - radius;
}

// First-order signed distance to an ellipse (exact on a circle, close enough for outlines).
double ellipseDistance(const Rect& r, Point p) {
  double a = r.width() / 2, b = r.height() / 2;
  if (!(a > 0) || !(b > 0)) return INFINITY;
  double x = p.x - r.midX(), y = p.y - r.midY();
  if (std::abs(a - b) < 1e-12) return std::hypot(x, y) - a;
  double g = x * x / (a * a) + y * y / (b * b) - 1;
  double gradient = std::hypot(2 * x / (a * a), 2 * y / (b * b));
  if (gradient < 1e-12) return -std::min(a, b);
  return g / gradient;
}

Point arcPoint(const PathElement& e, double angle) {
  return {e.center.x + e.radius * std::cos(angle), e.center.y + e.radius * std::sin(angle)};
}

bool angleInSweep(const PathElement& e, Point p) {
  double sweep = arcSweep(e);
  double angle = std::fmod(std::atan2(p.y - e.center.y, p.x - e.center.x) - e.startAngle, kTwoPi);
  if (sweep >= 0) {
    if (angle < 0) angle += kTwoPi;
    return angle <= sweep;
  }
  if (angle > 0) angle -= kTwoPi;
  return angle >= sweep;
}

bool insideElement(const PathElement& e, Point p) {
  switch (e.kind) {
    case PathElement::Kind::moveTo:
    case PathElement::Kind::lineTo:
    case PathElement::Kind::quadCurveTo:
      return false;
    case PathElement::Kind::rect:
      return !e.rect.isEmpty() && e.rect.contains(p);
    case PathElement::Kind::roundedRect:
      return !e.rect.isEmpty() && roundedRectDistance(e.rect, e.cornerRadius, p) < 0;
    case PathElement::Kind::ellipse:
      return !e.rect.isEmpty() && ellipseDistance(e.rect, p) < 0;
    case PathElement::Kind::arc: {
      if (!(e.radius > 0) || std::hypot(p.x - e.center.x, p.y - e.center.y) >= e.radius) {
        return false;
      }
      if (isFullCircle(e)) return true;
      // A filled open arc is closed by its chord: keep the side the arc bulges to.
      Point a = arcPoint(e, e.startAngle), b = arcPoint(e, e.startAngle + arcSweep(e));
      Point m = arcPoint(e, e.startAngle + arcSweep(e) / 2);
      auto side = [&](Point q) { return (b.x - a.x) * (q.y - a.y) - (b.y - a.y) * (q.x - a.x); };
      return side(p) * side(m) > 0;
    }
    case PathElement::Kind::curveTo:
      return false;  // open outlines enclose nothing here
  }
  return false;
}

double distanceToOutline(const PathElement& e, Point p) {
  switch (e.kind) {
    case PathElement::Kind::moveTo:
    case PathElement::Kind::lineTo:
    case PathElement::Kind::quadCurveTo:
      return INFINITY;  // stroked as segments
    case PathElement::Kind::rect:
      return std::abs(roundedRectDistance(e.rect, 0, p));
    case PathElement::Kind::roundedRect:
      return std::abs(roundedRectDistance(e.rect, e.cornerRadius, p));
    case PathElement::Kind::ellipse:
      return std::abs(ellipseDistance(e.rect, p));
    case PathElement::Kind::arc: {
      if (isFullCircle(e) || angleInSweep(e, p)) {
        return std::abs(std::hypot(p.x - e.center.x, p.y - e.center.y) - e.radius);
      }
      Point a = arcPoint(e, e.startAngle), b = arcPoint(e, e.startAngle + arcSweep(e));
      return std::min(std::hypot(p.x - a.x, p.y - a.y), std::hypot(p.x - b.x, p.y - b.y));
    }
    case PathElement::Kind::curveTo:
      return INFINITY;
  }
  return INFINITY;
}

Rect pathBounds(const Path& path) {
  Rect bounds = elementBounds(path.elements.front());
  for (const auto& e : path.elements) {
    Rect b = elementBounds(e);
    double x1 = std::min(bounds.minX(), b.minX()), y1 = std::min(bounds.minY(), b.minY());
    double x2 = std::max(bounds.maxX(), b.maxX()), y2 = std::max(bounds.maxY(), b.maxY());
    bounds = {x1, y1, x2 - x1, y2 - y1};
  }
  return bounds;
}

GraphicsOperation pathOperation(GraphicsOperation::Kind kind, const Path& path) {
  GraphicsOperation op;
  op.kind = kind;
  if (!path.elements.empty()) {
    const auto& first = path.elements.front();
    op.rect = elementBounds(first);
    op.shape = first.kind;
    op.radius = first.kind == PathElement::Kind::arc ? first.radius : first.cornerRadius;
  }
  op.path = path;
  return op;
}

}  // namespace

bool GraphicsContext::fillAxisAligned(const Rect& rect) {
  const auto& m = state_.ctm;
  if (std::abs(m.b) > 1e-12 || std::abs(m.c) > 1e-12 || !m.invertible()) return false;
  // Without rotation a pixel's user x depends on its column only and its user y on its row
  // only, so the pixels whose centres lie inside form one block.
  const auto inverse = m.inverted();
  const PixelRange range = deviceRange(rect);
  const int h = pixels_.rows;
  int firstCol = -1, endCol = -1, firstRow = -1, endRow = -1;
  for (int col = range.firstCol; col < range.endCol; ++col) {
    double x = inverse.a * (col + 0.5) + inverse.tx;
    if (x >= rect.minX() && x < rect.maxX()) {
      if (firstCol < 0) firstCol = col;
      endCol = col + 1;
    }
  }
  for (int row = range.firstRow; row < range.endRow; ++row) {
    double y = inverse.d * (h - (row + 0.5)) + inverse.ty;
    if (y >= rect.minY() && y < rect.maxY()) {
      if (firstRow < 0) firstRow = row;
      endRow = row + 1;
    }
  }
  if (firstCol < 0 || firstRow < 0) return true;
  cv::Mat block = pixels_(cv::Rect(firstCol, firstRow, endCol - firstCol, endRow - firstRow));
  const Color& c = state_.fill;
  auto byte = [](double v) { return static_cast<uchar>(std::clamp(std::lround(v * 255.0), 0L, 255L)); };
  const cv::Scalar solid(byte(c.red), byte(c.green), byte(c.blue), byte(c.alpha));
  switch (state_.blend) {
    case BlendMode::clear:
      block.setTo(cv::Scalar::all(0));
      return true;
    case BlendMode::copy:
      block.setTo(solid);
      return true;
    case BlendMode::normal: {
      // An opaque colour, or any colour over nothing, simply replaces what is there.
      cv::Mat alpha;
      cv::extractChannel(block, alpha, 3);
      if (c.alpha >= 1 || cv::countNonZero(alpha) == 0) {
        block.setTo(solid);
        return true;
      }
      return false;
    }
    case BlendMode::sourceIn:
      return false;
  }
  return false;
}

void GraphicsContext::fill(const Rect& rect) {
  GraphicsOperation op;
  op.kind = GraphicsOperation::Kind::fillRect;
  op.rect = rect;
  op.color = state_.fill;
  record(std::move(op));
  if (rect.isEmpty() || pixels_.empty()) return;
  if (fillAxisAligned(rect)) return;
  const auto color = components(state_.fill);
  paintRange(deviceRange(rect), [&](Point user) -> std::optional<cv::Vec4d> {
    if (!rect.contains(user)) return std::nullopt;
    return color;
  });
}

void GraphicsContext::fillPath(const Path& path, PathFillRule rule) {
  auto op = pathOperation(GraphicsOperation::Kind::fillPath, path);
  op.color = state_.fill;
  record(std::move(op));
  if (path.elements.empty()) return;
  const auto color = components(state_.fill);
  paintRange(deviceRange(pathBounds(path)), [&](Point user) -> std::optional<cv::Vec4d> {
    int count = 0;
    for (const auto& e : path.elements) count += insideElement(e, user) ? 1 : 0;
    bool inside = rule == PathFillRule::winding ? count > 0 : count % 2 == 1;
    if (!inside) return std::nullopt;
    return color;
  });
}

void GraphicsContext::strokePath(const Path& path) {
  auto op = pathOperation(GraphicsOperation::Kind::strokePath, path);
  op.color = state_.stroke;
  op.lineWidth = state_.lineWidth;
  op.lineCap = state_.lineCap;
  record(std::move(op));
  const double half = state_.lineWidth / 2;
  if (path.elements.empty() || !(half > 0)) return;
  const Rect bounds = pathBounds(path).insetBy({-half, -half, -half, -half});
  const auto color = components(state_.stroke);
  const auto segments = openSubpathSegments(path);
  const LineCap cap = state_.lineCap;
  paintRange(deviceRange(bounds), [&](Point user) -> std::optional<cv::Vec4d> {
    for (const auto& e : path.elements) {
      if (distanceToOutline(e, user) <= half) return color;
    }
    for (const auto& s : segments) {
      if (segmentDistance(s, user, cap, half) <= half) return color;
    }
    return std::nullopt;
  });
}

void GraphicsContext::drawMapped(const cv::Mat& rgba, const Rect& rect, bool firstRowAtMinY) {
  if (pixels_.empty() || rgba.empty() || rgba.type() != CV_8UC4 || rect.isEmpty()) return;
  paintRange(deviceRange(rect), [&](Point user) -> std::optional<cv::Vec4d> {
    double fx = (user.x - rect.minX()) / rect.width();
    double fy = firstRowAtMinY ? (user.y - rect.minY()) / rect.height()
                               : (rect.maxY() - user.y) / rect.height();
    if (fx < 0 || fx >= 1 || fy < 0 || fy >= 1) return std::nullopt;
    int sx = std::min(static_cast<int>(fx * rgba.cols), rgba.cols - 1);
    int sy = std::min(static_cast<int>(fy * rgba.rows), rgba.rows - 1);
    const auto& p = rgba.at<cv::Vec4b>(sy, sx);
    return cv::Vec4d{p[0] / 255.0, p[1] / 255.0, p[2] / 255.0, p[3] / 255.0};
  });
}

void GraphicsContext::draw(const cv::Mat& rgba, const Rect& rect) {
  GraphicsOperation op;
  op.kind = GraphicsOperation::Kind::drawBitmap;
  op.rect = rect;
  if (!rgba.empty()) op.image = std::make_shared<Image>(rgba);
  record(std::move(op));
  drawMapped(rgba, rect, false);
}

void GraphicsContext::drawImage(const Image& image, const Rect& rect) {
  GraphicsOperation op;
  op.kind = GraphicsOperation::Kind::drawImage;
  op.rect = rect;
  op.image = std::make_shared<Image>(image);
  record(std::move(op));
  if (!image.hasBitmap()) return;
  drawMapped(displayBitmap(image.bitmap(), image.orientation()), rect, true);
}

cv::Mat GraphicsContext::makeImage() const {
  return pixels_.clone();
}

namespace {

std::vector<std::shared_ptr<GraphicsContext>>& imageContextStack() {
  // Drawing belongs to the main queue, like the rest of the interface.
  static std::vector<std::shared_ptr<GraphicsContext>> stack;
  return stack;
}

}  // namespace

void beginImageContext(Size size, bool opaque, double scale) {
  if (scale <= 0) scale = 1;
  int w = static_cast<int>(std::ceil(size.width * scale - 1e-9));
  int h = static_cast<int>(std::ceil(size.height * scale - 1e-9));
  if (w <= 0 || h <= 0 || static_cast<long long>(w) * h > 100'000'000LL) {
    imageContextStack().push_back(nullptr);
    return;
  }
  auto base =
      AffineTransform::scale(scale, -scale).concatenating(AffineTransform::translation(0, h));
  auto context = std::make_shared<GraphicsContext>(w, h, scale, base);
  if (opaque) {
    context->setFillColor(Color::black());
    context->setBlendMode(BlendMode::copy);
    context->fill({0, 0, size.width, size.height});
    context->setBlendMode(BlendMode::normal);
  }
  imageContextStack().push_back(std::move(context));
}

std::shared_ptr<GraphicsContext> currentImageContext() {
  auto& stack = imageContextStack();
  return stack.empty() ? nullptr : stack.back();
}

ImagePtr imageFromCurrentImageContext() {
  auto context = currentImageContext();
  if (!context) return nullptr;
  return std::make_shared<Image>(context->makeImage(), context->scale());
}

void endImageContext() {
  auto& stack = imageContextStack();
  if (!stack.empty()) stack.pop_back();
}

}  // namespace ostrel::platform
