#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/crypto/Crypto.hpp"
#include "platform/nfc/NFCTagReaderSession.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/SimulatedNFCBackend.hpp"
#include "testing/TestHelpers.hpp"

namespace ostrel {
namespace {

using ostrel::testing::hex;
using platform::Bytes;
using platform::NFCReaderError;
using platform::NFCTag;
using platform::NFCTagReaderSession;
using platform::NFCTransmission;
using testing::ScriptedISO7816Tag;
using testing::SimulatedNFCBackend;

struct RecordingDelegate : platform::NFCTagReaderSessionDelegate {
  std::vector<std::vector<std::shared_ptr<NFCTag>>> detections;
  std::vector<NFCReaderError> ends;
  bool everOnSessionQueue = true;
  std::shared_ptr<NFCTagReaderSession> expected;

  void tagReaderSession(const std::shared_ptr<NFCTagReaderSession>& session,
                        const std::vector<std::shared_ptr<NFCTag>>& tags) override {
    everOnSessionQueue = everOnSessionQueue && session->queue()->isCurrent();
    detections.push_back(tags);
  }
  void tagReaderSession(const std::shared_ptr<NFCTagReaderSession>& session,
                        const NFCReaderError& error) override {
    everOnSessionQueue = everOnSessionQueue && session->queue()->isCurrent();
    ends.push_back(error);
  }
};

// A card with the eMRTD application that answers GET CHALLENGE.
NFCTransmission passportCard(const Bytes& command) {
  if (hex(command) == "00a4040c07a0000002471001") return NFCTransmission::answer({}, 0x90, 0x00);
  if (hex(command) == "0084000008") {
    return NFCTransmission::answer({1, 2, 3, 4, 5, 6, 7, 8}, 0x90, 0x00);
  }
  return NFCTransmission::answer({}, 0x6D, 0x00);
}

NFCTransmission otherCard(const Bytes&) {
  return NFCTransmission::answer({}, 0x6A, 0x82);
}

class NFCTagReaderSessionTest : public testing::RuntimeTest {
 protected:
  void SetUp() override {
    backend_ = std::make_shared<SimulatedNFCBackend>();
    platform::NFCReaderBackend::install(backend_);
    delegate_ = std::make_shared<RecordingDelegate>();
  }
  void TearDown() override {
    session_.reset();
    runUntilIdle();
    platform::NFCReaderBackend::install(nullptr);
  }

  // Puts the given cards in the field (made fresh for each session).
  void field(std::vector<ScriptedISO7816Tag::Card> cards, int otherTags = 0) {
    backend_->setTags([this, cards, otherTags](const std::shared_ptr<platform::DispatchQueue>& q) {
      std::vector<std::shared_ptr<NFCTag>> tags;
      scripted_.clear();
      for (const auto& card : cards) {
        auto tag = std::make_shared<ScriptedISO7816Tag>(q, card);
        scripted_.push_back(tag);
        tags.push_back(tag);
      }
      for (int i = 0; i < otherTags; ++i) {
        tags.push_back(std::make_shared<NFCTag>(platform::NFCTagType::miFare));
      }
      return tags;
    });
  }

  std::shared_ptr<NFCTagReaderSession> begin() {
    session_ =
        std::make_shared<NFCTagReaderSession>(platform::NFCPollingOption::iso14443, delegate_);
    session_->begin();
    return session_;
  }

