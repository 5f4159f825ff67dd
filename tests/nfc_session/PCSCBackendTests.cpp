#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nfc/NfcReader.hpp"
#include "platform/crypto/Crypto.hpp"
#include "platform/foundation/Base64.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/nfc/NFCTagReaderSession.hpp"
#include "platform/nfc/PCSCReaderBackend.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "testing/ChipFiles.hpp"
#include "testing/ChipReadCheck.hpp"
#include "testing/PCSCTestSupport.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/SimulatedChip.hpp"
#include "testing/TestHelpers.hpp"
#include "testing/VirtualCardAdapter.hpp"

namespace ostrel {
namespace {

using ostrel::testing::hex;
using platform::Bytes;
using platform::NFCISO7816APDU;
using platform::NFCReaderError;
using platform::NFCTag;
using platform::NFCTagReaderSession;
using testing::VirtualCardAdapter;

struct Delegate : platform::NFCTagReaderSessionDelegate {
  std::vector<std::vector<std::shared_ptr<NFCTag>>> detections;
  std::vector<NFCReaderError> ends;
  void tagReaderSession(const std::shared_ptr<NFCTagReaderSession>&,
                        const std::vector<std::shared_ptr<NFCTag>>& tags) override {
    detections.push_back(tags);
  }
  void tagReaderSession(const std::shared_ptr<NFCTagReaderSession>&,
                        const NFCReaderError& error) override {
    ends.push_back(error);
  }
};

// A card with the eMRTD application, a T=0-style command that answers 61 xx, and a long answer.
Bytes card(const Bytes& command) {
  const std::string c = hex(command);
  if (c == "00a4040c07a0000002471001") return hex("9000");
  if (c == "0084000008") return hex("01020304050607089000");
  if (c == "80ca000000") return hex("6105");            // five bytes waiting
  if (c == "00c0000005") return hex("aabbccddee6102");  // and then two more
  if (c == "00c0000002") return hex("11229000");
  if (c.rfind("00b00000", 0) == 0) return Bytes(258, 0x5A);  // 256 data bytes + "5A5A"
  return hex("6d00");
}

struct Answer {
  Bytes data;
  std::uint8_t sw1 = 0;
  std::uint8_t sw2 = 0;
  std::optional<NFCReaderError> error;
  bool arrived = false;
};

class PCSCBackendTest : public testing::RuntimeTest {
 protected:
  void SetUp() override {
    OSTREL_REQUIRE_VIRTUAL_READERS();
    lock_ = std::make_unique<testing::VirtualReaderLock>();
    for (int i = 0; i < 2; ++i) {
      ASSERT_TRUE(testing::waitForCardPresence(testing::virtualReaderName(i), false))
          << "a card from an earlier test is still in the reader";
    }
    platform::NFCReaderBackend::install(
        std::make_shared<platform::PCSCReaderBackend>(testing::kVirtualReaderName));
    delegate_ = std::make_shared<Delegate>();
  }
  void TearDown() override {
    if (session_) session_->invalidate();
    session_.reset();
    runUntilIdle();
    adapters_.clear();
    platform::NFCReaderBackend::install(nullptr);
    lock_.reset();
  }

  VirtualCardAdapter& insert(std::uint16_t port = VirtualCardAdapter::kFirstReaderPort) {
    adapters_.push_back(std::make_unique<VirtualCardAdapter>(card, port));
    EXPECT_TRUE(adapters_.back()->start()) << adapters_.back()->lastError();
    return *adapters_.back();
  }

  std::shared_ptr<platform::NFCISO7816Tag> detectOne() {
    session_ =
        std::make_shared<NFCTagReaderSession>(platform::NFCPollingOption::iso14443, delegate_);
    session_->begin();
    EXPECT_TRUE(waitUntil([&] { return !delegate_->detections.empty(); }));
    if (delegate_->detections.empty() || delegate_->detections[0].empty()) return nullptr;
    return std::dynamic_pointer_cast<platform::NFCISO7816Tag>(delegate_->detections[0][0]);
  }

  Answer send(platform::NFCISO7816Tag& tag, const Bytes& command) {
    Answer answer;
    tag.sendCommand(
        NFCISO7816APDU::fromBytes(command).value(),
        [&](Bytes data, std::uint8_t sw1, std::uint8_t sw2, std::optional<NFCReaderError> error) {
          answer = {std::move(data), sw1, sw2, error, true};
        });
    EXPECT_TRUE(waitUntil([&] { return answer.arrived; }));
    return answer;
  }

