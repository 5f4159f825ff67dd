#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/media/Geometry.hpp"
#include "platform/media/PixelBuffer.hpp"

namespace ostrel::testing {

// A set of phone-camera sequences of machine-readable zones, made to judge a frame reader from
// outside: every sequence is 30 frames of one document held under a phone, rendered from a
// printer's dot raster of the zone on a security-printed page, through a camera model (pose,
// optics, light, sensor, the phone's own processing and JPEG) into '420f' buffers as a phone
// hands them over. Everything follows from the seed and the sequence's index.

enum class PhotoBucket { easy, medium, hard };
enum class PhotoContent { plain, lookAlike, longName, onePartName, sexX, shortNumber };
// What a negative sequence shows instead of a readable zone.
enum class PhotoNegative { none, noZone, badCheckDigit, otherFormat, randomText, cutOff };

const char* photoBucketName(PhotoBucket bucket);
const char* photoContentName(PhotoContent content);
const char* photoNegativeName(PhotoNegative negative);

// The camera and the hand for one sequence. Sizes are in pixels of the upright picture.
struct PhotoCamera {
  int bufferWidth = 1920;  // the sensor's landscape buffer
  int bufferHeight = 1080;
  bool upright = true;  // portrait picture, handed over with EXIF orientation 6
  double capHeight = 20;  // capital height at the first frame
  double approach = 1;  // scale of the last frame over the first (the user moves closer or away)
  double tiltX = 0, tiltY = 0;  // degrees, about the page's horizontal and vertical axes
  double turn = 0;  // in-plane rotation, degrees
  double defocus = 0;  // blur (sigma, px) per 10 % of depth away from the focused point
  double lensBlur = 0.6;  // the optics' own blur, sigma px
  double shake = 0;  // motion blur length scale, px
  double tremor = 0;  // hand tremor amplitude, px
  double vignetting = 0;
  double barrel = 0;
  double lightSlope = 0;  // uneven light across the frame
  double glare = 0;  // peak of the specular spot, in units of paper white
  double inkReflectance = 0.06;  // of the zone's ink; paper is ~0.8
  double readNoise = 0.004;  // normalised
  double fullWell = 1500;  // electrons at white: shot noise
  double exposureStart = 1;  // auto-exposure's first guess over the settled one
  double gamma = 2.2;
  double sharpen = 0.5;  // the phone's unsharp mask
  int jpegQuality = 80;
};

// The zone's print.
struct PhotoPrint {
  bool sharpCut = false;  // OCRBS.otf instead of OCRB.otf
  double glyphScale = 1;  // of the nominal size at 10 characters per inch
  double embolden = 0;  // outline weight change, in 1/64 dot units (negative: thinner)
  double dotGain = 0.6;  // toner dot radius over the dot pitch
  double speckle = 0.002;  // stray toner per dot position near the print
  double baselineJitter = 0.5;  // per glyph, in dots
  int page = 0;  // page design variant
  int behind = 0;  // 0 wooden table, 1 grey desk, 2 dark cloth, 3 hand
};

struct PhotoSequence {
  int index = 0;
  std::uint64_t seed = 0;
  PhotoBucket bucket = PhotoBucket::easy;
  PhotoContent content = PhotoContent::plain;
  PhotoNegative negative = PhotoNegative::none;
  bool cardFormat = true;  // a card back (TD1 size); otherwise a passport data page
  std::vector<std::string> lines;  // the printed zone; empty for a page without one
  PhotoCamera camera;
  PhotoPrint print;

  bool positive() const { return negative == PhotoNegative::none; }
  std::string zone() const;  // lines joined by "\n"
};

constexpr int kPhotoSetPositivesPerBucket = 72;
constexpr int kPhotoSetNegatives = 30;
constexpr int kPhotoSetSize = 3 * kPhotoSetPositivesPerBucket + kPhotoSetNegatives;
constexpr int kPhotoSetFrames = 30;
constexpr std::uint64_t kPhotoSetDefaultSeed = 5150;

// OSTREL_PHOTO_SET_SEED when set, otherwise the default.
std::uint64_t photoSetSeed();
PhotoSequence photoSequence(int index, std::uint64_t seed);

// ICAO 9303 check character of `field` (weights 7, 3, 1; '<' counts 0); '?' for a character
// that cannot be in a zone.
char mrzPhotoCheckDigit(const std::string& field);
// Whether `lines` make a TD1 (3 x 30) or TD3 (2 x 44) zone of allowed characters whose every
// check digit, the composite one included, holds.
bool mrzPhotoZoneValid(const std::vector<std::string>& lines);

// The region the scanner screen reads, normalised to the upright picture with the origin at
// the bottom left, for a 16:9 camera held upright or sideways.
platform::Rect photoSetRegionOfInterest(bool upright);

struct PhotoFrame {
  platform::PixelBufferPtr buffer;
  int exifOrientation = 1;
  cv::Mat upright;  // the same picture upright, BGR (after the JPEG round trip)
  // The printed zone's corners in the upright picture, normalised with the origin at the bottom
  // left like the region of interest; empty when nothing is printed.
  std::vector<cv::Point2d> zoneCorners;
  double capHeight = 0;  // of this frame, px
};

// Renders one sequence's frames; the page is printed once, frames may be asked in any order.
class PhotoSequenceRenderer {
 public:
  explicit PhotoSequenceRenderer(const PhotoSequence& sequence);
  ~PhotoSequenceRenderer();
  PhotoSequenceRenderer(const PhotoSequenceRenderer&) = delete;
  PhotoSequenceRenderer& operator=(const PhotoSequenceRenderer&) = delete;

  PhotoFrame frame(int frameIndex) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace ostrel::testing
