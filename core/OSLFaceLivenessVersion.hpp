#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// How the face step checks liveness. The key is what the host receives as the variant of the
// face picture ("sa" never reaches it: the vendor session hands nothing to the host).
enum class OSLFaceLivenessVersion : int { passive = 0, semiActive = 1, active = 2 };

inline const char* variantKey(OSLFaceLivenessVersion version) {
  switch (version) {
    case OSLFaceLivenessVersion::passive:
      return "p";
    case OSLFaceLivenessVersion::semiActive:
      return "sa";
    case OSLFaceLivenessVersion::active:
      return "a";
  }
  return "p";
}

inline std::optional<OSLFaceLivenessVersion> faceLivenessVersionFromKey(std::string_view key) {
  if (key == "p") return OSLFaceLivenessVersion::passive;
  if (key == "sa") return OSLFaceLivenessVersion::semiActive;
  if (key == "a") return OSLFaceLivenessVersion::active;
  return std::nullopt;
}

inline std::optional<OSLFaceLivenessVersion> faceLivenessVersionFromRaw(int raw) {
  if (raw < 0 || raw > 2) return std::nullopt;
  return static_cast<OSLFaceLivenessVersion>(raw);
}

}  // namespace ostrel
