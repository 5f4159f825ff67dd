#pragma once

#include <cstddef>

#include <opencv2/core.hpp>


#include "platform/camera/CaptureTypes.hpp"

namespace ostrel::platform {

// The buffer a phone camera at `position` writes for an upright picture: the back camera's is
// the picture turned 90 degrees counter-clockwise (shown upright with orientation right, 6),
// the front camera's its transpose (shown with orientation left-mirrored, 5). Both backends
// write frames this way, so the orientations the library passes show every picture upright.
cv::Mat sensorLayoutFromUpright(const cv::Mat& upright, CaptureDevicePosition position);

// Row stride a camera driver would use for `width` BGRA pixels (rows aligned to 64 bytes).
std::size_t driverRowStride(int width);

}  // namespace ostrel::platform
