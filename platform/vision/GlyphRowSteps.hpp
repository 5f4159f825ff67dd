#pragma once

// The steps of cutting glyph rows, shared by the files that make them: grouping blobs of ink
// into rows, fitting where the cells lie along a row, and a cell's classifier features.

#include <algorithm>
#include <numbers>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/vision/GlyphRows.hpp"

namespace ostrel::platform::glyphrows {

inline constexpr double kDegree = std::numbers::pi / 180.0;
// Largest turn looked for, a little beyond the five degrees a hand-held document reaches.
inline constexpr double kMaxSkewDegrees = 6.0;
// Pictures smaller than this hold no readable row; larger ones would only cost time.
inline constexpr int kMinSide = 8;
inline constexpr int kMaxCellsPerRow = 200;

struct Blob {
  double cx = 0;  // centre of the bounding box
  double cy = 0;
  int width = 0;
  int height = 0;
};

inline double median(std::vector<double> values) {
  if (values.empty()) return 0;
  const auto mid = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), mid, values.end());
  return *mid;
}

inline double quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

// Row grouping (GlyphRowGrouping.cpp).
// `block` is the side of the threshold's neighbourhood; by default `binariseBlock(grey)`, a
// tenth of the picture's shorter side within 15-61 pixels.
cv::Mat binarise(const cv::Mat& grey, int block = 0);
int binariseBlock(const cv::Mat& grey);
// The odd block side nearest `size`.
int oddBlock(double size);
std::vector<Blob> findBlobs(const cv::Mat& binary);
double estimateSkew(const std::vector<Blob>& blobs, double typicalHeight);
std::vector<std::vector<Blob>> groupRows(const std::vector<Blob>& blobs, double skewDegrees,
                                         double typicalHeight);

// Position fitting (GlyphCellPositions.cpp).
// Where the cells of a row lie along it: cell k is centred at a + b t + c t^2 with t = k - mid.
// Under perspective the pitch changes along the row (by a tenth or more from end to end at a
// tilt of ten degrees), so one pitch for the whole row drifts by a cell at its ends; the
// quadratic term takes that up.
struct CellPositions {
  double mid = 0, a = 0, b = 1, c = 0;
  double centre(double k) const {
    const double t = k - mid;
    return a + b * t + c * t * t;
  }
  double pitchAt(double k) const { return b + 2 * c * (k - mid); }
  // The (fractional) cell at position u.
  double cellAt(double u) const {
    double t = (u - a) / b;
    for (int i = 0; i < 4 && c != 0; ++i) {
      const double slope = b + 2 * c * t;
      if (std::abs(slope) < 1e-9) break;
      t -= (a + b * t + c * t * t - u) / slope;
    }
    return mid + t;
  }
};

// `rowStart` and `rowEnd` are where the row's ink begins and ends, along it as the centres are.
CellPositions fitCellPositions(const std::vector<double>& centres, double phase, double pitch, double rowStart,
                               double rowEnd);

// Cell features (GlyphCellFeatures.cpp).
cv::Mat glyphFeatures(const cv::Mat& strip, const cv::Mat& stripInk, double x, double y, double pitch,
                      double capHeight);

}  // namespace ostrel::platform::glyphrows
