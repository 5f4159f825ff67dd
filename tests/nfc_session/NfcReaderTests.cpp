#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nfc/NfcReader.hpp"
#include "platform/foundation/Base64.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/runtime/Application.hpp"
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
using testing::SimulatedNFCBackend;

constexpr std::uint16_t kCOM = 0x011E, kDG1 = 0x0101, kDG2 = 0x0102, kDG3 = 0x0103, kDG4 = 0x0104,
                        kDG11 = 0x010B, kDG14 = 0x010E, kSOD = 0x011D;

struct Outcome {
  std::shared_ptr<NFCPassportModel> model;
  std::optional<PassportReaderError> error;
};

class NfcReaderTest : public testing::RuntimeTest {
 public:
  void SetUp() override {
    backend_ = std::make_shared<SimulatedNFCBackend>();
    platform::NFCReaderBackend::install(backend_);
    chip_ = SimulatedChip::icaoExample();
    backend_->setTags(SimulatedNFCBackend::chips({chip_}));
    reader_ = platform::make<NfcReader>(Log::info);
  }
  void TearDown() override {
    reader_.reset();
    runUntilIdle();
    platform::NFCReaderBackend::install(nullptr);
  }

  // Starts a read, lets the chip enter the field and runs it to its end; then lets the
  // platform's time limit pass so that any late second report would show.
  void read(std::vector<DataGroupId> groups = {}, std::optional<std::string> key = {}) {
    reader_->startChipRead(
        key.value_or(chip_->mrzKey()), std::move(groups), true, true,
        [this](const NFCViewDisplayMessage& m) -> std::optional<std::string> {
          messages_.push_back(m);
          if (onMessage_) onMessage_(m);
          return std::nullopt;
        },
        [this](std::shared_ptr<NFCPassportModel> model, std::optional<PassportReaderError> error) {
          outcomes_.push_back({std::move(model), std::move(error)});
        });
    advance(1);
    runUntilIdle();
    session_ = reader_->readerSession;
    advance(61);
  }

  // The groups in the order the reader started them (the first progress message of each
  // attempt).
  std::vector<std::string> attempts() const {
    std::vector<std::string> names;
    bool previousWasEnd = true;
    for (const auto& m : messages_) {
      if (m.kind() != NFCViewDisplayMessage::Kind::readingDataGroupProgress) continue;
      if (m.progress() == 0 && previousWasEnd) names.push_back(m.dataGroup().name());
      previousWasEnd = m.progress() == 100;
    }
    return names;
  }

  const Outcome& onlyOutcome() {
    EXPECT_EQ(outcomes_.size(), 1u) << "a read has exactly one outcome";
    static const Outcome none{};
    return outcomes_.empty() ? none : outcomes_[0];
  }

  std::string errorText() {
    const auto& o = onlyOutcome();
    return o.error ? o.error->message() : "(success)";
  }

  bool hasGroup(DataGroupId id) {
    const auto& o = onlyOutcome();
    return o.model && o.model->dataGroupsRead.count(id) > 0;
  }

  std::shared_ptr<SimulatedNFCBackend> backend_;
  std::shared_ptr<SimulatedChip> chip_;
  std::shared_ptr<NfcReader> reader_;
  std::shared_ptr<platform::NFCTagReaderSession> session_;
  std::vector<NFCViewDisplayMessage> messages_;
  std::function<void(const NFCViewDisplayMessage&)> onMessage_;
  std::vector<Outcome> outcomes_;
};

