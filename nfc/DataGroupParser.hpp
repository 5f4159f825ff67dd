#pragma once

#include <memory>
#include <string>
#include <vector>

#include "nfc/DataGroup.hpp"

namespace ostrel {

// Turns a whole file read from the chip into the data-group object of its tag.
class DataGroupParser {
 public:
  static const std::vector<std::uint8_t>& groupTags();
  // "Common" and "SecurityData" for COM and SOD: these names differ from `DataGroupId`'s.
  static const std::vector<std::string>& groupNames();

  // Throws `PassportReaderError`: `InvalidResponse` for fewer than 4 bytes, `UnknownTag` for
  // a tag not in the table, or the failure of the group's own parse.
  static std::shared_ptr<DataGroup> parseDataGroup(const Bytes& data);
};

}  // namespace ostrel
