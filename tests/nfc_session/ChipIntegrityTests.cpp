// Chips that make a careless reader deliver altered, extra or missing data: each row ends with
// the outcome stated, every group the model holds is the chip's object byte for byte, and a
// group the chip lacks or the read gave up is not in the model.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nfc/NfcReader.hpp"
#include "platform/foundation/Make.hpp"
#include "testing/ChipFiles.hpp"
#include "testing/ChipReadCheck.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/SimulatedChip.hpp"
#include "testing/SimulatedNFCBackend.hpp"

namespace ostrel {
namespace {

using Fault = testing::SimulatedChip::Fault;
using testing::ChipFiles;
using testing::SimulatedChip;

constexpr std::uint16_t kIntegrityCOM = 0x011E, kIntegrityDG1 = 0x0101, kIntegrityDG2 = 0x0102,
                        kIntegrityDG11 = 0x010B, kIntegritySOD = 0x011D;

struct IntegrityRow {
  const char* name;
  std::function<void(SimulatedChip&)> arrange;
  std::optional<int> readSize;  // the host's dataAmountToReadOverride
  std::string outcome;          // "(success)" or the error text
  std::vector<DataGroupId> read;     // in the model, each the chip's object byte for byte
  std::vector<DataGroupId> missing;  // not in the model
  int bacRuns;                       // -1: not checked
};

class ChipIntegrityTest : public testing::RuntimeTest {
 protected:
  void SetUp() override {
    backend_ = std::make_shared<testing::SimulatedNFCBackend>();
    platform::NFCReaderBackend::install(backend_);
  }
  void TearDown() override {
    runUntilIdle();
    platform::NFCReaderBackend::install(nullptr);
  }

  // The sample ICAO chip with a SOD and a face of some size.
  static std::shared_ptr<SimulatedChip> chip() {
    auto chip = SimulatedChip::icaoExample();
    chip->setFile(kIntegritySOD, ChipFiles::opaque(0x77, 300));
    chip->setFile(kIntegrityDG2, ChipFiles::dg2(ChipFiles::jpegJFIF(3000)));
    return chip;
  }

