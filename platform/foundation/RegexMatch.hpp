#pragma once

#include <string>
#include <string_view>

namespace ostrel::platform {

// The answer of a whole-text regular-expression match.
enum class RegexMatchResult { matched, notMatched, error };

// Whether the whole of `text` (UTF-8) matches `pattern` (ICU's regular-expression syntax, as
// the platform's "SELF MATCHES" predicate reads it); bytes of `text` that are not UTF-8 read
// as U+FFFD. A pattern that does not compile, or a match that runs past its time limit
// (`timeLimitSteps`, in ICU's steps of a few milliseconds each) or its backtracking stack,
// gives `error`, with the reason in `errorDescription` when asked for. Never throws; safe from
// any thread.
RegexMatchResult regexMatchesWholeText(std::string_view pattern, std::string_view text,
                                       std::string* errorDescription = nullptr,
                                       int timeLimitSteps = 50);

}  // namespace ostrel::platform
