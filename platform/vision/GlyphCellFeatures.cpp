#include "platform/vision/GlyphRowSteps.hpp"

#include <cmath>
#include <cstdint>

#include <opencv2/imgproc.hpp>

namespace ostrel::platform::glyphrows {

namespace {

// The extent of the glyph's ink around a cell, searched over a little more than a pitch across
// and one and a half capital heights up and down.
struct CellInk {
  cv::Point2d centre;
  double width = 0, height = 0;  // 0 where the extent could not be told
};

CellInk inkAround(const cv::Mat& ink, double x, double y, double pitch, double capHeight) {
  CellInk found{{x, y}};
  const int x0 = std::max(0, static_cast<int>(std::lround(x - 0.55 * pitch)));
  const int x1 = std::min(ink.cols, static_cast<int>(std::lround(x + 0.55 * pitch)));
  const int y0 = std::max(0, static_cast<int>(std::lround(y - 0.75 * capHeight)));
  const int y1 = std::min(ink.rows, static_cast<int>(std::lround(y + 0.75 * capHeight)));
  if (x1 - x0 < 3 || y1 - y0 < 3) return found;
  const cv::Mat window = ink(cv::Range(y0, y1), cv::Range(x0, x1));
  cv::Mat columns;
  cv::reduce(window, columns, 0, cv::REDUCE_SUM, CV_32S);
  const int* column = columns.ptr<int>(0);
  // The glyph's columns: from its inkiest column near the middle outwards, as long as there is
  // ink, so a neighbour's edge in the window is not taken for part of it.
  const int count = columns.cols;
  const int reach = std::max(1, static_cast<int>(0.25 * pitch));
  const int middle = static_cast<int>(std::lround(x)) - x0;
  int seed = -1;
  for (int i = std::max(0, middle - reach); i <= std::min(count - 1, middle + reach); ++i) {
    if (column[i] >= 2 * 255 && (seed < 0 || column[i] > column[seed])) seed = i;
  }
  if (seed < 0) return found;
  int left = seed, right = seed;
  while (left > 0 && column[left - 1] >= 2 * 255) --left;
  while (right < count - 1 && column[right + 1] >= 2 * 255) ++right;
  // Where the ink reaches both sides of the window (glyphs blurred into each other) the grid
  // stays, and the width is not known.
  if (left > 0 && right < count - 1) {
    found.centre.x = std::clamp(x0 + (left + right + 1) / 2.0, x - 0.25 * pitch, x + 0.25 * pitch);
    found.width = right - left + 1;
  } else {
    left = std::max(left, middle - reach), right = std::min(right, middle + reach);
  }
  cv::Mat rows;
  cv::reduce(window.colRange(left, right + 1), rows, 1, cv::REDUCE_SUM, CV_32S);
  // The glyph's rows: from its inkiest row near the middle outwards, across gaps of a little
  // ink at most (a thin stroke's), so a speck of toner, a neighbouring line or print above or
  // below the zone is not taken for part of it. A row is counted as ink by what it holds beyond
  // the band's emptiest row: a fine hatch that the threshold took in part for ink runs through
  // every row of the band, and would otherwise carry the glyph on to its edges.
  double emptiest = 0;
  cv::minMaxLoc(rows, &emptiest);
  const int inked = static_cast<int>(emptiest) + 2 * 255;
  const int rowReach = std::max(1, static_cast<int>(0.3 * capHeight));
  const int rowMiddle = static_cast<int>(std::lround(y)) - y0;
  int inkiest = -1;
  for (int i = std::max(0, rowMiddle - rowReach); i <= std::min(rows.rows - 1, rowMiddle + rowReach); ++i) {
    const int inkHere = rows.at<int>(i, 0);
    if (inkHere >= inked && (inkiest < 0 || inkHere > rows.at<int>(inkiest, 0))) inkiest = i;
  }
  if (inkiest < 0) return found;
  const int gap = std::max(1, static_cast<int>(0.1 * capHeight));
  // The last row with ink from `from` on in direction `step`.
  auto lastInked = [&](int from, int step) {
    int last = from;
    for (int i = from + step, empty = 0; i >= 0 && i < rows.rows && empty <= gap; i += step) {
      if (rows.at<int>(i, 0) >= inked) last = i, empty = 0;
      else ++empty;
    }
    return last;
  };
  const int top = lastInked(inkiest, -1), bottom = lastInked(inkiest, 1);
  // Ink that runs on to the window's edge above or below is not the glyph's own there (a speck
  // of the card's pattern, print above or below the zone): the centre is placed half a capital
  // height from the other edge, or stays on the row where both run on.
  const bool topKnown = top > 0, bottomKnown = bottom < rows.rows - 1;
  double centre = y;
  if (topKnown && bottomKnown) centre = y0 + (top + bottom + 1) / 2.0, found.height = bottom - top + 1;
  else if (topKnown) centre = y0 + top + capHeight / 2;
  else if (bottomKnown) centre = y0 + bottom + 1 - capHeight / 2;
  found.centre.y = std::clamp(centre, y - 0.2 * capHeight, y + 0.2 * capHeight);
  return found;
}

// The standard deviation of the ink's columns over that of its rows, from the grey patch: unlike
// widths counted in thresholded pixels it changes smoothly with the glyph's proportions, which
// is what tells "0" from "O" in a small, blurred print.
double inkSpreadRatio(const cv::Mat& patch) {
  double darkest = 0, lightest = 0;
  cv::minMaxLoc(patch, &darkest, &lightest);
  const double floor = lightest - 0.2 * (lightest - darkest);
  if (lightest - darkest < 8) return 0.5;
  double mass = 0, sx = 0, sy = 0, sxx = 0, syy = 0;
  for (int r = 0; r < patch.rows; ++r) {
    const std::uint8_t* row = patch.ptr<std::uint8_t>(r);
    for (int c = 0; c < patch.cols; ++c) {
      const double w = std::max(0.0, floor - row[c]);
      mass += w, sx += w * c, sy += w * r, sxx += w * c * c, syy += w * r * r;
    }
  }
  if (mass <= 0) return 0.5;
  const double vx = sxx / mass - (sx / mass) * (sx / mass), vy = syy / mass - (sy / mass) * (sy / mass);
  return vy > 1e-6 ? std::sqrt(std::max(0.0, vx) / vy) : 0.5;
}

}  // namespace

// The classifier's features of the glyph around `x`: its cell, cut around the glyph's own ink
// and scaled by the glyph's own height (the row's capital height for glyphs that are not
// capital-high, such as the filler), so the glyph keeps its shape whatever its size relative
// to the pitch; then its width over that height, its height over the capital height and its
// offset from the row's middle. A glyph's proportions tell "0" from "O" and "D" from "0",
// and they survive printing at another size.
cv::Mat glyphFeatures(const cv::Mat& strip, const cv::Mat& stripInk, double x, double y, double pitch,
                      double capHeight) {
  const CellInk ink = inkAround(stripInk, x, y, pitch, capHeight);
  const bool capitalHigh = ink.height > 0.7 * capHeight && ink.height < 1.35 * capHeight;
  const double reference = capitalHigh ? ink.height : capHeight;
  const cv::Size patchSize(
      std::max(2, static_cast<int>(std::lround(reference * kGlyphCellWidth / kGlyphCellHeight * 1.2))),
      std::max(2, static_cast<int>(std::lround(1.2 * reference))));
  cv::Mat patch;
  cv::getRectSubPix(strip, patchSize, cv::Point2f(float(ink.centre.x), float(ink.centre.y)), patch);
  cv::Mat scaled;
  cv::resize(patch, scaled, cv::Size(kGlyphCellWidth, kGlyphCellHeight), 0, 0,
             patch.cols > kGlyphCellWidth ? cv::INTER_AREA : cv::INTER_LINEAR);
  cv::Mat features(1, kGlyphFeatureCount, CV_32F, cv::Scalar(0));
  cv::Mat cell = features.colRange(0, kGlyphCellPixels);
  scaled.reshape(1, 1).convertTo(cell, CV_32F, -1.0, 255.0);
  cell -= cv::mean(cell)[0];
  const double norm = cv::norm(cell);
  if (norm < 1e-3) return {};
  cell /= norm;
  float* shape = features.ptr<float>(0) + kGlyphCellPixels;
  shape[0] = static_cast<float>(ink.width > 0 ? ink.width / reference : 0.7);
  shape[1] = static_cast<float>(ink.height > 0 ? ink.height / capHeight : 1.0);
  shape[2] = static_cast<float>((ink.centre.y - y) / capHeight);
  shape[3] = static_cast<float>(inkSpreadRatio(patch));
  return features;
}

}  // namespace ostrel::platform::glyphrows
