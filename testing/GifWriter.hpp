#pragma once

#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/foundation/Bytes.hpp"

namespace ostrel::testing {

// One frame of a GIF to write: an RGBA picture of the canvas size and its delay in
// centiseconds.
struct GifFrame {
  cv::Mat rgba;
  int delayCentiseconds = 10;
};

// A looping GIF with a 6x6x6 colour cube palette; nothing when giflib fails.
std::optional<platform::Bytes> writeGif(const std::vector<GifFrame>& frames);

}  // namespace ostrel::testing
