#pragma once

#include <array>
#include <memory>
#include <optional>

#include "platform/media/CMTime.hpp"
#include "platform/media/PixelBuffer.hpp"

namespace ostrel::platform {

// A 3x3 camera intrinsics matrix, row major (fx 0 cx / 0 fy cy / 0 0 1), in pixels.
using CameraIntrinsics = std::array<float, 9>;

// One frame as a video output delivers it: when it was presented, its pixels (a frame may come
// without an image buffer) and the attachments the camera added.
struct SampleBuffer {
  CMTime presentationTime;
  PixelBufferPtr imageBuffer;
  std::optional<CameraIntrinsics> cameraIntrinsics;
};

using SampleBufferPtr = std::shared_ptr<SampleBuffer>;

}  // namespace ostrel::platform
