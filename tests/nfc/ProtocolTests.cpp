#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "nfc/BACHandler.hpp"
#include "nfc/ChipBytes.hpp"
#include "nfc/Log.hpp"
#include "nfc/NFCPassportModel.hpp"
#include "nfc/SecureMessaging.hpp"
#include "nfc/TagReader.hpp"
#include "platform/crypto/Crypto.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "testing/ChipFiles.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/SimulatedChip.hpp"
#include "testing/TestHelpers.hpp"

namespace ostrel {
namespace {

using ostrel::testing::hex;
using K = PassportReaderError::Kind;
using platform::NFCISO7816APDU;
using testing::ChipFiles;
using testing::SimulatedChip;
using testing::SimulatedChipTag;
using Fault = SimulatedChip::Fault;


// The example's session after BAC: KSenc, KSmac and the SSC.
SecureMessaging exampleSession(std::string_view ssc = "887022120C06C226") {
  return SecureMessaging(hex("979EC13B1CBFE9DCD01AB0FED307EAE5979EC13B1CBFE9DC"),
                         hex("F1CB1F1FB5ADF208806B89DC579DC1F8F1CB1F1FB5ADF208"), hex(ssc));
}

Bytes withStatus(const ResponseAPDU& r) {
  Bytes b = r.data;
  b.push_back(r.sw1);
  b.push_back(r.sw2);
  return b;
}

TEST(SecureMessagingTest, IcaoWorkedExampleProtectAndUnprotect) {
  auto sm = exampleSession();
  // SELECT EF.COM
  auto select = sm.protect(*NFCISO7816APDU::fromBytes(hex("00A4020C02011E")));
  EXPECT_EQ(traceHex(select.toBytes()), "0CA4020C158709016375432908C044F68E08BF8B92D635FF24F800");
  auto answer = sm.unprotect({hex("990290008E08FA855A5D4C50A8ED"), 0x90, 0x00});
  EXPECT_EQ(answer, (ResponseAPDU{{}, 0x90, 0x00}));
  // READ BINARY of the first four bytes
  auto read4 = sm.protect(*NFCISO7816APDU::fromBytes(hex("00B00000000004")));
  EXPECT_EQ(traceHex(read4.toBytes()), "0CB000000D9701048E08ED6705417E96BA5500");
  answer = sm.unprotect({hex("8709019FF0EC34F9922651990290008E08AD55CC17140B2DED"), 0x90, 0x00});
  EXPECT_EQ(traceHex(answer.data), "60145F01");
  // The example's third command, READ BINARY of 18 bytes at offset 4
  auto read18 = sm.protect(NFCISO7816APDU(0x00, 0xB0, 0x00, 0x04, {}, 0x12));
  EXPECT_EQ(traceHex(read18.toBytes()), "0CB000040D9701128E082EA28A70F3C7B53500");
  answer =
      sm.unprotect({hex("871901FB9235F4E4037F2327DCC8964F1F9B8C30F42C8E2FFF224A990290008E08C8B2"
                        "787EAEA07D74"),
                    0x90, 0x00});
  EXPECT_EQ(traceHex(answer.data), "04303130365F36063034303030305C026175");
  EXPECT_EQ(traceHex(sm.ssc()), "887022120C06C22C");
}

TEST(SecureMessagingTest, CommandShapes) {
  auto sm = exampleSession();
  struct Case {
    NFCISO7816APDU apdu;
    const char* prefix;  // protected bytes before DO'8E'
    std::size_t size;
  };
  const std::vector<Case> cases = {
      {{0x00, 0xB0, 0x00, 0x04, {}, 160}, "0CB000040D9701A0", 19},
      {{0x80, 0xB0, 0x00, 0x04, {}, 256}, "0CB000040D970100", 19},
      {{0x00, 0xB0, 0x00, 0x04, {}, 65536}, "0CB000040E97020000", 20},
      {{0x00, 0xB0, 0x00, 0x04, {}, 300}, "0CB000040E9702012C", 20},
      {{0x00, 0x22, 0x41, 0xA4, {0x80, 0x01}, 300}, "0C2241A41587", 27},
      {{0x00, 0xD6, 0x00, 0x00, Bytes(300, 1), -1}, "0CD600000001", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.prefix);
    const Bytes out = sm.protect(c.apdu).toBytes();
    const std::string h = traceHex(out);
    EXPECT_EQ(h.substr(0, std::string(c.prefix).size()), c.prefix);
    if (c.size) {
      EXPECT_EQ(out.size(), c.size) << h;
    }
  }
  // A large data field switches to extended lengths and ends with 00 00.
  const Bytes big = sm.protect({0x00, 0xD6, 0x00, 0x00, Bytes(300, 1), -1}).toBytes();
  EXPECT_EQ(big[big.size() - 1], 0x00);
  EXPECT_EQ(big[big.size() - 2], 0x00);
  EXPECT_EQ(traceHex(sm.ssc()), "887022120C06C22D");  // one step per command
  // Odd instruction codes put their data in DO'85'.
  const Bytes odd = sm.protect({0x00, 0xB1, 0x00, 0x00, {0x54, 0x02, 0x80, 0x00}, 164}).toBytes();
  EXPECT_EQ(traceHex(Bytes(odd.begin(), odd.begin() + 7)), "0CB10000178508");
}

// Malformed and hostile protected answers: each is refused with its error, none crashes, and
// none is ever returned as a verified answer.
TEST(SecureMessagingTest, HostileAnswersAreRefused) {
  // A genuine answer to the first READ BINARY of the example, for corrupting.
  const Bytes good = hex("8709019FF0EC34F9922651990290008E08AD55CC17140B2DED");
  auto corrupt = [&](std::size_t at) {
    Bytes b = good;
    b[at] ^= 0x01;
    return b;
  };
  struct Case {
    const char* name;
    Bytes data;
    K error;
  };
  const std::vector<Case> cases = {
      {"empty 90 00", {}, K::MissingMandatoryFields},
      {"status only", hex("9000"), K::MissingMandatoryFields},
      {"no DO'99'", hex("8709019FF0EC34F99226518E08AD55CC17140B2DED"), K::MissingMandatoryFields},
      {"DO'99' cut", hex("8709019FF0EC34F99226519902"), K::MissingMandatoryFields},
      {"DO'99' wrong length", hex("8709019FF0EC34F9922651990390008E08AD55CC17140B2DED"),
       K::MissingMandatoryFields},
      {"no DO'8E'", hex("8709019FF0EC34F992265199029000"), K::MissingMandatoryFields},
      {"DO'8E' cut", hex("8709019FF0EC34F9922651990290008E08AD55"), K::MissingMandatoryFields},
      {"DO'8E' no length", hex("8709019FF0EC34F9922651990290008E"), K::MissingMandatoryFields},
      {"DO'8E' short MAC", hex("8709019FF0EC34F9922651990290008E04AD55CC17"),
       K::InvalidResponseChecksum},
      {"bad MAC", corrupt(good.size() - 1), K::InvalidResponseChecksum},
      {"tampered data", corrupt(5), K::InvalidResponseChecksum},
      {"tampered status", corrupt(13), K::InvalidResponseChecksum},
      {"DO'87' indicator 02", hex("8709029FF0EC34F9922651990290008E08AD55CC17140B2DED"),
       K::D087Malformed},
      {"DO'87' empty", hex("8700990290008E08AD55CC17140B2DED"), K::D087Malformed},
      {"DO'87' runs past the end", hex("87FF019FF0"), K::CannotDecodeASN1Length},
      {"DO'87' oversized length", hex("8782FFFF01"), K::CannotDecodeASN1Length},
      {"DO'87' bad length form", hex("8783000001"), K::CannotDecodeASN1Length},
      {"DO'87' no length", hex("87"), K::CannotDecodeASN1Length},
      {"DO'85' cut", hex("8509"), K::CannotDecodeASN1Length},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto sm = exampleSession("887022120C06C229");  // the counter before that command
    sm.protect(*NFCISO7816APDU::fromBytes(hex("00B00000000004")));
    try {
      auto r = sm.unprotect({c.data, 0x90, 0x00});
      ADD_FAILURE() << "accepted: " << traceHex(withStatus(r));
    } catch (const PassportReaderError& e) {
      EXPECT_EQ(e.kind(), c.error) << e.message();
    }
    EXPECT_EQ(traceHex(sm.ssc()), "887022120C06C22B");  // advanced by both steps regardless
  }
  // An error status comes back unchanged, counter advanced.
  auto sm = exampleSession();
  EXPECT_EQ(sm.unprotect({{}, 0x6A, 0x82}), (ResponseAPDU{{}, 0x6A, 0x82}));
  EXPECT_EQ(traceHex(sm.ssc()), "887022120C06C227");
  // An AES instance refuses rather than running 3DES under the wrong name.
  SecureMessaging aes(Bytes(16, 1), Bytes(16, 2), Bytes(8, 0),
                      SecureMessagingSupportedAlgorithms::AES);
  EXPECT_THROW(aes.protect({0, 0xB0, 0, 0, {}, 4}), PassportReaderError);
}

TEST(SecureMessagingTest, WarningsWithDataAreCheckedLikeSuccess) {
  // The chip's answer to the example's first READ BINARY, ended with 62 82 instead of 90 00.
  const Bytes ksenc = hex("979EC13B1CBFE9DCD01AB0FED307EAE5979EC13B1CBFE9DC");
  const Bytes ksmac = hex("F1CB1F1FB5ADF208806B89DC579DC1F8F1CB1F1FB5ADF208");
  SessionCiphers chip(ksenc, ksmac);
  Bytes do87 = hex("870901");
  const Bytes encrypted = chip.encrypt(padIso9797(hex("60145F01"), 8));
  do87.insert(do87.end(), encrypted.begin(), encrypted.end());
  const Bytes do99 = hex("99026282");
  Bytes macInput = hex("887022120C06C22A");  // the counter at the answer
  macInput.insert(macInput.end(), do87.begin(), do87.end());
  macInput.insert(macInput.end(), do99.begin(), do99.end());
  Bytes answer = do87;
  answer.insert(answer.end(), do99.begin(), do99.end());
  answer.push_back(0x8E);
  answer.push_back(0x08);
  const Bytes mac = chip.mac(padIso9797(macInput, 8));
  answer.insert(answer.end(), mac.begin(), mac.end());

  auto session = [] {
    auto sm = exampleSession("887022120C06C228");
    sm.protect(*NFCISO7816APDU::fromBytes(hex("00B00000000004")));
    return sm;
  };
  auto sm = session();
  EXPECT_EQ(sm.unprotect({answer, 0x62, 0x82}), (ResponseAPDU{hex("60145F01"), 0x62, 0x82}));
  // Data that does not carry the chip's MAC is never handed on as the file's.
  Bytes forged = answer;
  forged[4] ^= 0x01;
  sm = session();
  EXPECT_THROW(sm.unprotect({forged, 0x62, 0x82}), PassportReaderError);
  sm = session();
  EXPECT_THROW(sm.unprotect({hex("0102030405"), 0x62, 0x82}), PassportReaderError);
  // Without data the warning comes back as it is.
  sm = session();
  EXPECT_EQ(sm.unprotect({{}, 0x62, 0x82}), (ResponseAPDU{{}, 0x62, 0x82}));
}

TEST(SessionCiphersTest, SameResultsAsOneCallCiphersForEveryLength) {
  const Bytes key = hex("7862D9ECE03C1BCD4D77089DCF131442");
  const Bytes key24 = hex("979EC13B1CBFE9DCD01AB0FED307EAE5979EC13B1CBFE9DC");
  SessionCiphers ciphers(key24, key);
  // The retail MAC computed block by block with single DES, as ISO/IEC 9797-1 describes it.
  auto reference = [&](const Bytes& message) {
    Bytes y(8, 0);
    for (std::size_t at = 0; at + 8 <= message.size(); at += 8) {
      y = desEncrypt(key, Bytes(message.begin() + at, message.begin() + at + 8), y, kCBCMode);
    }
    const Bytes b = desDecrypt(Bytes(key.begin() + 8, key.end()), y, {}, kECBMode);
    return desEncrypt(key, b, {}, kECBMode);
  };
  for (std::size_t length : {8u, 16u, 24u, 40u, 168u, 256u}) {
    SCOPED_TRACE(length);
    Bytes message(length);
    for (std::size_t i = 0; i < length; ++i) message[i] = static_cast<std::uint8_t>(i * 7 + 3);
    // Twice each, so that nothing of one run leaks into the next.
    for (int round = 0; round < 2; ++round) {
      EXPECT_EQ(ciphers.mac(message), reference(message));
      EXPECT_EQ(ciphers.encrypt(message), tripleDESEncrypt(key24, message, Bytes(8, 0)));
      EXPECT_EQ(ciphers.decrypt(message), tripleDESDecrypt(key24, message, Bytes(8, 0)));
    }
  }
  EXPECT_TRUE(ciphers.mac(Bytes(5, 1)).empty()) << "no whole block";
  EXPECT_TRUE(ciphers.encrypt(Bytes(12, 1)).empty()) << "not whole blocks";
}

// Pins RND.IFD then K.IFD to the example's values.
class PinnedRandoms {
 public:
  explicit PinnedRandoms(std::vector<Bytes> values) : values_(values.begin(), values.end()) {
    platform::crypto::setRandomSource([this](std::size_t n) {
      if (values_.empty()) return Bytes(n, 0x5A);
      Bytes v = values_.front();
      values_.pop_front();
      v.resize(n);
      return v;
    });
  }
  ~PinnedRandoms() { platform::crypto::setRandomSource({}); }

