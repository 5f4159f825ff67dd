#pragma once

// Cairo drawing steps the renderer's files share: views and layers, text, pictures.

#include <cairo.h>

#include "platform/media/Color.hpp"
#include "platform/media/Geometry.hpp"

namespace ostrel::platform::rendering {

void setSource(cairo_t* cr, const Color& c);

// A rectangle with the corners named in `corners` rounded by `radius`, as the layer rounds.
void roundedRectPath(cairo_t* cr, Rect r, double radius, unsigned corners);

}  // namespace ostrel::platform::rendering

namespace ostrel::platform {
using rendering::roundedRectPath;
using rendering::setSource;
}  // namespace ostrel::platform
