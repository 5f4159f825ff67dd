#pragma once

#include <optional>

#include "platform/foundation/JSON.hpp"
#include "platform/media/Image.hpp"

namespace ostrel::platform {

// The orientation tag (0x0112) of a JPEG's EXIF block: APP1 "Exif", its TIFF header and the
// first image directory, read through bounds-checked offsets. Nothing when the data is not a
// JPEG, has no EXIF block or tag, or when anything in the block is malformed or out of range.
std::optional<int> jpegExifOrientation(const Bytes& data);

// EXIF orientation numbers (1-8) as picture orientations; anything else is `up`.
ImageOrientation imageOrientationFromExif(int exifOrientation);

}  // namespace ostrel::platform
