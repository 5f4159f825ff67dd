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
// A network that reads a cell from its features: kOCRBGlyphHiddenUnits rectified units
// (max(0, features . hidden weights + hidden bias)), then one score per character (hidden
// units . output weights + output bias); the cell reads as the character of the largest score.
inline constexpr int kOCRBGlyphHiddenUnits = 96;
extern const float kOCRBGlyphHiddenWeights[kGlyphFeatureCount][kOCRBGlyphHiddenUnits];
extern const float kOCRBGlyphHiddenBias[kOCRBGlyphHiddenUnits];
extern const float kOCRBGlyphOutputWeights[kOCRBGlyphHiddenUnits][kOCRBGlyphCount];
extern const float kOCRBGlyphOutputBias[kOCRBGlyphCount];

}  // namespace ostrel::platform
