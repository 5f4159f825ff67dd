#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

// Reads zone lines across frames. Glare or a shadow washes out a stretch of a line, so the
// row is read with blank cells there; in the next frames the glare has moved on and other
// places are washed out. Small, blurred or faint print is misread at a few places in every
// frame, each frame at others. Every line seen is kept as what its frames read at each place;
// a line read in part is completed from the earlier reads of the same line (at each blank
// place, the character most of them read there), and a place that the frames clearly agree on
// is read as they read it.
class MRZLineMerger {
 public:
  static constexpr char kBlank = ' ';

  // `line` is one frame's read of a zone line, a line's width long, with `kBlank` where the
  // frame read nothing. Its read places are kept. Returns the line with its blanks filled from
  // the earlier reads of the same line, and each place it read replaced by what at least three
  // reads and two thirds of the reads of that place hold (this one included); or nothing while
  // some blank place has not been read in any earlier frame. A place the reads split on keeps
  // this frame's read: a check digit that one plurality read of a look-alike happens to pass
  // must not be made to stand for every frame. A read is taken for an earlier line when at
  // least a third of the line was read in both, nearly all of that agrees (17 of 20 places),
  // and what agrees is not fillers alone; otherwise it starts a line of its own.
  std::optional<std::string> merge(const std::string& line);
  // For the earlier line `line` is taken for (as `merge` takes it), `kSettled` at each place
  // whose reads settle it (two thirds of at least three agree) and `kBlank` elsewhere; empty
  // when it is taken for none.
  std::string settledPlaces(const std::string& line) const;
  static constexpr char kSettled = 's';
  // Whether `merge` would take `line` for an earlier line.
  bool takesForAnEarlierLine(const std::string& line) const { return sameLine(line).has_value(); }

  void reset();

 private:
  struct Line {
    // Per place, the characters read there, oldest first (at most a few).
    std::vector<std::string> reads;
    std::int64_t lastMerged = 0;
  };
  // The index of the earlier line a read is taken for, if any.
  std::optional<std::size_t> sameLine(const std::string& line) const;
  static char mostRead(const std::string& reads);
  static std::optional<char> settledRead(const std::string& reads);

  std::vector<Line> lines_;
  std::int64_t merges_ = 0;
};

}  // namespace ostrel