 private:
  std::deque<Bytes> values_;
};

class ChipTest : public testing::RuntimeTest {
 protected:
  void connect(std::shared_ptr<SimulatedChip> c) {
    chip = std::move(c);
    tag = SimulatedChipTag::connect(chip, queue);
    ASSERT_TRUE(tag);
    tag->setTranscriptHook([this](const platform::NFCTranscriptEntry& e) {
      Bytes r = e.response.data;
      if (!e.response.error) {
        r.push_back(e.response.sw1);
        r.push_back(e.response.sw2);
      }
      transcript.emplace_back(traceHex(e.command), traceHex(r));
    });
    reader = std::make_shared<TagReader>(tag);
    bac = std::make_shared<BACHandler>(reader);
  }

  std::optional<PassportReaderError> runBAC(const std::string& key) {
    std::optional<PassportReaderError> result;
    int calls = 0;
    queue->async([&] {
      bac->runAccessControl(key, [&](std::optional<PassportReaderError> e) {
        ++calls;
        result = std::move(e);
      });
    });
    runUntilIdle();
    EXPECT_EQ(calls, 1);
    return result;
  }

  struct Read {
    std::optional<ResponseAPDU> answer;
    std::optional<PassportReaderError> error;
    int calls = 0;
  };
  Read readFile(std::uint16_t fid) {
    Read read;
    queue->async([&] {
      reader->selectFile({static_cast<std::uint8_t>(fid >> 8), static_cast<std::uint8_t>(fid)},
                         [&](auto answer, auto error) {
                           ++read.calls;
                           read.answer = std::move(answer);
                           read.error = std::move(error);
                         });
    });
    runUntilIdle();
    EXPECT_EQ(read.calls, 1);
    return read;
  }

