#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/media/Color.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/media/Image.hpp"
#include "platform/media/Path.hpp"

namespace ostrel::platform {

// Raw values as the platform numbers them (normal 0, clear 16).
enum class BlendMode { normal = 0, sourceIn = 18, copy = 17, clear = 16 };

// How overlapping shapes of one path decide what is inside: non-zero winding (the default; the
// shapes of a path are all wound the same way, so inside any of them is inside) or even-odd.
enum class PathFillRule { winding, evenOdd };

// One drawing call as the context recorded it, beside the pixels it produced.
struct GraphicsOperation {
  enum class Kind { fillRect, fillPath, strokePath, drawBitmap, drawImage };
  Kind kind = Kind::fillRect;
  // The rectangle drawn into (for paths, the bounds of the path's first shape).
  Rect rect;
  // The first shape's corner radius (rounded rectangles), or its radius (arcs).
  double radius = 0;
  std::optional<PathElement::Kind> shape;
  Color color;
  double lineWidth = 0;
  LineCap lineCap = LineCap::butt;
  // The whole path, for path operations.
  Path path;
  BlendMode blendMode = BlendMode::normal;
  // What was drawn, for bitmap and image drawing.
  ImagePtr image;
};

// A raster target with the platform's drawing rules. Device space has its origin at the
// bottom left with y growing upwards, in pixels; the current transformation matrix (CTM) maps
// user space into it. A plain bitmap context starts with the identity, so user space is y-up.
// An image context starts flipped and scaled, so user space is the interface's top-left
// points. That difference gives the platform's two drawing behaviours: `draw(bitmap, rect)`
// puts the bitmap's first row at the rectangle's maximum y, so in an image context it lands
// mirrored top to bottom, while `drawImage` (a picture drawing itself) lands upright there.
class GraphicsContext {
 public:
  // A bitmap context of width x height pixels. Nothing when the size is not positive, the
  // components are not 8 bits or there is no colour space.
  static std::shared_ptr<GraphicsContext> makeBitmap(int width, int height, int bitsPerComponent,
                                                     ColorSpace colorSpace);

  GraphicsContext(int width, int height, double scale, AffineTransform baseTransform);

  int width() const { return pixels_.cols; }
  int height() const { return pixels_.rows; }
  double scale() const { return scale_; }

  const AffineTransform& ctm() const { return state_.ctm; }
  void concatenate(const AffineTransform& transform);
  void translateBy(double x, double y);
  void scaleBy(double sx, double sy);
  void rotate(double radians);
  void saveGState();
  void restoreGState();

  void setBlendMode(BlendMode mode) { state_.blend = mode; }
  BlendMode blendMode() const { return state_.blend; }
  void setFillColor(Color color) { state_.fill = color; }
  void setStrokeColor(Color color) { state_.stroke = color; }
  void setLineWidth(double width) { state_.lineWidth = width; }
  void setLineCap(LineCap cap) { state_.lineCap = cap; }
  void fill(const Rect& rect);
  // Fills the shapes of `path` in the fill colour; each pixel whose centre lies inside counts.
  void fillPath(const Path& path, PathFillRule rule = PathFillRule::winding);
  // Strokes the outline of every shape of `path`: pixels whose centre lies within half the line
  // width of the outline. Open subpaths are stroked along their lines and (flattened) curves,
  // their ends cut square (butt), rounded or extended by half the width as the line cap says.
  // Filling ignores open subpaths.
  void strokePath(const Path& path);

  // Every drawing call so far, in order.
  const std::vector<GraphicsOperation>& operations() const { return operations_; }

  // The platform context's own image drawing: the bitmap's first row at `rect`'s maximum y.
  void draw(const cv::Mat& rgba, const Rect& rect);
  // A picture drawing itself: shown as its orientation says, first row at `rect`'s minimum y.
  void drawImage(const Image& image, const Rect& rect);

  // The pixels drawn so far, first row at the top; nothing for an empty context.
  cv::Mat makeImage() const;

 private:
  struct State {
    AffineTransform ctm;
    BlendMode blend = BlendMode::normal;
    Color fill = Color::black();
    Color stroke = Color::black();
    double lineWidth = 1;
    LineCap lineCap = LineCap::butt;
  };
  struct PixelRange {
    int firstRow = 0, endRow = 0, firstCol = 0, endCol = 0;
  };
  // The device pixels that user-space `rect` can touch, clipped to the context.
  PixelRange deviceRange(const Rect& rect) const;
  // Calls `paint(user point)` for every pixel of the range, blending what it answers.
  template <typename Paint>
  void paintRange(const PixelRange& range, Paint&& paint);
  void drawMapped(const cv::Mat& rgba, const Rect& rect, bool firstRowAtMinY);
  void blendPixel(cv::Vec4b& dst, const cv::Vec4d& src);
  void record(GraphicsOperation operation);
  // Fills `rect` block-wise when the transform does not rotate and the blend allows it; false
  // when the pixels must be blended one by one.
  bool fillAxisAligned(const Rect& rect);

  cv::Mat pixels_;
  double scale_;
  State state_;
  std::vector<State> saved_;
  std::vector<GraphicsOperation> operations_;
};

// The platform's image-context stack (begin, current, image, end).
void beginImageContext(Size size, bool opaque, double scale);
// Nothing when no image context is open or the open one could not be made (empty size).
std::shared_ptr<GraphicsContext> currentImageContext();
// The current image context's pixels as a picture at the context's scale, orientation up.
ImagePtr imageFromCurrentImageContext();
void endImageContext();

}  // namespace ostrel::platform
