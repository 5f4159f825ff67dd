#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// The built-in flows, in the order the host platform declares them. The chip flows carry what
// the chip key and the face check need when the host already has it.
struct OSLFlowType {
  enum class Kind : int { nfc_ekyc = 0, nfc_only = 1, ekyc = 2, passport = 3 };

  Kind kind = Kind::ekyc;
  std::optional<std::string> mrz;       // nfc_ekyc and nfc_only
  std::optional<std::string> faceData;  // nfc_only: the face picture as base64 text

  static OSLFlowType nfc_ekyc(std::optional<std::string> mrz = std::nullopt) {
    return {Kind::nfc_ekyc, std::move(mrz), std::nullopt};
  }
  static OSLFlowType nfc_only(std::optional<std::string> mrz = std::nullopt,
                              std::optional<std::string> faceData = std::nullopt) {
    return {Kind::nfc_only, std::move(mrz), std::move(faceData)};
  }
  static OSLFlowType ekyc() { return {Kind::ekyc, std::nullopt, std::nullopt}; }
  static OSLFlowType passport() { return {Kind::passport, std::nullopt, std::nullopt}; }

  // "ekyc", "nfc_ekyc", "nfc_only" or "passport".
  const char* key() const;
  // The flow of a name compared in lower case; nothing for any other name.
  static std::optional<OSLFlowType> fromKey(std::string_view name);

  bool isPassport() const { return kind == Kind::passport; }
  bool operator==(const OSLFlowType&) const = default;
};

}  // namespace ostrel
