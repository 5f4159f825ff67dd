#pragma once

#include <cstdint>

#include <opencv2/core.hpp>

#include "platform/foundation/JSON.hpp"

namespace ostrel::testing {

// A JPEG of the RGBA pixels (quality 100) carrying an EXIF block whose first directory holds
// one orientation entry (1-8), in little- or big-endian TIFF order.
platform::Bytes jpegWithExifOrientation(const cv::Mat& rgba, int orientation,
                                        bool bigEndian = false);

// The APP1 "Exif" segment such a JPEG carries, for tests that mangle it.
platform::Bytes exifSegment(int orientation, bool bigEndian = false);

// `jpeg` with `segment` inserted right after its start-of-image marker.
platform::Bytes insertAfterStartOfImage(const platform::Bytes& jpeg,
                                        const platform::Bytes& segment);

}  // namespace ostrel::testing
