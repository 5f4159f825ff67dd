#pragma once

// The byte toolbox of the chip protocol: hex and integer conversions, ISO/IEC 9797-1 padding
// method 2, the retail MAC (ISO/IEC 9797-1 MAC algorithm 3 with DES), BER length fields,
// SHA-1 and the DES/3DES/AES wrappers. Everything is a pure function of its arguments.
//
// The cipher wrappers never throw: a failure is an empty result (callers that need a given
// length check it). Inputs outside what the protocol ever passes (text that is not hex, a MAC
// key shorter than 16 bytes, ...) give an empty result or a thrown `PassportReaderError`,
// never undefined behaviour.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "platform/crypto/Crypto.hpp"
#include "platform/foundation/Bytes.hpp"

namespace ostrel {

using platform::Bytes;
using platform::ByteSpan;

// CommonCrypto-style option values of the DES wrappers.
inline constexpr int kCBCMode = 0;
inline constexpr int kECBMode = 2;

// Pairs of hex digits; a lone last digit is a byte of its own ("abc" -> AB 0C). Text with a
// character that is not a hex digit gives nothing.
Bytes hexStringToBytes(std::string_view hex);
int byteToInt(std::uint8_t byte);
// Big-endian; throws `InvalidDataPassed` for empty input or more than 8 bytes.
std::uint64_t bytesToUInt64(ByteSpan bytes);
// Big-endian; throws `InvalidDataPassed` for empty input or a value beyond int64.
std::int64_t bytesToInt(ByteSpan bytes);
// a[i] xor b[i] over a's length; nothing when b is shorter than a.
Bytes xorBytes(ByteSpan a, ByteSpan b);
Bytes randomBytes(std::size_t count);

Bytes padIso9797(ByteSpan data, int blockSize);
Bytes unpadIso9797(ByteSpan data);
// Message must be padded by the caller: a trailing partial block is not MACed. Nothing when
// the key is shorter than 16 bytes or a cipher step fails.
Bytes retailMac(ByteSpan key, ByteSpan message);

// A decoded BER length field.
struct Asn1Length {
  int length = 0;     // the value's length
  int fieldSize = 0;  // bytes the length field itself occupies
  friend bool operator==(const Asn1Length&, const Asn1Length&) = default;
};
// The largest value length a length field may give: no chip file comes near it, so a field
// naming more is corrupt rather than a file worth minutes of reading.
inline constexpr int kLargestAsn1Length = 0xFFFFFF;
// Short form and the long forms 81 to 84; nothing for other forms (80, indefinite, and wider
// fields), for a field cut short and for a length above `kLargestAsn1Length`.
std::optional<Asn1Length> readAsn1Length(ByteSpan bytes);
// The same, throwing `CannotDecodeASN1Length` where `readAsn1Length` gives nothing.
Asn1Length decodeAsn1Length(ByteSpan bytes);
// Throws `InvalidASN1Value` for negative values and values of 65536 and more.
Bytes encodeAsn1Length(long long value);

Bytes sha1Digest(ByteSpan data);

Bytes desEncrypt(ByteSpan key, ByteSpan message, ByteSpan iv, int options);
// The iv is not used (zero IV), as in the system this mirrors.
Bytes desDecrypt(ByteSpan key, ByteSpan message, ByteSpan iv, int options);
// 16-byte keys are used as K1 K2 K1.
Bytes tripleDESEncrypt(ByteSpan key, ByteSpan message, ByteSpan iv);
Bytes tripleDESDecrypt(ByteSpan key, ByteSpan message, ByteSpan iv);
Bytes AESEncrypt(ByteSpan key, ByteSpan message, ByteSpan iv);
Bytes AESDecrypt(ByteSpan key, ByteSpan message, ByteSpan iv);
Bytes AESECBEncrypt(ByteSpan key, ByteSpan message);

// The 3DES ciphers of one secure-messaging session (encryption under KSenc with a zero IV, and
// the retail MAC under KSmac), keyed once for the session's life instead of once per call.
// Same results as `tripleDESEncrypt`, `tripleDESDecrypt` and `retailMac`; empty on failure.
class SessionCiphers {
 public:
  SessionCiphers(ByteSpan ksenc, ByteSpan ksmac);

  Bytes encrypt(ByteSpan message);
  Bytes decrypt(ByteSpan message);
  // `message` must be padded: only whole blocks are MACed, and at least one is needed.
  Bytes mac(ByteSpan message);

 private:
  platform::crypto::BlockCipher encryptor_;
  platform::crypto::BlockCipher decryptor_;
  platform::crypto::BlockCipher macChain_;  // single DES under K1, CBC
  platform::crypto::BlockCipher macLast_;   // triple DES K1 K2 K1 on the last block
};

}  // namespace ostrel