TEST_F(NfcReaderTest, WholeReadFollowsTheChipsListAndDumpsItsFiles) {
  chip_->setFile(kSOD, ChipFiles::opaque(0x77, 300));
  read();
  const auto& outcome = onlyOutcome();
  ASSERT_FALSE(outcome.error.has_value()) << outcome.error->message();
  ASSERT_TRUE(outcome.model);
  EXPECT_EQ(attempts(), (std::vector<std::string>{"COM", "SOD", "DG1", "DG2"}));
  EXPECT_EQ(outcome.model->BACStatus, PassportAuthenticationStatus::success);
  EXPECT_EQ(chip_->bacRuns(), 1);
  auto dump = outcome.model->dataGroupDump(
      {DataGroupId::COM, DataGroupId::SOD, DataGroupId::DG1, DataGroupId::DG2});
  EXPECT_EQ(dump["com"], platform::base64Encode(chip_->file(kCOM)));
  EXPECT_EQ(dump["com"], "YBRfAQQwMTA2XzYGMDQwMDAwXAJhdQ==");
  EXPECT_EQ(dump["dg1"], platform::base64Encode(chip_->file(kDG1)));
  EXPECT_EQ(dump["dg2"], platform::base64Encode(chip_->file(kDG2)));
  EXPECT_EQ(dump["sod"], platform::base64Encode(chip_->file(kSOD)));
  EXPECT_EQ(platform::Application::shared().feedbackLog(), std::vector<std::string>{"vibrate"});
  ASSERT_TRUE(session_ == nullptr || session_->isInvalidated());
  EXPECT_TRUE(messages_.back().kind() == NFCViewDisplayMessage::Kind::successfulRead);
  EXPECT_FALSE(reader_->readerSession) << "the platform reported the end of the session";
}

