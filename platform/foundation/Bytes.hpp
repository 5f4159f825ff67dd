#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ostrel::platform {

// Owned bytes, and a read-only view of bytes someone else owns.
using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

}  // namespace ostrel::platform
