#include "nfc/SecureMessagingSessionKeyGenerator.hpp"

#include <algorithm>
#include <cctype>

#include "nfc/PassportReaderError.hpp"
#include "platform/crypto/Crypto.hpp"
#include "platform/ui/Text.hpp"

namespace ostrel {
namespace {

std::string lower(const std::string& text) {
  return platform::lowercased(text);
}

}  // namespace

std::string SecureMessagingSessionKeyGenerator::digestAlgorithm(const std::string& name,
                                                                int keyLength) const {
  if (name == "DESede" || name == "AES-128" || (name == "AES" && keyLength == 128)) {
    return "SHA1";
  }
  if (name == "AES-256" || name == "AES-192" ||
      (name == "AES" && (keyLength == 192 || keyLength == 256))) {
    return "SHA256";
  }
  throw PassportReaderError::InvalidDataPassed("Unsupported cipher algorithm or key length");
}

Bytes SecureMessagingSessionKeyGenerator::hash(const std::string& hashAlgorithm,
                                               const std::vector<Bytes>& dataElements) const {
  namespace crypto = platform::crypto;
  const std::string name = lower(hashAlgorithm);
  crypto::DigestAlgorithm algorithm;
  if (name == "sha1") {
    algorithm = crypto::DigestAlgorithm::sha1;
  } else if (name == "sha256") {
    algorithm = crypto::DigestAlgorithm::sha256;
  } else if (name == "sha384") {
    algorithm = crypto::DigestAlgorithm::sha384;
  } else if (name == "sha512") {
    algorithm = crypto::DigestAlgorithm::sha512;
  } else {
    throw PassportReaderError::InvalidHashAlgorithmSpecified();
  }
  Bytes all;
  for (const auto& block : dataElements) all.insert(all.end(), block.begin(), block.end());
  return crypto::digest(algorithm, all);
}

Bytes SecureMessagingSessionKeyGenerator::deriveKey(const Bytes& keySeed,
                                                    const std::string& cipherAlgName, int keyLength,
                                                    const std::optional<Bytes>& nonce,
                                                    int mode) const {
  const std::string digestName = digestAlgorithm(cipherAlgName, keyLength);
  const Bytes counter{0, 0, 0, static_cast<std::uint8_t>(mode + 1)};
  std::vector<Bytes> blocks{keySeed};
  if (nonce) blocks.push_back(*nonce);
  blocks.push_back(counter);
  const Bytes h = hash(digestName, blocks);

  const std::string name = lower(cipherAlgName);
  if (cipherAlgName == "DESede" || cipherAlgName == "3DES") {
    if (keyLength != 112 && keyLength != 128) {
      throw PassportReaderError::InvalidDataPassed("Can only use DESede with 128-but key length");
    }
    Bytes key(h.begin(), h.begin() + 16);
    key.insert(key.end(), h.begin(), h.begin() + 8);
    return key;
  }
  if (name.starts_with("aes")) {
    if (keyLength != 128 && keyLength != 192 && keyLength != 256) {
      throw PassportReaderError::InvalidDataPassed(
          "Can only use AES with 128-bit, 192-bit key or 256-bit length");
    }
    const std::size_t size = static_cast<std::size_t>(keyLength / 8);
    // "AES-128" with a longer key length hashes with SHA-1, whose 20 bytes cannot hold it.
    if (h.size() < size) {
      throw PassportReaderError::InvalidDataPassed("Unsupported cipher algorithm or key length");
    }
    return Bytes(h.begin(), h.begin() + static_cast<std::ptrdiff_t>(size));
  }
  throw PassportReaderError::InvalidDataPassed("Unsupported cipher algorithm used");
}

}  // namespace ostrel
