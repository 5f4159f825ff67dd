#include "nfc/DataGroupId.hpp"

namespace ostrel {

const std::array<DataGroupId, 19>& DataGroupId::allCases() {
  static const std::array<DataGroupId, 19> cases = {COM,  DG1,  DG2,  DG3,  DG4,    DG5,  DG6,
                                                    DG7,  DG8,  DG9,  DG10, DG11,   DG12, DG13,
                                                    DG14, DG15, DG16, SOD,  Unknown};
  return cases;
}

std::optional<DataGroupId> DataGroupId::fromRawValue(int rawValue) {
  for (auto id : allCases()) {
    if (id.rawValue() == rawValue) return id;
  }
  return std::nullopt;
}

DataGroupId DataGroupId::fromName(std::string_view name) {
  for (auto id : allCases()) {
    if (id != Unknown && id.name() == name) return id;
  }
  return Unknown;
}

std::optional<platform::Bytes> DataGroupId::fileId() const {
  switch (value_) {
    case COM:
      return platform::Bytes{0x01, 0x1E};
    case SOD:
      return platform::Bytes{0x01, 0x1D};
    case Unknown:
      return std::nullopt;
    default:
      break;
  }
  // DG1..DG16 are files 01 01..01 10, in declaration order.
  const auto& cases = allCases();
  for (std::size_t i = 1; i <= 16; ++i) {
    if (cases[i] == *this) return platform::Bytes{0x01, static_cast<std::uint8_t>(i)};
  }
  return std::nullopt;
}

std::string DataGroupId::name() const {
  switch (value_) {
    case COM:
      return "COM";
    case SOD:
      return "SOD";
    case Unknown:
      return "Unknown";
    default:
      break;
  }
  const auto& cases = allCases();
  for (std::size_t i = 1; i <= 16; ++i) {
    if (cases[i] == *this) return "DG" + std::to_string(i);
  }
  return "Unknown";
}

}  // namespace ostrel
