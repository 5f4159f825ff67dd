#pragma once

#include <string>
#include <vector>

#include "nfc/DataGroup.hpp"

namespace ostrel {

// The common data file: LDS and Unicode versions and the list of groups on the chip.
class COM : public DataGroup {
 public:
  std::string version = "Unknown";
  std::string unicodeVersion = "Unknown";
  // Names from the parser table ("DG1", "SecurityData", ...) in the chip's order.
  std::vector<std::string> dataGroupsPresent;

 protected:
  void parse(const Bytes& data) override;
  DataGroupId ownType() const override { return DataGroupId::COM; }
};

}  // namespace ostrel
