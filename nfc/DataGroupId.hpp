#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Bytes.hpp"

namespace ostrel {

// The chip's elementary files, named by their one-byte ICAO tag.
class DataGroupId {
 public:
  enum Value : int {
    COM = 0x60,
    DG1 = 0x61,
    DG2 = 0x75,
    DG3 = 0x63,
    DG4 = 0x76,
    DG5 = 0x65,
    DG6 = 0x66,
    DG7 = 0x67,
    DG8 = 0x68,
    DG9 = 0x69,
    DG10 = 0x6A,
    DG11 = 0x6B,
    DG12 = 0x6C,
    DG13 = 0x6D,
    DG14 = 0x6E,
    DG15 = 0x6F,
    DG16 = 0x70,
    SOD = 0x77,
    Unknown = 0x00,
  };

  constexpr DataGroupId(Value value) : value_(value) {}  // NOLINT: a case is a DataGroupId

  // The case with this tag; nothing for any other value (0 gives `Unknown`).
  static std::optional<DataGroupId> fromRawValue(int rawValue);
  // Exact, case-sensitive "COM", "DG1".."DG16", "SOD"; any other text is `Unknown`.
  static DataGroupId fromName(std::string_view name);
  // The 19 cases in declaration order.
  static const std::array<DataGroupId, 19>& allCases();

  constexpr int rawValue() const { return value_; }
  constexpr Value value() const { return value_; }
  // The two-byte file identifier used by SELECT; nothing for `Unknown`.
  std::optional<platform::Bytes> fileId() const;
  // "COM", "DG1".."DG16", "SOD" or "Unknown".
  std::string name() const;

  friend constexpr bool operator==(DataGroupId a, DataGroupId b) { return a.value_ == b.value_; }

 private:
  Value value_;
};

}  // namespace ostrel

template <>
struct std::hash<ostrel::DataGroupId> {
  std::size_t operator()(ostrel::DataGroupId id) const noexcept {
    return std::hash<int>()(id.rawValue());
  }
};
