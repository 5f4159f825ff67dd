#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/Helpers.hpp"
#include "nfc/NFCPassportModel.hpp"
#include "nfc/NfcReader.hpp"
#include "platform/foundation/Base64.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/nfc/PCSCReaderBackend.hpp"
#include "scan/MRZResult.hpp"
#include "testing/ChipFiles.hpp"
#include "testing/PCSCTestSupport.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/SamplePerson.hpp"
#include "testing/SimulatedChip.hpp"
#include "testing/SimulatedNFCBackend.hpp"
#include "testing/VerificationServer.hpp"
#include "testing/VirtualCardAdapter.hpp"

namespace ostrel {
namespace {

using platform::JSON;
using testing::samplePerson;
using testing::SimulatedChip;
using testing::VerificationServer;

constexpr std::uint16_t kDG1File = 0x0101;

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const auto end = text.find(separator, start);
    out.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return out;
    start = end + 1;
  }
}

std::optional<MRZResult> parse(const std::vector<std::string>& zone) {
  return parseMRZ(zone, true, *makeMRZDateFormatter(), testing::clockInYear(2026));
}

// The access key a screen builds from a zone it holds: the zone's number and raw dates.
std::optional<std::string> keyFromZone(const std::vector<std::string>& zone) {
  auto result = parse(zone);
  if (!result || !result->documentNumber) return std::nullopt;
  return NfcUtils::mrzKey(*result->documentNumber, result->birthdateRawString,
                          result->expiryDateRawString);
}

// "dd/MM/yyyy" to the zone's "yyMMdd", through the library's own date helpers.
std::string zoneDate(const std::string& text) {
  auto date = Helpers::dateFromString(text, "dd/MM/yyyy");
  return date ? Helpers::stringFromDate(*date, "yyMMdd") : "Invalid date format";
}

// The access key a screen builds from the server's reading of the card's QR code: the last nine
// digits of the ID number, the birth date and the expiry date the card's age rule gives.
std::string keyFromQRReply(const JSON& fields) {
  const std::string id = fields.value("id_number", "");
  const std::string number = id.size() > 9 ? id.substr(id.size() - 9) : id;
  const std::string birthday = fields.value("birthday", "");
  const std::string expiry = Helpers::idCardExpiryDate(birthday, fields.value("doi", ""));
  return NfcUtils::mrzKey(number, zoneDate(birthday), zoneDate(expiry));
}

JSON replyData(const std::string& path) {
  return JSON::parse(VerificationServer::defaultReplies().at(path).body)["data"];
}

TEST(SampleIdentityTest, TheServersZonesParseAsThePersonsCard) {
  const auto& person = samplePerson();
  struct Case {
    const char* name;
    std::string zone;
  };
  const std::vector<Case> cases = {
      {"scan-back", replyData("/api/kyc/app/scan-back")["mrz"]["raw_mrz"]},
      {"data/get", replyData("/api/data/get")["raw_mrz"]},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto zone = split(c.zone, '\n');
    ASSERT_EQ(zone.size(), 3u);
    auto result = parse(zone);
    ASSERT_TRUE(result) << c.zone;
    EXPECT_EQ(result->format, MRZFormat::td1);
    EXPECT_EQ(result->documentType, MRZResult::DocumentType::id);
    EXPECT_EQ(result->documentNumber, person.documentNumber());
    EXPECT_EQ(result->birthdate, testing::utcDate(1992, 8, 14));
    EXPECT_EQ(result->expiryDate, testing::utcDate(2032, 8, 14));
    EXPECT_EQ(result->sex, MRZResult::Sex::female);
    EXPECT_EQ(result->surnames, "NGUYEN");
    EXPECT_EQ(result->givenNames, "THI MAI ANH");
    EXPECT_EQ(result->nationalityCountryCode, "VNM");
    EXPECT_TRUE(result->optionalData->starts_with(person.idNumber)) << *result->optionalData;
  }

  // The passport's zone, and the chip files' zones for any number and dates.
  auto passport = parse(person.td3Zone());
  ASSERT_TRUE(passport);
  EXPECT_EQ(passport->documentType, MRZResult::DocumentType::passport);
  EXPECT_EQ(passport->documentNumber, person.passportNumber);
  EXPECT_EQ(passport->optionalData, person.idNumber);
  EXPECT_EQ(passport->expiryDate, testing::utcDate(2032, 1, 10));
  for (const auto& number : {"L898902C", "AB1234567", "1"}) {
    SCOPED_TRACE(number);
    const std::string td1 = testing::ChipFiles::td1MRZ(number, "690806", "940623");
    const std::string td3 = testing::ChipFiles::td3MRZ(number, "690806", "940623");
    auto card = parse({td1.substr(0, 30), td1.substr(30, 30), td1.substr(60)});
    auto book = parse({td3.substr(0, 44), td3.substr(44)});
    ASSERT_TRUE(card);
    ASSERT_TRUE(book);
    EXPECT_EQ(card->documentNumber, number);
    EXPECT_EQ(book->expiryDateRawString, "940623");
  }
}

