#pragma once

#include <cstddef>

#include <opencv2/core.hpp>

#include "platform/media/PixelBuffer.hpp"

namespace ostrel::platform {

// A pixel buffer in `format` holding `bgra` (CV_8UC4, or CV_8UC3 BGR). Rows are padded by
// `rowPadding` bytes (a camera's strides are rarely tight). '420f' is full-range BT.601: Y as
// the JPEG luma, Cb and Cr averaged over each 2 x 2 block (half size, rounded up).
PixelBufferPtr makePixelBuffer(const cv::Mat& bgra, PixelFormat format, std::size_t rowPadding = 0);

// The buffer's pixels as tightly packed RGBA (CV_8UC4); empty when the buffer cannot be read
// (no size, a stride shorter than a row, planes shorter than their rows, a missing plane).
cv::Mat rgbaFromPixelBuffer(const PixelBuffer& buffer);
// Whether `rgbaFromPixelBuffer` can read the buffer, without converting it.
bool pixelBufferReadable(const PixelBuffer& buffer);

}  // namespace ostrel::platform
