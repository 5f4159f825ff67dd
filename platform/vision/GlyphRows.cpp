#include "platform/vision/GlyphRows.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <optional>

#include <opencv2/imgproc.hpp>

namespace ostrel::platform {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;
// Largest turn looked for, a little beyond the five degrees a hand-held document reaches.
constexpr double kMaxSkewDegrees = 6.0;
// Pictures smaller than this hold no readable row; larger ones would only cost time.
constexpr int kMinSide = 8;
constexpr int kMaxCellsPerRow = 200;

struct Blob {
  double cx = 0;  // centre of the bounding box
  double cy = 0;
  int width = 0;
  int height = 0;
};

int oddAtLeast(int value, int minimum) {
  value = std::max(value, minimum);
  return value % 2 == 0 ? value + 1 : value;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  const auto mid = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), mid, values.end());
  return *mid;
}

double quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

// Ink as 255 on 0. A local mean threshold follows light that changes across the picture; the
// block spans a few character heights at the sizes a camera frame gives.
cv::Mat binarise(const cv::Mat& grey) {
  const int block = oddAtLeast(std::min(grey.cols, grey.rows) / 10, 15);
  cv::Mat binary;
  cv::adaptiveThreshold(grey, binary, 255, cv::ADAPTIVE_THRESH_MEAN_C, cv::THRESH_BINARY_INV,
                        std::min(block, 61), 10);
  return binary;
}

std::vector<Blob> findBlobs(const cv::Mat& binary) {
  cv::Mat labels, stats, centroids;
  const int count = cv::connectedComponentsWithStats(binary, labels, stats, centroids, 8, CV_32S);
  std::vector<Blob> blobs;
  const int maxHeight = std::max(6, binary.rows / 3);
  for (int i = 1; i < count; ++i) {
    const int* s = stats.ptr<int>(i);
    const int w = s[cv::CC_STAT_WIDTH], h = s[cv::CC_STAT_HEIGHT], area = s[cv::CC_STAT_AREA];
    if (h < 6 || h > maxHeight || area < 12) continue;
    if (w > 12 * h) continue;                                  // rules and frame edges
    if (area < 0.08 * static_cast<double>(w) * h) continue;    // thin curves of the background
    blobs.push_back({s[cv::CC_STAT_LEFT] + w / 2.0, s[cv::CC_STAT_TOP] + h / 2.0, w, h});
  }
  return blobs;
}

// The turn of the character rows: the angle at which the blob centres, projected across the
// rows, bunch up most.
double estimateSkew(const std::vector<Blob>& blobs, double typicalHeight) {
  const double bin = std::max(2.0, typicalHeight / 4.0);
  auto score = [&](double degrees) {
    const double s = std::sin(degrees * kDegree), c = std::cos(degrees * kDegree);
    std::vector<double> ys;
    ys.reserve(blobs.size());
    for (const auto& b : blobs) ys.push_back(b.cy * c - b.cx * s);
    const double lo = *std::min_element(ys.begin(), ys.end());
    std::vector<int> counts;
    for (double y : ys) {
      const auto index = static_cast<std::size_t>((y - lo) / bin);
      if (index >= counts.size()) counts.resize(index + 1, 0);
      ++counts[index];
    }
    double total = 0;
    for (int n : counts) total += static_cast<double>(n) * n;
    return total;
  };
  double best = 0, bestScore = -1;
  for (double a = -kMaxSkewDegrees; a <= kMaxSkewDegrees + 1e-9; a += 0.5) {
    const double value = score(a);
    if (value > bestScore) bestScore = value, best = a;
  }
  const double coarse = best;
  for (double a = coarse - 0.4; a <= coarse + 0.4 + 1e-9; a += 0.1) {
    const double value = score(a);
    if (value > bestScore) bestScore = value, best = a;
  }
  return best;
}

