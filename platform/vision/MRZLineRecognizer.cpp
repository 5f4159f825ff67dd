#include "platform/vision/MRZLineRecognizer.hpp"

#include <algorithm>

#include "platform/vision/GlyphRows.hpp"
#include "platform/vision/OCRBGlyphTemplates.hpp"

namespace ostrel::platform {

namespace {

struct Match {
  char character = ' ';
  float score = 0;
};

Match classify(const cv::Mat& cell) {
  const float* values = cell.ptr<float>(0);
  int best = 0, second = 0;
  float bestScore = -1e30f, secondScore = -1e30f;
  for (int g = 0; g < kOCRBGlyphCount; ++g) {
    const float* weights = kOCRBGlyphWeights[g];
    float score = kOCRBGlyphBias[g];
    for (int p = 0; p < kGlyphFeatureCount; ++p) score += values[p] * weights[p];
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
    RecognizedTextLine line;
    line.string.reserve(row.cells.size());
    double scoreSum = 0;
    for (const cv::Mat& cell : row.cells) {
      if (cell.empty()) {
        line.string += ' ';
        continue;
      }
      const Match match = classify(cell);
      line.string += match.character;
      scoreSum += std::max(0.f, match.score);
    }
    const double meanScore = row.cells.empty() ? 0 : scoreSum / double(row.cells.size());
    line.confidence = static_cast<float>(std::clamp(meanScore * row.pitchFit, 0.0, 1.0));
    line.boundingBox = Rect(row.box.x / width, 1.0 - (row.box.y + row.box.height) / height,
                            row.box.width / width, row.box.height / height);
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace ostrel::platform
