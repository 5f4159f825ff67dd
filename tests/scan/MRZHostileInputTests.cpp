#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scan/MRZCharacters.hpp"
#include "scan/MRZCode.hpp"
#include "scan/MRZLineFinder.hpp"
#include "scan/MRZResult.hpp"
#include "scan/StringTracker.hpp"
#include "testing/MRZTestData.hpp"

namespace ostrel {
namespace {

using namespace testing;

std::string repeat(const std::string& piece, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

struct HostileCase {
  const char* name;
  std::vector<std::string> lines;
};

std::vector<HostileCase> hostileCases() {
  const std::string long1M(1 << 20, '<');
  const std::string e30 = repeat("\xC3\x89", 30);        // 30 x "É"
  const std::string cjk44 = repeat("\xE4\xB8\xAD", 44);  // 44 x a CJK ideograph
  const std::string invalid30(30, '\xFF');               // not UTF-8 at all
  std::string truncated = kTD1Card[0];
  truncated.back() = '\xE2';  // a lead byte with nothing after it
  std::string withNul = kTD1Card[1];
  withNul[3] = '\0';
  return {
      {"no lines", {}},
      {"one empty line", {""}},
      {"three empty lines", {"", "", ""}},
      {"very long lines", {long1M, long1M}},
      {"very long third line", {kTD1Card[0], kTD1Card[1], long1M}},
      {"non-ASCII card-sized lines", {e30, e30, e30}},
      {"non-ASCII passport-sized lines", {cjk44, cjk44}},
      {"invalid UTF-8", {invalid30, invalid30, invalid30}},
      {"truncated UTF-8 at a line end", {truncated, kTD1Card[1], kTD1Card[2]}},
      {"NUL inside a checked field", {kTD1Card[0], withNul, kTD1Card[2]}},
      {"mixed lengths 30/31/30", {kTD1Card[0], kTD1Card[1] + "<", kTD1Card[2]}},
      {"mixed lengths 44/36", {kTD3Passport[0], kTD2Card[1]}},
      {"card lines in passport order", {kTD1Card[2], kTD1Card[0], kTD1Card[1]}},
      {"passport lines swapped", {kTD3Passport[1], kTD3Passport[0]}},
      {"CRLF line ends", {kTD3Passport[0] + "\r", kTD3Passport[1] + "\r"}},
      {"whole zone in one line", {kTD3Passport[0] + "\n" + kTD3Passport[1]}},
      {"a line feed in place of a character",
       {kTD3Passport[0], kTD3Passport[1].substr(0, 43) + "\n"}},
      {"five lines", {kTD1Card[0], kTD1Card[1], kTD1Card[2], kTD1Card[0], kTD1Card[1]}},
  };
}

TEST(MRZHostileInputTest, ParserGivesNoResultAndNeverCrashes) {
  const auto formatter = makeMRZDateFormatter();
  for (const auto& c : hostileCases()) {
    SCOPED_TRACE(c.name);
    for (bool correct : {true, false}) {
      SCOPED_TRACE(correct ? "corrected" : "as read");
      EXPECT_FALSE(parseMRZ(c.lines, correct, *formatter, clockInYear(2026)))
          << c.name << (correct ? " (corrected)" : "");
    }
  }
}

// The zone cutter is public; lines that break its contract give short fields, never a read
// past a line or a field longer than its slot.
TEST(MRZHostileInputTest, ZoneCutterToleratesLinesThatDoNotFitTheFormat) {
  using mrz_detail::characterCount;
  const auto formatter = makeMRZDateFormatter();
  for (const auto& c : hostileCases()) {
    SCOPED_TRACE(c.name);
    for (MRZFormat format : kAllMRZFormats) {
      SCOPED_TRACE(static_cast<int>(format));
      const MRZCode code(c.lines, format, true, *formatter, clockInYear(2026));
      (void)code.isValid();
      EXPECT_LE(characterCount(code.documentNumberField.rawValue), 9u) << c.name;
      EXPECT_LE(characterCount(code.documentNumberField.checkDigit), 1u) << c.name;
      EXPECT_LE(characterCount(code.birthdateField.rawValue), 6u) << c.name;
      EXPECT_LE(characterCount(code.expiryDateField.rawValue), 6u) << c.name;
      EXPECT_LE(characterCount(code.optionalDataField.rawValue), 16u) << c.name;
      EXPECT_LE(characterCount(code.finalCheckDigit), 1u) << c.name;
      EXPECT_LE(characterCount(code.namesField.surnames), 39u) << c.name;
    }
  }
  const MRZCode shortLines({"P<", "L89"}, MRZFormat::td3, true, *formatter, clockInYear(2026));
  EXPECT_EQ(shortLines.documentNumberField.rawValue, "L89");
  EXPECT_EQ(shortLines.documentNumberField.checkDigit, "");
  EXPECT_EQ(shortLines.birthdateField.value, std::nullopt);
  EXPECT_FALSE(shortLines.isValid());
}

TEST(MRZHostileInputTest, FinderAndTrackerIgnoreHostileLines) {
  auto finder = std::make_shared<MRZLineFinder>();
  StringTracker tracker(finder);
  for (const auto& c : hostileCases()) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> found;
    for (const auto& line : c.lines) {
      if (auto zone = finder->findMRZLines(line)) found.push_back(*zone);
    }
    tracker.logFrame(found);
  }
  // Separators that end a line for the patterns, in a line of card width.
  finder->findMRZLines("I<UTOD231458907<<<<<<<<<<<<<\u2028");
  finder->findMRZLines(repeat("\u2029", 30));
  // Of everything above, only the genuine card lines (hidden in a few cases) and the genuine
  // passport lines may have filled slots; nothing foreign is ever assembled.
  const std::string assembled = finder->assembledMRZText();
  for (char c : assembled) {
    EXPECT_TRUE((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '<' || c == '\n');
  }
}

}  // namespace
}  // namespace ostrel
