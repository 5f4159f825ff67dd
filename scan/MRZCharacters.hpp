#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Character-level helpers shared by the MRZ parser and the line finder. Recognised text arrives
// as UTF-8 and may hold anything; MRZ lengths and positions count characters (code points), so
// a stray "É" counts once, as the reader sees it, and never shifts the fields after it. Bytes
// that are not valid UTF-8 count as one character each, so any byte string has a length.
namespace ostrel::mrz_detail {

// Length in bytes of the character that starts at `text[offset]` (1 for a malformed byte).
std::size_t characterSize(std::string_view text, std::size_t offset);

// Number of characters in `text`.
std::size_t characterCount(std::string_view text);

// The `length` characters that start at character `start`; shorter (possibly empty) when the
// text ends first. Never reads outside `text`.
std::string cutCharacters(std::string_view text, std::size_t start, std::size_t length);

inline bool isAsciiUpper(char c) {
  return c >= 'A' && c <= 'Z';
}
inline bool isAsciiLower(char c) {
  return c >= 'a' && c <= 'z';
}
inline bool isAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace ostrel::mrz_detail
