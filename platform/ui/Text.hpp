#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// The font and colour of a stretch of an attributed string (byte offsets into its text).
struct AttributeRun {
  std::size_t location = 0;
  std::size_t length = 0;
  std::optional<Font> font;
  std::optional<Color> foregroundColor;
  bool operator==(const AttributeRun&) const = default;
};

// Styled text. The attributes cover the whole string, except the stretches in `runs`, which
// `append` adds with the font and colour of the text appended there.
struct AttributedString {
  std::string string;
  std::optional<Font> font;
  std::optional<Color> foregroundColor;
  int underlineStyle = 0;
  int strikethroughStyle = 0;
  std::optional<ParagraphStyle> paragraphStyle;
  std::vector<AttributeRun> runs;
  bool operator==(const AttributedString&) const = default;

  void append(const AttributedString& other) {
    const std::size_t start = string.size();
    string += other.string;
    runs.push_back({start, other.string.size(), other.font, other.foregroundColor});
    for (AttributeRun run : other.runs) {
      run.location += start;
      runs.push_back(run);
    }
  }
  // The colour of the character at byte `index`.
  std::optional<Color> foregroundColorAt(std::size_t index) const {
    std::optional<Color> color = foregroundColor;
    for (const AttributeRun& run : runs) {
      if (index >= run.location && index < run.location + run.length) color = run.foregroundColor;
    }
    return color;
  }
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

// The number of characters as the user sees them (extended grapheme clusters): a letter with
// combining marks, a flag or an emoji with modifiers counts once. Invalid UTF-8 counts by the
// replacement characters it decodes to.
std::size_t characterCount(const std::string& text);
// The canonical composition (NFC) of the text, so that texts that differ only in how their
// accents are encoded compare equal. Invalid UTF-8 comes back as decoded, with replacement
// characters.
std::string precomposed(const std::string& text);

}  // namespace ostrel::platform
