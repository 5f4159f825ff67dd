#pragma once

// Rows of a fixed-pitch typeface (the zone font of travel documents) found in a grey picture
// and cut into one cell per character position. The same cutting makes the glyph templates at
// build time and reads the camera at run time, so a template always looks like the cells it is
// compared with.

#include <vector>

#include <opencv2/core.hpp>

namespace ostrel::platform {

// Size every cell is scaled to before it is compared with the glyph templates.
inline constexpr int kGlyphCellWidth = 16;
inline constexpr int kGlyphCellHeight = 20;
inline constexpr int kGlyphCellPixels = kGlyphCellWidth * kGlyphCellHeight;

struct GlyphRow {
  // One entry per character position, left to right. A cell is CV_32F, kGlyphCellHeight rows
  // by kGlyphCellWidth columns, ink positive, zero mean and unit norm; a position without ink
  // (a gap between words) is an empty matrix.
  std::vector<cv::Mat> cells;
  // The row's band in the picture (pixels, origin top-left), clamped to the picture.
  cv::Rect2f box;
  // 0-1: how well the row's glyphs sit on one pitch. Proportional text scores near 0.
  double pitchFit = 0;
  // Pitch and capital height found for the row, in pixels.
  double pitch = 0;
  double capHeight = 0;
};

// `pitchPerHeight` is the typeface's advance divided by its capital height; the pitch of each
// row is searched around that ratio times the row's measured height. Text is expected dark on
// a lighter background that may be lit unevenly and turned by up to about 5 degrees. Never
// throws for any 8-bit single-channel input; other inputs give no rows.
std::vector<GlyphRow> findGlyphRows(const cv::Mat& grey, double pitchPerHeight);

}  // namespace ostrel::platform
