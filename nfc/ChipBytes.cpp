#include "nfc/ChipBytes.hpp"

#include <limits>
#include <string>

#include "nfc/Log.hpp"
#include "nfc/PassportReaderError.hpp"
#include "platform/crypto/Crypto.hpp"
#include "platform/foundation/ByteCursor.hpp"

namespace ostrel {
namespace {

namespace crypto = platform::crypto;

// Status numbers as CommonCrypto reports them; they only appear in traces.
constexpr int kCCSuccess = 0;
constexpr int kCCParamError = -4300;
constexpr int kCCAlignmentError = -4303;
constexpr int kCCKeySizeError = -4310;

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One CCCrypt-like call: returns the output, or nothing after a failure trace.
Bytes ccCrypt(crypto::Operation op, crypto::CipherAlgorithm alg, crypto::CipherMode mode,
              ByteSpan key, ByteSpan iv, ByteSpan input, const char* traceText) {
  int status = kCCSuccess;
  const std::size_t block = crypto::blockSize(alg);
  Bytes usedIv;
  if (mode == crypto::CipherMode::cbc) {
    // A missing IV is a zero IV; a short one is an error rather than an over-read.
    usedIv.assign(block, 0);
    if (!iv.empty()) {
      if (iv.size() < block) {
        status = kCCParamError;
      } else {
        usedIv.assign(iv.begin(), iv.begin() + block);
      }
    }
  }
  if (status == kCCSuccess && input.size() % block != 0) status = kCCAlignmentError;
  Bytes result;
  if (status == kCCSuccess) {
    auto r = crypto::crypt(op, alg, mode, false, key, usedIv, input);
    if (r.ok) {
      result = std::move(r.data);
    } else {
      status = kCCKeySizeError;
    }
  }
  if (status != kCCSuccess) {
    Log::errorTrace([&] { return std::string(traceText) + std::to_string(status); });
    return {};
  }
  return result;
}

Bytes tripleDESKey(ByteSpan key) {
  if (key.size() == 16) {
    Bytes k(key.begin(), key.end());
    k.insert(k.end(), key.begin(), key.begin() + 8);
    return k;
  }
  return Bytes(key.begin(), key.end());
}

}  // namespace

Bytes hexStringToBytes(std::string_view hex) {
  Bytes out;
  out.reserve((hex.size() + 1) / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = hexValue(hex[i]);
    if (high < 0) return {};
    if (i + 1 == hex.size()) {
      out.push_back(static_cast<std::uint8_t>(high));
      break;
    }
    const int low = hexValue(hex[i + 1]);
    if (low < 0) return {};
    out.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return out;
}

int byteToInt(std::uint8_t byte) {
  return byte;
}

std::uint64_t bytesToUInt64(ByteSpan bytes) {
  if (bytes.empty() || bytes.size() > 8) {
    throw PassportReaderError::InvalidDataPassed("Integer of " + std::to_string(bytes.size()) +
                                                 " bytes");
  }
  std::uint64_t value = 0;
  for (auto b : bytes) value = (value << 8) | b;
  return value;
}

std::int64_t bytesToInt(ByteSpan bytes) {
  const auto value = bytesToUInt64(bytes);
  if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    throw PassportReaderError::InvalidDataPassed("Integer beyond the signed 64-bit range");
  }
  return static_cast<std::int64_t>(value);
}

Bytes xorBytes(ByteSpan a, ByteSpan b) {
  if (b.size() < a.size()) return {};
  Bytes out(a.size());
  for (std::size_t i = 0; i < a.size(); ++i) out[i] = a[i] ^ b[i];
  return out;
}

Bytes randomBytes(std::size_t count) {
  return crypto::randomBytes(count);
}

Bytes padIso9797(ByteSpan data, int blockSize) {
  const std::size_t block = blockSize < 1 ? 1 : static_cast<std::size_t>(blockSize);
  Bytes out(data.begin(), data.end());
  out.push_back(0x80);
  while (out.size() % block != 0) out.push_back(0x00);
  return out;
}

Bytes unpadIso9797(ByteSpan data) {
  if (data.empty()) return {};
  std::size_t i = data.size() - 1;
  if (data[i] == 0x80) return Bytes(data.begin(), data.begin() + i);
  if (data[i] != 0x00) return Bytes(data.begin(), data.end());
  while (i > 0 && data[i] == 0x00) --i;
  if (data[i] == 0x80) return Bytes(data.begin(), data.begin() + i);
  return Bytes(data.begin(), data.end());
}

Bytes retailMac(ByteSpan key, ByteSpan message) {
  if (key.size() < 16) return {};
  Log::debugTrace([] { return std::string("Calc mac"); });
  const std::size_t blocks = message.size() / 8;
  // Without a whole block the MAC is that of the empty chain: D(K2) then E(K1) of zeros.
  if (blocks == 0) {
    const Bytes b = desDecrypt(key.subspan(8, 8), Bytes(8, 0), {}, kECBMode);
    if (b.size() != 8) return {};
    Bytes a = desEncrypt(key.subspan(0, 8), b, {}, kECBMode);
    return a.size() == 8 ? a : Bytes{};
  }
  SessionCiphers ciphers(key.subspan(0, 16), key.subspan(0, 16));
  Bytes mac = ciphers.mac(message.first(blocks * 8));
  Log::debugTrace([&] { return "MAC = " + traceHex(mac); });
  return mac;
}

std::optional<Asn1Length> readAsn1Length(ByteSpan bytes) {
  platform::ByteCursor cursor(bytes);
  const auto first = cursor.readU8();
  if (!first) return std::nullopt;
  if (*first < 0x80) return Asn1Length{*first, 1};
  if (*first < 0x81 || *first > 0x84) return std::nullopt;
  const std::size_t width = *first - 0x80u;
  const auto value = cursor.readUInt(width);
  if (!value || *value > static_cast<std::uint64_t>(kLargestAsn1Length)) return std::nullopt;
  return Asn1Length{static_cast<int>(*value), static_cast<int>(width) + 1};
}

Asn1Length decodeAsn1Length(ByteSpan bytes) {
  if (auto length = readAsn1Length(bytes)) return *length;
  throw PassportReaderError::CannotDecodeASN1Length();
}

Bytes encodeAsn1Length(long long value) {
  if (value < 0 || value > 0xFFFF) throw PassportReaderError::InvalidASN1Value();
  if (value < 0x80) return {static_cast<std::uint8_t>(value)};
  if (value < 0x100) return {0x81, static_cast<std::uint8_t>(value)};
  return {0x82, static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

Bytes sha1Digest(ByteSpan data) {
  return crypto::sha1(data);
}

Bytes desEncrypt(ByteSpan key, ByteSpan message, ByteSpan iv, int options) {
  if (key.size() < 8) {
    Log::errorTrace([] { return "Error: " + std::to_string(kCCKeySizeError); });
    return {};
  }
  return ccCrypt(crypto::Operation::encrypt, crypto::CipherAlgorithm::des,
                 options == kECBMode ? crypto::CipherMode::ecb : crypto::CipherMode::cbc,
                 key.subspan(0, 8), iv, message, "Error: ");
}

Bytes desDecrypt(ByteSpan key, ByteSpan message, ByteSpan /*iv*/, int options) {
  if (key.size() < 8) {
    Log::errorTrace([] { return "Error: " + std::to_string(kCCKeySizeError); });
    return {};
  }
  return ccCrypt(crypto::Operation::decrypt, crypto::CipherAlgorithm::des,
                 options == kECBMode ? crypto::CipherMode::ecb : crypto::CipherMode::cbc,
                 key.subspan(0, 8), {}, message, "Error: ");
}

Bytes tripleDESEncrypt(ByteSpan key, ByteSpan message, ByteSpan iv) {
  return ccCrypt(crypto::Operation::encrypt, crypto::CipherAlgorithm::tripleDES,
                 crypto::CipherMode::cbc, tripleDESKey(key), iv, message, "Error: ");
}

Bytes tripleDESDecrypt(ByteSpan key, ByteSpan message, ByteSpan iv) {
  return ccCrypt(crypto::Operation::decrypt, crypto::CipherAlgorithm::tripleDES,
                 crypto::CipherMode::cbc, tripleDESKey(key), iv, message, "Error: ");
}

Bytes AESEncrypt(ByteSpan key, ByteSpan message, ByteSpan iv) {
  return ccCrypt(crypto::Operation::encrypt, crypto::CipherAlgorithm::aes, crypto::CipherMode::cbc,
                 key, iv, message, "AES Encrypt Error: ");
}

Bytes AESDecrypt(ByteSpan key, ByteSpan message, ByteSpan iv) {
  return ccCrypt(crypto::Operation::decrypt, crypto::CipherAlgorithm::aes, crypto::CipherMode::cbc,
                 key, iv, message, "AES Decrypt Error: ");
}

Bytes AESECBEncrypt(ByteSpan key, ByteSpan message) {
  return ccCrypt(crypto::Operation::encrypt, crypto::CipherAlgorithm::aes, crypto::CipherMode::ecb,
                 key, {}, message, "AESECBEncrypt Error: ");
}

namespace {

Bytes firstBytes(ByteSpan key, std::size_t count) {
  return key.size() < count ? Bytes{} : Bytes(key.begin(), key.begin() + count);
}

}  // namespace

SessionCiphers::SessionCiphers(ByteSpan ksenc, ByteSpan ksmac)
    : encryptor_(crypto::Operation::encrypt, crypto::CipherAlgorithm::tripleDES,
                 crypto::CipherMode::cbc, ksenc),
      decryptor_(crypto::Operation::decrypt, crypto::CipherAlgorithm::tripleDES,
                 crypto::CipherMode::cbc, ksenc),
      macChain_(crypto::Operation::encrypt, crypto::CipherAlgorithm::des, crypto::CipherMode::cbc,
                firstBytes(ksmac, 8)),
      macLast_(crypto::Operation::encrypt, crypto::CipherAlgorithm::tripleDES,
               crypto::CipherMode::cbc, firstBytes(ksmac, 16)) {}

Bytes SessionCiphers::encrypt(ByteSpan message) {
  return encryptor_.run({}, message);
}

Bytes SessionCiphers::decrypt(ByteSpan message) {
  return decryptor_.run({}, message);
}

Bytes SessionCiphers::mac(ByteSpan message) {
  // DES-CBC under K1 over all blocks but the last, then the last block through K1 K2 K1
  // chained on that result: the same as decrypting the final CBC value under K2 and
  // encrypting it again under K1.
  const std::size_t blocks = message.size() / 8;
  if (blocks == 0) return {};
  std::uint8_t chain[8] = {};
  if (blocks > 1) {
    const ByteSpan head = message.first((blocks - 1) * 8);
    Bytes scratch(head.size());
    if (!macChain_.run({}, head, scratch.data())) return {};
    std::copy(scratch.end() - 8, scratch.end(), chain);
  }
  Bytes out(8);
  if (!macLast_.run(ByteSpan(chain, 8), message.subspan((blocks - 1) * 8, 8), out.data())) {
    return {};
  }
  return out;
}

}  // namespace ostrel