  std::shared_ptr<testing::SimulatedNFCBackend> backend_;
};

TEST_F(ChipIntegrityTest, ReadsNeverDeliverAlteredExtraOrMissingData) {
  const DataGroupId COM = DataGroupId::COM, SOD = DataGroupId::SOD, DG1 = DataGroupId::DG1,
                    DG2 = DataGroupId::DG2, DG11 = DataGroupId::DG11;
  auto faceOver32K = [](SimulatedChip& c) {
    c.setFile(kIntegrityDG2, ChipFiles::dg2(ChipFiles::jpegJFIF(42000)));
    c.oddReadLeCountsFileBytes = true;
  };
  const std::vector<IntegrityRow> rows = {
      {"files filled with FF after their objects, read 256 at a time",
       [](SimulatedChip& c) {
         c.fillAfterObject = 200;
         c.oversizedAnswer = SimulatedChip::OversizedAnswer::send;
       },
       256, "(success)", {COM, SOD, DG1, DG2}, {}, 1},
      {"files filled with 00 after their objects, read 160 at a time",
       [](SimulatedChip& c) {
         c.fillAfterObject = 300;
         c.fillByte = 0x00;
       },
       std::nullopt, "(success)", {COM, SOD, DG1, DG2}, {}, 1},
      {"B1 reads whose Le counts file bytes, on a file filled with 00",
       [&](SimulatedChip& c) {
         faceOver32K(c);
         c.fillAfterObject = 16;
         c.fillByte = 0x00;
       },
       std::nullopt, "(success)", {COM, SOD, DG1, DG2}, {}, 1},
      {"6C xx for B1 reads past the end: Le xx once, the chunk size kept",
       [&](SimulatedChip& c) {
         faceOver32K(c);
         c.exactLengthPastEnd = true;
       },
       std::nullopt, "(success)", {COM, SOD, DG1, DG2}, {}, 1},
      {"6C 80 for every read of more than 128 bytes",
       [](SimulatedChip& c) {
         c.maxReadLength = 0x80;
         c.longReadAnswer = SimulatedChip::LongReadAnswer::exactLength;
       },
       std::nullopt, "(success)", {COM, SOD, DG1, DG2}, {}, 1},
      {"no EF.COM: the groups the SOD lists",
       [](SimulatedChip& c) {
         c.removeFile(kIntegrityCOM);
         c.setFile(kIntegrityDG11, ChipFiles::opaque(0x6B, 40));
         c.setFile(kIntegritySOD, ChipFiles::securityObject({{1, c.file(kIntegrityDG1)},
                                                             {2, c.file(kIntegrityDG2)},
                                                             {11, c.file(kIntegrityDG11)}}));
       },
       std::nullopt, "(success)", {SOD, DG1, DG2, DG11}, {COM}, 2},
      {"no EF.COM and a SOD without a list: DG1 and DG2",
       [](SimulatedChip& c) { c.removeFile(kIntegrityCOM); },
       std::nullopt, "(success)", {SOD, DG1, DG2}, {COM}, 2},
      {"EF.COM whose MAC never verifies: DG1 and DG2",
       [](SimulatedChip& c) {
         c.injectForFile(kIntegrityCOM, Fault::of(Fault::Kind::corruptMac, -1), true);
       },
       std::nullopt, "(success)", {SOD, DG1, DG2}, {COM}, 1},
      {"no EF.COM, no SOD, no DG1: the chip has nothing to give",
       [](SimulatedChip& c) {
         c.removeFile(kIntegrityCOM);
         c.removeFile(kIntegritySOD);
         c.removeFile(kIntegrityDG1);
       },
       std::nullopt, "File not found", {}, {}, -1},
      {"SOD whose MAC never verifies",
       [](SimulatedChip& c) {
         c.injectForFile(kIntegritySOD, Fault::of(Fault::Kind::corruptMac, -1), true);
       },
       std::nullopt, "UnableToUnprotectAPDU", {}, {}, 1},
      {"SOD refused",
       [](SimulatedChip& c) { c.injectForFile(kIntegritySOD, Fault::withStatus(0x69, 0x82)); },
       std::nullopt, "Security status not satisfied", {}, {}, -1},
      {"SOD not there: today's rule, left out",
       [](SimulatedChip& c) { c.removeFile(kIntegritySOD); },
       std::nullopt, "(success)", {COM, DG1, DG2}, {SOD}, 2},
      {"DG2 listed by COM and the SOD, answered 6A 82",
       [](SimulatedChip& c) {
         c.setFile(kIntegritySOD, ChipFiles::securityObject(
                                      {{1, c.file(kIntegrityDG1)}, {2, c.file(kIntegrityDG2)}}));
         c.removeFile(kIntegrityDG2);
       },
       std::nullopt, "File not found", {}, {}, -1},
      {"DG2 listed and protected: today's rule, left out",
       [](SimulatedChip& c) { c.protectFile(kIntegrityDG2); },
       std::nullopt, "(success)", {COM, SOD, DG1}, {DG2}, 1},
      {"DG11 listed and not there: today's rule, left out",
       [](SimulatedChip& c) {
         c.setFile(kIntegrityCOM, ChipFiles::com({0x61, 0x75, 0x6B}));
       },
       std::nullopt, "(success)", {COM, SOD, DG1, DG2}, {DG11}, 1},
      {"a 70 KB face with a three-byte length (75 83)",
       [](SimulatedChip& c) {
         c.setFile(kIntegrityDG2, ChipFiles::dg2(ChipFiles::jpegJFIF(72000)));
       },
       std::nullopt, "(success)", {COM, SOD, DG1, DG2}, {}, 1},
      {"a 70 KB face read 256 at a time by B1 whose Le counts file bytes, FF after it",
       [](SimulatedChip& c) {
         c.setFile(kIntegrityDG2, ChipFiles::dg2(ChipFiles::jp2(72000), 2, 0x7F2E));
         c.oddReadLeCountsFileBytes = true;
         c.oversizedAnswer = SimulatedChip::OversizedAnswer::send;
         c.fillAfterObject = 8;
       },
       256, "(success)", {COM, SOD, DG1, DG2}, {}, 1},
      {"SELECT with P2 0C refused with 6A 86: asked for the FCI",
       [](SimulatedChip& c) { c.selectWithoutAnswerRefusal = 0x6A86; },
       std::nullopt, "(success)", {COM, SOD, DG1, DG2}, {}, 1},
      {"SELECT with P2 0C refused with 6A 87: asked for the FCI",
       [](SimulatedChip& c) { c.selectWithoutAnswerRefusal = 0x6A87; },
       std::nullopt, "(success)", {COM, SOD, DG1, DG2}, {}, 1},
      {"an application that is not selected however asked",
       [](SimulatedChip& c) {
         c.selectWithoutAnswerRefusal = 0x6A86;
         c.applicationRefused = true;
       },
       std::nullopt, "TagNotValid", {}, {}, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto simulated = chip();
    row.arrange(*simulated);
    backend_->setTags(testing::SimulatedNFCBackend::chips({simulated}));
    auto reader = platform::make<NfcReader>(Log::info);
    reader->dataAmountToReadOverride = row.readSize;
    std::vector<std::pair<std::shared_ptr<NFCPassportModel>, std::optional<PassportReaderError>>>
        outcomes;
    std::optional<NFCViewDisplayMessage> lastMessage;
    reader->startChipRead(
        simulated->mrzKey(), {}, true, true,
        [&](const NFCViewDisplayMessage& m) -> std::optional<std::string> {
          lastMessage = m;
          return std::nullopt;
        },
        [&](std::shared_ptr<NFCPassportModel> model, std::optional<PassportReaderError> error) {
          outcomes.emplace_back(std::move(model), std::move(error));
        });
    // One virtual second is enough for every read here: none may wait for the session limit.
    advance(1);
    runUntilIdle();
    ASSERT_EQ(outcomes.size(), 1u) << "one outcome, well before the session limit";
    advance(61);
    runUntilIdle();
    ASSERT_EQ(outcomes.size(), 1u) << "and no second one";
    const auto& [model, error] = outcomes[0];
    EXPECT_EQ(error ? error->message() : "(success)", row.outcome);
    EXPECT_EQ(!model, error.has_value());
    // A failed read leaves the sheet showing its own error (for TagNotValid the invalid-chip
    // text).
    if (error) {
      ASSERT_TRUE(lastMessage.has_value());
      ASSERT_EQ(lastMessage->kind(), NFCViewDisplayMessage::Kind::error);
      EXPECT_EQ(lastMessage->readerError()->message(), error->message());
    }
    if (row.bacRuns >= 0) {
      EXPECT_EQ(simulated->bacRuns(), row.bacRuns);
    }
    if (model) {
      EXPECT_EQ(testing::groupsNotAsOnChip(*model, *simulated, row.read),
                std::vector<std::string>{});
      for (auto id : row.missing) EXPECT_EQ(model->dataGroupsRead.count(id), 0u) << id.name();
    }
    if (reader->tagReader) {
      EXPECT_EQ(reader->tagReader->maxDataLengthToRead(), row.readSize.value_or(160))
          << "the chunk size stayed";
    }
    reader.reset();
    runUntilIdle();
  }
}

}  // namespace
}  // namespace ostrel