TEST(SampleIdentityTest, TheServersRepliesDescribeTheSamePerson) {
  const auto& person = samplePerson();
  // The QR code's own text and the server's reading of it.
  const auto qr = split(person.qrText(), '|');
  ASSERT_EQ(qr.size(), 7u);
  const JSON qrFields = replyData("/api/kyc/qr-code/submit")["fields"];
  EXPECT_EQ(qr[0], qrFields["id_number"]);
  EXPECT_EQ(qr[2], person.name);
  EXPECT_EQ(qr[3], "14081992");
  EXPECT_EQ(qr[6], "23052021");
  EXPECT_EQ(qrFields["birthday"], person.birthday);
  EXPECT_EQ(qrFields["doi"], person.issueDate);
  EXPECT_EQ(Helpers::idCardExpiryDate(person.birthday, person.issueDate), person.expiryDate);

  // Everything the confirmation screen fills, with a date that screen accepts and an address
  // and home town within its 100 characters.
  const JSON result = replyData("/api/kyc/get-result")["fields"];
  for (const auto* key : {"name", "id_number", "birthday", "gender", "home", "resident", "doi",
                          "doe", "poi", "features"}) {
    SCOPED_TRACE(key);
    ASSERT_TRUE(result.contains(key));
    EXPECT_FALSE(result[key].get<std::string>().empty());
  }
  EXPECT_EQ(result["id_number"], person.idNumber);
  EXPECT_EQ(result["doe"], person.expiryDate);
  for (const auto* key : {"birthday", "doi", "doe"}) {
    SCOPED_TRACE(key);
    const std::string text = result[key];
    auto date = Helpers::dateFromString(text, "dd/MM/yyyy");
    ASSERT_TRUE(date);
    EXPECT_EQ(Helpers::stringFromDate(*date, "dd/MM/yyyy"), text);
  }
  EXPECT_EQ(result["gender"], "Nữ");
  EXPECT_EQ(replyData("/api/kyc/confirm")["nfc_data"]["id_number"], person.idNumber);
}

TEST(SampleIdentityTest, EveryKeySourceGivesTheChipsKey) {
  const auto& person = samplePerson();
  const auto fromServer =
      keyFromZone(split(replyData("/api/kyc/app/scan-back")["mrz"]["raw_mrz"], '\n'));
  // A camera reading with the usual confusions: O for 0 in a date, lower case in the number.
  auto scanned = person.td1Zone();
  ASSERT_EQ(scanned[1][2], '0');
  scanned[1][2] = 'O';
  for (auto& c : scanned[0]) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto fromScanner = keyFromZone(scanned);
  const std::string fromQR = keyFromQRReply(replyData("/api/kyc/qr-code/submit")["fields"]);

  ASSERT_TRUE(fromServer);
  ASSERT_TRUE(fromScanner);
  using testing::checkDigitOf;
  EXPECT_EQ(*fromServer, std::string("192004521") + checkDigitOf("192004521") + "920814" +
                             checkDigitOf("920814") + "320814" + checkDigitOf("320814"));
  EXPECT_EQ(*fromScanner, *fromServer);
  EXPECT_EQ(fromQR, *fromServer);
  EXPECT_EQ(SimulatedChip::idCard()->mrzKey(), *fromServer);
  EXPECT_EQ(keyFromZone(person.td3Zone()), SimulatedChip::passport()->mrzKey());
}