TEST_F(NfcReaderTest, QueueOrderComesFromCOMAndTheCallersList) {
  struct Case {
    const char* name;
    Bytes comTags;
    std::vector<DataGroupId> request;
    std::vector<std::string> attempts;
  };
  const std::vector<Case> cases = {
      {"DG14 first", {0x61, 0x75, 0x6E, 0x6F}, {}, {"COM", "DG14", "SOD", "DG1", "DG2", "DG15"}},
      {"DG3 and DG4 skipped", {0x61, 0x75, 0x63, 0x76}, {}, {"COM", "SOD", "DG1", "DG2"}},
      {"the caller's list filters",
       {0x61, 0x75},
       {DataGroupId::COM, DataGroupId::DG1},
       {"COM", "DG1"}},
      {"SecurityData listed",
       {0x61, 0x77},
       {},
       {"COM", "SOD", "DG1", "Unknown", "Unknown", "Unknown", "Unknown"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    chip_ = SimulatedChip::icaoExample();
    chip_->setFile(kCOM, ChipFiles::com(c.comTags));
    for (auto [fid, tag] : {std::pair{0x010Eu, 0x6E}, {0x010Fu, 0x6F}, {0x011Du, 0x77}}) {
      SCOPED_TRACE(fid);
      chip_->setFile(static_cast<std::uint16_t>(fid), ChipFiles::opaque(tag, 40));
    }
    chip_->setFile(kDG3, ChipFiles::opaque(0x63, 40));
    chip_->setFile(kDG4, ChipFiles::opaque(0x76, 40));
    backend_->setTags(SimulatedNFCBackend::chips({chip_}));
    messages_.clear();
    outcomes_.clear();
    read(c.request);
    EXPECT_EQ(errorText(), "(success)");
    EXPECT_EQ(attempts(), c.attempts);
    EXPECT_EQ(chip_->selectCount(kDG3) + chip_->selectCount(kDG4), 0);
    EXPECT_EQ(chip_->bacRuns(), 1);
  }
}

struct RetryCase {
  const char* name;
  std::function<void(SimulatedChip&, NfcReader&)> arrange;
  std::string outcome;  // "(success)" or the error text
  std::vector<DataGroupId> missing;
  int bacRuns;
};

TEST_F(NfcReaderTest, RetryPolicyByErrorText) {
  const std::vector<RetryCase> cases = {
      {"lost tag",
       [](SimulatedChip& c, NfcReader&) {
         c.injectForFile(kDG1, Fault::of(Fault::Kind::dropLink));
       },
       "Tag connection lost",
       {},
       1},
      {"class not supported",
       [](SimulatedChip& c, NfcReader&) { c.injectForFile(kDG1, Fault::withStatus(0x6E, 0x00)); },
       "Class not supported",
       {},
       1},
      {"security status not satisfied: dropped, BAC again",
       [](SimulatedChip& c, NfcReader&) { c.injectForFile(kDG1, Fault::withStatus(0x69, 0x82)); },
       "(success)",
       {DataGroupId::DG1},
       2},
      {"file not found: dropped, BAC again",
       [](SimulatedChip& c, NfcReader&) {
         c.setFile(kCOM, ChipFiles::com({0x6B, 0x61, 0x75}));
         c.setFile(kDG11, ChipFiles::opaque(0x6B, 40));
         c.injectForFile(kDG11, Fault::withStatus(0x6A, 0x82));
       },
       "(success)",
       {DataGroupId::DG11},
       2},
      {"file not found for a DG1 that COM lists: the chip contradicts itself, the read ends",
       [](SimulatedChip& c, NfcReader&) { c.injectForFile(kDG1, Fault::withStatus(0x6A, 0x82)); },
       "File not found",
       {DataGroupId::DG1},
       2},
      {"SM data objects incorrect once: BAC again, same group",
       [](SimulatedChip& c, NfcReader&) { c.injectForFile(kDG1, Fault::withStatus(0x69, 0x88)); },
       "(success)",
       {},
       2},
      {"SM data objects incorrect always: DG1 given up after four ends the read",
       [](SimulatedChip& c, NfcReader&) {
         c.injectForFile(kDG1, Fault::withStatus(0x69, 0x88, -1));
       },
       "SM data objects incorrect",
       {DataGroupId::DG1},
       5},
      {"wrong length with 256-byte chunks: 160 and BAC again",
       [](SimulatedChip& c, NfcReader& r) {
         r.dataAmountToReadOverride = 256;
         c.oversizedAnswer = SimulatedChip::OversizedAnswer::send;
         c.injectForFile(kDG2, Fault::withStatus(0x67, 0x00), true);
       },
       "(success)",
       {},
       2},
      {"end of file: 160 and BAC again",
       [](SimulatedChip& c, NfcReader& r) {
         r.dataAmountToReadOverride = 256;
         c.oversizedAnswer = SimulatedChip::OversizedAnswer::send;
         c.injectForFile(kDG2, Fault::withStatus(0x62, 0x82), true);
       },
       "(success)",
       {},
       2},
      {"wrong length always: DG2 given up after four ends the read",
       [](SimulatedChip& c, NfcReader&) {
         c.injectForFile(kDG2, Fault::withStatus(0x67, 0x00, -1), true);
       },
       "Wrong length",
       {DataGroupId::DG2},
       4},
      {"another error three times: read again without BAC",
       [](SimulatedChip& c, NfcReader&) {
         c.injectForFile(kDG1, Fault::of(Fault::Kind::corruptMac, 3), true);
       },
       "(success)",
       {},
       1},
      {"another error always: DG1 given up after four, no BAC, the read ends",
       [](SimulatedChip& c, NfcReader&) {
         c.injectForFile(kDG1, Fault::of(Fault::Kind::corruptMac, -1), true);
       },
       "UnableToUnprotectAPDU",
       {DataGroupId::DG1},
       1},
      {"another error always on a group that is neither DG1 nor DG2: given up, success",
       [](SimulatedChip& c, NfcReader&) {
         c.setFile(kCOM, ChipFiles::com({0x61, 0x75, 0x6B}));
         c.setFile(kDG11, ChipFiles::opaque(0x6B, 40));
         c.injectForFile(kDG11, Fault::of(Fault::Kind::corruptMac, -1), true);
       },
       "(success)",
       {DataGroupId::DG11},
       1},
      {"a file that does not parse: dropped at once",
       [](SimulatedChip& c, NfcReader&) {
         c.setFile(kDG2, {0x42, 0x04, 1, 2, 3, 4});
       },
       "(success)",
       {DataGroupId::DG2},
       1},
      {"a file shorter than a header: dropped, no crash",
       [](SimulatedChip& c, NfcReader&) {
         c.setFile(kDG2, {0x75, 0x00});
       },
       "(success)",
       {DataGroupId::DG2},
       1},
      {"another file that parses as COM: kept, the queue is not rebuilt",
       [](SimulatedChip& c, NfcReader&) {
         c.setFile(kDG1, c.file(kCOM));
         // Ends a read that keeps going round instead of running until the session limit.
         c.injectAtCommand(300, Fault::of(Fault::Kind::dropLink));
       },
       "(success)",
       {},
       1},
      {"every group refused or absent: nothing read is an error",
       [](SimulatedChip& c, NfcReader&) {
         c.injectForFile(kCOM, Fault::withStatus(0x69, 0x82));
         c.injectForFile(kSOD, Fault::withStatus(0x6A, 0x82));
         c.injectForFile(kDG1, Fault::withStatus(0x69, 0x82));
         c.injectForFile(kDG2, Fault::withStatus(0x69, 0x82));
       },
       "DataGroupNotRead",
       {},
       4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    chip_ = SimulatedChip::icaoExample();
    chip_->setFile(kSOD, ChipFiles::opaque(0x77, 300));
    chip_->setFile(kDG2, ChipFiles::dg2(ChipFiles::jpegJFIF(600)));
    backend_->setTags(SimulatedNFCBackend::chips({chip_}));
    reader_ = platform::make<NfcReader>(Log::info);
    c.arrange(*chip_, *reader_);
    messages_.clear();
    outcomes_.clear();
    read();
    EXPECT_EQ(errorText(), c.outcome);
    for (auto id : c.missing) EXPECT_FALSE(hasGroup(id)) << id.name();
    if (c.outcome == "(success)") {
      for (DataGroupId id : {DataGroupId::COM, DataGroupId::DG1, DataGroupId::DG2}) {
        SCOPED_TRACE(id.name());
        if (std::find(c.missing.begin(), c.missing.end(), id) == c.missing.end()) {
          EXPECT_TRUE(hasGroup(id)) << id.name();
        }
      }
    }
    EXPECT_EQ(chip_->bacRuns(), c.bacRuns);
    EXPECT_FALSE(reader_->readerSession) << "the session has ended";
    if (reader_->dataAmountToReadOverride) {
      ASSERT_TRUE(reader_->tagReader);
      EXPECT_EQ(reader_->tagReader->maxDataLengthToRead(), 160) << "the chunk size came down";
    }
  }
}

TEST(RetryPolicyTest, EachErrorTextHasItsAction) {
  using A = NfcReader::RetryAction;
  struct Row {
    const char* text;
    A action;
  };
  const std::vector<Row> rows = {
      {"Session invalidated", A::endRead},
      {"Class not supported", A::endRead},
      {"Tag connection lost", A::endRead},
      {"Tag connection lost ", A::readAgain},  // exact texts only
      {"Security status not satisfied", A::skipGroup},
      {"File not found", A::skipGroup},
      {"SM data objects incorrect", A::accessControlAgain},
      {"Wrong length", A::smallerChunks},
      {"Wrong length Le: SW2 indicates the exact length - (exact length :128)", A::smallerChunks},
      {"End of file/record reached before reading Le bytes", A::smallerChunks},
      {"Tag response error", A::readAgain},
      {"UnableToUnprotectAPDU", A::readAgain},
      {"Unknown error", A::readAgain},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(NfcReader::retryActionFor(row.text), row.action);
  }
}

TEST(RetryPolicyTest, ChunkSizeAfterALengthFailure) {
  const std::string exact = "Wrong length Le: SW2 indicates the exact length - (exact length :";
  const std::string endOfFile = "End of file/record reached before reading Le bytes";
  struct Row {
    std::string text;
    int current;
    int next;
  };
  const std::vector<Row> rows = {
      {"Wrong length", 256, 160},  // the step down to 160 stays
      {"Wrong length", 160, 80},   // at 160 or below: halved
      {"Wrong length", 80, 40},
      {"Wrong length", 40, 32},  // never below 32
      {"Wrong length", 32, 32},
      {"Wrong length", 20, 20},  // a smaller chunk asked by the caller is not raised
      {endOfFile, 256, 160},
      {endOfFile, 160, 160},
      // 6C xx reaches the session only when the command asked again with Le xx failed too: a
      // length failure like any other.
      {exact + "223)", 256, 160},
      {exact + "128)", 160, 80},
      {exact + "0)", 160, 80},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text + " at " + std::to_string(row.current));
    EXPECT_EQ(NfcReader::chunkSizeAfter(row.text, row.current), row.next);
  }
}

// Behaviours of chips that no one on the team wrote: every row ends as stated, and every group
// read is byte for byte the chip's file.
TEST_F(NfcReaderTest, ReadsHoldAgainstHowRealChipsAnswer) {
  using Plain = SimulatedChip::PlainCommandUnderSecureMessaging;
  using Long = SimulatedChip::LongReadAnswer;
  struct Case {
    const char* name;
    std::function<void(NfcReaderTest&)> arrange;
    std::string outcome;
    int bacRuns;  // -1: not checked
    int chunkSize;
  };
  // DG14 is read right after COM; refusing it makes the session run access control again
  // with secure messaging still on in the chip.
  auto dg14Refused = [](NfcReaderTest& t) {
    t.chip_->setFile(kCOM, ChipFiles::com({0x61, 0x75, 0x6E}));
    t.chip_->setFile(kDG14, ChipFiles::opaque(0x6E, 40));
    t.chip_->injectForFile(kDG14, Fault::withStatus(0x69, 0x82));
  };
  const std::vector<Case> cases = {
      {"offsets past 32 KB read with B1 whose Le counts file bytes: 62 82 ends the file",
       [](NfcReaderTest& t) {
         t.chip_->setFile(kDG2, ChipFiles::dg2(ChipFiles::jpegJFIF(42000)));
         t.chip_->endOfFileWarning = true;
         t.chip_->oddReadLeCountsFileBytes = true;
       },
       "(success)", 1, 160},
      {"offsets past 32 KB read with B1 whose Le counts DO'53' bytes",
       [](NfcReaderTest& t) {
         t.chip_->setFile(kDG2, ChipFiles::dg2(ChipFiles::jpegJFIF(42000)));
         t.chip_->endOfFileWarning = true;
       },
       "(success)", 1, 160},
      {"256-byte reads on a chip that answers reads past the end with 62 82",
       [](NfcReaderTest& t) {
         t.reader_->dataAmountToReadOverride = 256;
         t.chip_->oversizedAnswer = SimulatedChip::OversizedAnswer::send;
         t.chip_->endOfFileWarning = true;
       },
       "(success)", 1, 256},
      {"access control again on a chip that refuses the plain challenge under secure messaging",
       [&](NfcReaderTest& t) {
         dg14Refused(t);
         t.chip_->plainCommandUnderSecureMessaging = Plain::refuse;
       },
       "(success)", 2, 160},
      {"access control again on a chip that answers the plain challenge",
       [&](NfcReaderTest& t) {
         dg14Refused(t);
         t.chip_->plainCommandUnderSecureMessaging = Plain::answerInPlain;
       },
       "(success)", 2, 160},
      {"the challenge asked again in plain and refused again: access control fails",
       [&](NfcReaderTest& t) {
         dg14Refused(t);
         t.onMessage_ = [&t](const NFCViewDisplayMessage& m) {
           if (m.kind() == NFCViewDisplayMessage::Kind::readingDataGroupProgress &&
               m.dataGroup() == DataGroupId::DG14 && m.progress() == 100) {
             t.chip_->injectForCommand(0x84, Fault::withStatus(0x69, 0x88));
           }
         };
       },
       "SM data objects incorrect", 1, 160},
      {"at most 128 bytes a read, 67 00 for more: 160 halved to 80",
       [](NfcReaderTest& t) {
         t.chip_->maxReadLength = 0x80;
         t.chip_->longReadAnswer = Long::wrongLength;
       },
       "(success)", 2, 80},
      {"at most 128 bytes a read, 6C 80 for more: that read again with Le 128, 160 kept",
       [](NfcReaderTest& t) {
         t.chip_->maxReadLength = 0x80;
         t.chip_->longReadAnswer = Long::exactLength;
       },
       "(success)", 1, 160},
      {"at most 223 bytes a read, 6C DF to a read of 256: that read again with Le 223, 256 kept",
       [](NfcReaderTest& t) {
         t.reader_->dataAmountToReadOverride = 256;
         t.chip_->maxReadLength = 0xDF;
         t.chip_->longReadAnswer = Long::exactLength;
       },
       "(success)", 1, 256},
      {"at most 20 bytes a read: never below 32, DG1 given up, the read ends with the error",
       [](NfcReaderTest& t) {
         t.chip_->maxReadLength = 20;
         t.chip_->longReadAnswer = Long::wrongLength;
       },
       "Wrong length", -1, 32},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    chip_ = SimulatedChip::icaoExample();
    chip_->setFile(kSOD, ChipFiles::opaque(0x77, 300));
    chip_->setFile(kDG2, ChipFiles::dg2(ChipFiles::jpegJFIF(3000)));
    backend_->setTags(SimulatedNFCBackend::chips({chip_}));
    reader_ = platform::make<NfcReader>(Log::info);
    onMessage_ = nullptr;
    c.arrange(*this);
    messages_.clear();
    outcomes_.clear();
    read();
    EXPECT_EQ(errorText(), c.outcome);
    if (c.bacRuns >= 0) {
      EXPECT_EQ(chip_->bacRuns(), c.bacRuns);
    }
    ASSERT_TRUE(reader_->tagReader);
    EXPECT_EQ(reader_->tagReader->maxDataLengthToRead(), c.chunkSize);
    const auto& outcome = onlyOutcome();
    if (outcome.model) {
      EXPECT_EQ(testing::groupsNotAsOnChip(*outcome.model, *chip_,
                                           {DataGroupId::COM, DataGroupId::DG1, DataGroupId::DG2,
                                            DataGroupId::SOD}),
                std::vector<std::string>{});
    }
  }
}

TEST_F(NfcReaderTest, SessionEndsOutsideTheChip) {
  struct Case {
    const char* name;
    std::function<void(NfcReaderTest&)> arrange;
    std::function<void(NfcReaderTest&)> during;  // after the read started, before detection
    std::string error;
  };
  const std::vector<Case> cases = {
      {"NFC not available",
       [](NfcReaderTest& t) { t.backend_->setReadingAvailable(false); },
       {},
       "NFCNotSupported"},
      {"user cancel before a tag is found",
       [](NfcReaderTest& t) { t.backend_->setDetectionDelay(std::nullopt); },
       [](NfcReaderTest& t) { t.reader_->readerSession->cancelByUser(); }, "UserCanceled"},
      {"session time-out",
       [](NfcReaderTest& t) { t.backend_->setDetectionDelay(std::nullopt); },
       {},
       "UnexpectedError"},
      {"two tags",
       [](NfcReaderTest& t) {
         t.backend_->setTags(SimulatedNFCBackend::chips({t.chip_, SimulatedChip::passport()}));
       },
       {},
       "MoreThanOneTagFound"},
      {"a tag of another kind",
       [](NfcReaderTest& t) { t.backend_->setTags(SimulatedNFCBackend::chips({}, 1)); },
       {},
       "TagNotValid"},
      {"connection failure",
       [](NfcReaderTest& t) {
         t.backend_->setConnectionError(
             platform::NFCReaderError::readerTransceiveErrorTagConnectionLost);
       },
       {},
       "ConnectionError"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    backend_ = std::make_shared<SimulatedNFCBackend>();
    platform::NFCReaderBackend::install(backend_);
    backend_->setTags(SimulatedNFCBackend::chips({chip_}));
    reader_ = platform::make<NfcReader>(Log::info);
    outcomes_.clear();
    c.arrange(*this);
    reader_->startChipRead(
        chip_->mrzKey(), {}, true, true, nullptr,
        [this](std::shared_ptr<NFCPassportModel> m, std::optional<PassportReaderError> e) {
          outcomes_.push_back({std::move(m), std::move(e)});
        });
    // The read starts on the reader's queue.
    runUntilIdle();
    if (c.during) c.during(*this);
    advance(61);
    advance(61);
    EXPECT_EQ(errorText(), c.error);
  }
}

TEST_F(NfcReaderTest, WrongKeyFailsAccessControlWithItsSheetText) {
  read({}, std::string("L898902C<369080619406235"));
  ASSERT_EQ(errorText(), "InvalidMRZKey");
  EXPECT_EQ(reader_->passport->BACStatus, PassportAuthenticationStatus::failed);
  ASSERT_TRUE(session_ == nullptr);
  bool shown = false;
  for (const auto& m : messages_) {
    shown = shown || (m.kind() == NFCViewDisplayMessage::Kind::error &&
                      m.readerError()->kind() == PassportReaderError::Kind::InvalidMRZKey);
  }
  EXPECT_TRUE(shown);
}

TEST_F(NfcReaderTest, AnInvalidatedSessionEndsTheReadWithThePlatformText) {
  // The platform does not report the end here, so the outstanding command's failure decides.
  backend_->setReportsApplicationInvalidation(false);
  onMessage_ = [this](const NFCViewDisplayMessage& m) {
    if (m.kind() == NFCViewDisplayMessage::Kind::readingDataGroupProgress &&
        m.dataGroup() == DataGroupId::DG1 && m.progress() == 0 && reader_->readerSession) {
      reader_->readerSession->invalidate();
    }
  };
  read();
  EXPECT_EQ(errorText(), "Session invalidated");
}

TEST_F(NfcReaderTest, AUserCancelAfterAnErrorOfAnEarlierReadIsStillReported) {
  // First read: the reader ends its own session with an error, and the platform never reports
  // that end, so the "do not report the next cancel" flag would stay set.
  backend_->setReportsApplicationInvalidation(false);
  read({}, std::string("L898902C<369080619406235"));
  ASSERT_EQ(errorText(), "InvalidMRZKey");
  // Second read: the user closes the sheet before presenting the card.
  outcomes_.clear();
  backend_->setDetectionDelay(std::nullopt);
  reader_->startChipRead(
      chip_->mrzKey(), {}, true, true, nullptr,
      [this](std::shared_ptr<NFCPassportModel> m, std::optional<PassportReaderError> e) {
        outcomes_.push_back({std::move(m), std::move(e)});
      });
  runUntilIdle();
  reader_->readerSession->cancelByUser();
  runUntilIdle();
  EXPECT_EQ(errorText(), "UserCanceled");
}

TEST_F(NfcReaderTest, ASecondReadOnTheSameReaderStartsAfresh) {
  read();
  ASSERT_EQ(errorText(), "(success)");
  outcomes_.clear();
  messages_.clear();
  // A new session is a new field: the chip starts from power-on.
  chip_ = SimulatedChip::icaoExample();
  backend_->setTags(SimulatedNFCBackend::chips({chip_}));
  read({DataGroupId::COM, DataGroupId::DG1});
  ASSERT_EQ(errorText(), "(success)");
  EXPECT_EQ(attempts(), (std::vector<std::string>{"COM", "DG1"}));
  EXPECT_EQ(onlyOutcome().model->dataGroupsRead.size(), 2u);
}

}  // namespace
}  // namespace ostrel
