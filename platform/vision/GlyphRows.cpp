#include "platform/vision/GlyphRows.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
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

// Groups blobs into rows: from left to right along the skew, each blob joins the row whose last
// blob it continues best (close along the row, level with it across), so a row is followed as
// its own slope takes it; under perspective the rows of one zone are not parallel, and a
// single skew for all of them would cut across them at their ends. A row is split where a
// gap is too wide to be the space between two characters.
std::vector<std::vector<Blob>> groupRows(const std::vector<Blob>& blobs, double skewDegrees,
                                         double typicalHeight) {
  const double s = std::sin(skewDegrees * kDegree), c = std::cos(skewDegrees * kDegree);
  struct Placed {
    double along, across;
    const Blob* blob;
  };
  std::vector<Placed> placed;
  placed.reserve(blobs.size());
  for (const auto& b : blobs) placed.push_back({b.cx * c + b.cy * s, b.cy * c - b.cx * s, &b});
  std::sort(placed.begin(), placed.end(), [](const Placed& l, const Placed& r) { return l.along < r.along; });

  struct Chain {
    std::vector<const Placed*> members;
    double rowHeight = 0;
    double slope = 0;  // across per along, from its members
  };
  std::vector<Chain> chains;
  for (const Placed& p : placed) {
    Chain* best = nullptr;
    double bestOffset = 0;
    for (auto& chain : chains) {
      const Placed& last = *chain.members.back();
      const double height = std::max(chain.rowHeight, double(p.blob->height));
      const double gap = p.along - p.blob->width / 2.0 - (last.along + last.blob->width / 2.0);
      if (gap > 2.5 * height) continue;
      const double offset = std::abs(p.across - (last.across + chain.slope * (p.along - last.along)));
      if (offset > 0.35 * std::max(typicalHeight, height)) continue;
      if (!best || offset < bestOffset) best = &chain, bestOffset = offset;
    }
    if (!best) {
      chains.push_back({});
      best = &chains.back();
    }
    best->members.push_back(&p);
    best->rowHeight = std::max(best->rowHeight, double(p.blob->height));
    // The slope through the last few members, for the next prediction.
    const std::size_t n = best->members.size();
    if (n >= 3) {
      const std::size_t from = n > 12 ? n - 12 : 0;
      double sa = 0, sc = 0, saa = 0, sac = 0, k = 0;
      for (std::size_t i = from; i < n; ++i) {
        const double a = best->members[i]->along, b = best->members[i]->across;
        sa += a, sc += b, saa += a * a, sac += a * b, k += 1;
      }
      const double det = k * saa - sa * sa;
      if (det > 1e-9) best->slope = std::clamp((k * sac - sa * sc) / det, -0.1, 0.1);
    }
  }
  std::vector<std::vector<Blob>> rows;
  for (const auto& chain : chains) {
    if (chain.members.size() < 3) continue;
    std::vector<Blob> row;
    for (const Placed* p : chain.members) row.push_back(*p->blob);
    rows.push_back(std::move(row));
  }
  // Top to bottom, as the rows are reported.
  std::sort(rows.begin(), rows.end(), [&](const auto& l, const auto& r) {
    auto across = [&](const std::vector<Blob>& row) {
      double sum = 0;
      for (const auto& b : row) sum += b.cy * c - b.cx * s;
      return sum / double(row.size());
    };
    return across(l) < across(r);
  });
  return rows;
}

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

// Least squares of u = a + b t (+ c t^2) over the numbered centres; the points further than a
// quarter pitch from a first fit are left out of a second.
std::optional<CellPositions> fitNumberedCentres(const std::vector<double>& centres,
                                                const std::vector<double>& cells, double pitch,
                                                bool bend) {
  std::vector<bool> used(centres.size());
  for (std::size_t i = 0; i < cells.size(); ++i) used[i] = std::isfinite(cells[i]);
  CellPositions fitted;
  for (int round = 0; round < 2; ++round) {
    double n = 0, mid = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (used[i]) n += 1, mid += cells[i];
    }
    if (n < 3) return std::nullopt;
    mid /= n;
    const int terms = bend ? 3 : 2;
    cv::Matx33d normal = cv::Matx33d::zeros();
    cv::Vec3d right(0, 0, 0);
    double lo = 1e18, hi = -1e18;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (!used[i]) continue;
      const double t = cells[i] - mid;
      lo = std::min(lo, t), hi = std::max(hi, t);
      const double basis[3] = {1, t, t * t};
      for (int r = 0; r < terms; ++r) {
        right[r] += basis[r] * centres[i];
        for (int q = 0; q < terms; ++q) normal(r, q) += basis[r] * basis[q];
      }
    }
    if (bend && hi - lo < 8) return std::nullopt;
    if (!bend) normal(2, 2) = 1;
    cv::Vec3d solution;
    if (!cv::solve(normal, right, solution, cv::DECOMP_LU)) return std::nullopt;
    fitted = {mid, solution[0], solution[1], bend ? solution[2] : 0.0};
    // The pitch at both ends stays near the row's own.
    for (double t : {lo, hi}) {
      const double local = fitted.b + 2 * fitted.c * t;
      if (!(local > 0.75 * pitch && local < 1.3 * pitch)) return std::nullopt;
    }
    for (std::size_t i = 0; i < cells.size(); ++i) {
      used[i] = std::isfinite(cells[i]) && std::abs(fitted.centre(cells[i]) - centres[i]) < 0.25 * pitch;
    }
  }
  return fitted;
}

