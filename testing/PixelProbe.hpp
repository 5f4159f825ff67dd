#pragma once

#include <optional>

#include "platform/media/Color.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/media/Image.hpp"

namespace ostrel::testing {

// The colour of the pixel under `point` (points, through the image's scale), straight alpha.
platform::Color pixelAt(const platform::Image& image, platform::Point point);
// The smallest rectangle (points) holding every pixel that differs from `background` by more
// than `tolerance` on some component; nothing when none does.
std::optional<platform::Rect> inkBounds(const platform::Image& image, platform::Color background,
                                        double tolerance = 0.1);

}  // namespace ostrel::testing
