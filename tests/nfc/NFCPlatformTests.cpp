#include <deque>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "platform/crypto/Crypto.hpp"
#include "platform/nfc/NFCISO7816APDU.hpp"
#include "platform/nfc/NFCISO7816Tag.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/TestHelpers.hpp"

namespace ostrel {
namespace {

using ostrel::testing::hex;
using platform::Bytes;
using platform::NFCISO7816APDU;
using platform::NFCReaderError;
using platform::NFCTransmission;

struct ApduCase {
  const char* name;
  NFCISO7816APDU apdu;
  const char* wire;
};

TEST(NFCISO7816APDUTest, EveryCaseEncodesAndParsesBack) {
  const Bytes d3{1, 2, 3};
  const Bytes big(300, 0xAB);
  const std::string bigHex = platform::crypto::hexString(big);
  const std::vector<ApduCase> cases = {
      {"1", {0x00, 0xA4, 0x04, 0x0C, {}, -1}, "00A4040C"},
      {"2S", {0x00, 0x84, 0x00, 0x00, {}, 8}, "0084000008"},
      {"2S 256", {0x00, 0xB0, 0x00, 0x00, {}, 256}, "00B0000000"},
      {"2S 4", {0x00, 0xB0, 0x00, 0x00, {}, 4}, "00B0000004"},
      {"2E 257", {0x00, 0xB0, 0x00, 0x00, {}, 257}, "00B00000000101"},
      {"2E 65536", {0x00, 0xB0, 0x00, 0x00, {}, 65536}, "00B00000000000"},
      {"3S", {0x00, 0xA4, 0x02, 0x0C, {0x01, 0x1E}, -1}, "00A4020C02011E"},
      {"4S", {0x00, 0x82, 0x00, 0x00, d3, 256}, "008200000301020300"},
      {"4E by Le", {0x00, 0x82, 0x00, 0x00, d3, 300}, "00820000000003010203012C"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(platform::crypto::hexString(c.apdu.toBytes()),
              platform::crypto::hexString(hex(c.wire)));
    auto parsed = NFCISO7816APDU::fromBytes(hex(c.wire));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, c.apdu);
  }
  // 3E and 4E by data length.
  NFCISO7816APDU e3(0x00, 0xD6, 0x00, 0x00, big, -1);
  EXPECT_EQ(platform::crypto::hexString(e3.toBytes()),
            "00d60000"
            "00012c" +
                bigHex);
  EXPECT_EQ(NFCISO7816APDU::fromBytes(e3.toBytes()), e3);
  NFCISO7816APDU e4(0x00, 0xD6, 0x00, 0x00, big, 256);
  EXPECT_EQ(platform::crypto::hexString(e4.toBytes()),
            "00d60000"
            "00012c" +
                bigHex + "0100");
  EXPECT_EQ(NFCISO7816APDU::fromBytes(e4.toBytes()), e4);
  // The raw first read of a file: extended Le of 4.
  auto first = NFCISO7816APDU::fromBytes(hex("00B00000000004"));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->expectedResponseLength(), 4);
  EXPECT_FALSE(first->hasData());
}

TEST(NFCISO7816APDUTest, MalformedBytesAreRefused) {
  for (const char* wire : {"", "00", "00A404", "00A4040C0201", "00A4040C02011E0000", "00B000000000",
                           "00B0000000000301", "00B00000000000AA", "00D60000000003010203FF"}) {
    SCOPED_TRACE(wire);
    EXPECT_FALSE(NFCISO7816APDU::fromBytes(hex(wire)).has_value());
  }
}

TEST(NFCISO7816APDUTest, OversizedFieldsAreInvalid) {
  NFCISO7816APDU tooMuchData(0, 0xD6, 0, 0, Bytes(65536, 1), -1);
  EXPECT_FALSE(tooMuchData.isValid());
  EXPECT_TRUE(tooMuchData.toBytes().empty());
  NFCISO7816APDU noLe(0, 0xB0, 0, 0, {}, 0);
  EXPECT_EQ(noLe.expectedResponseLength(), -1);
  EXPECT_EQ(noLe.toBytes().size(), 4u);
}

// A backend that answers whatever the test queued, inline or on demand.
class ScriptedTag : public platform::NFCISO7816Tag {
 public:
  using NFCISO7816Tag::NFCISO7816Tag;
  std::deque<NFCTransmission> answers;
  bool holdAnswers = false;
  std::function<void(NFCTransmission)> pending;
  int transmitted = 0;

