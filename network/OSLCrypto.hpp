#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Bytes.hpp"

namespace ostrel {

// The payload cipher the server expects: AES-256-CBC with PKCS#7 under the integrator's key and
// IV, the UTF-8 text first padded with U+000C bytes to a multiple of 16, output as lower-case
// hex. This obfuscates rather than protects (the key ships with every copy); the server
// contract depends on it.
class OSLCrypto {
 public:
  // "" when the cipher fails (a key or IV of the wrong length).
  static std::string encrypt(std::string_view text);
  // The text of a hex cipher text, trailing U+000C padding removed; nothing when the hex, the
  // key or the padding is wrong.
  static std::optional<std::string> decrypt(std::string_view hex);

  // Replaces the key and IV (tests, and hosts that load them at run time); nothing restores the
  // values the library was built with.
  static void setKeyAndIV(std::optional<std::pair<std::string, std::string>> keyAndIV);
};

// The request signatures.
class Signatures {
 public:
  // The "signature" part of a card-image upload: the cipher applied to the lower-case hex
  // SHA-256 of the uploaded JPEG (160 hex characters).
  static std::string cardImage(const platform::Bytes& jpeg);
  // The "signature" field of the antenna-location request: lower-case hex MD5 of the device
  // model followed by the integrator's 11-character salt.
  static std::string location(std::string_view deviceModel);

  static void setSalt(std::optional<std::string> salt);
};

}  // namespace ostrel
