#include "core/OSLFlowType.hpp"

#include <algorithm>
#include <cctype>

#include "platform/ui/Text.hpp"

namespace ostrel {

const char* OSLFlowType::key() const {
  switch (kind) {
    case Kind::nfc_ekyc:
      return "nfc_ekyc";
    case Kind::nfc_only:
      return "nfc_only";
    case Kind::ekyc:
      return "ekyc";
    case Kind::passport:
      return "passport";
  }
  return "ekyc";
}

std::optional<OSLFlowType> OSLFlowType::fromKey(std::string_view name) {
  const std::string lower = platform::lowercased(std::string(name));
  Kind kind;
  if (lower == "ekyc") {
    kind = Kind::ekyc;
  } else if (lower == "nfc_ekyc") {
    kind = Kind::nfc_ekyc;
  } else if (lower == "nfc_only") {
    kind = Kind::nfc_only;
  } else if (lower == "passport") {
    kind = Kind::passport;
  } else {
    return std::nullopt;
  }
  std::optional<OSLFlowType> flow(std::in_place);
  flow->kind = kind;
  return flow;
  return std::nullopt;
}

}  // namespace ostrel