 protected:
  void transmit(const Bytes&, std::function<void(NFCTransmission)> reply) override {
    ++transmitted;
    if (holdAnswers) {
      pending = std::move(reply);
      return;
    }
    auto answer = answers.front();
    answers.pop_front();
    reply(answer);
  }
};

class NFCISO7816TagTest : public testing::RuntimeTest {
 protected:
  std::shared_ptr<platform::DispatchQueue> queue = platform::DispatchQueue::make("nfc");
  std::shared_ptr<ScriptedTag> tag = std::make_shared<ScriptedTag>(queue);
};

TEST_F(NFCISO7816TagTest, CompletionIsPostedOnTheSessionQueueNeverInline) {
  tag->answers.push_back(NFCTransmission::answer({1, 2}, 0x90, 0x00));
  std::vector<platform::NFCTranscriptEntry> transcript;
  tag->setTranscriptHook([&](const auto& entry) { transcript.push_back(entry); });
  bool called = false;
  tag->sendCommand({0, 0x84, 0, 0, {}, 8}, [&](Bytes data, auto sw1, auto sw2, auto error) {
    EXPECT_TRUE(queue->isCurrent());
    EXPECT_EQ(data, (Bytes{1, 2}));
    EXPECT_EQ(sw1, 0x90);
    EXPECT_EQ(sw2, 0x00);
    EXPECT_FALSE(error);
    called = true;
  });
  EXPECT_FALSE(called);  // the backend answered inline, the caller still sees it later
  runUntilIdle();
  EXPECT_TRUE(called);
  ASSERT_EQ(transcript.size(), 1u);
  EXPECT_EQ(transcript[0].command, hex("0084000008"));
  EXPECT_EQ(transcript[0].response.data, (Bytes{1, 2}));
}

TEST_F(NFCISO7816TagTest, OneCommandAtATimeAndNothingAfterInvalidation) {
  tag->holdAnswers = true;
  std::vector<int> codes;
  auto record = [&](Bytes, auto, auto, std::optional<NFCReaderError> error) {
    codes.push_back(error ? error->code : 0);
  };
  tag->sendCommand({0, 0x84, 0, 0, {}, 8}, record);
  tag->sendCommand({0, 0x84, 0, 0, {}, 8}, record);  // refused: one is outstanding
  runUntilIdle();
  EXPECT_EQ(codes, (std::vector<int>{102}));
  EXPECT_EQ(tag->transmitted, 1);
  tag->invalidate();
  tag->pending(NFCTransmission::answer({}, 0x90, 0x00));  // the card answers too late
  tag->sendCommand({0, 0x84, 0, 0, {}, 8}, record);
  runUntilIdle();
  EXPECT_EQ(codes, (std::vector<int>{102, 103, 103}));
  EXPECT_EQ(tag->transmitted, 1);
}

TEST(NFCReaderErrorTest, TextsTheSessionDecidesOn) {
  EXPECT_EQ(NFCReaderError::make(NFCReaderError::readerTransceiveErrorTagConnectionLost)
                .localizedDescription,
            "Tag connection lost");
  EXPECT_EQ(NFCReaderError::make(NFCReaderError::readerTransceiveErrorSessionInvalidated)
                .localizedDescription,
            "Session invalidated");
}

}  // namespace
}  // namespace ostrel
