#include "ui/AttributedText.hpp"

namespace ostrel {

using namespace platform;

AttributedString makeAttributedText(const std::string& text, Color color, Font font,
                                    TextAlignment alignment, bool underline,
                                    std::optional<double> lineSpacing, LineBreakMode lineBreakMode,
                                    bool strikethrough) {
  AttributedString result;
  result.string = text;
  result.font = font;
  result.foregroundColor = color;
  result.underlineStyle = underline ? 1 : 0;
  result.strikethroughStyle = strikethrough ? 1 : 0;
  ParagraphStyle style;
  if (lineSpacing) style.lineSpacing = *lineSpacing;
  style.lineBreakMode = lineBreakMode;
  style.alignment = alignment;
  result.paragraphStyle = style;
  return result;
}

}  // namespace ostrel
