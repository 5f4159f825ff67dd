#pragma once

// The evaluation set of the zone reader: generated zones (TD1 and TD3 in turn, each with its
// own number, dates and names, every check digit computed) printed in OCR-B under a camera
// style drawn from the sequence's seed, and a run of the MRZ scanner's per-frame work over a
// sequence through the scanner's per-frame reader (`MRZFrameScanner`).

#include <optional>
#include <string>
#include <vector>

#include "platform/media/Geometry.hpp"
#include "testing/MRZPictureRenderer.hpp"

namespace ostrel {
class MRZFrameScanner;
}

namespace ostrel::testing {

struct MRZEvaluationZone {
  std::vector<std::string> lines;
  std::string documentNumber;  // nine characters, fillers kept
  std::string birth;           // YYMMDD
  std::string expiry;          // YYMMDD
};

// Zone `index` of the set: TD1 for even indices, TD3 for odd ones.
MRZEvaluationZone evaluationZone(int index);
// The camera style of sequence `index`: font size 18-40 px (as large as the zone still fits
// the region), turn up to 5 degrees either way, blur sigma up to 1.5, noise, uneven light,
// JPEG quality 60.
MRZPictureStyle evaluationStyle(int index);
MRZFrameSequence evaluationSequence(int index);

// The region of interest the scanner uses in portrait with a 16/9 buffer (normalised, origin
// bottom-left).
platform::Rect portraitRegionOfInterest();

struct MRZScanRun {
  int framesRead = 0;                   // frames fed until completion or the end
  std::optional<std::string> zoneText;  // the completed zone, lines joined by "\n"
  std::string documentNumber;           // of the completed zone, as parsed (raw)
  std::string birth;
  std::string expiry;
  bool matches(const MRZEvaluationZone& zone) const {
    return zoneText && documentNumber == zone.documentNumber && birth == zone.birth &&
           expiry == zone.expiry;
  }
};

// Fills `run` from a completed zone text when it parses (with correction) with a document
// number and both dates; answers whether it did.
bool fillCompletion(MRZScanRun& run, const std::string& text);

// Feeds up to `maxFrames` frames of the sequence, each as a back-camera buffer (orientation 6),
// through an `MRZFrameScanner` on the installed recogniser, as the scanner screen does; stops
// at the first completion.
MRZScanRun scanLikeTheScanner(const MRZFrameSequence& sequence, int maxFrames);

// The same through the MRZ scanner screen itself: a scanner set up on an image-file back
// camera, each frame handed to its frame step and the queues run, until it completes. A
// completion that does not parse is kept as `zoneText` with no number (a wrong zone). Needs
// the deterministic runtime (a test's `RuntimeEnvironment`).
MRZScanRun scanThroughTheScanner(const MRZFrameSequence& sequence, int maxFrames);

// Writes to stderr the lines `scanner` read in its last frame, one per line under a "frame"
// heading (`frame` its number, or -1 for none), for a person to compare with the print.
void printLinesRead(const MRZFrameScanner& scanner, int frame);

}  // namespace ostrel::testing