  std::shared_ptr<platform::DispatchQueue> queue = platform::DispatchQueue::make("nfc session");
  std::shared_ptr<SimulatedChip> chip;
  std::shared_ptr<SimulatedChipTag> tag;
  std::shared_ptr<TagReader> reader;
  std::shared_ptr<BACHandler> bac;
  std::vector<std::pair<std::string, std::string>> transcript;
};

TEST_F(ChipTest, IcaoWorkedExampleEndToEnd) {
  connect(SimulatedChip::icaoExample());
  PinnedRandoms randoms({hex("781723860C06C226"), hex("0B795240CB7049B01C19B33E32804F0B")});
  const std::string key = NfcUtils::mrzKey("L898902C", "690806", "940623");
  ASSERT_EQ(key, "L898902C<369080619406236");
  ASSERT_FALSE(runBAC(key));
  EXPECT_EQ(traceHex(bac->ksenc()), "AB94FCEDF2664EDFB9B291F85D7F77F2AB94FCEDF2664EDF");
  EXPECT_EQ(traceHex(bac->ksmac()), "7862D9ECE03C1BCD4D77089DCF1314427862D9ECE03C1BCD");
  auto sm = reader->secureMessaging();
  ASSERT_TRUE(sm);
  EXPECT_EQ(traceHex(sm->ksenc()), "969EC03B1CBFE9DDD11AB1FED206EBE4969EC03B1CBFE9DD");
  EXPECT_EQ(traceHex(sm->ksmac()), "F0CA1E1EB5ADF208816B88DD579CC1F8F0CA1E1EB5ADF208");
  EXPECT_EQ(traceHex(sm->ssc()), "887022120C06C226");

  const auto read = readFile(0x011E);
  ASSERT_FALSE(read.error) << read.error->message();
  EXPECT_EQ(traceHex(read.answer->data), "60145F0104303130365F36063034303030305C026175");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"0084000008", "4608F919887022129000"},
      {"008200002872C29C2371CC9BDB65B779B8E8D37B29ECC154AA56A8799FAE2F498F76ED92F25F1448EEA8AD90A7"
       "00",
       "46B9342A41396CD7386BF5803104D7CEDC122B9132139BAF2EEDC94EE178534F2F2D235D074D74499000"},
      {"0CA4020C158709016375432908C044F68E08BF8B92D635FF24F800",
       "990290008E08FA855A5D4C50A8ED9000"},
      {"0CB000000D9701048E08ED6705417E96BA5500",
       "8709019FF0EC34F9922651990290008E08AD55CC17140B2DED9000"},
      {"0CB000020D9701148E084B5385E8856FB03200",
       "871901340959F9DE105B0C4A56D57AFA0C5AB240612932685CDCBC990290008E0829842A2CEBF24CFF9000"},
  };
  EXPECT_EQ(transcript, expected);
}

