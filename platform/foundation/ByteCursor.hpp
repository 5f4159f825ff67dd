#pragma once

// A read position over bytes that are not ours: chip answers, TLV and ASN.1 structures. Every
// read either succeeds and moves on, or fails and leaves the cursor where it was, so a parser
// can try one form and then another, and short input is a failure, never an over-read.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace ostrel::platform {

class ByteCursor {
 public:
  using Span = std::span<const std::uint8_t>;

  // One BER-TLV element: the whole encoding and its value, both views into the input.
  struct Tlv {
    std::uint32_t tag = 0;
    Span whole;
    Span value;
  };

  constexpr ByteCursor() = default;
  constexpr explicit ByteCursor(Span bytes) : bytes_(bytes) {}

  std::size_t remaining() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }
  Span rest() const { return bytes_; }

  [[nodiscard]] std::optional<std::uint8_t> peekU8() const {
    if (bytes_.empty()) return std::nullopt;
    return bytes_[0];
  }
  [[nodiscard]] std::optional<std::uint8_t> readU8() {
    auto b = peekU8();
    if (b) bytes_ = bytes_.subspan(1);
    return b;
  }
  // Big-endian unsigned number of 1 to 4 bytes.
  [[nodiscard]] std::optional<std::uint32_t> readUInt(std::size_t width) {
    if (width < 1 || width > 4 || bytes_.size() < width) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value = (value << 8) | bytes_[i];
    bytes_ = bytes_.subspan(width);
    return value;
  }
  [[nodiscard]] std::optional<Span> readBytes(std::size_t count) {
    if (bytes_.size() < count) return std::nullopt;
    Span out = bytes_.first(count);
    bytes_ = bytes_.subspan(count);
    return out;
  }
  [[nodiscard]] bool skip(std::size_t count) { return readBytes(count).has_value(); }

  // A BER tag: one byte, or several when the low five bits of the first are all set.
  [[nodiscard]] std::optional<std::uint32_t> readTag() {
    ByteCursor probe = *this;
    auto first = probe.readU8();
    if (!first) return std::nullopt;
    std::uint32_t tag = *first;
    if ((*first & 0x1F) == 0x1F) {
      for (int i = 0;; ++i) {
        auto next = probe.readU8();
        // Tags of more than three bytes do not occur in the structures read here.
        if (!next || i == 2) return std::nullopt;
        tag = (tag << 8) | *next;
        if (!(*next & 0x80)) break;
      }
    }
    *this = probe;
    return tag;
  }

  // A BER length in the short form or the long forms 81, 82 and 83.
  [[nodiscard]] std::optional<std::size_t> readLength() {
    ByteCursor probe = *this;
    auto first = probe.readU8();
    if (!first) return std::nullopt;
    std::size_t length = *first;
    if (*first >= 0x80) {
      const std::size_t width = *first & 0x7F;
      if (width < 1 || width > 3) return std::nullopt;
      auto value = probe.readUInt(width);
      if (!value) return std::nullopt;
      length = *value;
    }
    *this = probe;
    return length;
  }

  // The next element, whatever its tag, when its value lies wholly within the input.
  [[nodiscard]] std::optional<Tlv> readAnyTlv() {
    ByteCursor probe = *this;
    const Span start = bytes_;
    auto tag = probe.readTag();
    if (!tag) return std::nullopt;
    auto length = probe.readLength();
    if (!length) return std::nullopt;
    auto value = probe.readBytes(*length);
    if (!value) return std::nullopt;
    *this = probe;
    return Tlv{*tag, start.first(start.size() - probe.remaining()), *value};
  }
  // The next element when it carries `tag`.
  [[nodiscard]] std::optional<Tlv> readTlv(std::uint32_t tag) {
    ByteCursor probe = *this;
    auto element = probe.readAnyTlv();
    if (!element || element->tag != tag) return std::nullopt;
    *this = probe;
    return element;
  }

 private:
  Span bytes_;
};

}  // namespace ostrel::platform
