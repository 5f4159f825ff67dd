#include "platform/ui/Text.hpp"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <sstream>
#include <vector>

#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace ostrel::platform {
namespace {

std::mutex measurerMutex;
std::shared_ptr<TextMeasurer>& installedMeasurer() {
  static std::shared_ptr<TextMeasurer> measurer = std::make_shared<TextMeasurer>();
  return measurer;
}

std::size_t characterCount(const std::string& text) {
  return static_cast<std::size_t>(icu::UnicodeString::fromUTF8(text).countChar32());
}

}  // namespace

TextMeasurer& TextMeasurer::shared() {
  std::lock_guard lock(measurerMutex);
  return *installedMeasurer();
}

void TextMeasurer::install(std::shared_ptr<TextMeasurer> measurer) {
  std::lock_guard lock(measurerMutex);
  installedMeasurer() = measurer ? std::move(measurer) : std::make_shared<TextMeasurer>();
}

double TextMeasurer::lineWidth(const std::string& text, const Font& font) const {
  return static_cast<double>(characterCount(text)) * font.pointSize * 0.5;
}

Size TextMeasurer::boundingSize(const std::string& text, const Font& font, Size limit,
                                int maxLines) const {
  if (text.empty()) return {0, 0};
  const double charWidth = font.pointSize * 0.5;
  const double maxWidth = limit.width > 0 ? limit.width : 1e9;
  std::vector<double> lines;
  std::stringstream paragraphs(text);
  std::string paragraph;
  while (std::getline(paragraphs, paragraph, '\n')) {
    double current = 0;
    bool lineHasWords = false;
    std::stringstream words(paragraph);
    std::string word;
    while (words >> word) {
      double w = static_cast<double>(characterCount(word)) * charWidth;
      double needed = lineHasWords ? current + charWidth + w : w;
      if (lineHasWords && needed > maxWidth) {
        lines.push_back(current);
        current = std::min(w, maxWidth);
      } else {
        current = std::min(needed, maxWidth);
      }
      lineHasWords = true;
    }
    lines.push_back(current);
  }
  if (maxLines > 0 && static_cast<int>(lines.size()) > maxLines) lines.resize(maxLines);
  double width = lines.empty() ? 0 : *std::max_element(lines.begin(), lines.end());
  double height = static_cast<double>(lines.size()) * font.lineHeight();
  if (limit.height > 0)
    height = std::min(height, std::floor(limit.height / font.lineHeight()) * font.lineHeight());
  return {std::ceil(width), std::ceil(height)};
}

namespace {

icu::Locale caseLocale(const std::string& locale) {
  return locale.empty() ? icu::Locale::getRoot() : icu::Locale(locale.c_str());
}

}  // namespace

std::string uppercased(const std::string& text, const std::string& locale) {
  auto unicode = icu::UnicodeString::fromUTF8(text);
  unicode.toUpper(caseLocale(locale));
  std::string out;
  unicode.toUTF8String(out);
  return out;
}

std::string lowercased(const std::string& text, const std::string& locale) {
  auto unicode = icu::UnicodeString::fromUTF8(text);
  unicode.toLower(caseLocale(locale));
  std::string out;
  unicode.toUTF8String(out);
  return out;
}

}  // namespace ostrel::platform