// Groups blobs into rows along the skew, then splits each row where a gap is too wide to be
// the space between two characters.
std::vector<std::vector<Blob>> groupRows(const std::vector<Blob>& blobs, double skewDegrees,
                                         double typicalHeight) {
  const double s = std::sin(skewDegrees * kDegree), c = std::cos(skewDegrees * kDegree);
  std::vector<std::pair<double, const Blob*>> across;
  for (const auto& b : blobs) across.emplace_back(b.cy * c - b.cx * s, &b);
  std::sort(across.begin(), across.end(),
            [](const auto& l, const auto& r) { return l.first < r.first; });

  std::vector<std::vector<Blob>> rows;
  std::vector<Blob> current;
  double last = 0;
  auto flushRow = [&] {
    if (current.empty()) return;
    std::sort(current.begin(), current.end(), [&](const Blob& l, const Blob& r) {
      return l.cx * c + l.cy * s < r.cx * c + r.cy * s;
    });
    double rowHeight = 0;
    for (const auto& b : current) rowHeight = std::max(rowHeight, double(b.height));
    std::vector<Blob> segment;
    double segmentEnd = 0;
    for (const auto& b : current) {
      const double along = b.cx * c + b.cy * s;
      if (!segment.empty() && along - b.width / 2.0 - segmentEnd > 2.5 * rowHeight) {
        rows.push_back(std::move(segment));
        segment.clear();
      }
      segment.push_back(b);
      segmentEnd = std::max(segmentEnd, along + b.width / 2.0);
    }
    rows.push_back(std::move(segment));
    current.clear();
  };
  for (const auto& [y, blob] : across) {
    if (!current.empty() && y - last > 0.5 * typicalHeight) flushRow();
    current.push_back(*blob);
    last = y;
  }
  flushRow();
  std::erase_if(rows, [](const auto& row) { return row.size() < 3; });
  return rows;
}

// Turns a cut-out band into a template-sized cell: ink positive, zero mean, unit norm.
cv::Mat normaliseCell(const cv::Mat& patch) {
  cv::Mat scaled;
  cv::resize(patch, scaled, cv::Size(kGlyphCellWidth, kGlyphCellHeight), 0, 0,
             patch.cols > kGlyphCellWidth ? cv::INTER_AREA : cv::INTER_LINEAR);
  cv::Mat cell;
  scaled.convertTo(cell, CV_32F, -1.0, 255.0);
  cell -= cv::mean(cell)[0];
  const double norm = cv::norm(cell);
  if (norm < 1e-3) return {};
  cell /= norm;
  return cell;
}

// The middle of the ink's extent around a cell, where a column or row holds at least two ink
// pixels; moved by at most a quarter pitch across and a fifth of the height up or down. Where
// the ink reaches both sides of the window (glyphs blurred into each other) the grid stays.
cv::Point2d centreOfInk(const cv::Mat& ink, double x, double y, double pitch, double height) {
  const int x0 = std::max(0, static_cast<int>(std::lround(x - 0.55 * pitch)));
  const int x1 = std::min(ink.cols, static_cast<int>(std::lround(x + 0.55 * pitch)));
  const int y0 = std::max(0, static_cast<int>(std::lround(y - 0.75 * height)));
  const int y1 = std::min(ink.rows, static_cast<int>(std::lround(y + 0.75 * height)));
  if (x1 - x0 < 3 || y1 - y0 < 3) return {x, y};
  const cv::Mat window = ink(cv::Range(y0, y1), cv::Range(x0, x1));
  cv::Mat columns, rows;
  cv::reduce(window, columns, 0, cv::REDUCE_SUM, CV_32S);
  cv::reduce(window, rows, 1, cv::REDUCE_SUM, CV_32S);
  auto extent = [](const int* values, int count) {
    int first = -1, last = -1;
    for (int i = 0; i < count; ++i) {
      if (values[i] >= 2 * 255) {
        if (first < 0) first = i;
        last = i;
      }
    }
    return std::pair{first, last};
  };
  cv::Point2d centre(x, y);
  const auto [left, right] = extent(columns.ptr<int>(0), columns.cols);
  if (left > 0 && right >= left && right < columns.cols - 1) {
    centre.x = std::clamp(x0 + (left + right + 1) / 2.0, x - 0.25 * pitch, x + 0.25 * pitch);
  }
  const cv::Mat rowsLine = rows.reshape(1, 1).clone();
  const auto [top, bottom] = extent(rowsLine.ptr<int>(0), rowsLine.cols);
  if (top >= 0 && bottom >= top) {
    centre.y = std::clamp(y0 + (top + bottom + 1) / 2.0, y - 0.2 * height, y + 0.2 * height);
  }
  return centre;
}

