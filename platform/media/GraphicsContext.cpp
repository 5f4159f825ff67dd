#include "platform/media/GraphicsContext.hpp"

#include <algorithm>
#include <cmath>

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

void GraphicsContext::fill(const Rect& rect) {
  if (pixels_.empty() || !state_.ctm.invertible()) return;
  auto inverse = state_.ctm.inverted();
  cv::Vec4d color{state_.fill.red, state_.fill.green, state_.fill.blue, state_.fill.alpha};
  const int h = pixels_.rows;
  for (int row = 0; row < h; ++row) {
    for (int col = 0; col < pixels_.cols; ++col) {
      Point user = inverse.apply({col + 0.5, h - (row + 0.5)});
      if (!rect.contains(user)) continue;
      blendPixel(pixels_.at<cv::Vec4b>(row, col), color);
    }
  }
}

void GraphicsContext::drawMapped(const cv::Mat& rgba, const Rect& rect, bool firstRowAtMinY) {
  if (pixels_.empty() || rgba.empty() || rgba.type() != CV_8UC4 || rect.isEmpty() ||
      !state_.ctm.invertible()) {
    return;
  }
  auto inverse = state_.ctm.inverted();
  const int h = pixels_.rows;
  for (int row = 0; row < h; ++row) {
    for (int col = 0; col < pixels_.cols; ++col) {
      Point user = inverse.apply({col + 0.5, h - (row + 0.5)});
      double fx = (user.x - rect.minX()) / rect.width();
      double fy = firstRowAtMinY ? (user.y - rect.minY()) / rect.height()
                                 : (rect.maxY() - user.y) / rect.height();
      if (fx < 0 || fx >= 1 || fy < 0 || fy >= 1) continue;
      int sx = std::min(static_cast<int>(fx * rgba.cols), rgba.cols - 1);
      int sy = std::min(static_cast<int>(fy * rgba.rows), rgba.rows - 1);
      const auto& p = rgba.at<cv::Vec4b>(sy, sx);
      blendPixel(pixels_.at<cv::Vec4b>(row, col),
                 {p[0] / 255.0, p[1] / 255.0, p[2] / 255.0, p[3] / 255.0});
    }
  }
}

void GraphicsContext::draw(const cv::Mat& rgba, const Rect& rect) {
  drawMapped(rgba, rect, false);
}

void GraphicsContext::drawImage(const Image& image, const Rect& rect) {
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
