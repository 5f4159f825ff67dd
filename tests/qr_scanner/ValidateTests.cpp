#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/Debug.hpp"
#include "platform/foundation/RegexMatch.hpp"
#include "platform/foundation/URLComponents.hpp"
#include "scan/QRScannerConfiguration.hpp"
#include "testing/QRPictures.hpp"

namespace ostrel::qr_test {
namespace {

using platform::URLComponents;
using platform::URLQueryItem;

TEST(QRScannerValidate, PatternsLinksAndReferralItems) {
  struct Row {
    const char* name;
    std::optional<std::string> pattern;
    std::string text;
    bool accepted;
  };
  const std::string link = "https://example.org/join?";
  const std::vector<Row> rows = {
      {"built-in: eight lower-case letters and digits", std::nullopt, "ab12cd34", true},
      {"built-in: upper case", std::nullopt, "AB12CD34", false},
      {"built-in: seven characters", std::nullopt, "ab12cd3", false},
      {"built-in: nine characters", std::nullopt, "ab12cd345", false},
      {"built-in: a trailing line break is not part of a whole match", std::nullopt, "ab12cd34\n", false},
      {"referal item decides", std::nullopt, link + "referal=ab12cd34", true},
      {"referral item decides", std::nullopt, link + "referral=ab12cd34", true},
      {"capitalised name is no referral item", std::nullopt, link + "Referral=ab12cd34", false},
      {"first matching item wins (refused)", std::nullopt, link + "referral=BAD&referal=ab12cd34", false},
      {"first matching item wins (accepted)", std::nullopt, link + "referal=ab12cd34&referral=BAD", true},
      {"item without value: the whole link decides", std::nullopt, link + "referral&referal=ab12cd34", false},
      {"item without value, pattern for the link", std::string("https://.*"), link + "referral", true},
      {"empty value decides on itself", std::string(".*"), link + "referral=", true},
      {"percent-decoded value", std::string("a b"), link + "referral=a%20b", true},
      {"plus kept as it is", std::string("a\\+b"), link + "referral=a+b", true},
      {"a link with a space is no URL: whole text", std::string("ab12cd34"), "https://x.org/a b?referral=ab12cd34", false},
      {"host pattern over the whole text", std::string("\\d{12}\\|.*"), testing::kCitizenIdPayload, true},
      {"possessive quantifier", std::string("[a-z]++[0-9]"), "abc1", true},
      {"possessive quantifier gives nothing back", std::string("[a-z0-9]++[0-9]"), "abc1", false},
      {"letters of any script", std::string("[\\p{L} ]+"), "Nguyễn Văn A", true},
      {"pattern that does not compile", std::string("([a-z"), "abc", false},
      {"empty pattern only matches the empty text", std::string(""), "a", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QRScannerConfiguration configuration;
    configuration.regexValidResult = row.pattern;
    EXPECT_EQ(configuration.validate(row.text), row.accepted) << row.text;
  }
}

// A host pattern that backtracks without end over a long QR text is cut off, refusing the text,
// instead of holding the main queue; an invalid pattern is refused with a diagnostic.
TEST(QRScannerValidate, PathologicalAndInvalidPatternsAreRefusedWithADiagnostic) {
  std::vector<std::string> diagnostics;
  platform::setDebugSink([&](std::string_view line) { diagnostics.emplace_back(line); });
  QRScannerConfiguration configuration;
  configuration.regexValidResult = "^(a|aa)+$";
  const std::string text = std::string(7000, 'a') + "b";
  EXPECT_FALSE(configuration.validate(text));
  std::string why;
  EXPECT_EQ(platform::regexMatchesWholeText("^(a|aa)+$", text, &why), platform::RegexMatchResult::error);
  EXPECT_NE(why.find("match stopped"), std::string::npos) << why;
  configuration.regexValidResult = "(?<";
  EXPECT_FALSE(configuration.validate("abc"));
  platform::setDebugSink({});
  ASSERT_EQ(diagnostics.size(), 2u);
  EXPECT_NE(diagnostics[1].find("pattern does not compile"), std::string::npos) << diagnostics[1];
}

TEST(URLComponentsParse, StrictGrammarAndQueryItems) {
  struct Row {
    const char* text;
    bool isURL;
    std::optional<std::vector<URLQueryItem>> items;
  };
  using Items = std::vector<URLQueryItem>;
  const std::vector<Row> rows = {
      {"https://example.org/a?x=1&y=2", true, Items{{"x", "1"}, {"y", "2"}}},
      {"https://example.org/a?flag&empty=&x=%41%42", true,
       Items{{"flag", std::nullopt}, {"empty", ""}, {"x", "AB"}}},
      {"https://example.org/a?q=a+b", true, Items{{"q", "a+b"}}},
      {"https://example.org/a?%72eferral=v", true, Items{{"referral", "v"}}},
      {"https://example.org/a", true, std::nullopt},
      {"https://example.org/a?#frag", true, Items{}},
      {"https://user:pw@[::1]:8080/p?k=v#f", true, Items{{"k", "v"}}},
      {"ab12cd34", true, std::nullopt},
      {"https://example.org/a b?x=1", false, std::nullopt},
      {"https://example.org/a?x=1|2", false, std::nullopt},
      {"https://example.org/ả?x=1", false, std::nullopt},
      {"https://example.org/a?x=%4", false, std::nullopt},
      {"https://example.org/a?x=%zz", false, std::nullopt},
      {"https://exa mple.org/", false, std::nullopt},
      {"1http://example.org/", false, std::nullopt},
      {"https://example.org:80a/", false, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    auto components = URLComponents::parse(row.text);
    ASSERT_EQ(components.has_value(), row.isURL);
    if (components) {
      EXPECT_EQ(components->queryItems(), row.items);
    }
  }
}

}  // namespace
}  // namespace ostrel::qr_test
