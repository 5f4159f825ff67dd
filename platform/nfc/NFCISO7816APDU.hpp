#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/foundation/Bytes.hpp"

namespace ostrel::platform {

// One ISO/IEC 7816-4 command APDU, in the shape the contactless platform hands to a tag.
//
// `expectedResponseLength` is -1 (or anything below 1) for "no Le", 1..256 for a short Le
// (256 travels as 00) and up to 65536 for an extended Le (65536 travels as 00 00). An empty
// `data` means the command has no data field.
//
// `toBytes` chooses the short form when Lc <= 255 and Le <= 256, the extended form otherwise,
// so every case (1, 2S, 2E, 3S, 3E, 4S, 4E) comes out as ISO 7816-4 writes it. `fromBytes`
// parses the same seven cases and refuses anything else.
class NFCISO7816APDU {
 public:
  static constexpr int kNoExpectedLength = -1;
  static constexpr std::size_t kMaxDataLength = 65535;
  static constexpr int kMaxExpectedLength = 65536;

  NFCISO7816APDU() = default;
  NFCISO7816APDU(std::uint8_t instructionClass, std::uint8_t instructionCode,
                 std::uint8_t p1Parameter, std::uint8_t p2Parameter, Bytes data,
                 int expectedResponseLength);

  // The platform's data initialiser: nothing when the bytes are not one well-formed APDU.
  static std::optional<NFCISO7816APDU> fromBytes(std::span<const std::uint8_t> bytes);

  std::uint8_t instructionClass() const { return cla_; }
  std::uint8_t instructionCode() const { return ins_; }
  std::uint8_t p1Parameter() const { return p1_; }
  std::uint8_t p2Parameter() const { return p2_; }
  const Bytes& data() const { return data_; }
  bool hasData() const { return !data_.empty(); }
  // Below 1 when the command expects no answer data.
  int expectedResponseLength() const { return le_ < 1 ? kNoExpectedLength : le_; }
  bool hasExpectedResponseLength() const { return le_ >= 1; }

  // Whether the fields fit an APDU at all (data up to 65535 bytes, Le up to 65536).
  bool isValid() const;
  // Whether `toBytes` uses the extended length form.
  bool isExtended() const;
  // The bytes on the wire; empty when the APDU is not valid.
  Bytes toBytes() const;

  friend bool operator==(const NFCISO7816APDU&, const NFCISO7816APDU&) = default;

 private:
  std::uint8_t cla_ = 0;
  std::uint8_t ins_ = 0;
  std::uint8_t p1_ = 0;
  std::uint8_t p2_ = 0;
  Bytes data_;
  int le_ = kNoExpectedLength;
};

}  // namespace ostrel::platform
