#pragma once

// What the camera set's files share: the fonts, the random draws and the camera's frame
// geometry. Kept out of the public header; only MRZCameraSet*.cpp include it.

#include <cstdint>
#include <mutex>
#include <random>

#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <opencv2/core.hpp>

#include "testing/MRZCameraSet.hpp"

namespace ostrel::testing::mrzset {

inline constexpr double kSupersample = 2;  // page pixels per buffer pixel at the zone's centre

struct SetFont {
  FT_Face face = nullptr;
  cairo_font_face_t* cairoFace = nullptr;
  double capitalPerEm = 0.7;  // height of "H" over the font size
  double advancePerEm = 0.7;  // advance of "0" over the font size
};

std::mutex& renderLock();

// Loaded once and kept for the process: Cairo holds the faces it was given.
const SetFont& setFont(bool sharp);

double between(std::mt19937& random, double low, double high);
int betweenInt(std::mt19937& random, int low, int high);

// The buffer's region of interest in upright pixels.
cv::Rect2d regionInUpright(cv::Size upright, const platform::Rect& roi);
cv::Size uprightSize(const MRZSetCamera& camera);
platform::Rect regionOfInterestFor(const MRZSetCamera& camera);

}  // namespace ostrel::testing::mrzset