struct ReadOutcome {
  std::shared_ptr<NFCPassportModel> model;
  std::optional<PassportReaderError> error;
  bool done = false;
};

void startRead(NfcReader& reader, const std::string& key, ReadOutcome& outcome) {
  reader.startChipRead(
      key, {}, true, true, nullptr,
      [&outcome](std::shared_ptr<NFCPassportModel> model, std::optional<PassportReaderError> e) {
        outcome = {std::move(model), std::move(e), true};
      });
}

// Both reads succeed with the key, each after its own access control, and hand over the
// card's own zone.
void expectTwoGoodReads(const std::vector<ReadOutcome>& reads, const SimulatedChip& chip) {
  ASSERT_EQ(reads.size(), 2u);
  for (std::size_t i = 0; i < reads.size(); ++i) {
    SCOPED_TRACE("read " + std::to_string(i + 1));
    ASSERT_TRUE(reads[i].done);
    ASSERT_FALSE(reads[i].error.has_value()) << reads[i].error->message();
    ASSERT_TRUE(reads[i].model);
    EXPECT_EQ(reads[i].model->dataGroupDump({DataGroupId::DG1})["dg1"],
              platform::base64Encode(chip.file(kDG1File)));
  }
  EXPECT_EQ(chip.bacRuns(), 2);
}

class SampleChipReadTest : public testing::RuntimeTest {};

TEST_F(SampleChipReadTest, TheDerivedKeyOpensTheCardTwiceInProcess) {
  auto backend = std::make_shared<testing::SimulatedNFCBackend>();
  platform::NFCReaderBackend::install(backend);
  auto chip = SimulatedChip::idCard();
  backend->setTags(testing::SimulatedNFCBackend::chips({chip}));
  const auto key = keyFromZone(samplePerson().td1Zone());
  ASSERT_TRUE(key);
  std::vector<ReadOutcome> reads(2);
  for (auto& outcome : reads) {
    auto reader = platform::make<NfcReader>(Log::info);
    startRead(*reader, *key, outcome);
    advance(1);
    runUntilIdle();
    advance(61);
  }
  expectTwoGoodReads(reads, *chip);
  platform::NFCReaderBackend::install(nullptr);
}

TEST_F(SampleChipReadTest, TheDerivedKeyOpensTheCardTwiceThroughPcscd) {
  OSTREL_REQUIRE_VIRTUAL_READERS();
  testing::VirtualReaderLock lock;
  ASSERT_TRUE(testing::waitForCardPresence(testing::virtualReaderName(0), false))
      << "a card from an earlier test is still in the reader";
  platform::NFCReaderBackend::install(
      std::make_shared<platform::PCSCReaderBackend>(testing::kVirtualReaderName));
  auto chip = SimulatedChip::idCard();
  const auto key = keyFromZone(samplePerson().td1Zone());
  ASSERT_TRUE(key);
  {
    testing::VirtualCardAdapter adapter(chip);
    ASSERT_TRUE(adapter.start()) << adapter.lastError();
    std::vector<ReadOutcome> reads(2);
    for (auto& outcome : reads) {
      auto reader = platform::make<NfcReader>(Log::info);
      startRead(*reader, *key, outcome);
      ASSERT_TRUE(waitUntil([&] { return outcome.done; }, 30));
      runUntilIdle();
    }
    expectTwoGoodReads(reads, *chip);
  }
  platform::NFCReaderBackend::install(nullptr);
}

}  // namespace
}  // namespace ostrel
