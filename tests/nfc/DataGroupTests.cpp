#include <gtest/gtest.h>

#include "nfc/COM.hpp"
#include "nfc/DataGroup2.hpp"
#include "nfc/DataGroupParser.hpp"
#include "nfc/NFCPassportModel.hpp"
#include "nfc/PassportReaderError.hpp"
#include "platform/crypto/Crypto.hpp"
#include "testing/ChipFiles.hpp"
#include "testing/TestHelpers.hpp"

namespace ostrel {
namespace {

using ostrel::testing::hex;
using K = PassportReaderError::Kind;
using testing::ChipFiles;

TEST(DataGroupParserTest, ComParses) {
  auto group =
      DataGroupParser::parseDataGroup(hex("60165F0104303130375F36063034303030305C0461756377"));
  auto com = std::dynamic_pointer_cast<COM>(group);
  ASSERT_TRUE(com);
  EXPECT_EQ(com->datagroupType(), DataGroupId::COM);
  EXPECT_EQ(com->version, "1.7");
  EXPECT_EQ(com->unicodeVersion, "4.0.0");
  EXPECT_EQ(com->dataGroupsPresent,
            (std::vector<std::string>{"DG1", "DG2", "DG3", "SecurityData"}));
  // A 3-byte version stays "Unknown"; an unknown tag in the list is skipped.
  com = std::dynamic_pointer_cast<COM>(
      DataGroupParser::parseDataGroup(hex("60125F01033031305F36063034303030305C026261")));
  ASSERT_TRUE(com);
  EXPECT_EQ(com->version, "Unknown");
  EXPECT_EQ(com->dataGroupsPresent, (std::vector<std::string>{"DG1"}));
}

TEST(DataGroupParserTest, Dg2ParsesEveryImageKind) {
  struct Case {
    const char* name;
    Bytes image;
    int featurePoints;
    int tag;
  };
  for (const Case& c :
       {Case{"JFIF", ChipFiles::jpegJFIF(), 0, 0x5F2E},
        Case{"EXIF", ChipFiles::jpegEXIF(), 0, 0x5F2E}, Case{"JP2", ChipFiles::jp2(), 0, 0x7F2E},
        Case{"J2K", ChipFiles::j2k(), 2, 0x5F2E},
        Case{"JPEG DB", hex("FFD8FFDB0043"), 0, 0x5F2E}}) {
    SCOPED_TRACE(c.name);
    auto dg2 = std::dynamic_pointer_cast<DataGroup2>(
        DataGroupParser::parseDataGroup(ChipFiles::dg2(c.image, c.featurePoints, c.tag)));
    ASSERT_TRUE(dg2);
    EXPECT_EQ(dg2->datagroupType(), DataGroupId::DG2);
    EXPECT_EQ(dg2->imageData, c.image);
    EXPECT_EQ(dg2->nrImages, 1);
    EXPECT_EQ(dg2->nrFeaturePoints, c.featurePoints);
    EXPECT_EQ(dg2->imageWidth, 0x01E0);
    EXPECT_EQ(dg2->imageHeight, 0x0280);
  }
  // With 2 feature points the image starts at offset 62 of the record.
  const Bytes record = ChipFiles::facialRecord(ChipFiles::j2k(), 2);
  EXPECT_EQ(Bytes(record.begin() + 62, record.begin() + 66), hex("FF4FFF51"));
}

TEST(DataGroupParserTest, MalformedFilesFailCleanly) {
  const Bytes goodRecord = ChipFiles::facialRecord(ChipFiles::jpegJFIF());
  auto dg2WithRecord = [](const Bytes& record) {
    Bytes bit = ChipFiles::tlv(0xA1, {});
    const Bytes block = ChipFiles::tlv(0x5F2E, record);
    bit.insert(bit.end(), block.begin(), block.end());
    Bytes group = ChipFiles::tlv(0x02, {0x01});
    const Bytes bits = ChipFiles::tlv(0x7F60, bit);
    group.insert(group.end(), bits.begin(), bits.end());
    return ChipFiles::tlv(0x75, ChipFiles::tlv(0x7F61, group));
  };
  struct Case {
    const char* name;
    Bytes file;
    K error;
  };
  const std::vector<Case> cases = {
      {"empty", {}, K::InvalidResponse},
      {"three bytes", hex("600100"), K::InvalidResponse},
      {"unknown tag", hex("62020000"), K::UnknownTag},
      {"outer length 85", hex("618500000000"), K::CannotDecodeASN1Length},
      {"outer length 84 beyond any file", hex("618401000000"), K::CannotDecodeASN1Length},
      {"outer length 83 cut short", hex("61830001"), K::CannotDecodeASN1Length},
      {"outer length 80", hex("61800000"), K::CannotDecodeASN1Length},
      {"COM version missing", hex("600A5F36063034303030305C00"), K::InvalidResponse},
      {"COM cut after tag", hex("60035F01"), K::CannotDecodeASN1Length},
      {"COM two-byte tag cut", hex("6081015F"), K::TagNotValid},
      {"COM at end", hex("60005F01"), K::CannotDecodeASN1Length},
      {"COM value past the end", hex("60065F0110303130"), K::InvalidResponse},
      {"COM no tag list", hex("600E5F0104303130375F3606303430303030"), K::TagNotValid},
      {"DG2 wrong first tag", hex("75047F620100"), K::InvalidResponse},
      {"DG2 empty instance count", hex("75067F61030200"), K::InvalidResponse},
      {"DG2 record without FAC", dg2WithRecord(hex("464143")), K::InvalidResponse},
      {"DG2 record too short", dg2WithRecord(Bytes(goodRecord.begin(), goodRecord.begin() + 40)),
       K::InvalidResponse},
      {"DG2 record without image",
       dg2WithRecord(Bytes(goodRecord.begin(), goodRecord.begin() + 46)), K::InvalidResponse},
      {"DG2 unknown image", dg2WithRecord([&] {
         Bytes r(goodRecord.begin(), goodRecord.begin() + 46);
         for (std::uint8_t b : {0x89, 0x50, 0x4E, 0x47}) r.push_back(b);
         return r;
       }()),
       K::UnknownImageFormat},
      {"DG2 feature points past the end", dg2WithRecord([&] {
         Bytes r = goodRecord;
         r[18] = 0xFF;
         r[19] = 0xFF;
         return r;
       }()),
       K::InvalidResponse},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      DataGroupParser::parseDataGroup(c.file);
      ADD_FAILURE() << "accepted";
    } catch (const PassportReaderError& e) {
      EXPECT_EQ(e.kind(), c.error) << e.message();
    }
  }
}

TEST(DataGroupParserTest, RawGroupsKeepTheirBytes) {
  struct Case {
    Bytes file;
    DataGroupId type;
  };
  for (const Case& c : {Case{ChipFiles::opaque(0x6B, 40), DataGroupId::DG11},
                        Case{ChipFiles::opaque(0x6F, 40), DataGroupId::DG15},
                        Case{ChipFiles::opaque(0x63, 40), DataGroupId::Unknown},
                        Case{ChipFiles::opaque(0x67, 40), DataGroupId::DG7},
                        Case{ChipFiles::opaque(0x6E, 40), DataGroupId::DG14},
                        Case{ChipFiles::dg1(ChipFiles::td1MRZ("1", "2", "3")), DataGroupId::DG1}}) {
    SCOPED_TRACE(c.type.name());
    auto group = DataGroupParser::parseDataGroup(c.file);
    EXPECT_EQ(group->datagroupType(), c.type);
    EXPECT_EQ(group->data(), c.file);
  }
  auto dg11 = std::dynamic_pointer_cast<DataGroup11>(
      DataGroupParser::parseDataGroup(ChipFiles::opaque(0x6B, 40)));
  ASSERT_TRUE(dg11);
  EXPECT_FALSE(dg11->fullName);
  EXPECT_EQ(dg11->body().size(), 40u);
  // The body runs to the end of the data, not to the outer length.
  auto dg1 = DataGroupParser::parseDataGroup(hex("618201000102030405"));
  EXPECT_EQ(dg1->body(), hex("0102030405"));
  Bytes sodFile = hex("77820100");
  sodFile.resize(4 + 256, 0xAB);
  auto sod = std::dynamic_pointer_cast<SOD>(DataGroupParser::parseDataGroup(sodFile));
  ASSERT_TRUE(sod);
  EXPECT_EQ(sod->pkcs7CertificateData, Bytes(256, 0xAB));
}

TEST(PassportModelTest, DumpAndAvailableGroups) {
  NFCPassportModel model;
  EXPECT_TRUE(model.dataGroupDump({DataGroupId::allCases().begin(), DataGroupId::allCases().end()})
                  .empty());
  const Bytes com = hex("60145F0104303130365F36063034303030305C026175");
  model.addDataGroup(DataGroupId::COM, DataGroupParser::parseDataGroup(com));
  model.addDataGroup(DataGroupId::SOD, DataGroupParser::parseDataGroup(ChipFiles::opaque(0x77, 9)));
  model.addDataGroup(DataGroupId::DG1, DataGroup::create<NotImplementedDG>(hex("60035F0100")));
  model.addDataGroup(DataGroupId::DG2,
                     DataGroupParser::parseDataGroup(ChipFiles::dg2(ChipFiles::j2k())));
  EXPECT_EQ(model.dataGroupsAvailable,
            (std::vector<DataGroupId>{DataGroupId::DG1, DataGroupId::DG2}));
  const auto dump =
      model.dataGroupDump({DataGroupId::allCases().begin(), DataGroupId::allCases().end()});
  ASSERT_EQ(dump.size(), 4u);
  EXPECT_EQ(dump.at("com"), "YBRfAQQwMTA2XzYGMDQwMDAwXAJhdQ==");
  EXPECT_EQ(dump.at("dg1"), "YANfAQA=");  // stored under the id asked for, whatever its tag
  EXPECT_TRUE(dump.count("sod"));
  EXPECT_TRUE(dump.count("dg2"));
  EXPECT_EQ(model.BACStatus, PassportAuthenticationStatus::notDone);
}

TEST(NfcUtilsTest, AccessKeyAndCheckDigits) {
  EXPECT_EQ(NfcUtils::mrzKey("L898902C", "690806", "940623"), "L898902C<369080619406236");
  EXPECT_EQ(
      NfcUtils::mrzKey("L898902C0123", "690806", "940623"),
      "L898902C0" + std::to_string(NfcUtils::mrzCheckDigit("L898902C0")) + "6908061" + "9406236");
  EXPECT_EQ(NfcUtils::mrzKey("L898902C", "", "940623"), "L898902C<3<<<<<<09406236");
  struct Case {
    const char* text;
    int digit;
  };
  for (const Case& c :
       {Case{"L898902C<", 3}, Case{"690806", 1}, Case{"940623", 6}, Case{"<<<<<<", 0}, Case{"", 0},
        Case{"l898902c<", 0}, Case{"AB-1", 0}, Case{"D23145890", 7}}) {
    EXPECT_EQ(NfcUtils::mrzCheckDigit(c.text), c.digit) << c.text;
  }
}

}  // namespace
}  // namespace ostrel
