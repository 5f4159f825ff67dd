#pragma once

// Camera pictures of a machine-readable zone for tests and benchmarks: zone lines printed in
// OCR-B on a card-like background, placed in the region of interest of an upright portrait
// picture, with the faults a hand-held camera adds (turn, blur, noise, uneven light, JPEG).
// Everything comes from a fixed seed, so a picture is the same on every run.

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/media/PixelBuffer.hpp"

namespace ostrel::testing {

// The upright portrait picture a 1920x1080 back camera gives, and the region of interest the
// scanner reads in it in portrait (5 % to 95 % of the width, 22.4 % to 55.2 % of the height).
inline constexpr int kMRZPictureWidth = 1080;
inline constexpr int kMRZPictureHeight = 1920;
cv::Rect mrzRegionInPicture();

struct MRZPictureStyle {
  // Font size in pixels given to the renderer (the capital height is about 0.7 of it).
  int characterHeight = 24;
  double rotationDegrees = 0;
  double blurSigma = 0;
  double noiseSigma = 0;
  // 0: even light; 1: one side of the region at about a third of the other's brightness.
  double unevenLight = 0;
  // 0: no JPEG round trip.
  int jpegQuality = 0;
  // Where the zone sits, in pixels from its centred place.
  double offsetX = 0;
  double offsetY = 0;
  // A line of the card's other print (proportional type) above the zone.
  bool otherCardText = true;
  std::uint32_t seed = 1;
};

// The region of interest alone, grey, as the recogniser is given it.
cv::Mat renderMRZRegion(const std::vector<std::string>& lines, const MRZPictureStyle& style);

// The whole upright picture (grey), the region in its place on a plain surrounding.
cv::Mat renderMRZPicture(const std::vector<std::string>& lines, const MRZPictureStyle& style);

// Puts a region rendering into an upright picture.
cv::Mat uprightPictureWithRegion(const cv::Mat& region);

// A '420f' buffer of an upright grey picture as the back camera delivers it: turned 90 degrees
// counter-clockwise, so EXIF orientation 6 shows it upright again.
platform::PixelBufferPtr cameraBufferFromUpright(const cv::Mat& uprightGrey);

// A hand-held sequence of one zone: one card rendering per sequence, then per frame a little
// movement, a little turn and fresh noise and JPEG loss.
class MRZFrameSequence {
 public:
  MRZFrameSequence(std::vector<std::string> lines, MRZPictureStyle style);

  const std::vector<std::string>& lines() const { return lines_; }
  const MRZPictureStyle& style() const { return style_; }
  // The region of frame `index` (any index; the same index gives the same picture).
  cv::Mat regionFrame(int index) const;

 private:
  std::vector<std::string> lines_;
  MRZPictureStyle style_;
  cv::Mat card_;  // sharp, grey, larger than the region by a margin on every side
};

}  // namespace ostrel::testing
