#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

// Completes zone lines read in part. Glare or a shadow washes out a stretch of a line, so the
// row is read with blank cells there; in the next frames the glare has moved on and other
// places are washed out. Every line seen is kept as what its frames read at each place, and a
// line read in part is completed from the earlier reads of the same line: at each blank place,
// the character most of them read there.
class MRZLineMerger {
 public:
  static constexpr char kBlank = ' ';

  // `line` is one frame's read of a zone line, a line's width long, with `kBlank` where the
  // frame read nothing. Its read places are kept. Returns the line with its blanks filled from
  // the earlier reads of the same line (the line itself when it has no blank), or nothing while
  // some blank place has not been read in any earlier frame. A read is taken for an earlier
  // line when at least a third of the line was read in both, nearly all of that agrees (17 of
  // 20 places), and what agrees is not fillers alone; otherwise it starts a line of its own.
  std::optional<std::string> merge(const std::string& line);

  void reset();

 private:
  struct Line {
    // Per place, the characters read there, oldest first (at most a few).
    std::vector<std::string> reads;
    std::int64_t lastMerged = 0;
  };
  static char mostRead(const std::string& reads);

  std::vector<Line> lines_;
  std::int64_t merges_ = 0;
};

}  // namespace ostrel
