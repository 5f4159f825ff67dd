#include "scan/MRZLineFinder.hpp"

#include <array>
#include <string>

// g++ 12 under the sanitizers reports a false "may be used uninitialized" deep inside
// libstdc++'s regex compiler.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>

#include "scan/MRZCharacters.hpp"

namespace ostrel {

namespace {

constexpr std::size_t kTD1LineLength = 30;
constexpr std::size_t kTD3LineLength = 44;

// Digit classes admit the letter O and letter classes the digit 0: recognisers swap them.
// A document number shorter than its nine places is followed by fillers up to its check digit.
// The sex is M, F, X (unspecified) or a filler. A name field holds the primary identifier, then
// "<<" and the secondary identifier with fillers after it to the end of the line (one filler
// where the name is one short of the field); a name that fills the field to its last character
// has no filler after it, and a one-part name is the primary identifier and fillers only. The
// lookahead ends the field at the end of its line: a glyph after the fillers is no part of a name
// (it is most often the card's edge beside the last filler, read as a B), and a name field cannot
// be a mere start of other text.
#define OSTREL_MRZ_NAMES                                                        \
  "(([A-Z0]+<)+<([A-Z0]+<)+<*(?=\n|$)|([A-Z0]+<)+<([A-Z0]+<)*[A-Z0]+(?=\n|$)" \
  "|[A-Z0]+(<[A-Z0]+)*<+(?=\n|$))"
constexpr const char* kTD1Line1 = "(I|C|A).[A-Z0<]{3}[A-Z0-9]{1,9}<{0,8}[0-9O]{1}[A-Z0-9<]{14,22}";
constexpr const char* kTD1Line2 = "[0-9O]{7}(M|F|X|<)[0-9O]{7}[A-Z0<]{3}[A-Z0-9<]{11}[0-9O]";
constexpr const char* kTD1Line3 = OSTREL_MRZ_NAMES;
constexpr const char* kTD3Line1 = "P.[A-Z0<]{3}" OSTREL_MRZ_NAMES;
constexpr const char* kTD3Line2 =
    "[A-Z0-9]{1,9}<{0,8}[0-9O]{1}[A-Z0<]{3}[0-9O]{7}(M|F|X|<)[0-9O]{7}[A-Z0-9<]+";
#undef OSTREL_MRZ_NAMES

enum class LineSlot { line1, line2, line3 };

struct LinePattern {
  std::regex regex;
  std::size_t length;
  LineSlot slot;
};

std::regex compile(const std::string& pattern) {
  return std::regex(pattern, std::regex::ECMAScript | std::regex::optimize);
}

const std::array<LinePattern, 5>& linePatterns() {
  static const std::array<LinePattern, 5> patterns = {
      LinePattern{compile(kTD1Line1), kTD1LineLength, LineSlot::line1},
      LinePattern{compile(kTD1Line2), kTD1LineLength, LineSlot::line2},
      LinePattern{compile(kTD1Line3), kTD1LineLength, LineSlot::line3},
      LinePattern{compile(kTD3Line1), kTD3LineLength, LineSlot::line1},
      LinePattern{compile(kTD3Line2), kTD3LineLength, LineSlot::line2},
  };
  return patterns;
}

// A zone starts with its document code: unanchored, the first line's pattern would also take a
// visa ("V<POL...") from the P of its issuing state on, or a name line from one of its letters.
const std::regex& td1ZonePattern() {
  static const std::regex pattern =
      compile(std::string("^") + kTD1Line1 + "\n" + kTD1Line2 + "\n" + kTD1Line3);
  return pattern;
}

const std::regex& td3ZonePattern() {
  static const std::regex pattern = compile(std::string("^") + kTD3Line1 + "\n" + kTD3Line2);
  return pattern;
}

bool isAllowed(char c) {
  return mrz_detail::isAsciiUpper(c) || mrz_detail::isAsciiDigit(c) || c == '<';
}

std::string allowedCharactersOnly(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (isAllowed(c)) out.push_back(c);
  }
  return out;
}

// The patterns are byte-wise; in this copy every character is one byte, so "." takes exactly
// one character as it would on the text, and nothing outside ASCII can match a class.
std::string oneBytePerCharacter(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t offset = 0; offset < text.size();) {
    const std::size_t size = mrz_detail::characterSize(text, offset);
    if (size == 1 && static_cast<unsigned char>(text[offset]) < 0x80) {
      out.push_back(text[offset]);
    } else {
      const std::string_view character = text.substr(offset, size);
      // Line and paragraph separators end a line for "." as "\n" does.
      const bool separator =
          character == "\u0085" || character == "\u2028" || character == "\u2029";
      out.push_back(separator ? '\n' : '\x7f');
    }
    offset += size;
  }
  return out;
}

}  // namespace

