#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/Geometry.hpp"
#include "platform/media/PixelBuffer.hpp"
#include "platform/vision/Observation.hpp"
#include "platform/vision/RecognizeTextRequest.hpp"
#include "scan/MRZLineFinder.hpp"
#include "scan/MRZLineMerger.hpp"
#include "scan/StringTracker.hpp"

namespace ostrel {

// Reads a machine-readable zone from camera frames, one frame at a time: the text in the region
// of interest is recognised, every line goes through a line finder, the zones it assembles are
// voted for over the frames (one vote per frame; the fields no check digit covers settled by a
// character-wise majority of the voting frames and of the frames that read every line of the
// zone without making it), and a zone seen in enough frames that parses
// with a document number and both dates is handed back, once.
//
// The MRZ scanner screen runs one per scan on its frame queue; benchmarks and a host's own
// evaluation can run it on recorded frames. It holds its own line finder, so it may run on any
// one queue at a time; the screen publishes what it accepted to the shared finder.
class MRZFrameScanner {
 public:
  // What one frame's recognised lines were, for drawing: each box normalised to the region of
  // interest (origin bottom-left, clamped to it) and whether its line had a zone assembled.
  struct LineBox {
    platform::Rect box;
    bool inZone = false;
  };
  // A recognised row as a zone line, with the places it read as a guess, and what it read where
  // only a letter or the filler can stand (`letters` empty when the recogniser did not tell).
  struct LineRead {
    std::string text;
    std::vector<bool> unsure;
    std::string letters;
    std::vector<bool> unsureLetters;
  };

  // `regionOfInterest` normalised to the upright picture (origin bottom-left), as the scanner
  // screen computes it.
  explicit MRZFrameScanner(const platform::Rect& regionOfInterest = {0, 0, 1, 1});

  // Reads one frame (`exifOrientation` as `platform::ImageRequestHandler` takes it: the
  // orientation that shows the buffer upright). Returns the accepted zone (lines joined by "\n")
  // when this frame completes one; the vote then starts over. A frame that cannot be read is
  // lost and changes nothing.
  std::optional<std::string> push(const platform::PixelBufferPtr& frame, int exifOrientation);

  // The same for lines already recognised in a frame.
  std::optional<std::string> pushObservations(const std::vector<platform::ObservationPtr>& results);

  // Starts over: no candidate lines, no votes.
  void reset();

  void setRegionOfInterest(const platform::Rect& regionOfInterest);
  const platform::Rect& regionOfInterest() const { return regionOfInterest_; }

  // The boxes of the last frame that had recognised lines; nothing when the last frame had none
  // (the screen then keeps what it drew).
  const std::optional<std::vector<LineBox>>& lastBoxes() const { return lastBoxes_; }
  const StringTracker& tracker() const { return tracker_; }
  const MRZLineFinder& finder() const { return *finder_; }
  const std::shared_ptr<platform::RecognizeTextRequest>& request() const { return request_; }

  // Whether `zone` parses (with correction) with a non-empty document number and both dates:
  // only such a zone can give a chip key.
  static bool givesChipKey(const std::string& zone);

 private:
  // Whether `zone` is what its votes settle on now, and the places no check digit covers are
  // still what they make them once the last frames that made no zone, but read every line of it,
  // vote on them as its own voters do (see `StringTracker`).
  bool settledByItsVotes(const std::string& zone) const;

  platform::Rect regionOfInterest_;
  std::shared_ptr<platform::RecognizeTextRequest> request_;
  std::shared_ptr<MRZLineFinder> finder_;
  MRZLineMerger merger_;
  StringTracker tracker_;
  std::optional<std::vector<LineBox>> lastBoxes_;
  // The document number as each of the last frames that voted read it itself (`mrzNumberKey`).
  std::deque<std::string> ownNumbers_;
  // The rows each of the last frames read that may be zone lines (a line's width, or a few places
  // short of it), and whether that frame voted for a zone.
  struct FrameLines {
    bool voted = false;
    std::vector<LineRead> reads;
  };
  std::deque<FrameLines> recentFrames_;
};

}  // namespace ostrel
