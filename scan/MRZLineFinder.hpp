#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// Collects the lines of a TD1 (3 x 30) or TD3 (2 x 44) zone from recognised text lines that
// arrive one at a time, in any order and across camera frames, and assembles the zone once a
// full set is present. Two-line 36-character zones (TD2) and visas are never assembled.
//
// The scanner and the chip screen share one finder (`shared()`); it runs on the main queue
// only and holds no lock. A scanner must `reset()` it when it starts scanning, so that a zone
// left over from an earlier document can never be returned for the next one.
class MRZLineFinder {
 public:
  static std::shared_ptr<MRZLineFinder> shared();

  // Tests one recognised line (spaces already removed). A line that matches a line pattern at
  // exactly that line's length replaces the candidate for its slot; when a set is complete and
  // the joined text passes the whole-zone pattern, that text becomes `assembledMRZText()`.
  // Returns the assembled zone (lines joined by "\n"), or none while nothing is assembled.
  // Once a zone is assembled it is returned for every line, until `reset()`.
  std::optional<std::string> findMRZLines(std::string_view text);

  // Forgets every candidate line and the assembled zone.
  void reset();

  // Candidate slots: line 1 and line 2 are shared by TD1 and TD3; line 3 is TD1's.
  const std::string& mrzCandidateLine1() const { return line1_; }
  const std::string& mrzCandidateLine2() const { return line2_; }
  const std::string& mrzCandidateLine3() const { return line3_; }
  // The last assembled zone; empty when none since the last reset.
  const std::string& assembledMRZText() const { return assembled_; }
  // The last joined set of lines that was tested against a whole-zone pattern.
  const std::string& mrzJoinedCandidate() const { return joined_; }
  // How many lines so far fitted a slot and completed a zone that passes its pattern. The
  // assembled zone is returned for every later line, whatever it is; this tells the reads
  // that took part in it from those that merely came after it.
  std::uint64_t linesAssembled() const { return linesAssembled_; }

 private:
  bool tryAssemble(std::size_t lineLength, bool td1);

  std::string line1_;
  std::string line2_;
  std::string line3_;
  // What line 1 and line 3 held before they last changed.
  std::string earlierLine1_;
  std::string earlierLine3_;
  std::string assembled_;
  std::string joined_;
  std::uint64_t linesAssembled_ = 0;
};

// The shared finder, as the MRZ scanner and the chip screen use it.
std::optional<std::string> findMRZLines(std::string_view text);
std::string assembledMRZText();
void resetMRZLineFinder();

}  // namespace ostrel