std::shared_ptr<MRZLineFinder> MRZLineFinder::shared() {
  static const auto finder = std::make_shared<MRZLineFinder>();
  return finder;
}

std::optional<std::string> MRZLineFinder::findMRZLines(std::string_view text) {
  const std::size_t length = mrz_detail::characterCount(text);
  // Only lines of a zone's width can fill a slot; checking that first also keeps the
  // (recursive) regex engine away from arbitrarily long text.
  bool matched = false;
  if (length == kTD1LineLength || length == kTD3LineLength) {
    const std::string view = oneBytePerCharacter(text);
    for (const auto& pattern : linePatterns()) {
      if (pattern.length != length || !std::regex_search(view, pattern.regex)) continue;
      matched = true;
      std::string& slot = pattern.slot == LineSlot::line1   ? line1_
                          : pattern.slot == LineSlot::line2 ? line2_
                                                        : line3_;
      if (slot == text) continue;
      if (pattern.slot == LineSlot::line1) earlierLine1_ = std::move(line1_);
      if (pattern.slot == LineSlot::line3) earlierLine3_ = std::move(line3_);
      slot.assign(text);
    }
  }
  const bool card = tryAssemble(kTD1LineLength, true);
  const bool passport = tryAssemble(kTD3LineLength, false);
  if (matched && (card || passport)) ++linesAssembled_;
  if (assembled_.empty()) return std::nullopt;
  return assembled_;
}

bool MRZLineFinder::tryAssemble(std::size_t lineLength, bool td1) {
  auto fits = [lineLength](const std::string& line) {
    return mrz_detail::characterCount(line) == lineLength;
  };
  auto test = [&](const std::string& line1, const std::string& line3) {
    if (!fits(line1) || !fits(line2_) || (td1 && !fits(line3))) return false;
    std::string joined = allowedCharactersOnly(line1) + "\n" + allowedCharactersOnly(line2_);
    if (td1) joined += "\n" + allowedCharactersOnly(line3);
    joined_ = std::move(joined);
    if (!std::regex_search(joined_, td1 ? td1ZonePattern() : td3ZonePattern())) return false;
    assembled_ = joined_;
    return true;
  };
  // The patterns of a card's first and last lines both take some lines (a name line that holds
  // an I, C or A and later an O; a first line whose optional data ends in letters and fillers),
  // so one row may fill both slots, and the row it displaced from the other slot is the one the
  // zone needs. One row is never two lines of a zone: the displaced candidate stands in for it.
  if (td1 && !line1_.empty() && line1_ == line3_) return test(earlierLine1_, line3_) || test(line1_, earlierLine3_);
  return test(line1_, line3_);
}

void MRZLineFinder::reset() {
  line1_.clear();
  earlierLine1_.clear();
  earlierLine3_.clear();
  line2_.clear();
  line3_.clear();
  assembled_.clear();
  joined_.clear();
}

std::optional<std::string> findMRZLines(std::string_view text) {
  return MRZLineFinder::shared()->findMRZLines(text);
}

std::string assembledMRZText() {
  return MRZLineFinder::shared()->assembledMRZText();
}

void resetMRZLineFinder() {
  MRZLineFinder::shared()->reset();
}

}  // namespace ostrel

#pragma GCC diagnostic pop
