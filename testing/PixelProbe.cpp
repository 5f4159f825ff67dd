#include "testing/PixelProbe.hpp"

#include <algorithm>
#include <cmath>

namespace ostrel::testing {

using namespace platform;

namespace {

Color colorOf(const cv::Vec4b& p) {
  return {p[0] / 255.0, p[1] / 255.0, p[2] / 255.0, p[3] / 255.0};
}

}  // namespace

Color pixelAt(const Image& image, Point point) {
  const cv::Mat& bitmap = image.bitmap();
  int x = std::clamp(static_cast<int>(std::floor(point.x * image.scale())), 0, bitmap.cols - 1);
  int y = std::clamp(static_cast<int>(std::floor(point.y * image.scale())), 0, bitmap.rows - 1);
  if (bitmap.empty()) return Color::clear();
  return colorOf(bitmap.at<cv::Vec4b>(y, x));
}

std::optional<Rect> inkBounds(const Image& image, Color background, double tolerance) {
  const cv::Mat& bitmap = image.bitmap();
  int minX = bitmap.cols, minY = bitmap.rows, maxX = -1, maxY = -1;
  for (int y = 0; y < bitmap.rows; ++y) {
    for (int x = 0; x < bitmap.cols; ++x) {
      if (colorOf(bitmap.at<cv::Vec4b>(y, x)).isApproximately(background, tolerance)) continue;
      minX = std::min(minX, x);
      minY = std::min(minY, y);
      maxX = std::max(maxX, x);
      maxY = std::max(maxY, y);
    }
  }
  if (maxX < 0) return std::nullopt;
  double s = image.scale();
  return Rect{minX / s, minY / s, (maxX + 1 - minX) / s, (maxY + 1 - minY) / s};
}

}  // namespace ostrel::testing
