#pragma once

// Glyph templates and classifier of the OCR-B zone alphabet, generated at build time from the system's OCR-B
// font (tools/MakeOCRBGlyphs.cpp) and compiled into the library.

#include "platform/vision/GlyphRows.hpp"

namespace ostrel::platform {

inline constexpr int kOCRBGlyphCount = 37;

// The typeface's advance over its capital height.
extern const double kOCRBPitchPerHeight;
// "A"-"Z", "0"-"9" and "<", in the order of the templates.
extern const char kOCRBGlyphAlphabet[kOCRBGlyphCount + 1];
// One averaged cell per character, laid out as the pixels of the cells of `findGlyphRows`
// (zero mean, unit norm), so a dot product is the normalised correlation.
extern const float kOCRBGlyphTemplates[kOCRBGlyphCount][kGlyphCellPixels];
// Linear discriminant per character over a cell's features: a cell reads as the character
// whose weights . features + bias is largest...
extern const float kOCRBGlyphWeights[kOCRBGlyphCount][kGlyphFeatureCount];
extern const float kOCRBGlyphBias[kOCRBGlyphCount];

// ...unless the best two are a pair of look-alikes, which a linear support vector machine of
// their own, trained on those two characters alone, decides between: `first` when
// weights . features + bias > 0, else `second`.
struct OCRBGlyphPair {
  char first;
  char second;
  float bias;
  float weights[kGlyphFeatureCount];
};
extern const int kOCRBGlyphPairCount;
extern const OCRBGlyphPair kOCRBGlyphPairs[];

}  // namespace ostrel::platform