TEST_F(ChipTest, AccessControlFailures) {
  connect(SimulatedChip::passport());
  // A wrong key: the chip answers 63 00.
  auto error = runBAC(NfcUtils::mrzKey("X0000000", "740812", "320101"));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind(), K::InvalidMRZKey);
  EXPECT_FALSE(reader->secureMessaging());

  struct Case {
    const char* name;
    Fault fault;
    std::uint8_t ins;
    K kind;
  };
  const std::vector<Case> cases = {
      {"short challenge", Fault::rawAnswer(hex("01020304")), 0x84, K::InvalidDataPassed},
      {"empty challenge", Fault::rawAnswer({}), 0x84, K::InvalidDataPassed},
      {"short authentication", Fault::rawAnswer(Bytes(20, 1)), 0x82, K::InvalidDataPassed},
      {"forged authentication", Fault::rawAnswer(Bytes(40, 1)), 0x82, K::InvalidDataPassed},
      {"refused challenge", Fault::withStatus(0x6D, 0x00), 0x84, K::ResponseError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    chip->injectForCommand(c.ins, c.fault);
    error = runBAC(chip->mrzKey());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), c.kind) << error->message();
    if (c.kind == K::InvalidDataPassed) {
      EXPECT_TRUE(error->reason().starts_with("Unable to derive BAC Keys - "));
    }
    EXPECT_FALSE(reader->secureMessaging());
  }
  // Without a tag reader nothing is sent.
  auto orphan = std::make_shared<BACHandler>(nullptr);
  std::optional<PassportReaderError> result;
  orphan->runAccessControl("x", [&](auto e) { result = e; });
  ASSERT_TRUE(result);
  EXPECT_EQ(result->kind(), K::NoConnectedTag);
}

