#include "platform/ui/PangoText.hpp"

#include <algorithm>
#include <cmath>

#include <pango/pangocairo.h>

namespace ostrel::platform {
namespace {

PangoWeight pangoWeight(FontWeight weight) {
  switch (weight) {
    case FontWeight::regular:
      return PANGO_WEIGHT_NORMAL;
    case FontWeight::medium:
      return PANGO_WEIGHT_MEDIUM;
    case FontWeight::semibold:
      return PANGO_WEIGHT_SEMIBOLD;
    case FontWeight::bold:
      return PANGO_WEIGHT_BOLD;
  }
  return PANGO_WEIGHT_NORMAL;
}

PangoAlignment pangoAlignment(TextAlignment alignment) {
  switch (alignment) {
    case TextAlignment::center:
      return PANGO_ALIGN_CENTER;
    case TextAlignment::right:
      return PANGO_ALIGN_RIGHT;
    default:
      return PANGO_ALIGN_LEFT;
  }
}

PangoEllipsizeMode pangoEllipsize(LineBreakMode mode) {
  switch (mode) {
    case LineBreakMode::byTruncatingHead:
      return PANGO_ELLIPSIZE_START;
    case LineBreakMode::byTruncatingMiddle:
      return PANGO_ELLIPSIZE_MIDDLE;
    case LineBreakMode::byTruncatingTail:
      return PANGO_ELLIPSIZE_END;
    default:
      return PANGO_ELLIPSIZE_NONE;
  }
}

}  // namespace

PangoContext* makeTextContext() {
  PangoFontMap* map = pango_cairo_font_map_new();
  PangoContext* context = pango_font_map_create_context(map);
  g_object_unref(map);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(context, FALSE);
  return context;
}

PangoLayout* makeTextLayout(PangoContext* context, const std::string& text, const TextStyle& style,
                            double width) {
  PangoLayout* layout = pango_layout_new(context);
  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family_static(description, kSystemFontFamily);
  pango_font_description_set_weight(description, pangoWeight(style.font.weight));
  pango_font_description_set_absolute_size(description, style.font.pointSize * PANGO_SCALE);
  pango_layout_set_font_description(layout, description);
  pango_font_description_free(description);

  // Pango refuses text that is not valid UTF-8 as a whole; user text is checked first so a
  // broken byte shows as a replacement character instead of blanking the label.
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  } else {
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    pango_layout_set_text(layout, valid, -1);
    g_free(valid);
  }
  pango_layout_set_alignment(layout, pangoAlignment(style.alignment));
  pango_layout_set_justify(layout, style.alignment == TextAlignment::justified);
  if (style.lineSpacing)
    pango_layout_set_spacing(layout, static_cast<int>(*style.lineSpacing * PANGO_SCALE));
  if (width > 0) {
    pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_wrap(layout, style.lineBreakMode == LineBreakMode::byCharWrapping
                                      ? PANGO_WRAP_CHAR
                                      : PANGO_WRAP_WORD_CHAR);
    // Truncation cuts the last allowed line with an ellipsis; without a line limit, or in the
    // wrapping and clipping modes, lines past the limit are clipped by whoever draws.
    PangoEllipsizeMode ellipsize = pangoEllipsize(style.lineBreakMode);
    if (ellipsize != PANGO_ELLIPSIZE_NONE && style.numberOfLines > 0) {
      pango_layout_set_ellipsize(layout, ellipsize);
      pango_layout_set_height(layout, -style.numberOfLines);
    }
  }
  if (style.underline || style.strikethrough) {
    PangoAttrList* attributes = pango_attr_list_new();
    if (style.underline)
      pango_attr_list_insert(attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (style.strikethrough) pango_attr_list_insert(attributes, pango_attr_strikethrough_new(TRUE));
    pango_layout_set_attributes(layout, attributes);
    pango_attr_list_unref(attributes);
  }
  return layout;
}

Size textLayoutSize(PangoLayout* layout, int numberOfLines) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  double width = static_cast<double>(logical.width) / PANGO_SCALE;
  double height = static_cast<double>(logical.height) / PANGO_SCALE;
  int lines = pango_layout_get_line_count(layout);
  if (numberOfLines > 0 && lines > numberOfLines) {
    // The bottom of the last allowed line.
    PangoLayoutIter* it = pango_layout_get_iter(layout);
    double maxWidth = 0;
    double bottom = 0;
    for (int i = 0; i < numberOfLines; ++i) {
      PangoRectangle line;
      pango_layout_iter_get_line_extents(it, nullptr, &line);
      maxWidth = std::max(maxWidth, static_cast<double>(line.x + line.width) / PANGO_SCALE);
      bottom = static_cast<double>(line.y + line.height) / PANGO_SCALE;
      if (!pango_layout_iter_next_line(it)) break;
    }
    pango_layout_iter_free(it);
    width = std::min(width, maxWidth);
    height = bottom;
  }
  return {width, height};
}

