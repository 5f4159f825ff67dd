#include "testing/PixelProbe.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

#include <pango/pangocairo.h>

#include "platform/foundation/Make.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/PangoText.hpp"
#include "platform/ui/Renderer.hpp"

namespace ostrel::testing {

using namespace platform;

namespace {

Color colorOf(const cv::Vec4b& p) {
  return {p[0] / 255.0, p[1] / 255.0, p[2] / 255.0, p[3] / 255.0};
}

// The pixel rectangle `area` covers, cut to the picture.
cv::Rect pixelsOf(const Image& image, Rect area) {
  const cv::Mat& bitmap = image.bitmap();
  const double s = image.scale();
  int x0 = std::clamp(static_cast<int>(std::floor(area.minX() * s)), 0, bitmap.cols);
  int y0 = std::clamp(static_cast<int>(std::floor(area.minY() * s)), 0, bitmap.rows);
  int x1 = std::clamp(static_cast<int>(std::ceil(area.maxX() * s)), 0, bitmap.cols);
  int y1 = std::clamp(static_cast<int>(std::ceil(area.maxY() * s)), 0, bitmap.rows);
  return {x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
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
  const double s = image.scale();
  return inkBoundsWithin(image, {0, 0, image.bitmap().cols / s, image.bitmap().rows / s},
                         background, tolerance);
}

std::optional<Rect> inkBoundsWithin(const Image& image, Rect area, Color background,
                                    double tolerance) {
  const cv::Mat& bitmap = image.bitmap();
  const cv::Rect r = pixelsOf(image, area);
  int minX = bitmap.cols, minY = bitmap.rows, maxX = -1, maxY = -1;
  for (int y = r.y; y < r.y + r.height; ++y) {
    for (int x = r.x; x < r.x + r.width; ++x) {
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

Color dominantColor(const Image& image, Rect area) {
  const cv::Mat& bitmap = image.bitmap();
  const cv::Rect r = pixelsOf(image, area);
  std::map<std::tuple<int, int, int, int>, int> counts;
  for (int y = r.y; y < r.y + r.height; ++y) {
    for (int x = r.x; x < r.x + r.width; ++x) {
      const cv::Vec4b p = bitmap.at<cv::Vec4b>(y, x);
      ++counts[{p[0] / 8, p[1] / 8, p[2] / 8, p[3] / 8}];
    }
  }
  if (counts.empty()) return Color::clear();
  auto most = std::max_element(counts.begin(), counts.end(),
                               [](const auto& a, const auto& b) { return a.second < b.second; });
  auto [c0, c1, c2, c3] = most->first;
  auto component = [](int q) { return std::min(1.0, (q * 8 + 4) / 255.0); };
  return {component(c0), component(c1), component(c2), component(c3)};
}

double shareOfColor(const Image& image, Rect area, Color color, double tolerance) {
  const cv::Mat& bitmap = image.bitmap();
  const cv::Rect r = pixelsOf(image, area);
  if (r.area() == 0) return 0;
  int near = 0;
  for (int y = r.y; y < r.y + r.height; ++y) {
    for (int x = r.x; x < r.x + r.width; ++x) {
      near += colorOf(bitmap.at<cv::Vec4b>(y, x)).isApproximately(color, tolerance);
    }
  }
  return static_cast<double>(near) / r.area();
}

double tallestBlankBand(const Image& image, Rect area, Color background, double tolerance) {
  const cv::Mat& bitmap = image.bitmap();
  const cv::Rect r = pixelsOf(image, area);
  int run = 0, tallest = 0;
  for (int y = r.y; y < r.y + r.height; ++y) {
    bool blank = true;
    for (int x = r.x; x < r.x + r.width && blank; ++x) {
      blank = colorOf(bitmap.at<cv::Vec4b>(y, x)).isApproximately(background, tolerance);
    }
    run = blank ? run + 1 : 0;
    tallest = std::max(tallest, run);
  }
  return tallest / image.scale();
}

DrawnText drawnText(const Image& screen, const Label& label, double reach) {
  DrawnText found;
  const Rect box = label.textRect(label.bounds());
  const Rect frame = label.convertRectTo(box, nullptr);
  const Color background = dominantColor(screen, frame);
  const Rect around{frame.minX() - reach, frame.minY() - reach, frame.width() + 2 * reach,
                    frame.height() + 2 * reach};
  found.onScreen = inkBoundsWithin(screen, around, background, 0.25);

  // The same text alone, on the same colour, with every line it needs.
  const double margin = 20;
  auto alone = make<Label>();
  alone->setFont(label.font());
  alone->setTextColor(label.textColor());
  alone->textAlignment = label.textAlignment;
  // A one-line label that shrinks its text to fit is whole when it shows the whole line,
  // smaller: that line is drawn alone at its own size, with all the width it wants.
  found.scaledToFit = label.adjustsFontSizeToFitWidth && label.numberOfLines() == 1;
  alone->setNumberOfLines(found.scaledToFit ? 1 : 0);
  alone->lineBreakMode = LineBreakMode::byWordWrapping;
  if (label.attributedText()) {
    alone->setAttributedText(label.attributedText());
  } else {
    alone->setText(label.text());
  }
  // Far taller than any text here: the label centres its lines, the ink tells their extent.
  const double height = 4 * box.height() + 200;
  const double width = found.scaledToFit ? 4 * box.width() + 1000 : box.width();
  auto root = make<View>(Rect{0, 0, width + 2 * margin, height + 2 * margin});
  root->setBackgroundColor(background);
  alone->setFrame({margin, margin, width, height});
  root->addSubview(alone);
  auto picture = snapshot(*root, screen.scale());
  if (picture) {
    if (auto ink = inkBounds(*picture, background, 0.25)) {
      found.whole = Rect{ink->minX() - margin, ink->minY() - margin, ink->width(), ink->height()};
    }
  }
  return found;
}

bool isDrawnWhole(const DrawnText& text, double slack) {
  if (!text.whole) return !text.onScreen;
  if (!text.onScreen) return false;
  if (text.scaledToFit && text.onScreen->height() > 0 && text.whole->height() > 0) {
    // Shrunk or not, the whole line keeps its shape; a tail cut to "…" or a clipped mark
    // does not.
    const double drawn = text.onScreen->width() / text.onScreen->height();
    const double whole = text.whole->width() / text.whole->height();
    return std::abs(drawn - whole) <= 0.06 * whole;
  }
  return text.onScreen->height() >= text.whole->height() - slack &&
         text.onScreen->width() >= text.whole->width() - slack;
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
