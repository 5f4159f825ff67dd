#include "scan/MRZLineMerger.hpp"

#include <algorithm>
#include <array>

namespace ostrel {

namespace {

// Reads kept per place, and lines kept (the least recently merged is forgotten first).
constexpr std::size_t kReadsKept = 12;
constexpr std::size_t kLinesKept = 8;
// Places holding data (not fillers) a read must agree on with an earlier line to be taken for it.
constexpr std::size_t kAgreeingData = 3;
// The reads of a place settle it when there are at least this many and two thirds of them agree.
constexpr std::size_t kSettlingReads = 3;

}  // namespace

std::optional<char> MRZLineMerger::settledRead(const std::string& reads) {
  if (reads.size() < kSettlingReads) return std::nullopt;
  const char most = mostRead(reads);
  const auto count = static_cast<std::size_t>(std::count(reads.begin(), reads.end(), most));
  if (3 * count < 2 * reads.size()) return std::nullopt;
  return most;
}

char MRZLineMerger::mostRead(const std::string& reads) {
  std::array<int, 256> tally{};
  char best = kBlank;
  int bestCount = 0;
  // Ties go to the latest read.
  for (const char c : reads) {
    const int count = ++tally[static_cast<unsigned char>(c)];
    if (count >= bestCount) bestCount = count, best = c;
  }
  return best;
}

std::optional<std::size_t> MRZLineMerger::sameLine(const std::string& line) const {
  // The earlier line this read agrees with best. Fillers say little of which line it is (a
  // card's lines all end in them), so only agreeing places that hold data count towards it.
  std::optional<std::size_t> same;
  std::size_t sameAgreeing = 0;
  for (std::size_t index = 0; index < lines_.size(); ++index) {
    const Line& earlier = lines_[index];
    if (earlier.reads.size() != line.size()) continue;
    std::size_t both = 0, agreeing = 0, agreeingData = 0;
    for (std::size_t place = 0; place < line.size(); ++place) {
      if (line[place] == kBlank || earlier.reads[place].empty()) continue;
      ++both;
      if (mostRead(earlier.reads[place]) != line[place]) continue;
      ++agreeing;
      if (line[place] != '<') ++agreeingData;
    }
    if (3 * both < line.size() || agreeingData < kAgreeingData || 20 * agreeing < 17 * both) continue;
    if (!same || agreeing > sameAgreeing) same = index, sameAgreeing = agreeing;
  }
  return same;
}

std::string MRZLineMerger::settledPlaces(const std::string& line) const {
  const auto same = sameLine(line);
  if (!same) return {};
  std::string settled(line.size(), kBlank);
  for (std::size_t place = 0; place < line.size(); ++place) {
    if (settledRead(lines_[*same].reads[place])) settled[place] = kSettled;
  }
  return settled;
}

std::optional<std::string> MRZLineMerger::merge(const std::string& line) {
  ++merges_;
  const auto sameIndex = sameLine(line);
  Line* same = sameIndex ? &lines_[*sameIndex] : nullptr;
  if (!same) {
    if (lines_.size() >= kLinesKept) {
      lines_.erase(std::min_element(lines_.begin(), lines_.end(), [](const Line& l, const Line& r) {
        return l.lastMerged < r.lastMerged;
      }));
    }
    lines_.push_back(Line{std::vector<std::string>(line.size()), 0});
    same = &lines_.back();
  }
  same->lastMerged = merges_;
  std::string completed = line;
  bool whole = true;
  for (std::size_t place = 0; place < line.size(); ++place) {
    std::string& reads = same->reads[place];
    if (line[place] != kBlank) {
      reads.push_back(line[place]);
      if (reads.size() > kReadsKept) reads.erase(reads.begin());
      // A place the frames clearly agree on is read as they read it, whatever this frame read
      // there; a place they split on keeps this frame's read.
      if (const auto settled = settledRead(reads)) completed[place] = *settled;
    } else if (reads.empty()) {
      whole = false;
    } else {
      completed[place] = mostRead(reads);
    }
  }
  if (!whole) return std::nullopt;
  return completed;
}

void MRZLineMerger::reset() {
  lines_.clear();
  merges_ = 0;
}

}  // namespace ostrel
