#pragma once

#include <compare>
#include <cstdint>

namespace ostrel::platform {

// A rational media time, value / timescale seconds. Arithmetic and comparison are exact: they
// cross-multiply in 128 bits, so times of different timescales never lose a tick.
struct CMTime {
  std::int64_t value = 0;
  std::int32_t timescale = 0;
  bool valid = false;

  static CMTime make(std::int64_t value, std::int32_t timescale) {
    return CMTime{value, timescale, timescale > 0};
  }
  static CMTime invalid() { return CMTime{}; }
  bool isValid() const { return valid && timescale > 0; }
  double seconds() const { return isValid() ? double(value) / double(timescale) : 0.0; }

  // The exact difference, in the larger of the two timescales when that is exact, else in
  // their product; an invalid operand gives an invalid time.
  friend CMTime operator-(const CMTime& a, const CMTime& b) {
    if (!a.isValid() || !b.isValid()) return invalid();
    if (a.timescale == b.timescale) return make(a.value - b.value, a.timescale);
    __int128 scale = __int128(a.timescale) * b.timescale;
    __int128 v = __int128(a.value) * b.timescale - __int128(b.value) * a.timescale;
    // Bring it back to 64/32 bits when the product timescale fits; otherwise fall back to the
    // larger timescale, rounding towards zero (only reached for absurd timescales).
    if (scale <= INT32_MAX && v <= INT64_MAX && v >= INT64_MIN)
      return make(std::int64_t(v), std::int32_t(scale));
    std::int32_t big = a.timescale > b.timescale ? a.timescale : b.timescale;
    __int128 scaled = v * big / scale;
    return make(std::int64_t(scaled), big);
  }

  // An invalid time compares greater than any valid one; two invalid times are equal.
  friend std::strong_ordering operator<=>(const CMTime& a, const CMTime& b) {
    bool av = a.isValid(), bv = b.isValid();
    if (!av || !bv) {
      if (av == bv) return std::strong_ordering::equal;
      return av ? std::strong_ordering::less : std::strong_ordering::greater;
    }
    __int128 l = __int128(a.value) * b.timescale;
    __int128 r = __int128(b.value) * a.timescale;
    return l < r ? std::strong_ordering::less
                 : (l > r ? std::strong_ordering::greater : std::strong_ordering::equal);
  }
  friend bool operator==(const CMTime& a, const CMTime& b) {
    return (a <=> b) == std::strong_ordering::equal;
  }
};

}  // namespace ostrel::platform
