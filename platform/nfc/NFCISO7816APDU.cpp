#include "platform/nfc/NFCISO7816APDU.hpp"

namespace ostrel::platform {

NFCISO7816APDU::NFCISO7816APDU(std::uint8_t instructionClass, std::uint8_t instructionCode,
                               std::uint8_t p1Parameter, std::uint8_t p2Parameter, Bytes data,
                               int expectedResponseLength)
    : cla_(instructionClass),
      ins_(instructionCode),
      p1_(p1Parameter),
      p2_(p2Parameter),
      data_(std::move(data)),
      le_(expectedResponseLength < 1 ? kNoExpectedLength : expectedResponseLength) {}

bool NFCISO7816APDU::isValid() const {
  return data_.size() <= kMaxDataLength && le_ <= kMaxExpectedLength;
}

bool NFCISO7816APDU::isExtended() const {
  return data_.size() > 255 || le_ > 256;
}

Bytes NFCISO7816APDU::toBytes() const {
  if (!isValid()) return {};
  Bytes out{cla_, ins_, p1_, p2_};
  const bool extended = isExtended();
  if (!data_.empty()) {
    if (extended) {
      out.push_back(0x00);
      out.push_back(static_cast<std::uint8_t>(data_.size() >> 8));
      out.push_back(static_cast<std::uint8_t>(data_.size()));
    } else {
      out.push_back(static_cast<std::uint8_t>(data_.size()));
    }
    out.insert(out.end(), data_.begin(), data_.end());
  }
  if (le_ >= 1) {
    if (extended) {
      // Case 2E carries the 00 marker in front of Le; in case 4E Lc already carried it.
      if (data_.empty()) out.push_back(0x00);
      const int le = le_ == 65536 ? 0 : le_;
      out.push_back(static_cast<std::uint8_t>(le >> 8));
      out.push_back(static_cast<std::uint8_t>(le));
    } else {
      out.push_back(static_cast<std::uint8_t>(le_ == 256 ? 0 : le_));
    }
  }
  return out;
}

std::optional<NFCISO7816APDU> NFCISO7816APDU::fromBytes(std::span<const std::uint8_t> b) {
  const std::size_t n = b.size();
  if (n < 4) return std::nullopt;
  auto make = [&](Bytes data, int le) {
    return NFCISO7816APDU(b[0], b[1], b[2], b[3], std::move(data), le);
  };
  if (n == 4) return make({}, kNoExpectedLength);       // case 1
  if (n == 5) return make({}, b[4] == 0 ? 256 : b[4]);  // case 2S
  if (b[4] != 0) {
    const std::size_t lc = b[4];
    Bytes data(b.begin() + 5, b.begin() + 5 + std::min(lc, n - 5));
    if (n == 5 + lc) return make(std::move(data), kNoExpectedLength);               // case 3S
    if (n == 6 + lc) return make(std::move(data), b[n - 1] == 0 ? 256 : b[n - 1]);  // case 4S
    return std::nullopt;
  }
  // b[4] == 0: an extended form.
  if (n < 7) return std::nullopt;
  const std::size_t word = (std::size_t{b[5]} << 8) | b[6];
  if (n == 7) return make({}, word == 0 ? 65536 : static_cast<int>(word));  // case 2E
  const std::size_t lc = word;
  if (lc == 0) return std::nullopt;
  if (n == 7 + lc) return make(Bytes(b.begin() + 7, b.end()), kNoExpectedLength);  // case 3E
  if (n == 9 + lc) {                                                               // case 4E
    const int le = (int{b[n - 2]} << 8) | b[n - 1];
    return make(Bytes(b.begin() + 7, b.begin() + 7 + lc), le == 0 ? 65536 : le);
  }
  return std::nullopt;
}

}  // namespace ostrel::platform