std::optional<GlyphRow> cutRow(const cv::Mat& grey, const cv::Mat& binary,
                               const std::vector<Blob>& blobs, double skewDegrees,
                               double pitchPerHeight) {
  std::vector<double> heights;
  for (const auto& b : blobs) heights.push_back(b.height);
  const double tallest = quantile(heights, 0.8);
  std::vector<double> tallHeights;
  std::vector<const Blob*> tall;
  for (const auto& b : blobs) {
    if (b.height >= 0.75 * tallest) {
      tallHeights.push_back(b.height);
      tall.push_back(&b);
    }
  }
  const double capHeight = median(tallHeights);
  if (capHeight < 6) return std::nullopt;

  // The row's own line: one slope through the centres of all its glyphs, fitted separately
  // about the capitals' mean and the smaller glyphs' mean (fillers sit at their own height), so
  // a row of letters followed by a run of fillers still gets the slope of the whole row.
  double slope = std::tan(skewDegrees * kDegree), intercept = 0;
  {
    double tallX = 0, tallY = 0, smallX = 0, smallY = 0;
    std::vector<const Blob*> small;
    for (const auto& b : blobs) {
      if (b.height < 0.75 * tallest && b.height >= 0.3 * capHeight) small.push_back(&b);
    }
    for (const Blob* b : tall) tallX += b->cx, tallY += b->cy;
    for (const Blob* b : small) smallX += b->cx, smallY += b->cy;
    tallX /= double(tall.size()), tallY /= double(tall.size());
    if (!small.empty()) smallX /= double(small.size()), smallY /= double(small.size());
    double sxx = 0, sxy = 0;
    for (const Blob* b : tall) sxx += (b->cx - tallX) * (b->cx - tallX), sxy += (b->cx - tallX) * (b->cy - tallY);
    for (const Blob* b : small) sxx += (b->cx - smallX) * (b->cx - smallX), sxy += (b->cx - smallX) * (b->cy - smallY);
    if (tall.size() + small.size() >= 3 && sxx > 1e-6) {
      const double fitted = sxy / sxx;
      if (std::abs(std::atan(fitted) / kDegree - skewDegrees) < 2.0) slope = fitted;
    }
    intercept = tallY - slope * tallX;
  }
  const double angle = std::atan(slope);
  const cv::Point2d along(std::cos(angle), std::sin(angle));
  const cv::Point2d across(-along.y, along.x);
  const cv::Point2d origin(0, intercept);

  double uMin = 1e18, uMax = -1e18;
  for (const auto& b : blobs) {
    const double u = (b.cx - origin.x) * along.x + (b.cy - origin.y) * along.y;
    uMin = std::min(uMin, u - b.width / 2.0);
    uMax = std::max(uMax, u + b.width / 2.0);
  }
  const double pad = capHeight;
  const int stripWidth = static_cast<int>(std::ceil(uMax - uMin + 2 * pad));
  const int stripHeight = 2 * static_cast<int>(std::ceil(1.25 * capHeight));
  if (stripWidth < kMinSide || stripWidth > 4 * (grey.cols + grey.rows)) return std::nullopt;
  const double half = stripHeight / 2.0;
  const cv::Point2d start = origin + (uMin - pad) * along - half * across;
  const cv::Matx23d stripToPicture(along.x, across.x, start.x, along.y, across.y, start.y);
  auto toPicture = [&](double s, double t) {
    return cv::Point2d(stripToPicture(0, 0) * s + stripToPicture(0, 1) * t + stripToPicture(0, 2),
                       stripToPicture(1, 0) * s + stripToPicture(1, 1) * t + stripToPicture(1, 2));
  };

  cv::Mat strip, stripInk;
  const cv::Size stripSize(stripWidth, stripHeight);
  cv::warpAffine(grey, strip, cv::Mat(stripToPicture), stripSize,
                 cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
  cv::warpAffine(binary, stripInk, cv::Mat(stripToPicture), stripSize,
                 cv::INTER_NEAREST | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, cv::Scalar(0));

  const double bandHalf = 0.65 * capHeight;
  const int bandTop = std::max(0, static_cast<int>(std::floor(half - bandHalf)));
  const int bandBottom = std::min(stripHeight, static_cast<int>(std::ceil(half + bandHalf)));
  cv::Mat profile;
  cv::reduce(stripInk.rowRange(bandTop, bandBottom), profile, 0, cv::REDUCE_SUM, CV_32S);

  // Pitch: the period whose Fourier component of the column profile is strongest, near the
  // typeface's ratio times the height.
  const double expected = pitchPerHeight * capHeight;
  double pitch = expected, bestMagnitude = -1, total = 0;
  const int* columns = profile.ptr<int>(0);
  // The row runs from the first blob's left edge to the last blob's right edge (in the strip,
  // where the blobs start one pad in); specks outside it are not characters.
  const int firstInk = std::clamp(static_cast<int>(std::floor(pad)), 0, stripWidth - 1);
  const int lastInk = std::clamp(static_cast<int>(std::ceil(pad + uMax - uMin)) - 1, 0, stripWidth - 1);
  for (int x = firstInk; x <= lastInk; ++x) total += columns[x];
  if (total <= 0) return std::nullopt;
  for (double p = 0.72 * expected; p <= 1.2 * expected; p += 0.004 * expected) {
    std::complex<double> sum = 0;
    const double w = 2 * std::numbers::pi / p;
    // The phasor turns by one step per column; multiplying is far cheaper than a sine each.
    const std::complex<double> step = std::polar(1.0, -w);
    std::complex<double> phasor = std::polar(1.0, -w * firstInk);
    for (int x = firstInk; x <= lastInk; ++x, phasor *= step) {
      if (columns[x] != 0) sum += double(columns[x]) * phasor;
    }
    if (std::abs(sum) > bestMagnitude) bestMagnitude = std::abs(sum), pitch = p;
  }

  // Phase from the centres of blobs that hold one glyph each, then a least-squares refit of
  // pitch and phase to the positions they fall on.
  std::vector<double> centres;
  for (const auto& b : blobs) {
    if (b.width > 1.2 * pitch) continue;
    const cv::Point2d p = toPicture(0, 0);
    centres.push_back((b.cx - p.x) * along.x + (b.cy - p.y) * along.y);
  }
  if (centres.empty()) return std::nullopt;
  std::complex<double> phaseSum = 0;
  for (double u : centres) phaseSum += std::polar(1.0, 2 * std::numbers::pi * u / pitch);
  double phase = std::arg(phaseSum) / (2 * std::numbers::pi) * pitch;
  {
    double sk = 0, su = 0, skk = 0, sku = 0;
    for (double u : centres) {
      const double k = std::round((u - phase) / pitch);
      sk += k, su += u, skk += k * k, sku += k * u;
    }
    const double n = static_cast<double>(centres.size());
    const double det = n * skk - sk * sk;
    if (centres.size() >= 3 && det > 1e-6) {
      const double refitted = (n * sku - sk * su) / det;
      if (refitted > 0.8 * pitch && refitted < 1.25 * pitch) {
        pitch = refitted;
        phase = (su - pitch * sk) / n;
      }
    }
  }
  double residual = 0;
  for (double u : centres) {
    const double offset = (u - phase) / pitch;
    residual += std::pow(offset - std::round(offset), 2);
  }
  residual = std::sqrt(residual / static_cast<double>(centres.size()));
  // Centres spread evenly over a cell give about 0.29; a clean fixed-pitch row under 0.05.
  const double fit = std::clamp(1.0 - (residual - 0.05) / 0.15, 0.0, 1.0);

  const long first = std::lround((firstInk - phase) / pitch + 0.3);
  const long last = std::lround((lastInk - phase) / pitch - 0.3);
  if (last < first || last - first + 1 > kMaxCellsPerRow) return std::nullopt;

  GlyphRow row;
  row.pitch = pitch;
  row.capHeight = capHeight;
  row.pitchFit = fit;
  // Cells are scaled by the pitch, which every glyph shares: measured heights depend on what
  // the row holds (digits stand taller than capitals, fillers lower), and a cell scaled by
  // them would make a "0" among digits look like an "O" among letters.
  const double unit = pitch / pitchPerHeight;
  const double cellHalf = 0.65 * unit;
  const cv::Size patchSize(std::max(2, static_cast<int>(std::lround(pitch))),
                           std::max(2, static_cast<int>(std::lround(2 * cellHalf))));
  const double minimumInk = 0.03 * pitch * 2 * bandHalf * 255;
  for (long k = first; k <= last; ++k) {
    const double centre = phase + static_cast<double>(k) * pitch;
    const int x0 = std::clamp(static_cast<int>(std::lround(centre - pitch / 2)), 0, stripWidth);
    const int x1 = std::clamp(static_cast<int>(std::lround(centre + pitch / 2)), 0, stripWidth);
    const double ink = x1 > x0 ? cv::sum(stripInk(cv::Range(bandTop, bandBottom), cv::Range(x0, x1)))[0] : 0;
    if (ink < minimumInk) {
      row.cells.emplace_back();
      continue;
    }
    // Centre the cut on the glyph's own ink, which takes up what the row's pitch, phase and
    // line leave over at this position.
    const cv::Point2d inkCentre = centreOfInk(stripInk, centre, half, pitch, unit);
    cv::Mat patch;
    cv::getRectSubPix(strip, patchSize, cv::Point2f(float(inkCentre.x), float(inkCentre.y)), patch);
    row.cells.push_back(normaliseCell(patch));
  }

  const double left = phase + static_cast<double>(first) * pitch - pitch / 2;
  const double right = phase + static_cast<double>(last) * pitch + pitch / 2;
  std::vector<cv::Point2f> corners;
  for (double s : {left, right}) {
    for (double t : {half - cellHalf, half + cellHalf}) {
      const cv::Point2d p = toPicture(s, t);
      corners.emplace_back(float(p.x), float(p.y));
    }
  }
  cv::Rect2f box = cv::boundingRect(corners);
  const cv::Rect2f picture(0, 0, float(grey.cols), float(grey.rows));
  row.box = box & picture;
  return row;
}

}  // namespace

std::vector<GlyphRow> findGlyphRows(const cv::Mat& grey, double pitchPerHeight) {
  if (grey.empty() || grey.type() != CV_8UC1 || grey.dims != 2 || grey.cols < kMinSide ||
      grey.rows < kMinSide || !(pitchPerHeight > 0.2 && pitchPerHeight < 5)) {
    return {};
  }
  const cv::Mat binary = binarise(grey);
  const std::vector<Blob> blobs = findBlobs(binary);
  if (blobs.size() < 3) return {};
  std::vector<double> heights;
  for (const auto& b : blobs) heights.push_back(b.height);
  const double typicalHeight = median(heights);
  const double skew = estimateSkew(blobs, typicalHeight);

  std::vector<GlyphRow> rows;
  for (const auto& group : groupRows(blobs, skew, typicalHeight)) {
    if (auto row = cutRow(grey, binary, group, skew, pitchPerHeight)) {
      rows.push_back(std::move(*row));
    }
  }
  return rows;
}

}  // namespace ostrel::platform
