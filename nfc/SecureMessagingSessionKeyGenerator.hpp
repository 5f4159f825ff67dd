#pragma once

#include <optional>
#include <string>
#include <vector>

#include "nfc/ChipBytes.hpp"

namespace ostrel {

// The ICAO 9303 key derivation: hash(seed || nonce? || 00 00 00 (mode + 1)) cut to the key
// size. DESede keys come out as 24 bytes K1 K2 K1 with the parity bits left as hashed.
class SecureMessagingSessionKeyGenerator {
 public:
  Bytes deriveKey(const Bytes& keySeed, const std::string& cipherAlgName, int keyLength,
                  const std::optional<Bytes>& nonce, int mode) const;
  std::string digestAlgorithm(const std::string& cipherAlgName, int keyLength) const;
  Bytes hash(const std::string& hashAlgorithm, const std::vector<Bytes>& dataElements) const;
};

}  // namespace ostrel
