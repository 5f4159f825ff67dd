#pragma once

#include <cstdint>

#include "platform/foundation/Bytes.hpp"

namespace ostrel {

// One chip answer: data without the status words, and the two status bytes.
struct ResponseAPDU {
  platform::Bytes data;
  std::uint8_t sw1 = 0;
  std::uint8_t sw2 = 0;

  friend bool operator==(const ResponseAPDU&, const ResponseAPDU&) = default;
};

}  // namespace ostrel
