#include "platform/media/QuadRectification.hpp"

#include <array>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace ostrel::platform {
namespace {

double distance(Point a, Point b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

// Twice the signed area of the triangle a, b, c.
double cross(Point a, Point b, Point c) {
  return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

constexpr double kMaxSide = 16384;

}  // namespace

std::optional<cv::Mat> perspectiveCorrected(const cv::Mat& rgba, Point topLeft, Point topRight,
                                            Point bottomRight, Point bottomLeft) {
  if (rgba.empty()) return std::nullopt;
  const std::array<Point, 4> quad{topLeft, topRight, bottomRight, bottomLeft};
  for (const auto& p : quad) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return std::nullopt;
  }
  // Three corners on a line leave no plane to map.
  for (int i = 0; i < 4; ++i) {
    if (std::abs(cross(quad[i], quad[(i + 1) % 4], quad[(i + 2) % 4])) < 1e-6) {
      return std::nullopt;
    }
  }
  const double width =
      std::round(std::max(distance(topRight, topLeft), distance(bottomRight, bottomLeft)));
  const double height =
      std::round(std::max(distance(bottomLeft, topLeft), distance(bottomRight, topRight)));
  if (!(width >= 1) || !(height >= 1) || width > kMaxSide || height > kMaxSide) {
    return std::nullopt;
  }
  // Corners are pixel-edge coordinates; OpenCV samples at pixel centres, half a pixel in.
  auto centre = [](Point p) { return cv::Point2f(float(p.x - 0.5), float(p.y - 0.5)); };
  const cv::Point2f source[4] = {centre(topLeft), centre(topRight), centre(bottomRight),
                                 centre(bottomLeft)};
  const float w = float(width), h = float(height);
  const cv::Point2f target[4] = {{-0.5f, -0.5f}, {w - 0.5f, -0.5f}, {w - 0.5f, h - 0.5f},
                                 {-0.5f, h - 0.5f}};
  try {
    cv::Mat transform = cv::getPerspectiveTransform(source, target);
    if (transform.empty() || !cv::checkRange(transform)) return std::nullopt;
    cv::Mat out;
    cv::warpPerspective(rgba, out, transform, cv::Size(int(width), int(height)), cv::INTER_LINEAR,
                        cv::BORDER_CONSTANT, cv::Scalar(0, 0, 0, 0));
    if (out.empty()) return std::nullopt;
    return out;
  } catch (const cv::Exception&) {
    return std::nullopt;
  }
}

}  // namespace ostrel::platform
