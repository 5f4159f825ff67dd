#pragma once

// Zone lines printed the way other printers and other rasterisers print them, for measuring the
// zone reader on print it was not made from: Cairo draws the glyph outlines of either OCR-B cut
// (regular or "Sharp") supersampled, at a glyph size that need not fill the pitch, with strokes
// thinned or thickened, then the picture is photographed: tilted out of the plane (so the pitch
// changes along a line), turned, blurred, noised and JPEG-compressed. Fixed seeds throughout.

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace ostrel::testing {

struct MRZLinePrintStyle {
  bool sharpCut = false;      // OCR-B "Sharp" instead of the regular cut
  double capHeight = 24;      // capital height in the picture, pixels (at the lines' centre)
  double glyphScale = 1.0;    // glyph size over the font's own at the pitch (the pitch is kept)
  double weight = 0;          // stroke change per side, in capital heights (+ bolder, - thinner)
  double tiltDegrees = 0;     // turn of the card about its vertical axis, out of the picture
  double pitchDegrees = 0;    // turn about its horizontal axis
  double turnDegrees = 0;     // turn in the picture's plane
  double subPixelX = 0;       // placement of the lines, in pixels
  double subPixelY = 0;
  double blurSigma = 0;
  double noiseSigma = 0;
  int jpegQuality = 0;        // 0: no JPEG round trip
  std::uint32_t seed = 1;
};

// A grey picture holding `lines` (zone alphabet) one under the other on a pale, faintly
// patterned card, with a margin of about two capital heights around them. Throws
// std::runtime_error when the OCR-B font cannot be loaded.
cv::Mat printMRZLines(const std::vector<std::string>& lines, const MRZLinePrintStyle& style);

// Random zone-alphabet lines of `length` characters, rich in look-alikes (O/0, D/0, I/1, B/8,
// S/5, Z/2, G/6, X/D) when `lookAlikes` is set, with runs of fillers as zones have.
std::vector<std::string> randomZoneLines(int count, int length, bool lookAlikes, std::uint32_t seed);

}  // namespace ostrel::testing
