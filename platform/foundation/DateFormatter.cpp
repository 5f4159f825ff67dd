#include "platform/foundation/DateFormatter.hpp"

#include <unicode/calendar.h>
#include <unicode/gregocal.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <string_view>
#include <vector>

#include "platform/foundation/Debug.hpp"

namespace ostrel::platform {

struct DateFormatter::Format {
  std::unique_ptr<icu::SimpleDateFormat> icu;     // formats, with the pattern as given
  std::unique_ptr<icu::SimpleDateFormat> parser;  // parses, with relaxed digit counts
};

namespace {

bool isNumericField(char c) {
  return std::string_view("yMdHhmsSkKLDu").find(c) != std::string_view::npos;
}

// Strict ICU parsing insists on as many digits as the pattern letters, so "dd" refuses "5".
// Fields set off by literals get a single letter for parsing, which accepts one or two digits;
// fields that touch another number ("yyMMdd") keep their widths, which delimit them.
std::string relaxedParsePattern(const std::string& pattern) {
  struct Token {
    std::string text;
    bool field;
  };
  std::vector<Token> tokens;
  for (std::size_t i = 0; i < pattern.size();) {
    char c = pattern[i];
    if (c == '\'') {
      std::size_t end = pattern.find('\'', i + 1);
      end = end == std::string::npos ? pattern.size() : end + 1;
      tokens.push_back({pattern.substr(i, end - i), false});
      i = end;
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      std::size_t end = i;
      while (end < pattern.size() && pattern[end] == c) ++end;
      tokens.push_back({pattern.substr(i, end - i), true});
      i = end;
    } else {
      tokens.push_back({std::string(1, c), false});
      ++i;
    }
  }
  std::string relaxed;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const auto& t = tokens[i];
    auto numericNeighbour = [&](std::size_t j) {
      return j < tokens.size() && tokens[j].field && isNumericField(tokens[j].text[0]);
    };
    bool relax = t.field && t.text.size() == 2 &&
                 std::string_view("dMHhmskK").find(t.text[0]) != std::string_view::npos &&
                 !(i > 0 && numericNeighbour(i - 1)) && !numericNeighbour(i + 1);
    relaxed += relax ? t.text.substr(0, 1) : t.text;
  }
  return relaxed;
}

}  // namespace

DateFormatter::DateFormatter(std::string pattern, std::string timeZone, std::string locale)
    : pattern_(std::move(pattern)) {
  UErrorCode status = U_ZERO_ERROR;
  auto format = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString::fromUTF8(pattern_),
                                                        icu::Locale(locale.c_str()), status);
  if (U_FAILURE(status)) {
    debugLog("date formatter: bad pattern " + pattern_);
    return;
  }
  // Dates are Gregorian whatever the locale says.
  auto* calendar = new icu::GregorianCalendar(
      icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(timeZone)),
      icu::Locale(locale.c_str()), status);
  if (U_FAILURE(status)) {
    delete calendar;
    debugLog("date formatter: bad time zone " + timeZone);
    return;
  }
  calendar->setLenient(false);
  format->adoptCalendar(calendar);
  format->setLenient(false);
  auto parser = std::make_unique<icu::SimpleDateFormat>(
      icu::UnicodeString::fromUTF8(relaxedParsePattern(pattern_)), icu::Locale(locale.c_str()),
      status);
  if (U_FAILURE(status)) return;
  parser->adoptCalendar(calendar->clone());
  parser->setLenient(false);
  format_ = std::make_unique<Format>(Format{std::move(format), std::move(parser)});
}

DateFormatter::~DateFormatter() = default;

std::string DateFormatter::string(Date date) const {
  if (!format_) return {};
  std::lock_guard lock(mutex_);
  icu::UnicodeString out;
  format_->icu->format(static_cast<UDate>(date.timeIntervalSince1970 * 1000.0), out);
  std::string text;
  out.toUTF8String(text);
  return text;
}

std::optional<Date> DateFormatter::date(std::string_view text) const {
  if (!format_ || text.empty()) return std::nullopt;
  std::lock_guard lock(mutex_);
  icu::UnicodeString input = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  icu::ParsePosition position(0);
  UDate parsed = format_->parser->parse(input, position);
  if (position.getErrorIndex() >= 0 || position.getIndex() != input.length()) return std::nullopt;
  return Date{parsed / 1000.0};
}

void DateFormatter::setTwoDigitStartDate(Date start) {
  if (!format_) return;
  std::lock_guard lock(mutex_);
  UErrorCode status = U_ZERO_ERROR;
  const auto udate = static_cast<UDate>(start.timeIntervalSince1970 * 1000.0);
  format_->icu->set2DigitYearStart(udate, status);
  format_->parser->set2DigitYearStart(udate, status);
}

}  // namespace ostrel::platform