// Numbers the glyph centres by cell and fits their positions. Two numberings are tried: one
// on the row's single pitch and phase, and one that steps from each glyph to the next against
// the pitch of the glyphs just before, which follows a pitch that drifts along the row.
CellPositions fitCellPositions(const std::vector<double>& centres, double phase, double pitch) {
  // The steps between neighbouring glyphs give the pitch too, and still do where the pitch
  // drifts along the row so much that the profile's period is smeared.
  std::vector<double> steps;
  for (std::size_t i = 1; i < centres.size(); ++i) {
    const double step = centres[i] - centres[i - 1];
    if (step > 0.6 * pitch && step < 1.45 * pitch) steps.push_back(step);
  }
  const double stepPitch = steps.size() >= 4 ? median(steps) : pitch;
  std::vector<std::vector<double>> numberings;
  for (double p : {pitch, stepPitch}) {
    std::complex<double> phaseSum = 0;
    for (double u : centres) phaseSum += std::polar(1.0, 2 * std::numbers::pi * u / p);
    const double gridPhase = p == pitch ? phase : std::arg(phaseSum) / (2 * std::numbers::pi) * p;
    std::vector<double> onGrid, stepped;
    for (double u : centres) onGrid.push_back(std::round((u - gridPhase) / p));
    // A centre that falls between cells (a speck, a broken glyph) is left unnumbered and the
    // next step is taken from the last numbered one.
    stepped.push_back(onGrid.front());
    double local = p;
    std::size_t last = 0;
    for (std::size_t i = 1; i < centres.size(); ++i) {
      const double step = (centres[i] - centres[last]) / local;
      const double cells = std::round(step);
      if (cells < 1 || std::abs(step - cells) > 0.3) {
        stepped.push_back(std::numeric_limits<double>::quiet_NaN());
        continue;
      }
      stepped.push_back(stepped[last] + cells);
      if (cells == 1) local = std::clamp(0.7 * local + 0.3 * (centres[i] - centres[last]), 0.8 * p, 1.25 * p);
      last = i;
    }
    numberings.push_back(std::move(onGrid));
    numberings.push_back(std::move(stepped));
    if (std::abs(stepPitch - pitch) < 0.02 * pitch) break;
  }
  CellPositions best{0, phase, pitch, 0};
  double bestError = 1e18;
  for (const auto& cells : numberings) {
    for (bool bend : {false, true}) {
      const auto fitted = fitNumberedCentres(centres, cells, stepPitch, bend);
      if (!fitted) continue;
      // Judged by how near every centre falls to some cell's middle, so numberings compete
      // fairly; a bend must earn its extra freedom.
      double error = 0;
      for (double u : centres) {
        const double offset = fitted->cellAt(u);
        error += std::isfinite(offset) ? std::pow(offset - std::round(offset), 2) : 1;
      }
      error = error / double(centres.size()) + (bend ? 1e-4 : 0);
      if (error < bestError) bestError = error, best = *fitted;
    }
  }
  return best;
}

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
  int top = -1, bottom = -1;
  for (int i = 0; i < rows.rows; ++i) {
    if (rows.at<int>(i, 0) >= 2 * 255) {
      if (top < 0) top = i;
      bottom = i;
    }
  }
  if (top >= 0) {
    found.centre.y = std::clamp(y0 + (top + bottom + 1) / 2.0, y - 0.2 * capHeight, y + 0.2 * capHeight);
    if (top > 0 && bottom < rows.rows - 1) found.height = bottom - top + 1;
  }
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
  // The middle half of the capitals' heights, averaged: heights come in whole pixels, and
  // the glyphs are scaled by this, so a median's step of one pixel would show at small sizes.
  std::sort(tallHeights.begin(), tallHeights.end());
  double capHeight = 0;
  {
    const std::size_t from = tallHeights.size() / 4, to = std::max(from + 1, tallHeights.size() - tallHeights.size() / 4);
    for (std::size_t i = from; i < to; ++i) capHeight += tallHeights[i];
    capHeight /= double(to - from);
  }
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
      if (std::abs(std::atan(fitted) / kDegree - skewDegrees) < 3.5) slope = fitted;
    }
    intercept = tallY - slope * tallX;
  }
  const double angle = std::atan(slope);
  const cv::Point2d along(std::cos(angle), std::sin(angle));
  const cv::Point2d across(-along.y, along.x);
  const cv::Point2d origin(0, intercept);

  // The row runs over its glyph-high blobs; lower specks of the card's pattern beyond them
  // are not characters.
  double uMin = 1e18, uMax = -1e18;
  for (const auto& b : blobs) {
    if (b.height < 0.55 * capHeight || b.height > 1.4 * capHeight) continue;
    const double u = (b.cx - origin.x) * along.x + (b.cy - origin.y) * along.y;
    uMin = std::min(uMin, u - b.width / 2.0);
    uMax = std::max(uMax, u + b.width / 2.0);
  }
  if (uMax <= uMin) return std::nullopt;
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

  // Phase from the centres of blobs that hold one glyph each, then the positions along the row
  // fitted to the cells they fall on.
  std::vector<double> centres;
  for (const auto& b : blobs) {
    // Glyphs of the zone stand at least half a capital high; lower specks (pieces of the
    // card's pattern) would only blur the positions.
    if (b.width > 1.2 * pitch || b.height < 0.55 * capHeight || b.height > 1.4 * capHeight) continue;
    const cv::Point2d p = toPicture(0, 0);
    centres.push_back((b.cx - p.x) * along.x + (b.cy - p.y) * along.y);
  }
  if (centres.empty()) return std::nullopt;
  std::sort(centres.begin(), centres.end());
  std::complex<double> phaseSum = 0;
  for (double u : centres) phaseSum += std::polar(1.0, 2 * std::numbers::pi * u / pitch);
  const double phase = std::arg(phaseSum) / (2 * std::numbers::pi) * pitch;
  const CellPositions positions = fitCellPositions(centres, phase, pitch);
  pitch = positions.pitchAt(0);
  // Over the nearest nine tenths of the centres: a few specks of the background that join the
  // row say nothing of its pitch.
  std::vector<double> offsets;
  for (double u : centres) {
    const double offset = positions.cellAt(u);
    offsets.push_back(std::isfinite(offset) ? std::pow(offset - std::round(offset), 2) : 0.25);
  }
  std::sort(offsets.begin(), offsets.end());
  offsets.resize(std::max<std::size_t>(1, (offsets.size() * 9 + 9) / 10));
  double residual = 0;
  for (double o : offsets) residual += o;
  residual = std::sqrt(residual / static_cast<double>(offsets.size()));
  // Centres spread evenly over a cell give about 0.29; a clean fixed-pitch row under 0.05.
  const double fit = std::clamp(1.0 - (residual - 0.05) / 0.15, 0.0, 1.0);

  const double firstCell = positions.cellAt(firstInk), lastCell = positions.cellAt(lastInk);
  if (!std::isfinite(firstCell) || !std::isfinite(lastCell)) return std::nullopt;
  long first = std::lround(firstCell + 0.3);
  long last = std::lround(lastCell - 0.3);
  if (last < first || last - first + 1 > kMaxCellsPerRow) return std::nullopt;
  // A row starts and ends with a glyph: specks of the background beyond it leave only empty
  // positions.
  auto hasInk = [&](long k) {
    const double centre = positions.centre(double(k)), localPitch = positions.pitchAt(double(k));
    const int x0 = std::clamp(static_cast<int>(std::lround(centre - localPitch / 2)), 0, stripWidth);
    const int x1 = std::clamp(static_cast<int>(std::lround(centre + localPitch / 2)), 0, stripWidth);
    const double ink = x1 > x0 ? cv::sum(stripInk(cv::Range(bandTop, bandBottom), cv::Range(x0, x1)))[0] : 0;
    return ink >= 0.03 * localPitch * 2 * bandHalf * 255;
  };
  while (first < last && !hasInk(first)) ++first;
  while (last > first && !hasInk(last)) --last;

  GlyphRow row;
  row.pitch = pitch;
  row.capHeight = capHeight;
  row.pitchFit = fit;
  const double cellHalf = 0.65 * capHeight;
  for (long k = first; k <= last; ++k) {
    const double centre = positions.centre(double(k));
    const double localPitch = positions.pitchAt(double(k));
    // Perspective scales the glyphs with the pitch along the row.
    const double localCap = capHeight * localPitch / pitch;
    if (!hasInk(k)) {
      row.cells.emplace_back();
      continue;
    }
    row.cells.push_back(glyphFeatures(strip, stripInk, centre, half, localPitch, localCap));
  }

  // The glyphs' heights in the row are told against their neighbours' rather than against the
  // row's fitted line, which a slight error of slope sets off at the row's ends.
  {
    std::vector<float> offsets;
    for (const cv::Mat& cell : row.cells) offsets.push_back(cell.empty() ? NAN : cell.at<float>(0, kGlyphCellPixels + 2));
    for (std::size_t k = 0; k < row.cells.size(); ++k) {
      if (row.cells[k].empty()) continue;
      std::vector<double> around;
      for (std::size_t j = k >= 5 ? k - 5 : 0; j < std::min(row.cells.size(), k + 6); ++j) {
        if (std::isfinite(offsets[j])) around.push_back(offsets[j]);
      }
      row.cells[k].at<float>(0, kGlyphCellPixels + 2) = static_cast<float>(offsets[k] - median(around));
    }
  }

  const double left = positions.centre(double(first)) - positions.pitchAt(double(first)) / 2;
  const double right = positions.centre(double(last)) + positions.pitchAt(double(last)) / 2;
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
