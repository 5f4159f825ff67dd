#include "scan/StringTracker.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "scan/MRZCode.hpp"

namespace ostrel {

namespace {

constexpr std::int64_t kForgetAfterFrames = 30;
constexpr std::size_t kVotesKept = 30;
// Where the frames that read a place disagree, by how many reads the majority must outnumber
// the rest.
constexpr int kLeadOverDissent = 3;
// The reads that settle a place, at the least, where fewer than a third of all the frames read it:
// one frame's misread of a line few frames found (a name's I read as T) is not enough.
constexpr int kLeastReads = 3;

enum class ZoneShape { other, td1, td3 };

// A card's three lines of 30 or a passport's two of 44, as a zone text joins them.
ZoneShape zoneShapeOf(const std::string& zone) {
  const auto firstBreak = zone.find('\n');
  if (zone.size() == 3 * 30 + 2 && firstBreak == 30 && zone[61] == '\n') return ZoneShape::td1;
  if (zone.size() == 2 * 44 + 1 && firstBreak == 44) return ZoneShape::td3;
  return ZoneShape::other;
}

// Where the document number and its check character stand: TD1 on its first line from place 5,
// TD3 on its second line from its start; nine characters each.
constexpr std::size_t kNumberLength = 9;
std::size_t numberStartOf(ZoneShape shape) { return shape == ZoneShape::td1 ? 5 : 45; }

// Per layout, for each line: 'c' covered by a check digit and kept as read, 'd' a place where
// only a digit stands ("O" read as "0"), '.' not covered by any check digit.
const std::array<const char*, 3> kZoneLayoutTD1 = {
    ".....cccccccccdccccccccccccccc",
    "ddddddd.ddddddd...cccccccccccd",
    ".............................."};
const std::array<const char*, 2> kZoneLayoutTD3 = {
    "............................................",
    "cccccccccd...ddddddd.dddddddccccccccccccccdd"};

}  // namespace

// The character most of the texts hold at each place, or nothing when at some place fewer than a
// third of the texts that saw it read it (and, where fewer than a third of all of them did, fewer
// than three), or no character has five sixths of the votes of those that did, or those that
// disagree with it are not outnumbered by at least three (or the texts differ in length): a field
// no check digit covers is taken only when enough of the frames that read it clearly agree on it.
// A frame whose line was taken from an earlier frame did not see the place: how well the few
// frames that found the line read it does not depend on how many found only the other lines. A
// frame that read the line but not the place did see it: what hid the place from most frames
// (glare) may have made the few that read it misread it. A look-alike misread under glare (an L
// whose foot is washed out reads as an I) can hold a thin majority of the few frames that read a
// place; it must then wait for more frames. Small, blurred print can make the same look-alike of
// a letter in most frames (an R beside the card's edge read as B, a G as O, an I as Z, a U as O):
// such misreads were seen in three quarters of the frames, and up to four fifths of them, so the
// margin is set above that. It delays, or leaves unread, zones whose print is misread at one
// place in more than one frame in six. A frame that read the place as a guess counts as such a
// misread, unless it guessed the character the sure reads agree on: a glyph between two
// characters reads as the same one in most frames, and only the frames sure of it speak for it.
std::string characterMajority(const std::vector<std::string>& texts) {
  if (texts.empty()) return {};
  const std::size_t length = texts.front().size();
  for (const auto& text : texts) {
    if (text.size() != length) return {};
  }
  std::string voted(length, '\0');
  for (std::size_t place = 0; place < length; ++place) {
    std::array<int, 256> tally{};
    int best = 0, read = 0, seen = 0;
    for (const auto& text : texts) {
      const auto c = static_cast<unsigned char>(text[place]);
      // A frame that did not read this place's line itself has no say in it; one that read the
      // line but not the place saw it, and speaks for no character.
      if (c == static_cast<unsigned char>(StringTracker::kNotRead)) continue;
      ++seen;
      if (c == static_cast<unsigned char>(StringTracker::kHidden)) continue;
      // Guesses of a character are told once the sure reads have been counted.
      if (c >= 0x80) continue;
      ++read;
      if (c == static_cast<unsigned char>(StringTracker::kUnsure)) continue;
      // Ties go to the character met first, which keeps the result independent of anything but
      // the order of the frames.
      if (++tally[c] > best) {
        best = tally[c];
        voted[place] = static_cast<char>(c);
      }
    }
    for (const auto& text : texts) {
      const auto c = static_cast<unsigned char>(text[place]);
      if (c >= 0x80 && (best == 0 || static_cast<char>(c & 0x7fu) != voted[place])) ++read;
    }
    // A place read by fewer than a third of the frames that saw it is not yet settled, however
    // they agree; nor, where most frames did not see it, by fewer than `kLeastReads` of them.
    const bool readEnough =
        3 * read >= static_cast<int>(texts.size()) || (read >= kLeastReads && 3 * read >= seen);
    if (!readEnough || 6 * best < 5 * read) return {};
    if (best < read && best - (read - best) < kLeadOverDissent) return {};
  }
  return voted;
}

StringTracker::StringTracker(std::shared_ptr<MRZLineFinder> finder, KeyFunction key)
    : finder_(std::move(finder)), key_(std::move(key)) {}

void StringTracker::logFrame(const std::vector<std::string>& strings) {
  std::vector<Entry*> counted;
  for (const auto& string : strings) {
    const std::string key = keyOf(string);
    auto found = index_.find(key);
    if (found == index_.end()) {
      entries_.push_back(Entry{key, Sighting{0, -1}, {}, {}});
      found = index_.emplace(key, std::prev(entries_.end())).first;
    }
    Entry& entry = *found->second;
    // A frame that lists a zone once for every line it read still saw it once; its vote is the
    // text it listed last, the one assembled from the most of this frame's own lines.
    if (std::find(counted.begin(), counted.end(), &entry) != counted.end()) {
      entry.votes.back() = string;
      continue;
    }
    counted.push_back(&entry);
    entry.sighting.lastSeen = frameIndex_;
    entry.sighting.count += 1;
    entry.votes.push_back(string);
    if (entry.votes.size() > kVotesKept) entry.votes.erase(entry.votes.begin());
  }
  for (Entry* entry : counted) entry->voted = characterMajority(entry->votes);

  for (auto entry = entries_.begin(); entry != entries_.end();) {
    if (entry->sighting.lastSeen < frameIndex_ - kForgetAfterFrames) {
      index_.erase(entry->key);
      entry = entries_.erase(entry);
      continue;
    }
    if (!entry->voted.empty() && entry->sighting.count > bestCount_) {
      bestCount_ = entry->sighting.count;
      bestString_ = entry->voted;
    }
    ++entry;
  }
  ++frameIndex_;
}

void StringTracker::reset(const std::string& string) {
  if (auto found = index_.find(keyOf(string)); found != index_.end()) {
    entries_.erase(found->second);
    index_.erase(found);
  }
  bestCount_ = 0;
  bestString_.clear();
  if (finder_) finder_->reset();
}

std::vector<std::pair<std::string, StringTracker::Sighting>> StringTracker::seenStrings() const {
  std::vector<std::pair<std::string, Sighting>> seen;
  seen.reserve(entries_.size());
  for (const auto& entry : entries_)
    seen.emplace_back(entry.voted.empty() ? entry.votes.back() : entry.voted, entry.sighting);
  return seen;
}

std::vector<std::string> StringTracker::votesFor(const std::string& string) const {
  const auto found = index_.find(keyOf(string));
  return found == index_.end() ? std::vector<std::string>{} : found->second->votes;
}

std::vector<std::string> mrzZoneLines(const std::string& zone) {
  std::vector<std::string> lines;
  for (std::size_t start = 0;;) {
    const auto end = zone.find('\n', start);
    lines.push_back(zone.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

std::string mrzCheckedPart(const std::string& zone) {
  const auto& td1 = kZoneLayoutTD1;
  const auto& td3 = kZoneLayoutTD3;
  const std::vector<std::string> lines = mrzZoneLines(zone);
  const char* const* layout = nullptr;
  if (lines.size() == 3 && lines[0].size() == 30 && lines[1].size() == 30 && lines[2].size() == 30)
    layout = td1.data();
  else if (lines.size() == 2 && lines[0].size() == 44 && lines[1].size() == 44)
    layout = td3.data();
  if (!layout) return zone;
  std::string key;
  for (std::size_t line = 0; line < lines.size(); ++line) {
    if (line) key += '\n';
    for (std::size_t place = 0; place < lines[line].size(); ++place) {
      const char kind = layout[line][place];
      const char c = lines[line][place];
      key += kind == '.' ? '.' : kind == 'd' && c == 'O' ? '0' : c;
    }
  }
  return key;
}

std::string mrzVoteKey(const std::string& zone) {
  std::string key = mrzCheckedPart(zone);
  // Any text the checked part leaves as it is holds no zone (a zone's names are always blanked).
  if (key == zone) return key;
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>('0' + (c - 'A' + 10) % 10);
    else if (c == '<') c = '0';
  }
  return key;
}

std::string mrzNumberKey(const std::string& zone) {
  const ZoneShape shape = zoneShapeOf(zone);
  if (shape == ZoneShape::other) return {};
  const std::size_t start = numberStartOf(shape);
  const std::string_view number = std::string_view(zone).substr(start, kNumberLength + 1);
  if (!isCheckDigitValid(number.substr(0, kNumberLength), number.substr(kNumberLength))) return {};
  return mrzVoteKey(zone).substr(start, kNumberLength + 1);
}

std::string mrzNumberSettledByCheckDigit(const std::string& zone, std::string_view kept) {
  const ZoneShape shape = zoneShapeOf(zone);
  if (shape == ZoneShape::other) return zone;
  const std::size_t numberStart = numberStartOf(shape);
  const std::string_view number(zone.data() + numberStart, kNumberLength);
  const std::string_view check(zone.data() + numberStart + kNumberLength, 1);
  if (check[0] < '0' || check[0] > '9' || isCheckDigitValid(number, check)) return zone;
  std::vector<std::size_t> places;
  for (std::size_t i = 0; i < kNumberLength; ++i) {
    const bool isKept = kept.size() == zone.size() && kept[numberStart + i] != ' ';
    if ((number[i] == 'O' || number[i] == '0') && !isKept) places.push_back(numberStart + i);
  }
  // Beyond a few places the choices are too many to trust one of them.
  if (places.empty() || places.size() > 4) return zone;
  std::string settled;
  int passing = 0;
  for (unsigned choice = 0; choice < (1u << places.size()); ++choice) {
    std::string candidate = zone;
    for (std::size_t k = 0; k < places.size(); ++k) candidate[places[k]] = (choice >> k) & 1 ? 'O' : '0';
    if (isCheckDigitValid(std::string_view(candidate).substr(numberStart, kNumberLength), check)) {
      ++passing;
      settled = std::move(candidate);
    }
  }
  return passing == 1 ? settled : zone;
}

namespace {

// Where a zone's check digits stand and what each covers.
struct ZoneChecks {
  struct Field {
    std::size_t from, to;  // [from, to) in the zone text
  };
  std::vector<Field> fillable;  // fields whose data is followed by fillers up to their end
  std::vector<std::pair<Field, std::size_t>> checks;  // (field, its check digit's place)
  std::vector<Field> compositeParts;
  std::size_t composite = 0;

  bool valid(const std::string& text) const {
    for (const auto& [field, place] : checks) {
      if (!isCheckDigitValid(std::string_view(text).substr(field.from, field.to - field.from),
                             std::string_view(text).substr(place, 1)))
        return false;
    }
    std::string parts;
    for (const Field& part : compositeParts) parts.append(text, part.from, part.to - part.from);
    return isCheckDigitValid(parts, std::string_view(text).substr(composite, 1));
  }
};

std::optional<ZoneChecks> zoneChecksOf(const std::string& zone) {
  ZoneChecks z;
  const ZoneShape shape = zoneShapeOf(zone);
  if (shape == ZoneShape::td1) {
    constexpr std::size_t l1 = 0, l2 = 31;
    z.fillable = {{l1 + 5, l1 + 14}, {l1 + 15, l1 + 30}, {l2 + 18, l2 + 29}};
    z.checks = {{{l1 + 5, l1 + 14}, l1 + 14}, {{l2 + 0, l2 + 6}, l2 + 6}, {{l2 + 8, l2 + 14}, l2 + 14}};
    z.compositeParts = {{l1 + 5, l1 + 30}, {l2 + 0, l2 + 7}, {l2 + 8, l2 + 15}, {l2 + 18, l2 + 29}};
    z.composite = l2 + 29;
    return z;
  }
  if (shape == ZoneShape::td3) {
    constexpr std::size_t l2 = 45;
    z.fillable = {{l2 + 0, l2 + 9}, {l2 + 28, l2 + 42}};
    z.checks = {{{l2 + 0, l2 + 9}, l2 + 9}, {{l2 + 13, l2 + 19}, l2 + 19}, {{l2 + 21, l2 + 27}, l2 + 27},
                {{l2 + 28, l2 + 42}, l2 + 42}};
    z.compositeParts = {{l2 + 0, l2 + 10}, {l2 + 13, l2 + 20}, {l2 + 21, l2 + 43}};
    z.composite = l2 + 43;
    return z;
  }
  return std::nullopt;
}

}  // namespace

bool mrzCheckDigitsPass(const std::string& zone) {
  const auto checks = zoneChecksOf(zone);
  return checks && checks->valid(zone);
}

std::string mrzFillersSettledByCheckDigits(const std::string& zone) {
  const auto checks = zoneChecksOf(zone);
  if (!checks) return zone;
  auto valid = [&](const std::string& text) { return checks->valid(text); };
  if (valid(zone)) return zone;
  // A field's data comes first and fillers run to its end, so a character after two fillers in a
  // row is most often a misread filler; some states put data there as well (a second number and
  // its check digit), which the check digits keep.
  std::vector<std::size_t> places;
  for (const ZoneChecks::Field& field : checks->fillable) {
    const auto fill = zone.find("<<", field.from);
    if (fill == std::string::npos || fill >= field.to) continue;
    for (std::size_t i = fill + 2; i < field.to; ++i) {
      if (zone[i] != '<') places.push_back(i);
    }
  }
  // Beyond a few places the choices are too many to trust one of them.
  if (places.empty() || places.size() > 3) return zone;
  std::string settled;
  int passing = 0;
  for (unsigned choice = 1; choice < (1u << places.size()); ++choice) {
    std::string candidate = zone;
    for (std::size_t k = 0; k < places.size(); ++k) {
      if ((choice >> k) & 1) candidate[places[k]] = '<';
    }
    if (valid(candidate)) {
      ++passing;
      settled = std::move(candidate);
    }
  }
  return passing == 1 ? settled : zone;
}

std::vector<bool> mrzPlacesOfLettersOnly(const std::string& zone) {
  // Per layout and line, the ranges [from, to) that hold only letters and fillers.
  struct Range {
    std::size_t line, from, to;
  };
  static const std::array<Range, 3> td1 = {{{0, 0, 5}, {1, 15, 18}, {2, 0, 30}}};
  static const std::array<Range, 2> td3 = {{{0, 0, 44}, {1, 10, 13}}};
  const ZoneShape shape = zoneShapeOf(zone);
  const Range* ranges = nullptr;
  std::size_t rangeCount = 0, lineLength = 0;
  if (shape == ZoneShape::td1) {
    ranges = td1.data(), rangeCount = td1.size(), lineLength = 30;
  } else if (shape == ZoneShape::td3) {
    ranges = td3.data(), rangeCount = td3.size(), lineLength = 44;
  } else {
    return {};
  }
  std::vector<bool> places(zone.size(), false);
  for (std::size_t r = 0; r < rangeCount; ++r) {
    const std::size_t start = ranges[r].line * (lineLength + 1);
    for (std::size_t i = ranges[r].from; i < ranges[r].to; ++i) places[start + i] = true;
  }
  return places;
}

std::string mrzLettersWhereNoDigitStands(const std::string& zone) {
  const std::vector<bool> letterPlaces = mrzPlacesOfLettersOnly(zone);
  std::string read = zone;
  for (std::size_t i = 0; i < letterPlaces.size(); ++i) {
    if (letterPlaces[i]) read[i] = replaceDigitsWithLetters(std::string_view(&zone[i], 1))[0];
  }
  return read;
}

std::string mrzDigitsWhereOnlyDigitsStand(const std::string& zone) {
  const ZoneShape shape = zoneShapeOf(zone);
  const char* const* layout = nullptr;
  std::size_t lineCount = 0, lineLength = 0;
  if (shape == ZoneShape::td1) {
    layout = kZoneLayoutTD1.data(), lineCount = 3, lineLength = 30;
  } else if (shape == ZoneShape::td3) {
    layout = kZoneLayoutTD3.data(), lineCount = 2, lineLength = 44;
  } else {
    return zone;
  }
  std::string read = zone;
  for (std::size_t line = 0; line < lineCount; ++line) {
    for (std::size_t place = 0; place < lineLength; ++place) {
      if (layout[line][place] != 'd') continue;
      char& c = read[line * (lineLength + 1) + place];
      c = replaceLettersWithDigits(std::string_view(&c, 1))[0];
    }
  }
  return read;
}

}  // namespace ostrel
