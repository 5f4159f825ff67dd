#include "testing/ChipReadCheck.hpp"

#include <cctype>

#include "platform/foundation/Base64.hpp"

namespace ostrel::testing {

std::vector<std::string> groupsNotAsOnChip(const NFCPassportModel& model, const SimulatedChip& chip,
                                           const std::vector<DataGroupId>& groups) {
  std::vector<std::string> differing;
  const auto dump = model.dataGroupDump(groups);
  for (DataGroupId id : groups) {
    std::string key = id.name();
    for (auto& ch : key) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const auto fileId = id.fileId();
    const auto entry = dump.find(key);
    if (!fileId || fileId->size() != 2 || entry == dump.end() ||
        entry->second !=
            platform::base64Encode(chip.file(static_cast<std::uint16_t>((*fileId)[0] << 8 |
                                                                        (*fileId)[1])))) {
      differing.push_back(id.name());
    }
  }
  return differing;
}

}  // namespace ostrel::testing
