#include "platform/vision/GlyphRows.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>
#include <optional>
#include <utility>

#include <opencv2/imgproc.hpp>

#include "platform/vision/GlyphRowSteps.hpp"

namespace ostrel::platform {

namespace glyphrows {
namespace {

// Cells of a long row cut first for the caller's look (see `findGlyphRows`).
constexpr int kSampledCells = 8;

// Whether ink `width` by `height` pixels may be one glyph of a row: at least half a capital high
// (lower specks are the card's pattern), no taller than a capital and a half, no wider than a cell.
bool glyphSized(int width, int height, double capHeight, double pitch) {
  return width <= 1.2 * pitch && height >= 0.55 * capHeight && height <= 1.4 * capHeight;
}

// The glyphs' own ink in `strip`: print told against the paper close around it (a closing a
// little wider than a stroke), deeper than three tenths of the deepest print within half a pitch
// either way, so that glare which leaves part of a row faint leaves its glyphs whole. A broad
// band of the card's pattern (a rosette's strands run together) is paper here, where the row's
// threshold takes it for ink along with the glyphs that lie on it.
cv::Mat glyphInkOf(const cv::Mat& strip, double capHeight, double pitch) {
  const int side = oddBlock(std::max(3.0, 0.6 * capHeight));
  cv::Mat around, depth, peak, scaledDepth, scaledPeak, deepEnough, ink;
  cv::morphologyEx(strip, around, cv::MORPH_CLOSE, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(side, side)),
                   cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
  cv::subtract(around, strip, depth);
  const cv::Size reach(oddBlock(pitch), oddBlock(1.5 * capHeight));
  cv::dilate(depth, peak, cv::getStructuringElement(cv::MORPH_RECT, reach), cv::Point(-1, -1), 1,
             cv::BORDER_REPLICATE);
  depth.convertTo(scaledDepth, CV_16U, 10);
  peak.convertTo(scaledPeak, CV_16U, 3);
  cv::compare(scaledDepth, scaledPeak, ink, cv::CMP_GT);
  cv::threshold(depth, deepEnough, 7, 255, cv::THRESH_BINARY);
  return ink & deepEnough;
}

// Glyphs on a broad band of the pattern join it in the threshold's ink: too tall for glyphs,
// they are left out of the row's blobs, and at the row's start or end the row loses them (a
// line's first characters on a card's rosette). A glyph-sized piece of the glyphs' own ink on
// the row's line, within two cells of the row's end, carries the row on to it, and so on from
// there. `firstInk` and `lastInk` are the row's ends in `strip`; the centres of the pieces taken
// are added to `carried`.
void carryRowOn(const cv::Mat& strip, double capHeight, double pitch, int& firstInk, int& lastInk,
                std::vector<double>& carried) {
  cv::Mat labels, stats, centroids;
  const int count =
      cv::connectedComponentsWithStats(glyphInkOf(strip, capHeight, pitch), labels, stats, centroids, 8, CV_32S);
  struct Piece {
    double left, right;
    bool taken = false;
  };
  std::vector<Piece> pieces;
  const double half = strip.rows / 2.0;
  for (int i = 1; i < count; ++i) {
    const int h = stats.at<int>(i, cv::CC_STAT_HEIGHT), w = stats.at<int>(i, cv::CC_STAT_WIDTH);
    const int top = stats.at<int>(i, cv::CC_STAT_TOP), left = stats.at<int>(i, cv::CC_STAT_LEFT);
    if (!glyphSized(w, h, capHeight, pitch) || std::abs(top + h / 2.0 - half) > 0.3 * capHeight) {
      continue;
    }
    pieces.push_back({double(left), double(left + w), false});
  }
  const double reach = 2.2 * pitch;
  for (bool grew = true; grew;) {
    grew = false;
    for (Piece& piece : pieces) {
      const double centre = (piece.left + piece.right) / 2;
      if (piece.taken) continue;
      if (centre < firstInk && piece.right >= firstInk - reach) {
        firstInk = static_cast<int>(piece.left);
      } else if (centre > lastInk && piece.left <= lastInk + reach) {
        lastInk = static_cast<int>(piece.right) - 1;
      } else {
        continue;
      }
      // Each piece carries the row on once.
      piece.taken = true, grew = true;
      carried.push_back(centre);
    }
  }
}

// Whether a row may be a zone line cut short by a band of the card's pattern: ten glyphs or more
// over less than a passport line's width, ending where the threshold's ink on the row's line
// (through `origin` along `along`, from `uMin` to `uMax`) runs on: a blob too tall for a glyph
// crosses the line within two cells of an end, or ink fills a third of the line's band there (a
// band joined to the card's fine lines is left out of the blobs altogether). The width is told
// in the row's own pitch, the median step between its glyphs (ten of them at the least):
// print smaller than the typeface at its pitch (a printer's glyphs at nine tenths of the font's
// size) makes `expected`, the pitch its height gives, too small, and a passport line short of its
// first glyph would seem as wide as a whole one.
bool mayEndOnABand(const cv::Mat& binary, const std::vector<Blob>& blobs,
                   const std::vector<Blob>& allBlobs, double capHeight, double expected,
                   cv::Point2d origin, cv::Point2d along, double uMin, double uMax) {
  std::vector<double> centres;
  for (const auto& b : blobs) {
    if (glyphSized(b.width, b.height, capHeight, expected)) {
      centres.push_back((b.cx - origin.x) * along.x + (b.cy - origin.y) * along.y);
    }
  }
  if (centres.size() < 10) return false;
  std::sort(centres.begin(), centres.end());
  std::vector<double> steps;
  for (std::size_t i = 1; i < centres.size(); ++i) steps.push_back(centres[i] - centres[i - 1]);
  // Within the pitches the row's own is searched among.
  const double pitch = std::clamp(median(steps), 0.72 * expected, 1.2 * expected);
  if (uMax - uMin >= 43.5 * pitch) return false;
  const cv::Point2d across(-along.y, along.x);
  const double reach = 2.2 * pitch;
  for (const auto& b : allBlobs) {
    if (b.height <= 1.4 * capHeight) continue;
    const double u = (b.cx - origin.x) * along.x + (b.cy - origin.y) * along.y;
    const double v = (b.cx - origin.x) * across.x + (b.cy - origin.y) * across.y;
    if (std::abs(v) > b.height / 2.0) continue;
    const double left = u - b.width / 2.0, right = u + b.width / 2.0;
    if ((right >= uMin - reach && left <= uMin + pitch) ||
        (left <= uMax + reach && right >= uMax - pitch)) {
      return true;
    }
  }
  auto inkBeyond = [&](double from, double to) {
    std::size_t ink = 0, seen = 0;
    for (double u = from; u < to; u += 1) {
      for (double v = -0.4 * capHeight; v <= 0.4 * capHeight; v += 1) {
        const int x = static_cast<int>(std::lround(origin.x + u * along.x + v * across.x));
        const int y = static_cast<int>(std::lround(origin.y + u * along.y + v * across.y));
        if (x < 0 || y < 0 || x >= binary.cols || y >= binary.rows) continue;
        ++seen;
        ink += binary.at<unsigned char>(y, x) != 0;
      }
    }
    return seen > 0 && 3 * ink >= seen;
  };
  return inkBeyond(uMin - reach, uMin) || inkBeyond(uMax, uMax + reach);
}

constexpr std::size_t kPeriodSlots = 128;
constexpr std::size_t kCoarsePeriodStep = 3;
constexpr std::size_t kCoarseSlots = 44;  // every third of kPeriodSlots, rounded up to even
constexpr std::size_t kFineSlots = 8;     // two either side of two periods
static_assert((kPeriodSlots + kCoarsePeriodStep - 1) / kCoarsePeriodStep <= kCoarseSlots);
using PeriodArray = std::array<double, kPeriodSlots>;

// The strength of a row's column profile at each period tried: the magnitude of its Fourier
// component, summed in one pass over the columns with each period's phasor turning by its own
// step per column (multiplying is far cheaper than a sine each); the products are written out, as
// the phasors stay finite. `slots` (at most `kBatch` of them) pick the periods measured, whose
// magnitudes are written to `magnitudes`; each is the same sum whichever others are measured
// with it.
template <std::size_t kBatch>
void componentMagnitudes(const int* columns, int firstInk, int lastInk, const std::vector<std::size_t>& slots,
                         const PeriodArray& re0, const PeriodArray& im0, const PeriodArray& stepRe0,
                         const PeriodArray& stepIm0, PeriodArray& magnitudes) {
  if (slots.empty()) return;
  // The slots beyond those measured stay at zero, and are summed along with them.
  std::array<double, kBatch> re{}, im{}, stepRe{}, stepIm{}, sumRe{}, sumIm{};
  const std::size_t n = std::min(kBatch, slots.size());
  for (std::size_t k = 0; k < n; ++k) {
    re[k] = re0[slots[k]], im[k] = im0[slots[k]], stepRe[k] = stepRe0[slots[k]], stepIm[k] = stepIm0[slots[k]];
  }
  for (int x = firstInk; x <= lastInk; ++x) {
    if (const double ink = columns[x]; ink != 0) {
      for (std::size_t i = 0; i < kBatch; ++i) sumRe[i] += ink * re[i], sumIm[i] += ink * im[i];
    }
    for (std::size_t i = 0; i < kBatch; ++i) {
      const double turnedRe = re[i] * stepRe[i] - im[i] * stepIm[i];
      im[i] = re[i] * stepIm[i] + im[i] * stepRe[i];
      re[i] = turnedRe;
    }
  }
  for (std::size_t k = 0; k < n; ++k) magnitudes[slots[k]] = std::abs(std::complex<double>(sumRe[k], sumIm[k]));
}

std::optional<GlyphRow> cutRow(const cv::Mat& grey, const cv::Mat& binary,
                               const std::vector<Blob>& blobs, const std::vector<Blob>& allBlobs,
                               double skewDegrees, double pitchPerHeight, RowReach reach,
                               int fewestCells, double leastPitchFit, const GlyphSample& looksLikeGlyphs) {
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
  // The pitch the typeface gives a row of this height; the row's own is searched around it.
  const double expected = pitchPerHeight * capHeight;

  // The row's own line: one slope through the centres of all its glyphs, fitted separately
  // about the capitals' mean and the smaller glyphs' mean (fillers sit at their own height), so
  // a row of letters followed by a run of fillers still gets the slope of the whole row. Ink far
  // taller than a capital (the card's edge, a stroke of its pattern) is not a glyph: its middle
  // lies well off the line, and a few such blobs at one end would turn it.
  double slope = std::tan(skewDegrees * kDegree), intercept = 0;
  {
    double tallX = 0, tallY = 0, smallX = 0, smallY = 0;
    std::vector<const Blob*> small;
    for (const auto& b : blobs) {
      if (b.height < 0.75 * tallest && b.height >= 0.3 * capHeight) small.push_back(&b);
    }
    if (std::any_of(tall.begin(), tall.end(), [&](const Blob* b) { return b->height <= 1.4 * capHeight; })) {
      std::erase_if(tall, [&](const Blob* b) { return b->height > 1.4 * capHeight; });
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
  // Carried on, the strip reaches some eight cells beyond the row's blobs either way, where glyphs
  // the blobs missed may be found.
  const bool carry =
      reach == RowReach::pastBands ||
      (reach == RowReach::pastBandsAtEnds && mayEndOnABand(binary, blobs, allBlobs, capHeight,
                                                          expected, origin, along, uMin, uMax));
  const double pad = carry ? 8 * capHeight : capHeight;
  const int stripWidth = static_cast<int>(std::ceil(uMax - uMin + 2 * pad));
  // A row too short to hold `fewestCells` positions at half the typeface's pitch (far below any
  // pitch a row of it is read at) is not cut at all; one carried on may find glyphs anywhere
  // along its strip.
  const double rowLength = carry ? stripWidth : uMax - uMin;
  if (rowLength < 0.5 * expected * double(fewestCells - 1)) return std::nullopt;
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
  // The picture's strip is cut only for a row that gets as far as needing it: on a busy page,
  // about a third of the rows are turned down on the pitch of their ink alone.
  auto cutStrip = [&] {
    if (strip.empty()) {
      cv::warpAffine(grey, strip, cv::Mat(stripToPicture), stripSize,
                     cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
    }
  };
  cv::warpAffine(binary, stripInk, cv::Mat(stripToPicture), stripSize,
                 cv::INTER_NEAREST | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, cv::Scalar(0));

  const double bandHalf = 0.65 * capHeight;
  const int bandTop = std::max(0, static_cast<int>(std::floor(half - bandHalf)));
  const int bandBottom = std::min(stripHeight, static_cast<int>(std::ceil(half + bandHalf)));
  cv::Mat profile;
  cv::reduce(stripInk.rowRange(bandTop, bandBottom), profile, 0, cv::REDUCE_SUM, CV_32S);

  // Pitch: the period whose Fourier component of the column profile is strongest, near the
  // typeface's ratio times the height.
  double pitch = expected, bestMagnitude = -1, total = 0;
  const int* columns = profile.ptr<int>(0);
  // The row runs from the first blob's left edge to the last blob's right edge (in the strip,
  // where the blobs start one pad in); specks outside it are not characters. Carried on, it runs
  // on to the glyphs found beyond them.
  int firstInk = std::clamp(static_cast<int>(std::floor(pad)), 0, stripWidth - 1);
  int lastInk = std::clamp(static_cast<int>(std::ceil(pad + uMax - uMin)) - 1, 0, stripWidth - 1);
  std::vector<double> carriedCentres;
  if (carry) cutStrip(), carryRowOn(strip, capHeight, expected, firstInk, lastInk, carriedCentres);
  for (int x = firstInk; x <= lastInk; ++x) total += columns[x];
  if (total <= 0) return std::nullopt;
  // The periods tried, in steps of 0.4 % of 0.72-1.2 times the expected pitch, each as its phasor
  // at the row's first column and its turn per column.
  PeriodArray periods{}, re{}, im{}, stepRe{}, stepIm{};
  std::size_t count = 0;
  for (double p = 0.72 * expected; p <= 1.2 * expected && count < kPeriodSlots; p += 0.004 * expected) {
    const double w = 2 * std::numbers::pi / p;
    const std::complex<double> step = std::polar(1.0, -w), start = std::polar(1.0, -w * firstInk);
    periods[count] = p;
    re[count] = start.real(), im[count] = start.imag(), stepRe[count] = step.real(), stepIm[count] = step.imag();
    ++count;
  }
  // A row's component stands out over six steps of period or more either side of its peak (a
  // zone line holds at most 44 cells), so every third period is measured first, then the two
  // either side of each of the two strongest of those; the row's pitch is the strongest period
  // measured.
  PeriodArray magnitudes;
  magnitudes.fill(-1);
  std::vector<std::size_t> slots;
  for (std::size_t i = 0; i < count; i += kCoarsePeriodStep) slots.push_back(i);
  componentMagnitudes<kCoarseSlots>(columns, firstInk, lastInk, slots, re, im, stepRe, stepIm, magnitudes);
  std::array<std::size_t, 2> strongest{count, count};
  for (const std::size_t i : slots) {
    if (strongest[0] == count || magnitudes[i] > magnitudes[strongest[0]]) {
      strongest[1] = strongest[0], strongest[0] = i;
    } else if (strongest[1] == count || magnitudes[i] > magnitudes[strongest[1]]) {
      strongest[1] = i;
    }
  }
  slots.clear();
  for (const std::size_t around : strongest) {
    if (around == count) continue;
    for (std::size_t i = around > 2 ? around - 2 : 0; i <= around + 2 && i < count; ++i) {
      if (magnitudes[i] < 0 && std::find(slots.begin(), slots.end(), i) == slots.end()) slots.push_back(i);
    }
  }
  componentMagnitudes<kFineSlots>(columns, firstInk, lastInk, slots, re, im, stepRe, stepIm, magnitudes);
  for (std::size_t i = 0; i < count; ++i) {
    if (magnitudes[i] > bestMagnitude) bestMagnitude = magnitudes[i], pitch = periods[i];
  }

  // Phase from the centres of blobs that hold one glyph each, then the positions along the row
  // fitted to the cells they fall on.
  std::vector<double> centres;
  for (const auto& b : blobs) {
    // Glyphs of the zone stand at least half a capital high; lower specks (pieces of the
    // card's pattern) would only blur the positions.
    if (!glyphSized(b.width, b.height, capHeight, pitch)) continue;
    const cv::Point2d p = toPicture(0, 0);
    centres.push_back((b.cx - p.x) * along.x + (b.cy - p.y) * along.y);
  }
  centres.insert(centres.end(), carriedCentres.begin(), carriedCentres.end());
  if (centres.empty()) return std::nullopt;
  std::sort(centres.begin(), centres.end());
  std::complex<double> phaseSum = 0;
  for (double u : centres) phaseSum += std::polar(1.0, 2 * std::numbers::pi * u / pitch);
  const double phase = std::arg(phaseSum) / (2 * std::numbers::pi) * pitch;
  const CellPositions positions = fitCellPositions(centres, phase, pitch, firstInk, lastInk);
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
  if (fit < leastPitchFit) return std::nullopt;

  const double firstCell = positions.cellAt(firstInk), lastCell = positions.cellAt(lastInk);
  if (!std::isfinite(firstCell) || !std::isfinite(lastCell)) return std::nullopt;
  long first = std::lround(firstCell + 0.3);
  long last = std::lround(lastCell - 0.3);
  if (last < first || last - first + 1 > kMaxCellsPerRow) return std::nullopt;
  if (last - first + 1 < fewestCells) return std::nullopt;
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

  cutStrip();
  auto cutCell = [&](long k) {
    const double centre = positions.centre(double(k));
    const double localPitch = positions.pitchAt(double(k));
    // Perspective scales the glyphs with the pitch along the row.
    const double localCap = capHeight * localPitch / pitch;
    return glyphFeatures(strip, stripInk, centre, half, localPitch, localCap);
  };
  // A few cells spread along a long row are cut first, for the caller to tell whether the row
  // is worth cutting whole; they are kept for the row.
  std::vector<std::pair<long, cv::Mat>> sampled;
  if (looksLikeGlyphs && last - first + 1 >= 2 * kSampledCells) {
    std::vector<cv::Mat> cells;
    for (int i = 0; i < kSampledCells; ++i) {
      const long k = first + std::lround(double(i) * double(last - first) / (kSampledCells - 1));
      if (!sampled.empty() && sampled.back().first == k) continue;
      if (!hasInk(k)) continue;
      sampled.emplace_back(k, cutCell(k));
      cells.push_back(sampled.back().second);
    }
    if (!looksLikeGlyphs(cells)) return std::nullopt;
  }

  GlyphRow row;
  row.pitch = pitch;
  row.capHeight = capHeight;
  row.pitchFit = fit;
  const double cellHalf = 0.65 * capHeight;
  auto nextSampled = sampled.begin();
  for (long k = first; k <= last; ++k) {
    if (nextSampled != sampled.end() && nextSampled->first == k) {
      row.cells.push_back(std::move(nextSampled->second));
      ++nextSampled;
      continue;
    }
    if (!hasInk(k)) {
      row.cells.emplace_back();
      continue;
    }
    row.cells.push_back(cutCell(k));
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
}  // namespace glyphrows

std::vector<GlyphRow> findGlyphRows(const cv::Mat& grey, double pitchPerHeight, RowReach reach,
                                    int fewestCells, double leastPitchFit, const GlyphSample& looksLikeGlyphs) {
  if (grey.empty() || grey.type() != CV_8UC1 || grey.dims != 2 || grey.cols < glyphrows::kMinSide ||
      grey.rows < glyphrows::kMinSide || !(pitchPerHeight > 0.2 && pitchPerHeight < 5)) {
    return {};
  }
  cv::Mat binary;
  std::vector<glyphrows::Blob> blobs;
  double typicalHeight = 0;
  auto findInk = [&](int block) {
    binary = glyphrows::binarise(grey, block);
    blobs = glyphrows::findBlobs(binary);
    std::vector<double> heights;
    for (const auto& b : blobs) heights.push_back(b.height);
    typicalHeight = glyphrows::median(heights);
    return blobs.size() >= 3;
  };
  if (!findInk(glyphrows::binariseBlock(grey))) return {};
  // A block narrower than a few glyphs leaves the inside of thick strokes above its own mean:
  // large print comes out hollow, an N as a U or V. Print that large is thresholded again over
  // a block three glyphs high.
  if (glyphrows::binariseBlock(grey) < 2.5 * typicalHeight &&
      !findInk(std::min(glyphrows::oddBlock(3 * typicalHeight), 151))) {
    return {};
  }
  const double skew = glyphrows::estimateSkew(blobs, typicalHeight);

  std::vector<GlyphRow> rows;
  for (const auto& group : glyphrows::groupRows(blobs, skew, typicalHeight)) {
    if (auto row = glyphrows::cutRow(grey, binary, group, blobs, skew, pitchPerHeight, reach,
                                     fewestCells, leastPitchFit, looksLikeGlyphs)) {
      rows.push_back(std::move(*row));
    }
  }
  return rows;
}

}  // namespace ostrel::platform
