#include "platform/foundation/Base64.hpp"

#include <array>

namespace ostrel::platform {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string encode(const std::uint8_t* data, std::size_t size) {
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < size; i += 3) {
    std::uint32_t v = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i + 1 == size) {
    std::uint32_t v = data[i] << 16;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == size) {
    std::uint32_t v = (data[i] << 16) | (data[i + 1] << 8);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

}  // namespace

std::string base64Encode(const Bytes& bytes) {
  return encode(bytes.data(), bytes.size());
}

std::string base64Encode(std::string_view bytes) {
  return encode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::optional<Bytes> base64Decode(std::string_view text) {
  static const std::array<int, 256> table = [] {
    std::array<int, 256> t{};
    t.fill(-1);
    for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(kAlphabet[i])] = i;
    return t;
  }();
  if (text.size() % 4 != 0) return std::nullopt;
  Bytes out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    int v[4];
    int padding = 0;
    for (int k = 0; k < 4; ++k) {
      char c = text[i + k];
      if (c == '=') {
        // Padding only in the last group, only in its last two places, and nothing after it.
        if (i + 4 != text.size() || k < 2) return std::nullopt;
        ++padding;
        v[k] = 0;
        continue;
      }
      if (padding > 0) return std::nullopt;
      v[k] = table[static_cast<unsigned char>(c)];
      if (v[k] < 0) return std::nullopt;
    }
    std::uint32_t n = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
    out.push_back(static_cast<std::uint8_t>(n >> 16));
    if (padding < 2) out.push_back(static_cast<std::uint8_t>(n >> 8));
    if (padding < 1) out.push_back(static_cast<std::uint8_t>(n));
  }
  return out;
}

}  // namespace ostrel::platform
