#include "scan/MRZCharacters.hpp"

namespace ostrel::mrz_detail {

std::size_t characterSize(std::string_view text, std::size_t offset) {
  if (offset >= text.size()) return 0;
  const auto lead = static_cast<unsigned char>(text[offset]);
  std::size_t size = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    size = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    size = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    size = 4;
  }
  if (size == 1 || offset + size > text.size()) return 1;
  for (std::size_t i = 1; i < size; ++i) {
    const auto c = static_cast<unsigned char>(text[offset + i]);
    if ((c & 0xC0) != 0x80) return 1;
  }
  return size;
}

std::size_t characterCount(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t offset = 0; offset < text.size(); offset += characterSize(text, offset)) {
    ++count;
  }
  return count;
}

std::string cutCharacters(std::string_view text, std::size_t start, std::size_t length) {
  std::size_t offset = 0;
  for (std::size_t skipped = 0; skipped < start && offset < text.size(); ++skipped) {
    offset += characterSize(text, offset);
  }
  std::size_t end = offset;
  for (std::size_t taken = 0; taken < length && end < text.size(); ++taken) {
    end += characterSize(text, end);
  }
  return std::string(text.substr(offset, end - offset));
}

}  // namespace ostrel::mrz_detail
