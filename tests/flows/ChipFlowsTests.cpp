#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nfcscan/OSLScanNFCVC.hpp"
#include "platform/foundation/Base64.hpp"
#include "platform/nfc/PCSCReaderBackend.hpp"
#include "scanner/OSLScanMRZVC.hpp"
#include "session/Ostrel.hpp"
#include "testing/FlowHarness.hpp"
#include "testing/MRZTestData.hpp"
#include "testing/PCSCTestSupport.hpp"
#include "testing/SamplePerson.hpp"
#include "testing/VirtualCardAdapter.hpp"

namespace ostrel {
namespace {

using platform::JSON;
using testing::FlowHarness;
using testing::samplePerson;
using testing::ScriptedReply;
using Strings = std::vector<std::string>;

constexpr const char* kVerify = "/api/nfc/verify";

// The chip flows run whole, the cooperative user tapping scan on the chip screen and laying the
// sample person's card: in the simulated field here, in vpcd's reader through pcscd below. Both
// must end the same way.
class ChipFlowTest : public FlowHarness {
 protected:
  ChipFlowTest() {
    // The user's own chip steps take the chip screen.
    journey.remove("chip: scan");
  }

  // The chip data the server got is the card's, and the result carries the chip's record.
  void expectTheCardWasRead() {
    const auto verify = server.lastRequest(kVerify);
    ASSERT_TRUE(verify && verify->decryptedBody) << "no chip data reached the server";
    EXPECT_EQ(verify->decryptedBody->value("dg1", ""), platform::base64Encode(card->file(0x0101)));
    EXPECT_EQ(verify->decryptedBody->value("dg2", ""), platform::base64Encode(card->file(0x0102)));
    ASSERT_EQ(host.results().size(), 1u);
    ASSERT_TRUE(host.results()[0]);
    ASSERT_TRUE(host.results()[0]->nfcModel);
    EXPECT_EQ(host.results()[0]->nfcModel->id_number, samplePerson().idNumber);
  }

  void expectChipOnlyRun() {
    EXPECT_EQ(flowPaths(), (Strings{"/api/data/get", kVerify, "/api/kyc/confirm"}));
    // The zone fetched; the chip data verified, the indicator staying up into the confirmation.
    EXPECT_EQ(host.order(), (Strings{"showLoading", "hideLoading", "showLoading", "showLoading",
                                     "hideLoading", "result"}));
    EXPECT_TRUE(host.heardInOrder({"log:NFC_START_LISTEN", "log:NFC_TAP_SUCCESS",
                                   "log:NFC_SUCCESS", "result"},
                                  true));
    EXPECT_EQ(said, (Strings{"taps scan on the chip screen", "lays the card on the reader"}));
    expectTheCardWasRead();
  }

  void expectChipEkycRun() {
    EXPECT_EQ(flowPaths(), (Strings{"/api/kyc/app/scan-front", "/api/kyc/app/scan-back", kVerify,
                                    "/api/kyc/check-selfie", "/api/kyc/get-result",
                                    "/api/kyc/confirm"}));
    Strings expected;
    for (int call = 0; call < 6; ++call) {
      expected.push_back("showLoading");
      expected.push_back("hideLoading");
    }
    expected.push_back("result");
    EXPECT_EQ(host.order(), expected);
    EXPECT_EQ(said, (Strings{"holds the card's front up to the camera",
                             "continues with the photo of the card's front",
                             "holds the card's back up to the camera",
                             "continues with the photo of the card's back",
                             "taps scan on the chip screen", "lays the card on the reader",
                             "continues with the face picture",
                             "confirms the review of " + samplePerson().printedName}));
    expectTheCardWasRead();
    // The card's sides are in the result beside the chip's record.
    const auto results = host.results();
    if (!results.empty() && results[0]) {
      EXPECT_TRUE(results[0]->toDictionary().contains("back_result"));
    }
  }
};

TEST_F(ChipFlowTest, ChipOnlyWithTheZoneFromTheServer) {
  ASSERT_TRUE(runFlow("nfc_only"));
  expectChipOnlyRun();
  expectNothingLeft();
  expectNoMissingKeys();
}

TEST_F(ChipFlowTest, ChipEkycReadsTheCardAfterItsBack) {
  ASSERT_TRUE(runFlow("nfc_ekyc"));
  expectChipEkycRun();
  expectNothingLeft();
  expectNoMissingKeys();
}

// When the server says the chip's face is not the person's, the user's face is checked before
// the confirmation.
TEST_F(ChipFlowTest, ChipOnlyTakesTheFaceWhenTheChipFaceDoesNotMatch) {
  server.setReply(kVerify, ScriptedReply::data({{"is_nfc_face_match_selfie", false}}));
  ASSERT_TRUE(runFlow("nfc_only"));
  EXPECT_EQ(flowPaths(),
            (Strings{"/api/data/get", kVerify, "/api/kyc/check-selfie", "/api/kyc/confirm"}));
  // The indicator comes down before the face screen, which shows its own around its check.
  EXPECT_EQ(host.order(), (Strings{"showLoading", "hideLoading", "showLoading", "hideLoading",
                                   "showLoading", "hideLoading", "showLoading", "hideLoading",
                                   "result"}));
  EXPECT_EQ(said, (Strings{"taps scan on the chip screen", "lays the card on the reader",
                           "continues with the face picture"}));
  expectTheCardWasRead();
  expectNothingLeft();
  expectNoMissingKeys();
}

class ChipFlowThroughPcscdTest : public ChipFlowTest {
 protected:
  void SetUp() override {
    OSTREL_REQUIRE_VIRTUAL_READERS();
    lock_ = std::make_unique<testing::VirtualReaderLock>();
    ASSERT_TRUE(testing::waitForCardPresence(testing::virtualReaderName(0), false))
        << "a card from an earlier test is still in the reader";
    platform::NFCReaderBackend::install(
        std::make_shared<platform::PCSCReaderBackend>(testing::kVirtualReaderName));
    // The card goes into the reader once scan was tapped: the open session has to find it.
    testing::addChipSteps(journey, [this] { insertCardForTheRead(); });
  }
  void TearDown() override {
    if (reader_) reader_->stop();
    reader_.reset();
    platform::NFCReaderBackend::install(field);
    lock_.reset();
  }

