#pragma once

#include <string>
#include <vector>

#include "nfc/DataGroupId.hpp"
#include "nfc/NFCPassportModel.hpp"
#include "testing/SimulatedChip.hpp"

namespace ostrel::testing {

// The names of the groups among `groups` whose entry in the model's dump (what the host is
// handed) is not the chip's file byte for byte; a group the model lacks counts. Empty when the
// read delivered every one of them intact.
std::vector<std::string> groupsNotAsOnChip(const NFCPassportModel& model, const SimulatedChip& chip,
                                           const std::vector<DataGroupId>& groups);

}  // namespace ostrel::testing
