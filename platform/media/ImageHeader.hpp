#pragma once

#include <cstdint>
#include <optional>

#include "platform/foundation/Bytes.hpp"

namespace ostrel::platform {

// More pixels than any phone picture, card photo or chip portrait holds. Decoders allocate what
// a header declares, so a small file that declares 20,000 x 20,000 pixels would take gigabytes.
inline constexpr std::uint64_t kMaxDecodedPixels = 40'000'000;

// What a picture's header declares, read before anything is decoded.
struct ImageHeader {
  enum class Format { png, jpeg, gif, jpeg2000 };
  Format format = Format::png;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  // The pixels decoding allocates: width x height, for a GIF every frame's canvas.
  std::uint64_t decodedPixels = 0;
};

// The header of a PNG, JPEG, GIF or JPEG 2000 (code stream or JP2 file); nothing for any other
// data or a header cut short.
std::optional<ImageHeader> readImageHeader(const Bytes& data);

// Whether `data` is one of those pictures with a non-empty size within kMaxDecodedPixels.
bool isDecodablePicture(const Bytes& data);

}  // namespace ostrel::platform