  // Puts the card in vpcd's first reader and holds it there until the chip screen's read has
  // ended: pcscd and the card answer on threads of their own, in real time, while the virtual
  // clock stands.
  void insertCardForTheRead() {
    reader_ = std::make_unique<testing::VirtualCardAdapter>(card);
    EXPECT_TRUE(reader_->start()) << reader_->lastError();
    awaitTheRead();
  }

  // Puts the card in the reader so that it is taken away after `commands` commands.
  void insertCardTakenAwayAfter(std::size_t commands) {
    auto self = std::make_shared<std::atomic<testing::VirtualCardAdapter*>>(nullptr);
    auto count = std::make_shared<std::atomic<std::size_t>>(0);
    auto answer = testing::cardOf(card);
    reader_ = std::make_unique<testing::VirtualCardAdapter>(
        [self, count, answer, commands](const platform::Bytes& command) {
          if (++*count > commands) {
            if (auto* adapter = self->load()) adapter->pullOut();
          }
          return answer(command);
        },
        testing::VirtualCardAdapter::kFirstReaderPort, testing::VirtualCardAdapter::defaultATR(),
        [chip = card] { chip->reset(); });
    *self = reader_.get();
    EXPECT_TRUE(reader_->start()) << reader_->lastError();
  }
  void awaitTheRead() {
    auto screen =
        std::dynamic_pointer_cast<OSLScanNFCVC>(testing::UserJourney::topScreen(window()));
    if (!screen || !screen->state.nfcReader) return;
    auto nfc = screen->state.nfcReader;
    EXPECT_TRUE(waitUntil([&] { return !nfc->readerSession; }, 30))
        << "the read through pcscd never ended";
  }
  std::optional<std::string> lastEventError(const std::string& event) const {
    std::optional<std::string> error;
    for (const auto& e : *logged) {
      if (e.event == event) error = e.data.value("error", "");
    }
    return error;
  }

  std::unique_ptr<testing::VirtualReaderLock> lock_;
  std::unique_ptr<testing::VirtualCardAdapter> reader_;
};

TEST_F(ChipFlowThroughPcscdTest, ChipOnlyWithTheZoneFromTheServer) {
  ASSERT_TRUE(runFlow("nfc_only"));
  expectChipOnlyRun();
  ASSERT_TRUE(reader_);
  EXPECT_GT(reader_->commandCount(), 0u);
  expectNothingLeft();
}

TEST_F(ChipFlowThroughPcscdTest, ChipEkycReadsTheCardAfterItsBack) {
  ASSERT_TRUE(runFlow("nfc_ekyc"));
  expectChipEkycRun();
  ASSERT_TRUE(reader_);
  EXPECT_GT(reader_->commandCount(), 0u);
  expectNothingLeft();
}

// A key the card refuses ends that read with its event and drops the zone it came from, so the
// next attempt takes the next source: without a QR result, the zone scanner.
TEST_F(ChipFlowThroughPcscdTest, ARefusedKeyGoesOnToTheNextSource) {
  auto fields = samplePerson().cardFields();
  fields.documentNumber = "000000001";
  std::string zone;
  for (const auto& line : testing::td1Zone(fields)) zone += (zone.empty() ? "" : "\n") + line;
  // With face data the host's zone is used as it is.
  config->withMrz(zone).withFaceDataBase64("face");
  buildConfig();
  Ostrel::shared()->run("nfc_only", config);
  auto scanner = driveTo<OSLScanMRZVC>(30);
  ASSERT_TRUE(scanner) << "the zone scanner never opened";
  EXPECT_EQ(lastEventError("NFC_TAP_FAIL"), "InvalidMRZKey");
  EXPECT_TRUE(server.requests(kVerify).empty()) << "a refused key handed chip data on";
  EXPECT_EQ(said, (Strings{"taps scan on the chip screen", "lays the card on the reader"}));
  Ostrel::shared()->close(true, {});
  EXPECT_TRUE(drive([this] { return host.count("event:0") > 0; }, 10));
  EXPECT_EQ(host.order(), (Strings{"event:0"}));
}

// A card taken away in the middle of the read fails that read, never hands anything on; laid
// again, it is read and the flow ends as usual.
TEST_F(ChipFlowThroughPcscdTest, ACardTakenAwayMidReadIsReadWhenLaidAgain) {
  int laid = 0;
  testing::addChipSteps(journey, [this, &laid] {
    if (laid++ == 0) {
      insertCardTakenAwayAfter(6);
    } else {
      reader_.reset();
      insertCardForTheRead();
    }
    awaitTheRead();
  });
  ASSERT_TRUE(runFlow("nfc_only"));
  EXPECT_EQ(laid, 2);
  EXPECT_EQ(lastEventError("NFC_TAP_FAIL"), "Tag connection lost");
  EXPECT_TRUE(host.heardInOrder({"log:NFC_TAP_FAIL", "log:NFC_START_LISTEN",
                                 "log:NFC_TAP_SUCCESS", "result"},
                                true));
  EXPECT_EQ(server.requests(kVerify).size(), 1u);
  expectTheCardWasRead();
  expectNothingLeft();
}

}  // namespace
}  // namespace ostrel
