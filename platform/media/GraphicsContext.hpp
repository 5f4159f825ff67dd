#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/media/Color.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/media/Image.hpp"

namespace ostrel::platform {

enum class BlendMode { normal, sourceIn, copy };

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
  void setFillColor(Color color) { state_.fill = color; }
  void fill(const Rect& rect);

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
  };
  void drawMapped(const cv::Mat& rgba, const Rect& rect, bool firstRowAtMinY);
  void blendPixel(cv::Vec4b& dst, const cv::Vec4d& src);

  cv::Mat pixels_;
  double scale_;
  State state_;
  std::vector<State> saved_;
};

// The platform's image-context stack (begin, current, image, end).
void beginImageContext(Size size, bool opaque, double scale);
// Nothing when no image context is open or the open one could not be made (empty size).
std::shared_ptr<GraphicsContext> currentImageContext();
// The current image context's pixels as a picture at the context's scale, orientation up.
ImagePtr imageFromCurrentImageContext();
void endImageContext();

}  // namespace ostrel::platform