TEST_F(ChipTest, EachRunDrawsFreshRandomsAndReplacesSecureMessaging) {
  connect(SimulatedChip::passport());
  ASSERT_FALSE(runBAC(chip->mrzKey()));
  const Bytes firstIFD = bac->rnd_ifd();
  const Bytes firstSSC = reader->secureMessaging()->ssc();
  ASSERT_FALSE(runBAC(chip->mrzKey()));
  EXPECT_NE(bac->rnd_ifd(), firstIFD);
  EXPECT_NE(reader->secureMessaging()->ssc(), firstSSC);
  EXPECT_EQ(chip->bacRuns(), 2);
  // The challenge of the second run went out plain although secure messaging was installed.
  EXPECT_EQ(transcript[transcript.size() - 2].first, "0084000008");
}

TEST_F(ChipTest, AccessControlAgainWhileTheChipHoldsSecureMessaging) {
  using Plain = SimulatedChip::PlainCommandUnderSecureMessaging;
  struct Case {
    const char* name;
    Plain chip;
    std::vector<std::string> answersToTheChallenge;  // status words, in order
  };
  const std::vector<Case> cases = {
      {"refused with 69 88, the chip leaves secure messaging: asked again", Plain::refuse,
       {"6988", "9000"}},
      {"answered at once", Plain::answerInPlain, {"9000"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    transcript.clear();
    connect(SimulatedChip::passport());
    chip->plainCommandUnderSecureMessaging = c.chip;
    ASSERT_FALSE(runBAC(chip->mrzKey()));
    transcript.clear();
    const auto error = runBAC(chip->mrzKey());
    ASSERT_FALSE(error) << error->message();
    std::vector<std::string> answers;
    for (const auto& [command, answer] : transcript) {
      if (command == "0084000008") answers.push_back(answer.substr(answer.size() - 4));
    }
    EXPECT_EQ(answers, c.answersToTheChallenge);
    EXPECT_EQ(chip->bacRuns(), 2);
    ASSERT_TRUE(reader->secureMessaging());
    EXPECT_FALSE(readFile(0x011E).error) << "the new session works";
  }
  // Only a run that follows secure messaging asks twice: a first run refused 69 88 fails.
  transcript.clear();
  connect(SimulatedChip::passport());
  chip->injectForCommand(0x84, Fault::withStatus(0x69, 0x88));
  const auto error = runBAC(chip->mrzKey());
  ASSERT_TRUE(error);
  EXPECT_EQ(error->message(), "SM data objects incorrect");
  EXPECT_EQ(transcript.size(), 1u);
}

TEST_F(ChipTest, ChunkedReadsOfLargeFiles) {
  connect(SimulatedChip::passport());
  // A 20 KB DG2 and a 40 000-byte DG2: the second needs offsets of 0x8000 and above.
  const Bytes dg2 = ChipFiles::dg2(ChipFiles::jpegEXIF(20000));
  const Bytes huge = ChipFiles::dg2(ChipFiles::j2k(40000));
  ASSERT_GT(huge.size(), 0x8000u);
  chip->setFile(0x0102, dg2);
  chip->setFile(0x010E, huge);
  ASSERT_FALSE(runBAC(chip->mrzKey()));
  std::vector<int> progress;
  reader->setProgress([&](int p) { progress.push_back(p); });

  auto read = readFile(0x0102);
  ASSERT_FALSE(read.error) << read.error->message();
  EXPECT_EQ(read.answer->data, dg2);
  EXPECT_EQ(progress.front(), 0);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_LE(progress.back(), 100);

  transcript.clear();
  read = readFile(0x010E);
  ASSERT_FALSE(read.error) << read.error->message();
  EXPECT_EQ(read.answer->data, huge);
  // Never a B0 with bit 8 of P1 set (short file identifier addressing).
  int oddReads = 0;
  for (const auto& [command, answer] : transcript) {
    const Bytes c = hex(command);
    if (c[1] == 0xB0) {
      EXPECT_EQ(c[2] & 0x80, 0) << command;
    }
    if (c[1] == 0xB1) ++oddReads;
  }
  EXPECT_GT(oddReads, 0);
}

TEST_F(ChipTest, ChunkSizesOffsetsAndProgress) {
  connect(SimulatedChip::passport());
  chip->setFile(0x010B, ChipFiles::tlv(0x6B, Bytes(1000, 0x42)));  // 6B 82 03 E8 ...
  ASSERT_FALSE(runBAC(chip->mrzKey()));
  std::vector<int> progress;
  reader->setProgress([&](int p) { progress.push_back(p); });
  std::vector<std::pair<int, int>> reads;  // (offset, Le) of the plain READ BINARY commands
  auto recordReads = [&] {
    reads.clear();
    for (std::size_t i = 0; i < transcript.size(); ++i) {
      // Recover offset and DO'97' Le from the protected command.
      const Bytes c = hex(transcript[i].first);
      if (c[1] == 0xB0 && c[5] == 0x97) reads.emplace_back(c[2] << 8 | c[3], c[7]);
    }
  };
  transcript.clear();
  auto read = readFile(0x010B);
  ASSERT_FALSE(read.error);
  EXPECT_EQ(read.answer->data.size(), 1004u);
  recordReads();
  ASSERT_EQ(reads.size(), 8u);  // the 4-byte read, then 7 chunks
  EXPECT_EQ(reads[0], std::make_pair(0, 4));
  EXPECT_EQ(reads[1], std::make_pair(4, 160));
  EXPECT_EQ(reads[2], std::make_pair(164, 160));
  EXPECT_EQ(reads[7], std::make_pair(964, 40));
  EXPECT_EQ(progress, (std::vector<int>{0, 16, 32, 48, 64, 80, 96}));

  // With 256 every chunk asks for 256 bytes (Le 00), the last one only for what remains of the
  // object: a file often goes on after it.
  reader->setMaxDataLengthToRead(256);
  chip->oversizedAnswer = SimulatedChip::OversizedAnswer::send;
  chip->fillAfterObject = 100;
  transcript.clear();
  read = readFile(0x010B);
  ASSERT_FALSE(read.error);
  EXPECT_EQ(traceHex(read.answer->data), traceHex(chip->file(0x010B)));
  recordReads();
  ASSERT_EQ(reads.size(), 5u);
  for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(reads[i].second, 0) << i;  // 256 = 00
  EXPECT_EQ(reads[4], std::make_pair(772, 232));
  chip->fillAfterObject = 0;
  // A chip that refuses answers longer than a short Le allows: "Wrong length".
  chip->oversizedAnswer = SimulatedChip::OversizedAnswer::wrongLength;
  read = readFile(0x010B);
  ASSERT_TRUE(read.error);
  EXPECT_EQ(read.error->message(), "Wrong length");
}

// A chip that ends a file with 62 82 hands over its last bytes with that status; they belong to
// the file. The same status without data is still the failure it was.
TEST_F(ChipTest, EndOfFileWarningsWithDataEndTheFile) {
  struct Case {
    const char* name;
    Bytes file;
    int chunk;
    std::optional<std::string> error;
  };
  const std::vector<Case> cases = {
      {"a file shorter than the first 4-byte read", hex("6B01AA"), 160, std::nullopt},
      {"256-byte chunks up to the object's end", ChipFiles::tlv(0x6B, Bytes(1000, 0x42)), 256,
       std::nullopt},
      {"160-byte chunks that never pass the end", ChipFiles::tlv(0x6B, Bytes(1000, 0x42)), 160,
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    connect(SimulatedChip::passport());
    chip->endOfFileWarning = true;
    chip->oversizedAnswer = SimulatedChip::OversizedAnswer::send;
    chip->setFile(0x010B, c.file);
    ASSERT_FALSE(runBAC(chip->mrzKey()));
    reader->setMaxDataLengthToRead(c.chunk);
    const auto read = readFile(0x010B);
    ASSERT_FALSE(read.error) << read.error->message();
    EXPECT_EQ(traceHex(read.answer->data), traceHex(c.file));
  }
  // 62 82 without data: nothing to keep.
  connect(SimulatedChip::passport());
  ASSERT_FALSE(runBAC(chip->mrzKey()));
  chip->injectForFile(0x0101, Fault::withStatus(0x62, 0x82), true);
  const auto read = readFile(0x0101);
  ASSERT_TRUE(read.error);
  EXPECT_EQ(read.error->message(), "End of file/record reached before reading Le bytes");
}

TEST_F(ChipTest, HostileChipAnswersDuringFileReads) {
  connect(SimulatedChip::passport());
  struct Case {
    const char* name;
    Fault fault;
    bool readsOnly;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"file not found", Fault::withStatus(0x6A, 0x82), false, "File not found"},
      {"security status", Fault::withStatus(0x69, 0x82), false, "Security status not satisfied"},
      {"class not supported", Fault::withStatus(0x6E, 0x00), true, "Class not supported"},
      {"end of file", Fault::withStatus(0x62, 0x82), true,
       "End of file/record reached before reading Le bytes"},
      {"bad MAC", Fault::of(Fault::Kind::corruptMac), true, "UnableToUnprotectAPDU"},
      {"empty 90 00 for the header", Fault::of(Fault::Kind::emptySuccess), true,
       "CannotDecodeASN1Length"},
      {"truncated", Fault::truncatedTo(9), true, "UnableToUnprotectAPDU"},
      {"unauthenticated 90 00", Fault::rawAnswer({}), true, "UnableToUnprotectAPDU"},
      {"link lost", Fault::of(Fault::Kind::dropLink), true, "Tag connection lost"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(runBAC(chip->mrzKey()));
    chip->injectForFile(0x0101, c.fault, c.readsOnly);
    const auto read = readFile(0x0101);
    ASSERT_TRUE(read.error);
    EXPECT_EQ(read.error->message(), c.message);
  }
}

TEST_F(ChipTest, EmptyChunkEndsTheReadInsteadOfLooping) {
  connect(SimulatedChip::passport());
  ASSERT_FALSE(runBAC(chip->mrzKey()));
  // SELECT, the 4-byte read, then the first chunk answers "success" with no data.
  chip->injectAtCommand(chip->commandCount() + 3, Fault::of(Fault::Kind::emptySuccess));
  const int before = chip->commandCount();
  const auto read = readFile(0x0101);
  ASSERT_TRUE(read.error);
  EXPECT_EQ(read.error->message(), "InvalidResponse");
  EXPECT_EQ(chip->commandCount() - before, 3);
}

TEST_F(ChipTest, MalformedFileHeaders) {
  connect(SimulatedChip::passport());
  struct Case {
    const char* name;
    Bytes file;
    std::optional<K> error;
    std::size_t size;
  };
  const std::vector<Case> cases = {
      {"one byte", hex("61"), K::CannotDecodeASN1Length, 0},
      {"length cut", hex("6182"), K::CannotDecodeASN1Length, 0},
      {"bad length form", hex("6185000000"), K::CannotDecodeASN1Length, 0},
      {"a three-byte length cut by the file's end", hex("618300"), K::CannotDecodeASN1Length, 0},
      {"a three-byte length", hex("61830000020102"), std::nullopt, 7},
      {"a four-byte length", hex("6184000000020102"), std::nullopt, 8},
      {"indefinite length", hex("618000"), K::CannotDecodeASN1Length, 0},
      {"empty value", hex("6100"), std::nullopt, 2},
      {"three bytes", hex("6101AA"), std::nullopt, 3},
      {"shorter than its header", hex("61820100AABBCC"), K::ResponseError, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    chip->setFile(0x0101, c.file);
    ASSERT_FALSE(runBAC(chip->mrzKey()));
    const auto read = readFile(0x0101);
    if (c.error) {
      ASSERT_TRUE(read.error);
      EXPECT_EQ(read.error->kind(), *c.error) << read.error->message();
    } else {
      ASSERT_FALSE(read.error) << read.error->message();
      EXPECT_EQ(read.answer->data, c.file);
    }
  }
}

TEST_F(ChipTest, ProtectionFailureSendsNothing) {
  connect(SimulatedChip::passport());
  reader->setSecureMessaging(std::make_shared<SecureMessaging>(
      Bytes(16, 1), Bytes(16, 2), Bytes(8, 0), SecureMessagingSupportedAlgorithms::AES));
  const int before = chip->commandCount();
  const auto read = readFile(0x0101);
  ASSERT_TRUE(read.error);
  EXPECT_EQ(read.error->kind(), K::UnableToProtectAPDU);
  EXPECT_EQ(chip->commandCount(), before);
}

TEST(StatusWordTest, Texts) {
  struct Case {
    std::uint8_t sw1, sw2;
    const char* text;
  };
  for (const Case& c : {
           Case{0x6C, 0x10, "Wrong length Le: SW2 indicates the exact length - (exact length :16)"},
           Case{0x61, 0x05,
                "SW2 indicates the number of response bytes still available - (5 bytes still "
                "available)"},
           Case{0x64, 0x42,
                "State of non-volatile memory unchanged (SW2=00, other values are RFU)"},
           Case{0x6B, 0x00, "Wrong parameter(s) P1-P2]"},
           Case{0x6A, 0x8A, "Unknown error - sw1: 0x6A, sw2 - 0x8A "},
           Case{0x63, 0x0C,
                "Counter provided by X (valued from 0 to 15) (exact meaning depending on the "
                "command)"},
           Case{0x63, 0xC1, "Unknown error - sw1: 0x63, sw2 - 0xC1 "},
           Case{0x69, 0x88, "SM data objects incorrect"},
           Case{0x90, 0x00, "Success"},
       }) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(TagReader::decodeStatusWords(c.sw1, c.sw2), c.text);
  }
}

}  // namespace
}  // namespace ostrel
