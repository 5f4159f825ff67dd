#pragma once

// A second evaluation set of camera reading, made apart from the zone reader: zones printed
// with Cairo from the OCR-B font files (the regular and the "Sharp" cut) through FreeType's
// outlines, glyphs a little smaller than the pitch or thicker or thinner as printers make them,
// on patterned card backs and passport data pages with other print around the zone; then
// photographed: tilted out of the plane, turned, defocused or shaken, lit unevenly, with glare,
// low contrast, noise and JPEG loss, into 1920x1080 or 1280x720 camera buffers held upright or
// in landscape. Everything follows from the sequence's index, so the set is the same on every
// run and machine.
//
// The set holds positive sequences (TD1 and TD3 zones of six content classes at three
// difficulties, every check digit computed) and negative ones, which hold no zone a scanner may
// hand on (no zone at all, TD2 cards, visas, zones with broken check digits, lines of OCR-B
// that are no zone).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/media/Geometry.hpp"
#include "platform/media/PixelBuffer.hpp"

namespace ostrel::testing {

enum class MRZSetDifficulty { easy, medium, hard };
enum class MRZSetContent { plain, lookAlike, longName, onePartName, sexX, shortNumber, negative };

const char* mrzSetDifficultyName(MRZSetDifficulty difficulty);
const char* mrzSetContentName(MRZSetContent content);

struct MRZSetCamera {
  bool sharpCut = false;       // OCRBS.otf rather than OCRB.otf
  double glyphScale = 1;       // glyph size over the pitch the font's advance gives
  double strokeWeight = 0;     // outline grown (>0) or eaten (<0), in capital heights
  double capitalHeight = 24;   // of the printed capitals, in buffer pixels
  double tiltDegrees = 0;      // out of the picture plane
  double tiltDirection = 0;    // axis of the tilt, radians
  double turnDegrees = 0;      // in the picture plane
  double defocusSigma = 0;
  double motionBlur = 0;       // length in pixels of the shake's streak (frames vary)
  double unevenLight = 0;      // 0..1
  double glare = 0;            // 0..1, a bright patch that wanders over the card
  double contrast = 1;         // ink-to-paper contrast kept, 0..1
  double noiseSigma = 0;
  int jpegQuality = 90;
  bool landscape = false;      // the device held in landscape (buffer read upright, EXIF 1)
  bool hd720 = false;          // 1280x720 rather than 1920x1080
  bool passportPage = false;   // data page (photo, printed fields) rather than a card back
  std::uint32_t seed = 1;
};

struct MRZSetSequence {
  int index = 0;
  MRZSetDifficulty difficulty = MRZSetDifficulty::easy;
  MRZSetContent content = MRZSetContent::plain;
  std::string kind;                // "TD1", "TD3", or for a negative what it shows
  std::vector<std::string> lines;  // what is printed where a zone would be (may be empty)
  // For a positive sequence, what the parsed zone must give.
  std::string documentNumber;  // nine characters, fillers kept
  std::string birth;
  std::string expiry;
  MRZSetCamera camera;
  bool negative() const { return content == MRZSetContent::negative; }
};

// The set's seed: 424242, or for a fresh set of the same make another one chosen with
// OSTREL_MRZ_SET_SEED (a set to check on that nothing was tuned on).
std::uint32_t mrzCameraSetSeed();

// Positive sequences come first, then the negatives.
int mrzCameraSetPositives();
int mrzCameraSetNegatives();
MRZSetSequence mrzCameraSetSequence(int index);

// The frames of one sequence: the page is printed once, each frame photographs it anew with
// a little hand movement, fresh noise and JPEG loss. With OSTREL_MRZ_SET_PAGE_DUMP set to a
// folder, the printed page is written there as PNG.
class MRZCameraSequence {
 public:
  explicit MRZCameraSequence(MRZSetSequence sequence);

  const MRZSetSequence& sequence() const { return sequence_; }
  // The camera buffer ('420f') of frame `index`; the same index gives the same buffer.
  platform::PixelBufferPtr frame(int index) const;
  // The EXIF orientation that shows the buffer upright, as the scanner passes it.
  int exifOrientation() const;
  // The scanner's region of interest for this holding of the device (normalised to the upright
  // picture, origin bottom-left).
  platform::Rect regionOfInterest() const;
  // Frame `index` as the upright grey picture (for looking at it).
  cv::Mat uprightFrame(int index) const;

 private:
  MRZSetSequence sequence_;
  cv::Mat page_;        // grey, printed at kSupersample times the buffer scale
  cv::Point2d zoneCentre_;  // in page pixels
  double pageScale_ = 1;    // buffer pixels per page pixel
};

// Whether an accepted zone text (lines joined by "\n") gives the record the printed zone gives,
// both parsed with the parser's correction (so an "O" read for a printed "0" in a number field,
// or a "0" for an "O" in a name, is the same zone).
bool sameMRZZone(const std::vector<std::string>& printed, const std::string& accepted);

}  // namespace ostrel::testing
