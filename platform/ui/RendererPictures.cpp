#include "platform/ui/Renderer.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <vector>

#include <cairo.h>

#include "platform/ui/Layer.hpp"
#include "platform/ui/RendererDrawing.hpp"
#include "platform/ui/Window.hpp"

// Pictures: Cairo surfaces kept for images, pictures placed in views, snapshots and the
// screen drawn into a window's pixels.

namespace ostrel::platform {
namespace {

// Cairo's premultiplied pixels from straight RGBA ones.
cairo_surface_t* surfaceFromRGBA(const cv::Mat& rgba) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, rgba.cols, rgba.rows);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < rgba.rows; ++y) {
    const auto* src = rgba.ptr<cv::Vec4b>(y);
    auto* dst = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < rgba.cols; ++x) {
      std::uint32_t a = src[x][3];
      auto pre = [a](std::uint32_t c) { return (c * a + 127) / 255; };
      dst[x] = (a << 24) | (pre(src[x][0]) << 16) | (pre(src[x][1]) << 8) | pre(src[x][2]);
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

cv::Mat rgbaFromSurface(cairo_surface_t* surface) {
  cairo_surface_flush(surface);
  int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
  int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  cv::Mat rgba(h, w, CV_8UC4);
  for (int y = 0; y < h; ++y) {
    const auto* src =
        reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    auto* dst = rgba.ptr<cv::Vec4b>(y);
    for (int x = 0; x < w; ++x) {
      std::uint32_t p = src[x];
      std::uint32_t a = p >> 24;
      auto un = [a](std::uint32_t c) {
        return static_cast<unsigned char>(
            a == 0 ? 0 : std::min<std::uint32_t>(255, (c * 255 + a / 2) / a));
      };
      dst[x] = {un((p >> 16) & 0xFF), un((p >> 8) & 0xFF), un(p & 0xFF),
                static_cast<unsigned char>(a)};
    }
  }
  return rgba;
}

}  // namespace

cairo_surface_t* ViewRenderer::surfaceFor(const ImagePtr& image) {
  if (!image || !image->hasBitmap()) return nullptr;
  auto it = pictures_.find(image.get());
  if (it != pictures_.end()) {
    if (!it->second.owner.expired()) return it->second.surface;
    cairo_surface_destroy(it->second.surface);
    pictures_.erase(it);
  }
  cairo_surface_t* surface = surfaceFromRGBA(displayBitmap(image->bitmap(), image->orientation()));
  if (!surface) return nullptr;
  pictures_[image.get()] = {image, surface};
  return surface;
}

void ViewRenderer::drawLayerContents(cairo_t* cr, const Layer& layer, Rect box) {
  auto contents = layer.currentContents();
  if (!contents || !contents->image) return;
  cairo_save(cr);
  cairo_rectangle(cr, box.minX(), box.minY(), box.width(), box.height());
  cairo_clip(cr);
  drawPicture(cr, contents->image, contents->rect);
  cairo_restore(cr);
}

void ViewRenderer::drawPicture(cairo_t* cr, const ImagePtr& image, Rect rect) {
  cairo_surface_t* surface = surfaceFor(image);
  if (!surface || rect.width() <= 0 || rect.height() <= 0) return;
  int pw = cairo_image_surface_get_width(surface), ph = cairo_image_surface_get_height(surface);
  cairo_save(cr);
  cairo_translate(cr, rect.minX(), rect.minY());
  cairo_scale(cr, rect.width() / pw, rect.height() / ph);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
  if (image->tintColor()) {
    // A template picture: its shape in the tint colour.
    setSource(cr, *image->tintColor());
    cairo_mask(cr, pattern);
  } else {
    cairo_set_source(cr, pattern);
    cairo_rectangle(cr, 0, 0, pw, ph);
    cairo_fill(cr);
  }
  cairo_pattern_destroy(pattern);
  cairo_restore(cr);
}

ImagePtr ViewRenderer::snapshot(const View& view, double scale) {
  Size size = view.bounds().size;
  double pixelWidth = std::ceil(size.width * scale), pixelHeight = std::ceil(size.height * scale);
  // Cairo's surfaces stop at 32767 pixels a side; a larger (or broken) size has no picture.
  constexpr double kLargest = 32767;
  if (!(pixelWidth >= 1 && pixelWidth <= kLargest && pixelHeight >= 1 && pixelHeight <= kLargest))
    return nullptr;
  int w = static_cast<int>(pixelWidth), h = static_cast<int>(pixelHeight);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, scale, scale);
  draw(cr, view);
  cairo_destroy(cr);
  auto image = std::make_shared<Image>(rgbaFromSurface(surface), scale);
  cairo_surface_destroy(surface);
  return image;
}

Fit fitInside(Size content, Size target) {
  if (content.width <= 0 || content.height <= 0) return {};
  double scale = std::min(target.width / content.width, target.height / content.height);
  return {
      scale,
      {(target.width - content.width * scale) / 2, (target.height - content.height * scale) / 2}};
}

void ViewRenderer::drawScreen(cv::Mat& bgra, const Window& key) {
  if (bgra.empty() || bgra.type() != CV_8UC4) return;
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      bgra.data, CAIRO_FORMAT_ARGB32, bgra.cols, bgra.rows, static_cast<int>(bgra.step[0]));
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  Rect bounds = key.bounds();
  Fit fit =
      fitInside(bounds.size, {static_cast<double>(bgra.cols), static_cast<double>(bgra.rows)});
  cairo_translate(cr, fit.offset.x, fit.offset.y);
  cairo_scale(cr, fit.scale, fit.scale);
  cairo_rectangle(cr, 0, 0, bounds.width(), bounds.height());
  cairo_clip(cr);
  draw(cr, key);
  std::vector<std::shared_ptr<Window>> above;
  if (auto scene = key.windowScene()) {
    for (const auto& w : scene->windows()) {
      if (w.get() != &key && !w->isHidden() && w->windowLevel >= key.windowLevel)
        above.push_back(w);
    }
  }
  std::stable_sort(above.begin(), above.end(),
                   [](const auto& a, const auto& b) { return a->windowLevel < b->windowLevel; });
  for (const auto& w : above) {
    cairo_save(cr);
    cairo_translate(cr, w->frame().minX() - key.frame().minX(),
                    w->frame().minY() - key.frame().minY());
    draw(cr, *w);
    cairo_restore(cr);
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
}

ImagePtr snapshot(const View& view, double scale) {
  ViewRenderer renderer;
  return renderer.snapshot(view, scale);
}

bool writePNG(const Image& image, const std::filesystem::path& path) {
  auto data = image.pngData();
  if (!data) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data->data()),
            static_cast<std::streamsize>(data->size()));
  out.close();
  return static_cast<bool>(out);
}

}  // namespace ostrel::platform
