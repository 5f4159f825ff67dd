#include "platform/vision/MRZLineRecognizer.hpp"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <vector>

#include "platform/vision/GlyphRows.hpp"
#include "platform/vision/OCRBGlyphTemplates.hpp"

namespace ostrel::platform {

namespace {

// A position that ends a line looks like its glyph at least this share as much as the row's
// typical position does, and at least kEndGlyphScoreFloor.
constexpr float kEndGlyphShareOfTypical = 0.6f;
constexpr float kEndGlyphScoreFloor = 0.35f;

struct Match {
  char character = ' ';
  float score = 0;
};

// The glyphs' weights feature by feature, so that one pass over a cell's features scores every
// glyph at once (each glyph's sum still taken in the features' order).
constexpr int kScoredGlyphs = (kOCRBGlyphCount + 7) / 8 * 8;
struct GlyphScoring {
  float bias[kScoredGlyphs] = {};
  float weights[kGlyphFeatureCount][kScoredGlyphs] = {};
};

const GlyphScoring& glyphScoring() {
  static const GlyphScoring scoring = [] {
    GlyphScoring made;
    for (int g = 0; g < kOCRBGlyphCount; ++g) {
      made.bias[g] = kOCRBGlyphBias[g];
      for (int p = 0; p < kGlyphFeatureCount; ++p) made.weights[p][g] = kOCRBGlyphWeights[g][p];
    }
    return made;
  }();
  return scoring;
}

Match classify(const cv::Mat& cell) {
  const float* values = cell.ptr<float>(0);
  const GlyphScoring& scoring = glyphScoring();
  float scores[kScoredGlyphs];
  std::copy(std::begin(scoring.bias), std::end(scoring.bias), scores);
  for (int p = 0; p < kGlyphFeatureCount; ++p) {
    const float value = values[p];
    const float* weights = scoring.weights[p];
    for (int g = 0; g < kScoredGlyphs; ++g) scores[g] += value * weights[g];
  }
  int best = 0, second = 0;
  float bestScore = -1e30f, secondScore = -1e30f;
  for (int g = 0; g < kOCRBGlyphCount; ++g) {
    const float score = scores[g];
    if (score > bestScore) {
      second = best, secondScore = bestScore;
      best = g, bestScore = score;
    } else if (score > secondScore) {
      second = g, secondScore = score;
    }
  }
  char character = kOCRBGlyphAlphabet[best];
  const char other = kOCRBGlyphAlphabet[second];
  for (int i = 0; i < kOCRBGlyphPairCount; ++i) {
    const OCRBGlyphPair& pair = kOCRBGlyphPairs[i];
    if (!((pair.first == character && pair.second == other) || (pair.first == other && pair.second == character))) {
      continue;
    }
    float decision = pair.bias;
    for (int p = 0; p < kGlyphFeatureCount; ++p) decision += values[p] * pair.weights[p];
    character = decision > 0 ? pair.first : pair.second;
    if (character != kOCRBGlyphAlphabet[best]) best = second;
    break;
  }
  // How much the cell looks like the character chosen.
  const float* glyph = kOCRBGlyphTemplates[best];
  float correlation = 0;
  for (int p = 0; p < kGlyphCellPixels; ++p) correlation += values[p] * glyph[p];
  return {character, correlation};
}

}  // namespace

std::vector<RecognizedTextLine> MRZLineRecognizer::recognize(const cv::Mat& grey,
                                                             const TextRecognitionOptions&) {
  std::vector<RecognizedTextLine> lines;
  if (grey.empty() || grey.type() != CV_8UC1) return lines;
  const double width = grey.cols, height = grey.rows;
  for (const GlyphRow& row : findGlyphRows(grey, kOCRBPitchPerHeight)) {
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
    double scoreSum = 0;
    for (std::size_t i = first; i < last; ++i) {
      if (row.cells[i].empty()) {
        line.string += ' ';
        continue;
      }
      line.string += matches[i].character;
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