  std::shared_ptr<SimulatedNFCBackend> backend_;
  std::shared_ptr<RecordingDelegate> delegate_;
  std::shared_ptr<NFCTagReaderSession> session_;
  std::vector<std::shared_ptr<ScriptedISO7816Tag>> scripted_;
};

TEST_F(NFCTagReaderSessionTest, DiscoverySelectsTheApplicationAndReportsOnTheSessionQueue) {
  field({passportCard});
  auto session = begin();
  EXPECT_TRUE(session->isReady());
  runUntilIdle();
  EXPECT_TRUE(delegate_->detections.empty()) << "tags arrive only when they enter the field";
  advance(0.5);
  ASSERT_EQ(delegate_->detections.size(), 1u);
  ASSERT_EQ(delegate_->detections[0].size(), 1u);
  auto tag = std::dynamic_pointer_cast<platform::NFCISO7816Tag>(delegate_->detections[0][0]);
  ASSERT_TRUE(tag);
  EXPECT_EQ(tag->initialSelectedAID(), "A0000002471001");
  ASSERT_EQ(scripted_[0]->commands().size(), 1u);
  EXPECT_EQ(hex(scripted_[0]->commands()[0]), "00a4040c07a0000002471001");
  EXPECT_TRUE(delegate_->everOnSessionQueue);

  std::optional<NFCReaderError> connectError{
      NFCReaderError::make(NFCReaderError::readerErrorIneligible)};
  bool connected = false;
  session->connect(tag, [&](std::optional<NFCReaderError> e) {
    connected = true;
    connectError = e;
  });
  EXPECT_FALSE(connected) << "completions are posted, never inline";
  runUntilIdle();
  EXPECT_TRUE(connected);
  EXPECT_FALSE(connectError.has_value());
}

TEST_F(NFCTagReaderSessionTest, WhichTagsAreReported) {
  struct Case {
    const char* name;
    std::vector<ScriptedISO7816Tag::Card> cards;
    int otherTags;
    std::size_t reported;  // 0: no report at all
  };
  const std::vector<Case> cases = {
      {"one passport", {passportCard}, 0, 1},
      {"a card without the application", {otherCard}, 0, 0},
      {"two passports", {passportCard, passportCard}, 0, 2},
      {"a passport and a card without it", {passportCard, otherCard}, 0, 1},
      {"a tag of another kind", {}, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    delegate_ = std::make_shared<RecordingDelegate>();
    field(c.cards, c.otherTags);
    begin();
    advance(1);
    if (c.reported == 0) {
      EXPECT_TRUE(delegate_->detections.empty());
    } else {
      ASSERT_EQ(delegate_->detections.size(), 1u);
      EXPECT_EQ(delegate_->detections[0].size(), c.reported);
    }
    session_->invalidate();
    runUntilIdle();
  }
}

TEST_F(NFCTagReaderSessionTest, EveryWayOfEndingIsReportedExactlyOnce) {
  struct Case {
    const char* name;
    std::function<void(NFCTagReaderSession&)> end;
    bool applicationReports;
    std::optional<int> code;  // nothing: no report
  };
  const std::vector<Case> cases = {
      {"invalidate", [](NFCTagReaderSession& s) { s.invalidate(); }, true, 200},
      {"invalidate with a message", [](NFCTagReaderSession& s) { s.invalidate("Oops"); }, true,
       200},
      {"user cancel", [](NFCTagReaderSession& s) { s.cancelByUser(); }, true, 200},
      {"time limit", [this](NFCTagReaderSession&) { advance(60); }, true, 201},
      {"invalidate, unreported", [](NFCTagReaderSession& s) { s.invalidate(); }, false,
       std::nullopt},
      {"user cancel, reported anyway", [](NFCTagReaderSession& s) { s.cancelByUser(); }, false,
       200},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    delegate_ = std::make_shared<RecordingDelegate>();
    backend_->setReportsApplicationInvalidation(c.applicationReports);
    field({passportCard});
    auto session = begin();
    advance(1);
    ASSERT_EQ(delegate_->detections.size(), 1u);
    auto tag = std::static_pointer_cast<platform::NFCISO7816Tag>(delegate_->detections[0][0]);
    c.end(*session);
    if (c.code != 201) {
      EXPECT_TRUE(delegate_->ends.empty()) << "the end is posted";
    }
    // Whatever comes after the end changes nothing.
    session->invalidate("Again");
    session->cancelByUser();
    advance(120);
    EXPECT_TRUE(session->isInvalidated());
    if (c.code) {
      ASSERT_EQ(delegate_->ends.size(), 1u);
      EXPECT_EQ(delegate_->ends[0].code, *c.code);
    } else {
      EXPECT_TRUE(delegate_->ends.empty());
    }
    EXPECT_TRUE(delegate_->everOnSessionQueue);
    // The tag is dead: commands and connections fail with 103.
    std::optional<NFCReaderError> error;
    tag->sendCommand(
        platform::NFCISO7816APDU(0x00, 0x84, 0x00, 0x00, {}, 8),
        [&](Bytes, std::uint8_t, std::uint8_t, std::optional<NFCReaderError> e) { error = e; });
    std::optional<NFCReaderError> connectError;
    session->connect(tag, [&](std::optional<NFCReaderError> e) { connectError = e; });
    runUntilIdle();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, NFCReaderError::readerTransceiveErrorSessionInvalidated);
    EXPECT_EQ(error->localizedDescription, "Session invalidated");
    ASSERT_TRUE(connectError.has_value());
    EXPECT_EQ(connectError->localizedDescription, "Session invalidated");
  }
}

TEST_F(NFCTagReaderSessionTest, TimeLimitRunsOnTheRuntimeClockFromBegin) {
  backend_->setDetectionDelay(std::nullopt);
  auto session = begin();
  advance(59.9);
  EXPECT_TRUE(delegate_->ends.empty());
  EXPECT_TRUE(session->isReady());
  advance(0.1);
  ASSERT_EQ(delegate_->ends.size(), 1u);
  EXPECT_EQ(delegate_->ends[0].localizedDescription, "Session timeout");
}

TEST_F(NFCTagReaderSessionTest, AlertMessagesAndInvalidationTextAreKept) {
  auto session = begin();
  session->setAlertMessage("Hold your card");
  session->setAlertMessage("Reading");
  EXPECT_EQ(session->alertMessage(), "Reading");
  EXPECT_EQ(session->alertMessageHistory(),
            (std::vector<std::string>{"Hold your card", "Reading"}));
  session->invalidate("Card lost");
  session->invalidate("Second");
  EXPECT_EQ(session->invalidationErrorMessage(), "Card lost");
}

TEST_F(NFCTagReaderSessionTest, ConnectionFailuresAndUnknownTags) {
  field({passportCard});
  backend_->setConnectionError(NFCReaderError::readerTransceiveErrorTagConnectionLost);
  auto session = begin();
  advance(1);
  ASSERT_EQ(delegate_->detections.size(), 1u);
  std::optional<NFCReaderError> failed;
  session->connect(delegate_->detections[0][0],
                   [&](std::optional<NFCReaderError> e) { failed = e; });
  std::optional<NFCReaderError> foreign;
  auto stranger = std::make_shared<NFCTag>(platform::NFCTagType::miFare);
  session->connect(stranger, [&](std::optional<NFCReaderError> e) { foreign = e; });
  runUntilIdle();
  ASSERT_TRUE(failed.has_value());
  EXPECT_EQ(failed->localizedDescription, "Tag connection lost");
  ASSERT_TRUE(foreign.has_value());
  EXPECT_EQ(foreign->code, NFCReaderError::readerTransceiveErrorTagNotConnected);
}

TEST_F(NFCTagReaderSessionTest, ReadingAvailableFollowsTheBackend) {
  EXPECT_TRUE(platform::NFCNDEFReaderSession::readingAvailable());
  backend_->setReadingAvailable(false);
  EXPECT_FALSE(platform::NFCNDEFReaderSession::readingAvailable());
}

TEST_F(NFCTagReaderSessionTest, ASessionWithoutItsDelegateDeliversNothing) {
  field({passportCard});
  begin();
  delegate_.reset();
  advance(61);  // detection and time limit both find no delegate; nothing crashes
  EXPECT_TRUE(session_->isInvalidated());
}

}  // namespace
}  // namespace ostrel
