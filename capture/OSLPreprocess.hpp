#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/media/Geometry.hpp"
#include "platform/media/Image.hpp"

namespace ostrel {

// A detected card straightened and letterboxed for the glare model. The zero value (no
// pictures, every number 0) stands for a card not yet prepared.
struct OSLPreprocess {
  // The W x H letterbox at scale 1: grey 114 around the corrected card, scaled to fit, upright,
  // its left edge `dx` from the left and its bottom edge `dy` above the bottom.
  platform::ImagePtr image;
  // The corrected card at its own size.
  platform::ImagePtr imageCropFit;
  int ih = 0;
  int iw = 0;
  int dx = 0;
  int dy = 0;
  double scale = 0;

  bool isZero() const { return !image && !imageCropFit && ih == 0 && iw == 0; }
};

// Rows of cells; 0 outside, 255 inside.
using CellMask = std::vector<std::vector<std::uint8_t>>;
// Columns x1 ..< x2 and rows y1 ..< y2, whole numbers held as floating point.
using Box = std::array<double, 4>;

// The card whose four corners (pixels of `picture` as seen, origin top-left, any order) are
// given, straightened and letterboxed into `width` x `height`. The corners are told apart by
// x + y (top-left smallest, bottom-right largest) and y - x (bottom-left largest; top-right is
// the one left). The zero value when there are not four finite corners, the picks are not
// distinct, the picture has no bitmap, or the correction yields no picture.
OSLPreprocess correctPerspective(const platform::ImagePtr& picture,
                                 const std::vector<platform::Point>& points, double width,
                                 double height);

// (Int(minX sx), Int(minY sy), Int(maxX sx), Int(maxY sy)), truncated toward zero, y as it
// comes (no flip). Nothing for a rectangle that is not finite; huge values are clamped first.
std::optional<Box> scaleBox(const platform::Rect& rect, double sx, double sy);
// An h x w mask with every box lit; box ends are clamped to [0, w - 1] x [0, h - 1], so the last
// column and row are never lit. Boxes that end before they start light nothing.
CellMask maskFromBoxes(const std::vector<Box>& boxes, double width, double height);
// Nearest neighbour: cell (r, c) = source[Int(r R / h)][Int(c C / w)], C the first row's length.
// An empty source gives an all-zero mask.
CellMask resizeMask(const CellMask& mask, int width, int height);
// The letterboxed card's cells (rows dy ..< dy + Int(ih scale), columns dx ..< dx + Int(iw
// scale), what lies inside the mask) resized to 320 columns by 224 rows; all zero when nothing
// is left (the zero `preprocess` included).
CellMask unletterboxMask(const CellMask& mask, const OSLPreprocess& preprocess);
// Only the cells inside the fixed regions of the side ("id_front" or "id_back") are kept.
CellMask maskSideRegions(const CellMask& mask, bool isFrontId);

}  // namespace ostrel
