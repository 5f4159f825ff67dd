#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <unordered_map>

#include <opencv2/core.hpp>

#include "platform/media/Image.hpp"
#include "platform/ui/View.hpp"

using cairo_t = struct _cairo;
using cairo_surface_t = struct _cairo_surface;
using PangoContext = struct _PangoContext;

namespace ostrel::platform {

class TextField;
class Window;

// Draws view trees with Cairo (shapes, pictures) and Pango (text). It only reads the tree:
// drawing the same tree twice gives the same pixels. Animations show at their presentation
// value on the runtime clock. Keeps the pictures it has converted, so one renderer kept across
// frames draws faster than a new one per frame. Not thread safe; use it on the main queue.
class ViewRenderer {
 public:
  ViewRenderer();
  ~ViewRenderer();
  ViewRenderer(const ViewRenderer&) = delete;
  ViewRenderer& operator=(const ViewRenderer&) = delete;

  // Draws `view` and everything inside it, the top left of its bounds at the user-space origin
  // of `cr` (in points).
  void draw(cairo_t* cr, const View& view);
  // A picture of `view`'s bounds at `scale` pixels per point; nothing for an empty view.
  ImagePtr snapshot(const View& view, double scale = 2);
  // Draws what a screen shows into `bgra` (Cairo's premultiplied 32-bit pixels, CV_8UC4 in
  // the machine's byte order): `key` and the visible windows of its scene at its level or
  // above, fitted inside (`fitInside`) on black.
  void drawScreen(cv::Mat& bgra, const Window& key);

  // Where the caret of `field` is drawn while it edits, in the field's coordinates.
  Rect caretRect(const TextField& field);

 private:
  // Values an unfinished animation shows now instead of the model's.
  struct Presentation {
    std::optional<double> alpha;
    std::optional<Point> center;
    std::optional<Rect> bounds;
    std::optional<AffineTransform> transform;
    std::optional<std::optional<Color>> backgroundColor;
  };
  struct CachedPicture {
    std::weak_ptr<const Image> owner;
    cairo_surface_t* surface = nullptr;
  };
  void drawView(cairo_t* cr, const View& view, bool root);
  void drawContents(cairo_t* cr, const View& view, Rect box);
  void drawLayerContents(cairo_t* cr, const class Layer& layer, Rect box);
  void drawLayerTree(cairo_t* cr, const class Layer& layer);
  void drawPicture(cairo_t* cr, const ImagePtr& image, Rect rect);
  void drawTextField(cairo_t* cr, const TextField& field, Rect box);
  cairo_surface_t* surfaceFor(const ImagePtr& image);
  void collectPresentation();

  PangoContext* text_ = nullptr;
  std::unordered_map<const Image*, CachedPicture> pictures_;
  std::unordered_map<const View*, Presentation> presentation_;
};

// How content of `content` points sits in `target` pixels: scaled to fit, centred.
struct Fit {
  double scale = 1;
  Point offset;
};
Fit fitInside(Size content, Size target);

// A picture of `view` at `scale` drawn by a one-off renderer.
ImagePtr snapshot(const View& view, double scale = 2);
// Writes `image` as a PNG file; false when it has no pixels or the file cannot be written.
bool writePNG(const Image& image, const std::filesystem::path& path);

}  // namespace ostrel::platform
