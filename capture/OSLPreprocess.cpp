#include "capture/OSLPreprocess.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "platform/media/PerspectiveCorrection.hpp"

namespace ostrel {

using platform::Point;

namespace {

constexpr int kCardColumns = 320;
constexpr int kCardRows = 224;

struct Region {
  int x1, y1, x2, y2;
};

// The parts of each card side where glare spoils recognition, in the 320 x 224 card space.
constexpr Region kFrontRegions[] = {{7, 85, 95, 218}, {95, 51, 307, 218}, {249, 10, 313, 69}};
constexpr Region kBackRegions[] = {
    {4, 2, 166, 68}, {129, 6, 297, 32}, {100, 50, 303, 140}, {9, 138, 308, 207}};

// Whole numbers from model output: clamped into int range before the conversion.
int clampedInt(double v, int low, int high) {
  if (std::isnan(v)) return low;
  return static_cast<int>(std::clamp(std::trunc(v), double(low), double(high)));
}

// Indices of top-left, top-right, bottom-right and bottom-left; nothing when two picks agree.
std::optional<std::array<std::size_t, 4>> orderCorners(const std::vector<Point>& p) {
  std::size_t tl = 0, br = 0, bl = 0;
  for (std::size_t i = 1; i < 4; ++i) {
    if (p[i].x + p[i].y < p[tl].x + p[tl].y) tl = i;
    if (p[i].x + p[i].y > p[br].x + p[br].y) br = i;
    if (p[i].y - p[i].x > p[bl].y - p[bl].x) bl = i;
  }
  if (tl == br || tl == bl || br == bl) return std::nullopt;
  std::size_t tr = 6 - tl - br - bl;
  return std::array<std::size_t, 4>{tl, tr, br, bl};
}

}  // namespace

OSLPreprocess correctPerspective(const platform::ImagePtr& picture,
                                 const std::vector<Point>& points, double width, double height) {
  if (!picture || !picture->hasBitmap() || points.size() != 4) return {};
  for (const auto& p : points) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return {};
  }
  auto order = orderCorners(points);
  if (!order) return {};
  auto [tl, tr, br, bl] = *order;
  auto corrected = platform::perspectiveCorrected(picture->uprightBitmap(), points[tl],
                                                  points[tr], points[br], points[bl]);
  if (!corrected) return {};
  OSLPreprocess result;
  result.imageCropFit = std::make_shared<platform::Image>(*corrected);
  result.ih = corrected->rows;
  result.iw = corrected->cols;
  if (result.ih < 1 || result.iw < 1) return {};
  const int W = clampedInt(width, 0, 8192), H = clampedInt(height, 0, 8192);
  if (W < 1 || H < 1) return {};
  result.scale = std::min(double(H) / result.ih, double(W) / result.iw);
  const int nw = static_cast<int>(result.scale * result.iw);
  const int nh = static_cast<int>(result.scale * result.ih);
  result.dx = (W - nw) / 2;
  result.dy = (H - nh) / 2;

  // The platform draws the card into a top-left image context with its own image drawing,
  // which leaves it mirrored top to bottom, and mirrors the picture back: the card ends up
  // upright with its bottom edge dy above the bottom (so the top margin is H - dy - nh). The
  // same pixels are put straight where that drawing leaves them, which a camera frame can afford.
  cv::Mat letterbox(H, W, CV_8UC4, cv::Scalar(114, 114, 114, 255));
  const cv::Rect place(result.dx, H - result.dy - nh, nw, nh);
  if (nw >= 1 && nh >= 1 && (place & cv::Rect(0, 0, W, H)) == place) {
    cv::resize(*corrected, letterbox(place), place.size(), 0, 0, cv::INTER_AREA);
  }
  result.image = std::make_shared<platform::Image>(std::move(letterbox));
  return result;
}

std::optional<Box> scaleBox(const platform::Rect& rect, double sx, double sy) {
  const double values[] = {rect.minX() * sx, rect.minY() * sy, (rect.minX() + rect.width()) * sx,
                           (rect.minY() + rect.height()) * sy};
  Box box{};
  for (int i = 0; i < 4; ++i) {
    if (!std::isfinite(values[i])) return std::nullopt;
    box[std::size_t(i)] = std::trunc(std::clamp(values[i], -1e9, 1e9));
  }
  return box;
}

CellMask maskFromBoxes(const std::vector<Box>& boxes, double width, double height) {
  const int w = clampedInt(width, 0, 1 << 14), h = clampedInt(height, 0, 1 << 14);
  CellMask mask(std::size_t(h), std::vector<std::uint8_t>(std::size_t(w), 0));
  if (w < 1 || h < 1) return mask;
  for (const auto& b : boxes) {
    const int x1 = clampedInt(b[0], 0, w - 1), y1 = clampedInt(b[1], 0, h - 1);
    const int x2 = clampedInt(b[2], 0, w - 1), y2 = clampedInt(b[3], 0, h - 1);
    for (int r = y1; r < y2; ++r) {
      std::fill(mask[std::size_t(r)].begin() + x1, mask[std::size_t(r)].begin() + std::max(x1, x2),
                std::uint8_t{255});
    }
  }
  return mask;
}

CellMask resizeMask(const CellMask& mask, int width, int height) {
  const int w = std::max(width, 0), h = std::max(height, 0);
  CellMask out(std::size_t(h), std::vector<std::uint8_t>(std::size_t(w), 0));
  if (mask.empty() || mask.front().empty()) return out;
  const double R = double(mask.size()), C = double(mask.front().size());
  for (int r = 0; r < h; ++r) {
    const auto& source = mask[std::min(std::size_t(r * R / h), mask.size() - 1)];
    for (int c = 0; c < w; ++c) {
      const std::size_t column = std::size_t(c * C / w);
      if (column < source.size()) out[std::size_t(r)][std::size_t(c)] = source[column];
    }
  }
  return out;
}

CellMask unletterboxMask(const CellMask& mask, const OSLPreprocess& p) {
  CellMask card;
  if (p.ih >= 1 && p.iw >= 1 && std::isfinite(p.scale)) {
    const long long rowEnd = p.dy + static_cast<long long>(p.ih * p.scale);
    const long long columnEnd = p.dx + static_cast<long long>(p.iw * p.scale);
    for (long long r = std::max(0, p.dy); r < rowEnd && r < (long long)mask.size(); ++r) {
      const auto& row = mask[std::size_t(r)];
      std::vector<std::uint8_t> kept;
      for (long long c = std::max(0, p.dx); c < columnEnd && c < (long long)row.size(); ++c) {
        kept.push_back(row[std::size_t(c)]);
      }
      card.push_back(std::move(kept));
    }
  }
  return resizeMask(card, kCardColumns, kCardRows);
}

CellMask maskSideRegions(const CellMask& mask, bool isFrontId) {
  const std::size_t rows = mask.size(), columns = mask.empty() ? 0 : mask.front().size();
  CellMask out(rows, std::vector<std::uint8_t>(columns, 0));
  auto copy = [&](const Region& region) {
    for (int r = std::max(region.y1, 0); r < region.y2 && std::size_t(r) < rows; ++r) {
      const auto& source = mask[std::size_t(r)];
      for (int c = std::max(region.x1, 0); c < region.x2 && std::size_t(c) < columns; ++c) {
        if (std::size_t(c) < source.size()) out[std::size_t(r)][std::size_t(c)] = source[std::size_t(c)];
      }
    }
  };
  if (isFrontId) {
    for (const auto& region : kFrontRegions) copy(region);
  } else {
    for (const auto& region : kBackRegions) copy(region);
  }
  return out;
}

}  // namespace ostrel
