#include "testing/JpegCheck.hpp"

#include <algorithm>
#include <cstddef>

namespace ostrel::testing {
namespace {

constexpr int kLuminance[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};

constexpr int kChrominance[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

// Zigzag position -> natural (row-major) position.
constexpr int kNaturalOrder[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

}  // namespace

std::vector<QuantTable> jpegQuantTables(const platform::Bytes& jpeg) {
  const std::size_t n = jpeg.size();
  if (n < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8 || jpeg[n - 2] != 0xFF || jpeg[n - 1] != 0xD9) {
    return {};
  }
  std::vector<QuantTable> tables;
  std::size_t at = 2;
  while (at + 4 <= n && jpeg[at] == 0xFF) {
    const int marker = jpeg[at + 1];
    const std::size_t length = (std::size_t(jpeg[at + 2]) << 8) | jpeg[at + 3];
    if (marker == 0xDA || length < 2 || at + 2 + length > n) break;  // scan data follows
    if (marker == 0xDB) {
      std::size_t p = at + 4;
      const std::size_t end = at + 2 + length;
      while (p < end) {
        const int precision = jpeg[p] >> 4;
        ++p;
        QuantTable table{};
        for (int& entry : table) {
          if (p >= end) return tables;
          entry = precision ? (jpeg[p] << 8 | jpeg[p + 1]) : jpeg[p];
          p += precision ? 2 : 1;
        }
        tables.push_back(table);
      }
    }
    at += 2 + length;
  }
  return tables;
}

QuantTable ijgQuantTable(bool chroma, int quality) {
  quality = std::clamp(quality, 1, 100);
  const int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
  const int* base = chroma ? kChrominance : kLuminance;
  QuantTable table{};
  for (int i = 0; i < 64; ++i) {
    table[std::size_t(i)] = std::clamp((base[kNaturalOrder[i]] * scale + 50) / 100, 1, 255);
  }
  return table;
}

bool isJpegOfQuality(const platform::Bytes& jpeg, int quality) {
  const auto tables = jpegQuantTables(jpeg);
  return tables.size() == 2 && tables[0] == ijgQuantTable(false, quality) &&
         tables[1] == ijgQuantTable(true, quality);
}

}  // namespace ostrel::testing
