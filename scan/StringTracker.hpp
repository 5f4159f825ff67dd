#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "scan/MRZLineFinder.hpp"

namespace ostrel {

// Votes over camera frames for the text read most often. Each frame logs the texts it produced;
// a text not seen for more than 30 frames is forgotten; `bestString` is the text with the
// highest count so far (a text seen n times counts n - 1) and only moves up until `reset`.
// Ties keep the earlier best, and among texts first counted in the same frame the one seen
// first wins, so results never depend on hashing.
//
// One tracker belongs to one MRZ scanner screen and runs on the main queue.
class StringTracker {
 public:
  struct Sighting {
    std::int64_t lastSeen = 0;
    std::int64_t count = 0;
    bool operator==(const Sighting&) const = default;
  };

  // `finder` is the line finder that `reset` empties along with the vote.
  explicit StringTracker(std::shared_ptr<MRZLineFinder> finder = MRZLineFinder::shared());

  // Counts the texts of one frame (a text listed twice counts twice), ages out old texts and
  // moves to the next frame. An empty frame still ages and advances.
  void logFrame(const std::vector<std::string>& strings);

  // Called once `string` is accepted: forgets it, clears the best text and empties the line
  // finder, so the next zone is assembled and counted from scratch.
  void reset(const std::string& string);

  std::int64_t frameIndex() const { return frameIndex_; }
  std::int64_t bestCount() const { return bestCount_; }
  const std::string& bestString() const { return bestString_; }
  // The texts being counted, in the order they were first seen.
  std::vector<std::pair<std::string, Sighting>> seenStrings() const;

 private:
  using Entries = std::list<std::pair<std::string, Sighting>>;

  std::shared_ptr<MRZLineFinder> finder_;
  std::int64_t frameIndex_ = 0;
  Entries entries_;
  std::unordered_map<std::string, Entries::iterator> index_;
  std::int64_t bestCount_ = 0;
  std::string bestString_;
};

}  // namespace ostrel
