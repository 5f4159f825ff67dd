#pragma once

#include <cstdint>
#include <vector>

#include "platform/media/Image.hpp"
#include "platform/media/ImageSource.hpp"

namespace ostrel {

// A frame's delay in whole milliseconds: the unclamped GIF delay, or the clamped one when the
// unclamped is 0; 100 below 0.1 s or when the frame carries no delay; others rounded to the
// nearest millisecond.
std::int64_t gifFrameDelayMilliseconds(const platform::JSON& properties);

// An animated picture from a GIF source: each frame shown for its delay, as the frame repeated
// delay / g times where g is the greatest common divisor of the delays, over the total delay. A
// frame that cannot be decoded is left out together with its delay. Nothing without frames.
platform::ImagePtr animatedImage(const platform::ImageSource& source);

}  // namespace ostrel
