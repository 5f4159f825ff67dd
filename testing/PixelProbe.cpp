#include "testing/PixelProbe.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include <pango/pangocairo.h>

#include "platform/ui/PangoText.hpp"

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

std::optional<double> inkRiseAboveCapitals(const Image& image, Rect region, Color background,
                                           double tolerance) {
  const cv::Mat& bitmap = image.bitmap();
  const double s = image.scale();
  const int x0 = std::clamp(static_cast<int>(std::floor(region.minX() * s)), 0, bitmap.cols);
  const int x1 = std::clamp(static_cast<int>(std::ceil(region.maxX() * s)), 0, bitmap.cols);
  const int y0 = std::clamp(static_cast<int>(std::floor(region.minY() * s)), 0, bitmap.rows);
  const int y1 = std::clamp(static_cast<int>(std::ceil(region.maxY() * s)), 0, bitmap.rows);
  std::vector<int> tops;
  for (int x = x0; x < x1; ++x) {
    for (int y = y0; y < y1; ++y) {
      if (colorOf(bitmap.at<cv::Vec4b>(y, x)).isApproximately(background, tolerance)) continue;
      tops.push_back(y);
      break;
    }
  }
  if (tops.empty()) return std::nullopt;
  const int highest = *std::min_element(tops.begin(), tops.end());
  std::nth_element(tops.begin(), tops.begin() + static_cast<std::ptrdiff_t>(tops.size() / 2),
                   tops.end());
  return (tops[tops.size() / 2] - highest) / s;
}

double stackedMarkRise(const std::string& capitals, const platform::Font& font) {
  PangoContext* context = makeTextContext();
  TextStyle style;
  style.font = font;
  auto inkTop = [&](const std::string& text) {
    PangoLayout* layout = makeTextLayout(context, text, style, 0);
    PangoRectangle ink;
    pango_layout_get_extents(layout, &ink, nullptr);
    g_object_unref(layout);
    return static_cast<double>(ink.y) / PANGO_SCALE;
  };
  // A capital without marks gives the top the others share.
  const double rise = inkTop("N") - inkTop(capitals);
  g_object_unref(context);
  return rise;
}

}  // namespace ostrel::testing
