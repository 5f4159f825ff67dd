#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/media/Color.hpp"
#include "platform/media/Geometry.hpp"

namespace ostrel::platform {

enum class FontWeight { regular, medium, semibold, bold };

// A font as data: the system font at a size and weight.
struct Font {
  double pointSize = 17;
  FontWeight weight = FontWeight::regular;

  static Font systemFont(double size, FontWeight weight = FontWeight::regular) {
    return {size, weight};
  }
  static Font boldSystemFont(double size) { return {size, FontWeight::bold}; }
  double lineHeight() const { return pointSize * 1.2; }
  bool operator==(const Font&) const = default;
};

enum class TextAlignment { left, center, right, justified, natural };
enum class LineBreakMode {
  byWordWrapping,
  byCharWrapping,
  byClipping,
  byTruncatingHead,
  byTruncatingTail,
  byTruncatingMiddle
};
enum class BaselineAdjustment { alignBaselines, alignCenters, none };

struct ParagraphStyle {
  std::optional<double> lineSpacing;
  LineBreakMode lineBreakMode = LineBreakMode::byWordWrapping;
  TextAlignment alignment = TextAlignment::natural;
  bool operator==(const ParagraphStyle&) const = default;
};

// Styled text; the attributes cover the whole string (all the library ever builds).
struct AttributedString {
  std::string string;
  std::optional<Font> font;
  std::optional<Color> foregroundColor;
  int underlineStyle = 0;
  int strikethroughStyle = 0;
  std::optional<ParagraphStyle> paragraphStyle;
  bool operator==(const AttributedString&) const = default;
};

// Measures text. The default metrics are deterministic (every character is half the point size
// wide, lines are 1.2 x the point size high, words wrap at spaces), so layouts computed from
// them are stable in tests; tests that need other metrics install their own measurer.
class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;

  static TextMeasurer& shared();
  // nullptr restores the default metrics.
  static void install(std::shared_ptr<TextMeasurer> measurer);

  // The size the text needs inside `limit` (width and height caps), wrapping words as the
  // platform's line-fragment measuring does; `maxLines` 0 means unlimited.
  virtual Size boundingSize(const std::string& text, const Font& font, Size limit,
                            int maxLines = 0) const;
  // The width of one unwrapped line.
  virtual double lineWidth(const std::string& text, const Font& font) const;
};

// Upper and lower case by Unicode rules, in the root locale unless a locale is named. Never in
// the process's default locale: a Turkish one would turn "i" into "İ" and "I" into "ı", and
// break every comparison with a fixed key (MRZ text, card types, flow names).
std::string uppercased(const std::string& text, const std::string& locale = "");
std::string lowercased(const std::string& text, const std::string& locale = "");

}  // namespace ostrel::platform
