#include "network/OSLCrypto.hpp"

#include <mutex>
#include <utility>

#include "platform/crypto/Crypto.hpp"

#ifndef OSTREL_PAYLOAD_KEY
#define OSTREL_PAYLOAD_KEY "PLACEHOLDER-PAYLOAD-KEY-32-BYTES"
#endif
#ifndef OSTREL_PAYLOAD_IV
#define OSTREL_PAYLOAD_IV "PLACEHOLDER-IV16"
#endif
#ifndef OSTREL_SIGNATURE_SALT
#define OSTREL_SIGNATURE_SALT "PLACEHOLDER"
#endif

namespace ostrel {
namespace {

namespace crypto = platform::crypto;

struct Secrets {
  std::string key = OSTREL_PAYLOAD_KEY;
  std::string iv = OSTREL_PAYLOAD_IV;
  std::string salt = OSTREL_SIGNATURE_SALT;
};

std::mutex& secretsMutex() {
  static std::mutex m;
  return m;
}

Secrets& secrets() {
  static Secrets s;
  return s;
}

Secrets currentSecrets() {
  std::lock_guard lock(secretsMutex());
  return secrets();
}

constexpr std::size_t kBlock = 16;
constexpr char kPad = '\x0c';

}  // namespace

std::string OSLCrypto::encrypt(std::string_view text) {
  const auto s = currentSecrets();
  if (s.key.size() != 32 || s.iv.size() != kBlock) return "";
  std::string padded(text);
  if (padded.size() % kBlock != 0) padded.append(kBlock - padded.size() % kBlock, kPad);
  auto result = crypto::crypt(crypto::Operation::encrypt, crypto::CipherAlgorithm::aes,
                              crypto::CipherMode::cbc, true, crypto::view(s.key),
                              crypto::view(s.iv), crypto::view(padded));
  if (!result.ok) return "";
  return crypto::hexString(result.data);
}

std::optional<std::string> OSLCrypto::decrypt(std::string_view hex) {
  const auto s = currentSecrets();
  if (s.key.size() != 32 || s.iv.size() != kBlock) return std::nullopt;
  auto bytes = crypto::bytesFromHex(hex);
  if (!bytes || bytes->empty() || bytes->size() % kBlock != 0) return std::nullopt;
  auto result =
      crypto::crypt(crypto::Operation::decrypt, crypto::CipherAlgorithm::aes,
                    crypto::CipherMode::cbc, true, crypto::view(s.key), crypto::view(s.iv), *bytes);
  if (!result.ok) return std::nullopt;
  std::string text(result.data.begin(), result.data.end());
  while (!text.empty() && text.back() == kPad) text.pop_back();
  return text;
}

void OSLCrypto::setKeyAndIV(std::optional<std::pair<std::string, std::string>> keyAndIV) {
  std::lock_guard lock(secretsMutex());
  Secrets defaults;
  secrets().key = keyAndIV ? keyAndIV->first : defaults.key;
  secrets().iv = keyAndIV ? keyAndIV->second : defaults.iv;
}

std::string Signatures::cardImage(const platform::Bytes& jpeg) {
  return OSLCrypto::encrypt(crypto::hexString(crypto::sha256(jpeg)));
}

std::string Signatures::location(std::string_view deviceModel) {
  std::string input(deviceModel);
  input += currentSecrets().salt;
  return crypto::hexString(crypto::md5(crypto::view(input)));
}

void Signatures::setSalt(std::optional<std::string> salt) {
  std::lock_guard lock(secretsMutex());
  secrets().salt = salt ? *salt : Secrets{}.salt;
}

}  // namespace ostrel
