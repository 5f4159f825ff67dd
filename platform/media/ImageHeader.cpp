#include "platform/media/ImageHeader.hpp"

#include <algorithm>
#include <cstring>

#include "platform/foundation/ByteCursor.hpp"

namespace ostrel::platform {
namespace {

using Span = ByteCursor::Span;

bool pictureStartsWith(const Bytes& data, std::initializer_list<std::uint8_t> prefix) {
  return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

std::optional<std::uint32_t> readGifLittle16(ByteCursor& cursor) {
  auto bytes = cursor.readBytes(2);
  if (!bytes) return std::nullopt;
  return static_cast<std::uint32_t>((*bytes)[0] | ((*bytes)[1] << 8));
}

std::optional<ImageHeader> pngHeader(const Bytes& data) {
  ByteCursor cursor(data);
  if (!cursor.skip(8)) return std::nullopt;
  auto length = cursor.readUInt(4);
  auto type = cursor.readBytes(4);
  if (!length || !type || std::memcmp(type->data(), "IHDR", 4) != 0) return std::nullopt;
  auto width = cursor.readUInt(4);
  auto height = cursor.readUInt(4);
  if (!width || !height) return std::nullopt;
  return ImageHeader{ImageHeader::Format::png, *width, *height,
                     std::uint64_t{*width} * *height};
}

// The frame header (SOFn) is the first that declares a size; a scan before it means none.
std::optional<ImageHeader> jpegHeader(const Bytes& data) {
  ByteCursor cursor(data);
  if (!cursor.skip(2)) return std::nullopt;
  for (;;) {
    auto lead = cursor.readU8();
    if (!lead || *lead != 0xFF) return std::nullopt;
    auto marker = cursor.readU8();
    while (marker && *marker == 0xFF) marker = cursor.readU8();  // fill bytes
    if (!marker) return std::nullopt;
    if (*marker == 0x01 || (*marker >= 0xD0 && *marker <= 0xD7)) continue;  // no length
    if (*marker == 0xD9 || *marker == 0xDA) return std::nullopt;
    auto length = cursor.readUInt(2);
    if (!length || *length < 2) return std::nullopt;
    auto segment = cursor.readBytes(*length - 2);
    if (!segment) return std::nullopt;
    const bool frameHeader = *marker >= 0xC0 && *marker <= 0xCF && *marker != 0xC4 &&
                             *marker != 0xC8 && *marker != 0xCC;
    if (!frameHeader) continue;
    ByteCursor frame(*segment);
    auto precision = frame.readU8();
    auto height = frame.readUInt(2);
    auto width = frame.readUInt(2);
    if (!precision || !height || !width) return std::nullopt;
    return ImageHeader{ImageHeader::Format::jpeg, *width, *height,
                       std::uint64_t{*width} * *height};
  }
}

bool skipGifSubBlocks(ByteCursor& cursor) {
  for (;;) {
    auto size = cursor.readU8();
    if (!size) return false;
    if (*size == 0) return true;
    if (!cursor.skip(*size)) return false;
  }
}

// Every frame is decoded into a canvas of the screen's size, and every frame's own raster is
// allocated at the size its descriptor declares, so both count.
std::optional<ImageHeader> gifHeader(const Bytes& data) {
  ByteCursor cursor(data);
  if (!cursor.skip(6)) return std::nullopt;
  auto width = readGifLittle16(cursor);
  auto height = readGifLittle16(cursor);
  auto packed = cursor.readU8();
  if (!width || !height || !packed || !cursor.skip(2)) return std::nullopt;
  if ((*packed & 0x80) && !cursor.skip(3u << ((*packed & 0x07) + 1))) return std::nullopt;
  const std::uint64_t canvas = std::uint64_t{*width} * *height;
  ImageHeader header{ImageHeader::Format::gif, *width, *height, 0};
  for (;;) {
    auto introducer = cursor.readU8();
    if (!introducer || *introducer == 0x3B) break;  // a cut-short file keeps its frames so far
    if (*introducer == 0x21) {
      if (!cursor.skip(1) || !skipGifSubBlocks(cursor)) break;
      continue;
    }
    if (*introducer != 0x2C) break;
    if (!cursor.skip(4)) break;
    auto frameWidth = readGifLittle16(cursor);
    auto frameHeight = readGifLittle16(cursor);
    auto framePacked = cursor.readU8();
    if (!frameWidth || !frameHeight || !framePacked) break;
    header.decodedPixels += canvas + std::uint64_t{*frameWidth} * *frameHeight;
    // Past the limit already: no need to read on.
    if (header.decodedPixels > kMaxDecodedPixels) return header;
    if ((*framePacked & 0x80) && !cursor.skip(3u << ((*framePacked & 0x07) + 1))) break;
    if (!cursor.skip(1) || !skipGifSubBlocks(cursor)) break;
  }
  if (header.decodedPixels == 0) header.decodedPixels = canvas;
  return header;
}

// SIZ, right after SOC: the reference grid less its offset is the picture.
std::optional<ImageHeader> jpeg2000CodestreamHeader(Span codestream) {
  ByteCursor cursor(codestream);
  auto soc = cursor.readUInt(2);
  auto siz = cursor.readUInt(2);
  if (!soc || *soc != 0xFF4F || !siz || *siz != 0xFF51) return std::nullopt;
  auto length = cursor.readUInt(2);
  auto capabilities = cursor.readUInt(2);
  auto xsiz = cursor.readUInt(4);
  auto ysiz = cursor.readUInt(4);
  auto xosiz = cursor.readUInt(4);
  auto yosiz = cursor.readUInt(4);
  if (!length || !capabilities || !xsiz || !ysiz || !xosiz || !yosiz) return std::nullopt;
  if (!cursor.skip(16)) return std::nullopt;  // tiles and their offset
  auto components = cursor.readUInt(2);
  if (!components || *components == 0 || *components > 4) return std::nullopt;
  if (*xosiz >= *xsiz || *yosiz >= *ysiz) return std::nullopt;
  const std::uint32_t width = *xsiz - *xosiz;
  const std::uint32_t height = *ysiz - *yosiz;
  return ImageHeader{ImageHeader::Format::jpeg2000, width, height,
                     std::uint64_t{width} * height};
}

// A JP2 file: the size the decoder uses is the code stream's, so that is the one read.
std::optional<ImageHeader> jp2Header(const Bytes& data) {
  ByteCursor cursor(data);
  while (!cursor.empty()) {
    auto length = cursor.readUInt(4);
    auto type = cursor.readBytes(4);
    if (!length || !type) return std::nullopt;
    std::uint64_t contentLength = 0;
    if (*length == 1) {
      auto high = cursor.readUInt(4);
      auto low = cursor.readUInt(4);
      if (!high || !low || *high != 0 || *low < 16) return std::nullopt;
      contentLength = *low - 16;
    } else if (*length == 0) {
      contentLength = cursor.remaining();
    } else {
      if (*length < 8) return std::nullopt;
      contentLength = *length - 8;
    }
    if (std::memcmp(type->data(), "jp2c", 4) == 0) {
      return jpeg2000CodestreamHeader(cursor.rest().first(
          std::min<std::size_t>(cursor.remaining(), static_cast<std::size_t>(contentLength))));
    }
    if (!cursor.skip(static_cast<std::size_t>(contentLength))) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::optional<ImageHeader> readImageHeader(const Bytes& data) {
  if (pictureStartsWith(data, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return pngHeader(data);
  if (pictureStartsWith(data, {0xFF, 0xD8, 0xFF})) return jpegHeader(data);
  if (pictureStartsWith(data, {'G', 'I', 'F', '8', '7', 'a'}) ||
      pictureStartsWith(data, {'G', 'I', 'F', '8', '9', 'a'})) {
    return gifHeader(data);
  }
  if (pictureStartsWith(data, {0xFF, 0x4F, 0xFF, 0x51})) {
    return jpeg2000CodestreamHeader(Span(data.data(), data.size()));
  }
  if (pictureStartsWith(data, {0x00, 0x00, 0x00, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A})) {
    return jp2Header(data);
  }
  return std::nullopt;
}

bool isDecodablePicture(const Bytes& data) {
  auto header = readImageHeader(data);
  return header && header->width > 0 && header->height > 0 &&
         header->decodedPixels <= kMaxDecodedPixels;
}

}  // namespace ostrel::platform
