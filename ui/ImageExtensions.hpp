#pragma once

#include "platform/media/Color.hpp"
#include "platform/media/Image.hpp"

namespace ostrel {

// The picture redrawn so its pixels stand upright (orientation up), at the same pixel size and
// scale. The image itself when already up, without a bitmap or when drawing fails.
platform::ImagePtr fixedOrientation(const platform::ImagePtr& image);
// A one-colour silhouette: `color` wherever the picture has alpha, alpha kept. The image itself
// when it has no bitmap.
platform::ImagePtr tinted(const platform::ImagePtr& image, platform::Color color);
// The bitmap turned on an (height x width) canvas at scale 1, which suits quarter turns; a
// quarter turn (pi/2) transposes it.
platform::ImagePtr rotated(const platform::ImagePtr& image, double radians);
// Rows reversed, same size and scale.
platform::ImagePtr flippedVertically(const platform::ImagePtr& image);

}  // namespace ostrel
