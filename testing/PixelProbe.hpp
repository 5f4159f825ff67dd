#pragma once

#include <optional>

#include "platform/media/Color.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/media/Image.hpp"
#include "platform/ui/Text.hpp"

namespace ostrel::testing {

// The colour of the pixel under `point` (points, through the image's scale), straight alpha.
platform::Color pixelAt(const platform::Image& image, platform::Point point);
// The smallest rectangle (points) holding every pixel that differs from `background` by more
// than `tolerance` on some component; nothing when none does.
std::optional<platform::Rect> inkBounds(const platform::Image& image, platform::Color background,
                                        double tolerance = 0.1);

// How far the highest ink in `region` (points) rises above the top that most inked columns
// share: over a line of capitals, the height of the marks stacked on them ("Ễ" over "NGUY").
// Nothing when the region holds no ink.
std::optional<double> inkRiseAboveCapitals(const platform::Image& image, platform::Rect region,
                                           platform::Color background, double tolerance = 0.3);
// The same rise as the fonts give it for `capitals` set in `font`, uncut.
double stackedMarkRise(const std::string& capitals, const platform::Font& font);

}  // namespace ostrel::testing