  struct ChipRead {
    std::shared_ptr<NFCPassportModel> model;
    std::optional<PassportReaderError> error;
  };
  // A whole read through the PC/SC backend, to its end.
  ChipRead readChip(const testing::SimulatedChip& chip, std::optional<int> readSize = {}) {
    auto reader = platform::make<NfcReader>(Log::info);
    reader->dataAmountToReadOverride = readSize;
    ChipRead read;
    bool done = false;
    reader->startChipRead(
        chip.mrzKey(), {}, true, true, nullptr,
        [&](std::shared_ptr<NFCPassportModel> m, std::optional<PassportReaderError> e) {
          read = {std::move(m), std::move(e)};
          done = true;
        });
    EXPECT_TRUE(waitUntil([&] { return done; }, 30));
    reader.reset();
    runUntilIdle();
    return read;
  }

  std::unique_ptr<testing::VirtualReaderLock> lock_;
  std::vector<std::unique_ptr<VirtualCardAdapter>> adapters_;
  std::shared_ptr<Delegate> delegate_;
  std::shared_ptr<NFCTagReaderSession> session_;
};

TEST_F(PCSCBackendTest, ACardInTheReaderIsATagThatAnswersCommands) {
  EXPECT_TRUE(platform::NFCNDEFReaderSession::readingAvailable());
  insert();
  auto tag = detectOne();
  ASSERT_TRUE(tag);
  EXPECT_EQ(tag->initialSelectedAID(), "A0000002471001");
  std::optional<NFCReaderError> connectError{
      NFCReaderError::make(NFCReaderError::readerErrorIneligible)};
  bool connected = false;
  session_->connect(tag, [&](std::optional<NFCReaderError> e) {
    connectError = e;
    connected = true;
  });
  ASSERT_TRUE(waitUntil([&] { return connected; }));
  EXPECT_FALSE(connectError.has_value());

  struct Case {
    const char* command;
    const char* data;
    std::uint8_t sw1, sw2;
  };
  const std::vector<Case> cases = {
      {"0084000008", "0102030405060708", 0x90, 0x00},
      {"80ca000000", "aabbccddee1122", 0x90, 0x00},  // 61 xx completed by GET RESPONSE, twice
      {"00b0000000", "", 0x5A, 0x5A},                // a full 256-byte answer
      {"00e0000000", "", 0x6D, 0x00},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    auto answer = send(*tag, hex(c.command));
    ASSERT_FALSE(answer.error.has_value()) << answer.error->localizedDescription;
    if (std::string(c.command) == "00b0000000") {
      EXPECT_EQ(answer.data, Bytes(256, 0x5A));
    } else {
      EXPECT_EQ(hex(answer.data), c.data);
    }
    EXPECT_EQ(answer.sw1, c.sw1);
    EXPECT_EQ(answer.sw2, c.sw2);
  }
}

TEST_F(PCSCBackendTest, ARemovedCardIsALostTagAndAnEndedSessionRefuses) {
  auto& adapter = insert();
  auto tag = detectOne();
  ASSERT_TRUE(tag);
  adapter.stop();
  ASSERT_TRUE(testing::waitForCardPresence(testing::virtualReaderName(0), false));
  auto lost = send(*tag, hex("0084000008"));
  ASSERT_TRUE(lost.error.has_value());
  EXPECT_EQ(lost.error->code, NFCReaderError::readerTransceiveErrorTagConnectionLost);
  EXPECT_EQ(lost.error->localizedDescription, "Tag connection lost");

  session_->invalidate();
  auto refused = send(*tag, hex("0084000008"));
  ASSERT_TRUE(refused.error.has_value());
  EXPECT_EQ(refused.error->localizedDescription, "Session invalidated");
  ASSERT_TRUE(waitUntil([&] { return !delegate_->ends.empty(); }));
  EXPECT_EQ(delegate_->ends.size(), 1u);
}

TEST_F(PCSCBackendTest, TwoCardsAtOnceAreReportedTogether) {
  insert(VirtualCardAdapter::kFirstReaderPort);
  insert(VirtualCardAdapter::kFirstReaderPort + 1);
  ASSERT_TRUE(testing::waitForCardPresence(testing::virtualReaderName(0), true));
  ASSERT_TRUE(testing::waitForCardPresence(testing::virtualReaderName(1), true));
  detectOne();
  ASSERT_EQ(delegate_->detections.size(), 1u);
  EXPECT_EQ(delegate_->detections[0].size(), 2u);
}

TEST_F(PCSCBackendTest, AWholeChipReadThroughPcscdAndVpcd) {
  auto chip = testing::SimulatedChip::passport();
  VirtualCardAdapter adapter(testing::cardOf(chip));
  ASSERT_TRUE(adapter.start()) << adapter.lastError();
  const auto read = readChip(*chip);
  ASSERT_FALSE(read.error.has_value()) << read.error->message();
  ASSERT_TRUE(read.model);
  EXPECT_EQ(chip->bacRuns(), 1);
  EXPECT_EQ(chip->selectCount(0x0103) + chip->selectCount(0x0104), 0) << "DG3 and DG4 never asked";
  EXPECT_EQ(testing::groupsNotAsOnChip(*read.model, *chip,
                                       {DataGroupId::COM, DataGroupId::SOD, DataGroupId::DG1,
                                        DataGroupId::DG2, DataGroupId::DG14, DataGroupId::DG15}),
            std::vector<std::string>{});
}

TEST_F(PCSCBackendTest, ReadsHoldAgainstRealChipBehavioursThroughPcscd) {
  struct Case {
    const char* name;
    std::function<void(testing::SimulatedChip&)> arrange;
    bool pullOutDuringDG2;
    std::string outcome;
    int bacRuns;
    std::optional<int> readSize = {};
  };
  const std::vector<Case> cases = {
      {"a 42 KB DG2 ended with 62 82 by B1 reads whose Le counts file bytes",
       [](testing::SimulatedChip& c) {
         c.setFile(0x0102, testing::ChipFiles::dg2(testing::ChipFiles::jpegJFIF(42000)));
         c.endOfFileWarning = true;
         c.oddReadLeCountsFileBytes = true;
       },
       false, "(success)", 1},
      {"access control again on a chip that refuses the plain challenge",
       [](testing::SimulatedChip& c) {
         // DG14 comes right after COM; refusing it runs access control again.
         c.setFile(0x011E, testing::ChipFiles::com({0x61, 0x75, 0x6E}));
         c.setFile(0x010E, testing::ChipFiles::opaque(0x6E, 40));
         c.injectForFile(0x010E, testing::SimulatedChip::Fault::withStatus(0x69, 0x82));
       },
       false, "(success)", 2},
      {"the card taken away in the middle of DG2", [](testing::SimulatedChip&) {}, true,
       "Tag connection lost", 1},
      {"files filled with FF after their objects, read 256 at a time",
       [](testing::SimulatedChip& c) {
         c.fillAfterObject = 120;
         c.oversizedAnswer = testing::SimulatedChip::OversizedAnswer::send;
       },
       false, "(success)", 1, 256},
      {"a 42 KB DG2 whose B1 reads past the end are answered 6C xx",
       [](testing::SimulatedChip& c) {
         c.setFile(0x0102, testing::ChipFiles::dg2(testing::ChipFiles::jpegJFIF(42000)));
         c.oddReadLeCountsFileBytes = true;
         c.exactLengthPastEnd = true;
       },
       false, "(success)", 1},
      {"a 70 KB DG2 with a three-byte length",
       [](testing::SimulatedChip& c) {
         c.setFile(0x0102, testing::ChipFiles::dg2(testing::ChipFiles::jp2(72000), 2, 0x7F2E));
       },
       false, "(success)", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto chip = testing::SimulatedChip::passport();
    c.arrange(*chip);
    VirtualCardAdapter* adapterSeen = nullptr;
    int dg2Reads = 0;
    auto card = testing::cardOf(chip);
    VirtualCardAdapter adapter([&, card](const Bytes& command) {
      const bool read = command.size() > 1 && (command[1] == 0xB0 || command[1] == 0xB1);
      if (c.pullOutDuringDG2 && read && chip->selectCount(0x0102) > 0 && ++dg2Reads == 5) {
        adapterSeen->pullOut();
      }
      return card(command);
    });
    adapterSeen = &adapter;
    ASSERT_TRUE(adapter.start()) << adapter.lastError();
    const auto read = readChip(*chip, c.readSize);
    EXPECT_EQ(read.error ? read.error->message() : "(success)", c.outcome);
    EXPECT_EQ(chip->bacRuns(), c.bacRuns);
    if (read.model) {
      EXPECT_EQ(testing::groupsNotAsOnChip(
                    *read.model, *chip,
                    {DataGroupId::COM, DataGroupId::SOD, DataGroupId::DG1, DataGroupId::DG2}),
                std::vector<std::string>{});
    }
    adapter.stop();
    ASSERT_TRUE(testing::waitForCardPresence(testing::virtualReaderName(0), false));
  }
}

}  // namespace
}  // namespace ostrel
