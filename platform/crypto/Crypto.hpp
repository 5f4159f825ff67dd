#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/foundation/Bytes.hpp"

namespace ostrel::platform::crypto {

using ByteView = std::span<const std::uint8_t>;

inline ByteView view(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// ------------------------------------------------------------------ digests

enum class DigestAlgorithm { md5, sha1, sha224, sha256, sha384, sha512 };

Bytes digest(DigestAlgorithm algorithm, ByteView data);
inline Bytes md5(ByteView data) {
  return digest(DigestAlgorithm::md5, data);
}
inline Bytes sha1(ByteView data) {
  return digest(DigestAlgorithm::sha1, data);
}
inline Bytes sha256(ByteView data) {
  return digest(DigestAlgorithm::sha256, data);
}
inline Bytes sha384(ByteView data) {
  return digest(DigestAlgorithm::sha384, data);
}
inline Bytes sha512(ByteView data) {
  return digest(DigestAlgorithm::sha512, data);
}

// Lower-case hex, two digits a byte, no separators.
std::string hexString(ByteView data);
// Accepts upper or lower case and ignores spaces; nothing for odd lengths or other characters.
std::optional<Bytes> bytesFromHex(std::string_view hex);

// ------------------------------------------------------------------ block ciphers

enum class Operation { encrypt, decrypt };
enum class CipherAlgorithm {
  aes,        // key of 16, 24 or 32 bytes; 16-byte blocks
  des,        // key of 8 bytes; 8-byte blocks (run as triple DES with the key repeated)
  tripleDES,  // key of 16 (K1 K2 K1) or 24 bytes; 8-byte blocks
};
enum class CipherMode { cbc, ecb };

struct CipherResult {
  bool ok = false;
  Bytes data;         // the output when ok
  std::string error;  // why not, when not ok
};

// One whole-message operation. `iv` may be empty, which means all zeros (it is ignored in
// ECB). Without padding the input must be a whole number of blocks; with PKCS#7 padding a
// decryption whose padding is wrong fails.
CipherResult crypt(Operation operation, CipherAlgorithm algorithm, CipherMode mode,
                   bool pkcs7Padding, ByteView key, ByteView iv, ByteView input);

std::size_t blockSize(CipherAlgorithm algorithm);

// ------------------------------------------------------------------ randomness

// Cryptographically strong random bytes from OpenSSL, unless a test installed its own source.
Bytes randomBytes(std::size_t count);
// Installs a source of random bytes (tests pin nonces with it); empty restores OpenSSL's.
void setRandomSource(std::function<Bytes(std::size_t)> source);

}  // namespace ostrel::platform::crypto
