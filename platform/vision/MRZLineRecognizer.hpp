#pragma once

// The library's own reader of machine-readable zone lines. Zones are printed in OCR-B at a
// fixed pitch with a 37-character alphabet ("A"-"Z", "0"-"9", "<"), which makes a small glyph
// matcher both faster and more accurate on them than a general text recogniser.
//
// Each row of fixed-pitch text becomes one line: every character position is matched against
// the font's templates and gives the best character; a position without ink gives a space. It
// makes no repairs that depend on the zone's layout: the line finder's patterns and the
// parser's correction do that. A row whose glyphs do not sit on one pitch (other text printed
// on the card) comes back with a low confidence, as read. At the fast level only rows of a zone
// line's length or longer are read: a camera frame's shorter print is never part of a zone, and
// on a busy page it makes up about a third of the cells to read. Nor are rows whose marks
// hardly sit on one pitch at all (a noisy frame's specks lined up), which on such a frame are
// half the rows left.

#include "platform/vision/TextRecognizerBackend.hpp"

namespace ostrel::platform {

class MRZLineRecognizer : public TextRecognizerBackend {
 public:
  std::vector<RecognizedTextLine> recognize(const cv::Mat& grey,
                                            const TextRecognitionOptions& options) override;
};

}  // namespace ostrel::platform
