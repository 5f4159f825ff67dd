#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/media/Color.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/ui/Text.hpp"

using PangoLayout = struct _PangoLayout;
using PangoContext = struct _PangoContext;

namespace ostrel::platform {

// How a block of text is set: everything the drawing of labels and fields and the measuring
// of their sizes must agree on.
struct TextStyle {
  Font font;
  TextAlignment alignment = TextAlignment::natural;
  LineBreakMode lineBreakMode = LineBreakMode::byWordWrapping;
  // 0: as many lines as the text needs.
  int numberOfLines = 0;
  std::optional<double> lineSpacing;
  bool underline = false;
  bool strikethrough = false;
};

// The family every system font maps to. DejaVu Sans carries Latin with the Vietnamese
// diacritics, Greek and Cyrillic; Pango falls back through fontconfig for anything else.
inline constexpr const char* kSystemFontFamily = "DejaVu Sans";

// Lays `text` out for `style` in `context`, `width` points wide (0: unbounded). Hinting is off
// and glyph positions are not rounded, so the metrics do not depend on the scale drawn at.
PangoLayout* makeTextLayout(PangoContext* context, const std::string& text, const TextStyle& style,
                            double width);
// The logical size of a laid-out text in points, limited to the style's number of lines.
Size textLayoutSize(PangoLayout* layout, int numberOfLines);

// The rows a laid-out text covers, in points from the layout's top: its logical lines joined
// with their ink, so marks stacked above a capital (Vietnamese "Ễ", "Ấ") or hanging below the
// last line count. `top` is negative where ink rises above the first line.
struct TextBlockExtent {
  double top = 0;
  double height = 0;
};
TextBlockExtent textLayoutExtent(PangoLayout* layout, int numberOfLines);
// A Pango context on its own font map with the settings above; the caller unrefs it.
PangoContext* makeTextContext();

// Text metrics from the fonts the renderer draws with, so intrinsic sizes and row heights agree
// with the pixels. Thread safe (one Pango context behind a lock).
class PangoTextMeasurer : public TextMeasurer {
 public:
  PangoTextMeasurer();
  ~PangoTextMeasurer() override;

  Size boundingSize(const std::string& text, const Font& font, Size limit,
                    int maxLines = 0) const override;
  double lineWidth(const std::string& text, const Font& font) const override;

  // Makes it the process's text measurer.
  static void install();

 private:
  mutable std::mutex mutex_;
  PangoContext* context_ = nullptr;
};

}  // namespace ostrel::platform
