#pragma once

#include <optional>
#include <string>

#include "platform/media/Color.hpp"
#include "platform/ui/Text.hpp"

namespace ostrel {

// The whole of `text` with a font, a colour, underline and strikethrough flags (as numbers) and a
// new paragraph style (the line spacing only when given, the line-break mode, the alignment).
platform::AttributedString makeAttributedText(
    const std::string& text, platform::Color color, platform::Font font,
    platform::TextAlignment alignment = platform::TextAlignment::center, bool underline = false,
    std::optional<double> lineSpacing = std::nullopt,
    platform::LineBreakMode lineBreakMode = platform::LineBreakMode::byTruncatingTail,
    bool strikethrough = false);

}  // namespace ostrel
