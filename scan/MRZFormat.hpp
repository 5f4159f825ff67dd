#pragma once

#include <array>
#include <cstddef>

namespace ostrel {

// The three sizes of machine-readable zone: ID cards (TD1), the older two-line cards and
// visas (TD2), and passports and large visas (TD3).
enum class MRZFormat { td1, td2, td3 };

inline constexpr std::array<MRZFormat, 3> kAllMRZFormats = {MRZFormat::td1, MRZFormat::td2,
                                                            MRZFormat::td3};

// Characters per line: 30, 36 and 44.
constexpr std::size_t lineLength(MRZFormat format) {
  constexpr std::array<std::size_t, 3> lengths = {30, 36, 44};
  return lengths[static_cast<std::size_t>(format)];
}

// TD1 has three lines, TD2 and TD3 two.
constexpr std::size_t lineCount(MRZFormat format) {
  return format == MRZFormat::td1 ? 3 : 2;
}

}  // namespace ostrel