TextBlockExtent textLayoutExtent(PangoLayout* layout, int numberOfLines) {
  const int count = pango_layout_get_line_count(layout);
  const int shown = numberOfLines > 0 ? std::min(numberOfLines, count) : count;
  if (shown <= 0) return {};
  // Only the first line's ink can rise above the block and only the last one's hang below it;
  // inner lines are not inked, which keeps long texts cheap to measure.
  PangoRectangle firstInk, firstLogical, lastInk, lastLogical;
  pango_layout_line_get_extents(pango_layout_get_line_readonly(layout, 0), &firstInk,
                                &firstLogical);
  pango_layout_line_get_extents(pango_layout_get_line_readonly(layout, shown - 1), &lastInk,
                                &lastLogical);
  // Line extents are relative to each line's baseline; the iterator gives the baselines.
  PangoLayoutIter* it = pango_layout_get_iter(layout);
  const int firstBaseline = pango_layout_iter_get_baseline(it);
  for (int i = 1; i < shown; ++i) pango_layout_iter_next_line(it);
  const int lastBaseline = pango_layout_iter_get_baseline(it);
  pango_layout_iter_free(it);
  double top = static_cast<double>(firstBaseline + firstLogical.y) / PANGO_SCALE;
  double bottom = static_cast<double>(lastBaseline + lastLogical.y + lastLogical.height) / PANGO_SCALE;
  if (firstInk.height > 0)
    top = std::min(top, static_cast<double>(firstBaseline + firstInk.y) / PANGO_SCALE);
  if (lastInk.height > 0) {
    bottom = std::max(bottom,
                      static_cast<double>(lastBaseline + lastInk.y + lastInk.height) / PANGO_SCALE);
  }
  return {top, bottom - top};
}

PangoTextMeasurer::PangoTextMeasurer() : context_(makeTextContext()) {}

PangoTextMeasurer::~PangoTextMeasurer() {
  g_object_unref(context_);
}

Size PangoTextMeasurer::boundingSize(const std::string& text, const Font& font, Size limit,
                                     int maxLines) const {
  if (text.empty()) return {0, 0};
  TextStyle style;
  style.font = font;
  style.numberOfLines = maxLines;
  std::lock_guard lock(mutex_);
  PangoLayout* layout = makeTextLayout(context_, text, style, limit.width > 0 ? limit.width : 0);
  Size size = textLayoutSize(layout, maxLines);
  // Room for the ink too: a label sized to this shows the marks stacked above its capitals.
  const double logicalHeight = size.height;
  size.height = std::max(size.height, textLayoutExtent(layout, maxLines).height);
  if (limit.height > 0 && logicalHeight > limit.height) {
    // Whole lines only, as the platform's measuring does.
    double fitted = 0;
    PangoLayoutIter* it = pango_layout_get_iter(layout);
    do {
      PangoRectangle line;
      pango_layout_iter_get_line_extents(it, nullptr, &line);
      double bottom = static_cast<double>(line.y + line.height) / PANGO_SCALE;
      if (bottom > limit.height) break;
      fitted = bottom;
    } while (pango_layout_iter_next_line(it));
    pango_layout_iter_free(it);
    size.height = fitted;
  } else if (limit.height > 0) {
    size.height = std::min(size.height, limit.height);
  }
  g_object_unref(layout);
  if (limit.width > 0) size.width = std::min(size.width, limit.width);
  return {std::ceil(size.width), std::ceil(size.height)};
}

double PangoTextMeasurer::lineWidth(const std::string& text, const Font& font) const {
  if (text.empty()) return 0;
  TextStyle style;
  style.font = font;
  std::lock_guard lock(mutex_);
  PangoLayout* layout = makeTextLayout(context_, text, style, 0);
  double width = textLayoutSize(layout, 0).width;
  g_object_unref(layout);
  return width;
}

void PangoTextMeasurer::install() {
  TextMeasurer::install(std::make_shared<PangoTextMeasurer>());
}

}  // namespace ostrel::platform
