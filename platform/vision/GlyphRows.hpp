#pragma once

// Rows of a fixed-pitch typeface (the zone font of travel documents) found in a grey picture
// and cut into one cell per character position. The same cutting makes the glyph templates at
// build time and reads the camera at run time, so a template always looks like the cells it is
// compared with.

#include <functional>
#include <vector>

#include <opencv2/core.hpp>

namespace ostrel::platform {

// Size every cell is scaled to before it is compared with the glyph templates.
inline constexpr int kGlyphCellWidth = 16;
inline constexpr int kGlyphCellHeight = 20;
inline constexpr int kGlyphCellPixels = kGlyphCellWidth * kGlyphCellHeight;
// After the cell's pixels: the glyph's width over its height, its height over the row's
// capital height, its offset up or down from its neighbours' (in capital heights), and the spread of its
// ink across over the spread up and down.
inline constexpr int kGlyphShapeFeatures = 4;
inline constexpr int kGlyphFeatureCount = kGlyphCellPixels + kGlyphShapeFeatures;

struct GlyphRow {
  // One entry per character position, left to right: a CV_32F row of kGlyphFeatureCount
  // features. The first kGlyphCellPixels are the glyph's cell (kGlyphCellHeight rows of
  // kGlyphCellWidth, row by row), cut around the glyph's own ink and scaled by its own height,
  // ink positive, zero mean and unit norm; the shape features follow. A position without ink
  // (a gap between words) is an empty matrix.
  std::vector<cv::Mat> cells;
  // The row's band in the picture (pixels, origin top-left), clamped to the picture.
  cv::Rect2f box;
  // 0-1: how well the row's glyphs sit on one pitch. Proportional text scores near 0.
  double pitchFit = 0;
  // Pitch (at the row's middle) and capital height found for the row, in pixels.
  double pitch = 0;
  double capHeight = 0;
};

// How far a row reaches.
enum class RowReach {
  // Over the glyph-high blobs of the thresholded ink.
  blobs,
  // On past them over glyphs the threshold joined to a broad band of a card's pattern (left out
  // of the blobs as too tall), found in the glyphs' own ink told against the paper close around
  // them. The build-time labelling of training pictures reaches this far, so that the templates
  // learn glyphs on such bands from the lines whose ends lie on them; cells are cut alike either
  // way. It costs a closing, a dilation and a labelling of every row's strip, made some sixteen
  // capitals longer.
  pastBands,
  // As far as `pastBands` for a row that may be a zone line cut short by such a band (ten glyphs
  // or more, narrower than a passport's line, ending where the threshold's ink runs on across its
  // line), else as far as `blobs`: a camera frame's rows. Rows that end on other print are carried
  // on too, so a busy page's frames take up to about a tenth longer.
  pastBandsAtEnds,
};

// `pitchPerHeight` is the typeface's advance divided by its capital height; the pitch of each
// row is searched around that ratio times the row's measured height. Text is expected dark on
// a lighter background that may be lit unevenly and turned by up to about 5 degrees; under
// perspective (a card tilted out of the picture) the pitch may change along a row. Never
// throws for any 8-bit single-channel input; other inputs give no rows. Rows of fewer than
// `fewestCells` positions are left out; one too short to hold them at half the typeface's pitch
// is not cut at all. Rows whose glyphs fit one pitch worse than `leastPitchFit` (see
// `GlyphRow::pitchFit`) are left out before their cells are cut. Where `looksLikeGlyphs` is
// given, a few of a long row's cells with ink, spread along it, are cut first and handed to it
// (as `GlyphRow::cells` holds them, before their heights are told against their neighbours'):
// a row it refuses is left out before the rest of its cells are cut.
using GlyphSample = std::function<bool(const std::vector<cv::Mat>& cells)>;
std::vector<GlyphRow> findGlyphRows(const cv::Mat& grey, double pitchPerHeight,
                                    RowReach reach = RowReach::pastBandsAtEnds,
                                    int fewestCells = 1, double leastPitchFit = 0,
                                    const GlyphSample& looksLikeGlyphs = {});

}  // namespace ostrel::platform
