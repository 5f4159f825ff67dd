#include "platform/vision/MRZLineRecognizer.hpp"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <limits>
#include <utility>
#include <vector>

#include <opencv2/core/hal/intrin.hpp>

#include "platform/vision/GlyphRows.hpp"
#include "platform/vision/OCRBGlyphTemplates.hpp"

namespace ostrel::platform {

namespace {

// A position that ends a line looks like its glyph at least this share as much as the row's
// typical position does, and at least kEndGlyphScoreFloor.
constexpr float kEndGlyphShareOfTypical = 0.6f;
constexpr float kEndGlyphScoreFloor = 0.35f;

// A card's zone lines are the shortest, at 30 characters.
constexpr int kShortestZoneLine = 30;

// A zone line's glyphs stand on one pitch: a clean line fits it at 0.99 or more, and no row under
// this in the camera and photo sets' frames was a line read right. The specks of a noisy frame,
// lined up into rows of a line's length, fit it hardly at all; on such a frame they are half its
// rows.
constexpr double kLeastZonePitchFit = 0.2;

// The least mean score, over the cells sampled along a row, of a row the fast level cuts whole.
// On the busiest passport pages of the evaluation sets, 99 in 100 rows that read most of a zone
// line sampled 0.44 or more (the lowest, a glared one, 0.21), and three in four of the pages'
// other rows of print and pattern 0.20 or less.
constexpr float kLeastSampledScore = 0.25f;

// A cell is read as a guess unless the network prefers its character to every other by this
// much; a character's twin (see `twins`) does not count against it.
constexpr float kSureLead = 0.5f;

struct Match {
  char character = ' ';
  float score = 0;
  float lead = 0;  // the network's score for `character` over the best other character's
  // The likeliest of the letters and the filler, and its score over the next of them: what the
  // cell reads as where a digit cannot stand.
  char letter = ' ';
  float letterLead = 0;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A digit and a letter that a zone's layout reads as each other both ways (the letter where only
// digits stand, the digit where only letters do): the frames and the check digits settle between
// them, so a glyph between the two is not a guess. Q, U and D also stand for 0 among digits, but
// a 0 among letters is an O, so a glyph between 0 and one of them is a guess.
bool twins(char a, char b) {
  if (a > b) std::swap(a, b);
  switch (a) {
    case '0': return b == 'O';
    case '1': return b == 'I';
    case '2': return b == 'Z';
    case '8': return b == 'B';
    default: return false;
  }
}

// The output layer's weights padded to a whole number of vector lanes, so that one pass adds a
// hidden unit's share to every character's score.
constexpr int kLanes = cv::v_float32x4::nlanes;
constexpr int kScoredGlyphs = (kOCRBGlyphCount + kLanes - 1) / kLanes * kLanes;
struct OutputLayer {
  float bias[kScoredGlyphs] = {};
  float weights[kOCRBGlyphHiddenUnits][kScoredGlyphs] = {};
};

const OutputLayer& outputLayer() {
  static const OutputLayer layer = [] {
    OutputLayer made;
    std::copy(std::begin(kOCRBGlyphOutputBias), std::end(kOCRBGlyphOutputBias), made.bias);
    for (int j = 0; j < kOCRBGlyphHiddenUnits; ++j) {
      std::copy(std::begin(kOCRBGlyphOutputWeights[j]), std::end(kOCRBGlyphOutputWeights[j]), made.weights[j]);
    }
    return made;
  }();
  return layer;
}

// Hidden units are summed kHiddenBlock at a time over the whole of a cell's features, so that
// their sums stay in registers; each unit's sum is still taken in the features' order, a
// product and then a sum, as the generator reads its cells.
constexpr int kHiddenVectors = 8;
constexpr int kHiddenBlock = kHiddenVectors * kLanes;
static_assert(kOCRBGlyphHiddenUnits % kHiddenBlock == 0);

// The character a cell reads as, by the glyph network, and how much the cell looks like it.
Match classify(const cv::Mat& cell) {
  const float* values = cell.ptr<float>(0);
  alignas(16) float hidden[kOCRBGlyphHiddenUnits];
  for (int first = 0; first < kOCRBGlyphHiddenUnits; first += kHiddenBlock) {
    cv::v_float32x4 sums[kHiddenVectors];
    for (int k = 0; k < kHiddenVectors; ++k) sums[k] = cv::v_load(kOCRBGlyphHiddenBias + first + k * kLanes);
    for (int p = 0; p < kGlyphFeatureCount; ++p) {
      const cv::v_float32x4 value = cv::v_setall_f32(values[p]);
      const float* weights = kOCRBGlyphHiddenWeights[p] + first;
#pragma GCC unroll 8
      for (int k = 0; k < kHiddenVectors; ++k) sums[k] = sums[k] + value * cv::v_load(weights + k * kLanes);
    }
    for (int k = 0; k < kHiddenVectors; ++k) cv::v_store_aligned(hidden + first + k * kLanes, sums[k]);
  }
  const OutputLayer& output = outputLayer();
  constexpr int kScoreVectors = kScoredGlyphs / kLanes;
  cv::v_float32x4 sums[kScoreVectors];
  for (int k = 0; k < kScoreVectors; ++k) sums[k] = cv::v_load(output.bias + k * kLanes);
  for (int j = 0; j < kOCRBGlyphHiddenUnits; ++j) {
    if (hidden[j] <= 0.f) continue;
    const cv::v_float32x4 unit = cv::v_setall_f32(hidden[j]);
#pragma GCC unroll 16
    for (int k = 0; k < kScoreVectors; ++k) sums[k] = sums[k] + unit * cv::v_load(output.weights[j] + k * kLanes);
  }
  alignas(16) float scores[kScoredGlyphs];
  for (int k = 0; k < kScoreVectors; ++k) cv::v_store_aligned(scores + k * kLanes, sums[k]);
  const int best = static_cast<int>(std::max_element(scores, scores + kOCRBGlyphCount) - scores);
  float other = -std::numeric_limits<float>::infinity();
  for (int k = 0; k < kOCRBGlyphCount; ++k) {
    if (k != best && !twins(kOCRBGlyphAlphabet[k], kOCRBGlyphAlphabet[best])) other = std::max(other, scores[k]);
  }
  int bestLetter = 0;
  for (int k = 1; k < kOCRBGlyphCount; ++k) {
    if (!isDigit(kOCRBGlyphAlphabet[k]) && scores[k] > scores[bestLetter]) bestLetter = k;
  }
  float otherLetter = -std::numeric_limits<float>::infinity();
  for (int k = 0; k < kOCRBGlyphCount; ++k) {
    if (k != bestLetter && !isDigit(kOCRBGlyphAlphabet[k])) otherLetter = std::max(otherLetter, scores[k]);
  }
  const float* glyph = kOCRBGlyphTemplates[best];
  float correlation = 0;
  for (int p = 0; p < kGlyphCellPixels; ++p) correlation += values[p] * glyph[p];
  return {kOCRBGlyphAlphabet[best], correlation, scores[best] - other, kOCRBGlyphAlphabet[bestLetter],
          scores[bestLetter] - otherLetter};
}

}  // namespace

std::vector<RecognizedTextLine> MRZLineRecognizer::recognize(
    const cv::Mat& grey, const TextRecognitionOptions& options) {
  std::vector<RecognizedTextLine> lines;
  if (grey.empty() || grey.type() != CV_8UC1) return lines;
  const double width = grey.cols, height = grey.rows;
  // At the fast level, a row whose sampled glyphs look like the zone's glyphs as little as the
  // card's pattern does is not cut whole.
  const GlyphSample looksLikeZoneGlyphs = [](const std::vector<cv::Mat>& cells) {
    float sum = 0;
    int glyphs = 0;
    for (const cv::Mat& cell : cells) {
      if (cell.empty()) continue;
      sum += std::max(0.f, classify(cell).score);
      ++glyphs;
    }
    return glyphs == 0 || sum >= kLeastSampledScore * float(glyphs);
  };
  for (const GlyphRow& row : findGlyphRows(grey, kOCRBPitchPerHeight, RowReach::pastBandsAtEnds,
                                              options.fast ? kShortestZoneLine : 1,
                                              options.fast ? kLeastZonePitchFit : 0,
                                              options.fast ? looksLikeZoneGlyphs : GlyphSample{})) {
    std::vector<Match> matches;
    matches.reserve(row.cells.size());
    for (const cv::Mat& cell : row.cells) matches.push_back(cell.empty() ? Match{} : classify(cell));
    // A row's ink can run on past its print, over the card's pattern or its edge and what lies
    // beyond: positions at either end that look far less like a glyph than the row's own do are
    // not part of the line (blurred or faint print looks less like any glyph throughout).
    std::vector<float> scores;
    for (std::size_t i = 0; i < matches.size(); ++i) {
      if (!row.cells[i].empty()) scores.push_back(matches[i].score);
    }
    std::nth_element(scores.begin(), scores.begin() + static_cast<std::ptrdiff_t>(scores.size() / 2), scores.end());
    const float typical = scores.empty() ? 0.f : scores[scores.size() / 2];
    const float least = std::max(kEndGlyphScoreFloor, kEndGlyphShareOfTypical * typical);
    auto stray = [least](const Match& match) { return match.score < least; };
    std::size_t first = 0, last = matches.size();
    while (first < last && stray(matches[first])) ++first;
    while (last > first && stray(matches[last - 1])) --last;
    if (first == last) continue;
    RecognizedTextLine line;
    line.string.reserve(last - first);
    line.unsure.reserve(last - first);
    line.letters.reserve(last - first);
    line.unsureLetters.reserve(last - first);
    double scoreSum = 0;
    for (std::size_t i = first; i < last; ++i) {
      // A glyph between two characters is read as the likelier, marked as a guess: the same
      // print gives the same guess in every frame, so agreeing frames do not make it right.
      line.unsure.push_back(!row.cells[i].empty() && matches[i].lead < kSureLead);
      line.unsureLetters.push_back(!row.cells[i].empty() && matches[i].letterLead < kSureLead);
      if (row.cells[i].empty()) {
        line.string += ' ';
        line.letters += ' ';
        continue;
      }
      line.string += matches[i].character;
      line.letters += matches[i].letter;
      scoreSum += std::max(0.f, matches[i].score);
    }
    const double meanScore = scoreSum / double(last - first);
    line.confidence = static_cast<float>(std::clamp(meanScore * row.pitchFit, 0.0, 1.0));
    // The box shrinks with the positions left out, along the row.
    const double cells = double(row.cells.size());
    const cv::Rect2f box(row.box.x + row.box.width * float(first / cells), row.box.y,
                         row.box.width * float((last - first) / cells), row.box.height);
    line.boundingBox = Rect(box.x / width, 1.0 - (box.y + box.height) / height, box.width / width,
                            box.height / height);
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace ostrel::platform
