#include "platform/ui/Renderer.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include <cairo.h>
#include <pango/pangocairo.h>

#include "platform/runtime/Runtime.hpp"
#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/Layer.hpp"
#include "platform/ui/PangoText.hpp"
#include "platform/ui/RendererDrawing.hpp"
#include "platform/ui/TextField.hpp"

// What a view draws of its own: the picture or text of image views, labels and text fields.

namespace ostrel::platform {
namespace {

// Where a picture of `size` lands in `box` for the content mode.
Rect placeContent(ContentMode mode, Size size, Rect box) {
  double w = size.width, h = size.height;
  if (w <= 0 || h <= 0) return box;
  switch (mode) {
    case ContentMode::scaleToFill:
    case ContentMode::redraw:
      return box;
    case ContentMode::scaleAspectFit:
    case ContentMode::scaleAspectFill: {
      double sx = box.width() / w, sy = box.height() / h;
      double s = mode == ContentMode::scaleAspectFit ? std::min(sx, sy) : std::max(sx, sy);
      return {{box.midX() - w * s / 2, box.midY() - h * s / 2}, {w * s, h * s}};
    }
    case ContentMode::center:
      return {{box.midX() - w / 2, box.midY() - h / 2}, size};
    case ContentMode::top:
      return {{box.midX() - w / 2, box.minY()}, size};
    case ContentMode::bottom:
      return {{box.midX() - w / 2, box.maxY() - h}, size};
    case ContentMode::left:
      return {{box.minX(), box.midY() - h / 2}, size};
    case ContentMode::right:
      return {{box.maxX() - w, box.midY() - h / 2}, size};
  }
  return box;
}

TextStyle labelStyle(const Label& label) {
  TextStyle style;
  style.font = label.font();
  style.alignment = label.textAlignment;
  style.lineBreakMode = label.lineBreakMode;
  style.numberOfLines = label.numberOfLines();
  if (const auto& attributed = label.attributedText()) {
    if (attributed->font) style.font = *attributed->font;
    if (const auto& paragraph = attributed->paragraphStyle) {
      style.lineSpacing = paragraph->lineSpacing;
      style.alignment = paragraph->alignment;
      // A one-line label truncates whatever its paragraph says, as the platform's does.
      if (label.numberOfLines() != 1) style.lineBreakMode = paragraph->lineBreakMode;
    }
    style.underline = attributed->underlineStyle != 0;
    style.strikethrough = attributed->strikethroughStyle != 0;
  }
  return style;
}

}  // namespace

void ViewRenderer::drawContents(cairo_t* cr, const View& view, Rect box) {
  if (const auto& drawn = view.drawnContents()) drawPicture(cr, drawn, box);
  if (auto imageView = dynamic_cast<const ImageView*>(&view)) {
    ImagePtr image = imageView->image();
    if (image && !image->images().empty() && image->duration() > 0) {
      // An animated picture plays on the runtime clock.
      const auto& frames = image->images();
      double phase = std::fmod(Runtime::current().uptime(), image->duration()) / image->duration();
      image = frames[std::min(frames.size() - 1, static_cast<std::size_t>(phase * frames.size()))];
    }
    if (image) drawPicture(cr, image, placeContent(view.contentMode(), image->size(), box));
    return;
  }
  if (auto label = dynamic_cast<const Label*>(&view)) {
    const auto& text = label->text();
    box = label->textRect(box);
    if (!text || text->empty() || box.width() <= 0) return;
    TextStyle style = labelStyle(*label);
    pango_cairo_update_context(cr, text_);
    PangoLayout* layout = makeTextLayout(text_, *text, style, box.width());
    if (label->adjustsFontSizeToFitWidth && style.numberOfLines == 1) {
      // The width the line would take uncut: the layout above is already ellipsized to the box.
      PangoLayout* uncut = makeTextLayout(text_, *text, style, 0);
      double natural = textLayoutSize(uncut, 0).width;
      g_object_unref(uncut);
      if (natural > box.width()) {
        g_object_unref(layout);
        style.font.pointSize *= std::max(0.5, box.width() / natural);
        layout = makeTextLayout(text_, *text, style, box.width());
      }
    }
    Size size = textLayoutSize(layout, style.numberOfLines);
    if (size.height > box.height() + 0.5) {
      // Only the lines the label's height holds are shown, the last one cut as its mode says.
      int fitting = 0;
      PangoLayoutIter* it = pango_layout_get_iter(layout);
      do {
        PangoRectangle line;
        pango_layout_iter_get_line_extents(it, nullptr, &line);
        if (static_cast<double>(line.y + line.height) / PANGO_SCALE > box.height() + 0.5) break;
        ++fitting;
      } while (pango_layout_iter_next_line(it));
      pango_layout_iter_free(it);
      style.numberOfLines = std::max(1, fitting);
      g_object_unref(layout);
      layout = makeTextLayout(text_, *text, style, box.width());
      size = textLayoutSize(layout, style.numberOfLines);
    }
    cairo_save(cr);
    // The shown lines and their ink sit centred in the label; ink may reach past the label's
    // bounds, as the platform's labels draw it, so stacked marks are never cut. Lines past the
    // label's limit are cut off, never half shown.
    TextBlockExtent extent = textLayoutExtent(layout, style.numberOfLines);
    double blockTop = box.midY() - extent.height / 2;
    cairo_rectangle(cr, -1e4, blockTop, 2e4, extent.height);
    cairo_clip(cr);
    setSource(cr, label->textColor());
    cairo_move_to(cr, box.minX(), blockTop - extent.top);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
    g_object_unref(layout);
    return;
  }
  if (auto field = dynamic_cast<const TextField*>(&view)) drawTextField(cr, *field, box);
}

namespace {

double fieldInset(const TextField& field) {
  return field.borderStyle == TextBorderStyle::none ? 0 : 7;
}

std::string shownFieldText(const TextField& field) {
  if (!field.isSecureTextEntry) return field.text();
  std::string dots;
  auto n = g_utf8_strlen(field.text().data(), static_cast<gssize>(field.text().size()));
  for (glong i = 0; i < n; ++i) dots += "\u2022";
  return dots;
}

}  // namespace

Rect ViewRenderer::caretRect(const TextField& field) {
  Rect box{{0, 0}, field.bounds().size};
  double inset = fieldInset(field);
  double width = std::max(0.0, box.width() - 2 * inset);
  TextStyle style;
  style.font = field.font;
  style.numberOfLines = 1;
  style.lineBreakMode = LineBreakMode::byClipping;
  PangoLayout* layout = makeTextLayout(text_, shownFieldText(field), style, 0);
  double textWidth = field.text().empty() ? 0 : textLayoutSize(layout, 1).width;
  g_object_unref(layout);
  double x = inset;
  if (field.textAlignment == TextAlignment::center)
    x = inset + (width + textWidth) / 2;
  else if (field.textAlignment == TextAlignment::right)
    x = inset + width;
  else
    x = inset + std::min(textWidth, width);
  double height = field.font.lineHeight();
  return {{x, box.midY() - height / 2}, {2, height}};
}

void ViewRenderer::drawTextField(cairo_t* cr, const TextField& field, Rect box) {
  switch (field.borderStyle) {
    case TextBorderStyle::none:
      break;
    case TextBorderStyle::roundedRect:
      roundedRectPath(cr, {{0.25, 0.25}, {box.width() - 0.5, box.height() - 0.5}}, 5, kAllCorners);
      cairo_set_source_rgb(cr, 0.8, 0.8, 0.8);
      cairo_set_line_width(cr, 0.5);
      cairo_stroke(cr);
      break;
    case TextBorderStyle::line:
    case TextBorderStyle::bezel:
      cairo_rectangle(cr, 0.5, 0.5, box.width() - 1, box.height() - 1);
      cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
      break;
  }
  double inset = fieldInset(field);
  double width = std::max(0.0, box.width() - 2 * inset);
  bool placeholder = field.text().empty();
  std::string shown = placeholder ? field.placeholder.value_or("") : shownFieldText(field);
  if (!shown.empty() && width > 0) {
    TextStyle style;
    style.font = field.font;
    style.alignment = field.textAlignment;
    style.numberOfLines = 1;
    style.lineBreakMode = placeholder ? LineBreakMode::byTruncatingTail : LineBreakMode::byClipping;
    pango_cairo_update_context(cr, text_);
    // A placeholder is cut with an ellipsis; the text itself stays on one line however long it
    // is (a field never wraps), placed by its alignment when it fits, else showing its start, or
    // its end while editing, where the caret is.
    PangoLayout* layout = makeTextLayout(text_, shown, style, placeholder ? width : 0);
    Size size = textLayoutSize(layout, 1);
    double x = inset;
    if (!placeholder) {
      if (size.width <= width) {
        if (field.textAlignment == TextAlignment::center) x = inset + (width - size.width) / 2;
        if (field.textAlignment == TextAlignment::right) x = inset + width - size.width;
      } else if (field.isFirstResponder()) {
        x = inset + width - size.width;
      }
    }
    cairo_save(cr);
    cairo_rectangle(cr, inset, 0, width, box.height());
    cairo_clip(cr);
    setSource(cr, placeholder ? Color{0.24, 0.24, 0.26, 0.3} : field.textColor);
    cairo_move_to(cr, x, box.midY() - size.height / 2);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
    g_object_unref(layout);
  }
  if (field.isFirstResponder()) {
    Rect caret = caretRect(field);
    cairo_rectangle(cr, caret.minX(), caret.minY(), caret.width(), caret.height());
    setSource(cr, field.tintColor());
    cairo_fill(cr);
  }
}

}  // namespace ostrel::platform
