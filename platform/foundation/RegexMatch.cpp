#include "platform/foundation/RegexMatch.hpp"

#include <memory>

#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <unicode/utypes.h>

namespace ostrel::platform {

namespace {

constexpr int32_t kStackLimitBytes = 8 * 1024 * 1024;

void describe(std::string* out, const char* what, UErrorCode status) {
  if (out) *out = std::string(what) + ": " + u_errorName(status);
}

}  // namespace

RegexMatchResult regexMatchesWholeText(std::string_view pattern, std::string_view text,
                                       std::string* errorDescription, int timeLimitSteps) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError parseError{};
  icu::UnicodeString patternText = icu::UnicodeString::fromUTF8(
      icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size())));
  std::unique_ptr<icu::RegexPattern> compiled(
      icu::RegexPattern::compile(patternText, 0, parseError, status));
  if (U_FAILURE(status) || !compiled) {
    describe(errorDescription, "pattern does not compile", status);
    return RegexMatchResult::error;
  }
  // Bytes that are not UTF-8 become U+FFFD on conversion; ICU's matcher sees a text then,
  // like the platform's predicate over a string that replaced them.
  icu::UnicodeString subject = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(subject, status));
  if (U_FAILURE(status) || !matcher) {
    describe(errorDescription, "matcher could not be made", status);
    return RegexMatchResult::error;
  }
  matcher->setTimeLimit(timeLimitSteps, status);
  matcher->setStackLimit(kStackLimitBytes, status);
  if (U_FAILURE(status)) {
    describe(errorDescription, "limits refused", status);
    return RegexMatchResult::error;
  }
  const bool matched = matcher->matches(status);
  if (U_FAILURE(status)) {
    describe(errorDescription, "match stopped", status);
    return RegexMatchResult::error;
  }
  return matched ? RegexMatchResult::matched : RegexMatchResult::notMatched;
}

}  // namespace ostrel::platform
