#include "platform/media/ExifOrientation.hpp"

#include <cstddef>
#include <cstdint>

namespace ostrel::platform {
namespace {

// A read-only window on bytes; every read is checked against the window's end.
class ByteWindow {
 public:
  ByteWindow(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::size_t size() const { return size_; }
  std::optional<ByteWindow> sub(std::size_t offset, std::size_t length) const {
    if (offset > size_ || length > size_ - offset) return std::nullopt;
    return ByteWindow(data_ + offset, length);
  }
  std::optional<std::uint32_t> read(std::size_t offset, std::size_t width, bool bigEndian) const {
    if (offset > size_ || width > size_ - offset) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
      std::uint32_t byte = data_[offset + (bigEndian ? i : width - 1 - i)];
      value = (value << 8) | byte;
    }
    return value;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

std::optional<int> orientationInTiff(const ByteWindow& tiff) {
  auto order = tiff.read(0, 2, true);
  if (!order || (*order != 0x4949 && *order != 0x4D4D)) return std::nullopt;
  const bool big = *order == 0x4D4D;
  auto magic = tiff.read(2, 2, big);
  auto ifdOffset = tiff.read(4, 4, big);
  if (!magic || *magic != 42 || !ifdOffset) return std::nullopt;
  auto count = tiff.read(*ifdOffset, 2, big);
  if (!count) return std::nullopt;
  for (std::uint32_t i = 0; i < *count; ++i) {
    const std::size_t entry = std::size_t(*ifdOffset) + 2 + std::size_t(i) * 12;
    auto tag = tiff.read(entry, 2, big);
    if (!tag) return std::nullopt;
    if (*tag != 0x0112) continue;
    auto type = tiff.read(entry + 2, 2, big);
    auto values = tiff.read(entry + 4, 4, big);
    auto value = tiff.read(entry + 8, 2, big);  // a SHORT sits left-aligned in the value field
    if (!type || *type != 3 || !values || *values != 1 || !value) return std::nullopt;
    if (*value < 1 || *value > 8) return std::nullopt;
    return static_cast<int>(*value);
  }
  return std::nullopt;
}

}  // namespace

std::optional<int> jpegExifOrientation(const Bytes& data) {
  ByteWindow jpeg(data.data(), data.size());
  if (jpeg.read(0, 2, true) != 0xFFD8u) return std::nullopt;
  std::size_t at = 2;
  while (true) {
    auto marker = jpeg.read(at, 2, true);
    if (!marker || (*marker & 0xFF00) != 0xFF00) return std::nullopt;
    const std::uint32_t code = *marker & 0xFF;
    // Start of scan or end of image: the metadata segments are behind us.
    if (code == 0xDA || code == 0xD9) return std::nullopt;
    auto length = jpeg.read(at + 2, 2, true);
    if (!length || *length < 2) return std::nullopt;
    auto segment = jpeg.sub(at + 4, *length - 2);
    if (!segment) return std::nullopt;
    if (code == 0xE1 && segment->read(0, 4, true) == 0x45786966u &&  // "Exif"
        segment->read(4, 2, true) == 0u) {
      auto tiff = segment->sub(6, segment->size() - 6);
      return tiff ? orientationInTiff(*tiff) : std::nullopt;
    }
    at += 2 + *length;
  }
}

ImageOrientation imageOrientationFromExif(int exifOrientation) {
  switch (exifOrientation) {
    case 2:
      return ImageOrientation::upMirrored;
    case 3:
      return ImageOrientation::down;
    case 4:
      return ImageOrientation::downMirrored;
    case 5:
      return ImageOrientation::leftMirrored;
    case 6:
      return ImageOrientation::right;
    case 7:
      return ImageOrientation::rightMirrored;
    case 8:
      return ImageOrientation::left;
    default:
      return ImageOrientation::up;
  }
}

}  // namespace ostrel::platform
