#include "scan/StringTracker.hpp"

namespace ostrel {

namespace {
constexpr std::int64_t kForgetAfterFrames = 30;
}  // namespace

StringTracker::StringTracker(std::shared_ptr<MRZLineFinder> finder) : finder_(std::move(finder)) {}

void StringTracker::logFrame(const std::vector<std::string>& strings) {
  for (const auto& string : strings) {
    auto found = index_.find(string);
    if (found == index_.end()) {
      entries_.emplace_back(string, Sighting{0, -1});
      found = index_.emplace(string, std::prev(entries_.end())).first;
    }
    Sighting& sighting = found->second->second;
    sighting.lastSeen = frameIndex_;
    sighting.count += 1;
  }

  for (auto entry = entries_.begin(); entry != entries_.end();) {
    const auto& [string, sighting] = *entry;
    if (sighting.lastSeen < frameIndex_ - kForgetAfterFrames) {
      index_.erase(string);
      entry = entries_.erase(entry);
      continue;
    }
    if (sighting.count > bestCount_) {
      bestCount_ = sighting.count;
      bestString_ = string;
    }
    ++entry;
  }
  ++frameIndex_;
}

void StringTracker::reset(const std::string& string) {
  if (auto found = index_.find(string); found != index_.end()) {
    entries_.erase(found->second);
    index_.erase(found);
  }
  bestCount_ = 0;
  bestString_.clear();
  if (finder_) finder_->reset();
}

std::vector<std::pair<std::string, StringTracker::Sighting>> StringTracker::seenStrings() const {
  return {entries_.begin(), entries_.end()};
}

}  // namespace ostrel
