#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/Base64.hpp"
#include "platform/nfc/PCSCReaderBackend.hpp"
#include "testing/PCSCTestSupport.hpp"
#include "testing/ScriptedHost.hpp"
#include "testing/UserJourney.hpp"
#include "testing/VirtualCardAdapter.hpp"
#include "tests/chip_screens/ChipScreensTest.hpp"

namespace ostrel::chip_screens_test {
namespace {

constexpr const char* kVerify = "/api/nfc/verify";

// What the host hears in a whole chip-only run: the zone fetched, the chip data verified (the
// indicator stays up into the confirmation), the confirmation, then the result.
const std::vector<std::string> kChipOnlyRun{"showLoading", "hideLoading", "showLoading",
                                            "showLoading", "hideLoading", "result"};

// The chip-only flow run whole through the facade with the library's screens, the local server
// and the cooperative user, who taps scan and then lays the sample person's card, either in the
// simulated field or, through pcscd, in vpcd's reader.
class ChipFlowTest : public ChipScreenTest {
 protected:
  ~ChipFlowTest() override { NFCReaderBackend::install(nullptr); }

  // Runs "nfc_only" until the host hears how it ended (or a bounded number of steps).
  void runChipOnly(std::function<void()> layCard) {
    show(make<ViewController>());
    scriptedHost.install(*config);
    testing::UserJourney journey([this](const std::string& line) { said.push_back(line); });
    journey.addCooperativeSteps();
    testing::addChipSteps(journey, std::move(layCard));
    Ostrel::shared()->run(OSLFlowType::nfc_only(std::nullopt, std::nullopt), config);
    auto ended = [this] {
      return scriptedHost.count("result") + scriptedHost.count("noResult") > 0;
    };
    for (int i = 0; i < 600 && !ended(); ++i) {
      journey.look(window());
      waitUntil(ended, 0.02);
      advance(0.1);
    }
    runUntilIdle();
  }

  // What every whole run must show, wherever the card was read.
  void expectTheSampleCardsResult() {
    EXPECT_EQ(scriptedHost.order(), kChipOnlyRun) << testing::describe(scriptedHost.order(true));
    auto verify = server.lastRequest(kVerify);
    ASSERT_TRUE(verify && verify->decryptedBody);
    EXPECT_EQ((*verify->decryptedBody)["dg1"], base64Encode(chip->file(0x0101)));
    EXPECT_EQ((*verify->decryptedBody)["dg2"], base64Encode(chip->file(0x0102)));
    auto results = scriptedHost.results();
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0]);
    EXPECT_EQ(results[0]->decision, "APPROVED");
    ASSERT_TRUE(results[0]->nfcModel);
    EXPECT_EQ(results[0]->nfcModel->id_number, testing::samplePerson().idNumber);
    EXPECT_TRUE(server.problems().empty());
    EXPECT_FALSE(Ostrel::shared()->naviViewController());
    EXPECT_EQ(said, (std::vector<std::string>{"taps scan on the chip screen",
                                              "lays the card on the reader"}));
  }

  testing::ScriptedHost scriptedHost;
  std::vector<std::string> said;
};

TEST_F(ChipFlowTest, TheChipOnlyFlowReadsTheCardInTheSimulatedField) {
  runChipOnly(nullptr);
  expectTheSampleCardsResult();
}

class ChipFlowThroughPcscdTest : public ChipFlowTest {
 protected:
  void SetUp() override {
    OSTREL_REQUIRE_VIRTUAL_READERS();
    lock_ = std::make_unique<testing::VirtualReaderLock>();
    ASSERT_TRUE(testing::waitForCardPresence(testing::virtualReaderName(0), false))
        << "a card from an earlier test is still in the reader";
    NFCReaderBackend::install(
        std::make_shared<platform::PCSCReaderBackend>(testing::kVirtualReaderName));
  }
  void TearDown() override {
    endSession();
    if (card_) card_->stop();
    card_.reset();
    NFCReaderBackend::install(nullptr);
    lock_.reset();
  }
  // Puts the card in vpcd's first reader.
  void insertCard() {
    card_ = std::make_unique<testing::VirtualCardAdapter>(chip);
    EXPECT_TRUE(card_->start()) << card_->lastError();
  }

  std::unique_ptr<testing::VirtualReaderLock> lock_;
  std::unique_ptr<testing::VirtualCardAdapter> card_;
};

// The same run with the card served by vpcd: it goes into the reader only once the scan is
// tapped, so the open session has to find it.
TEST_F(ChipFlowThroughPcscdTest, TheChipOnlyFlowReadsTheCardThroughPcscd) {
  runChipOnly([this] { insertCard(); });
  expectTheSampleCardsResult();
  ASSERT_TRUE(card_);
  EXPECT_GT(card_->commandCount(), 0u);
}

}  // namespace
}  // namespace ostrel::chip_screens_test
