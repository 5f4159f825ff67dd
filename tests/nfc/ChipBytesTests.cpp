#include <gtest/gtest.h>

#include "core/Localization.hpp"

#include "nfc/ChipBytes.hpp"
#include "nfc/DataGroupId.hpp"
#include "nfc/Log.hpp"
#include "nfc/PassportReaderError.hpp"
#include "nfc/SecureMessagingSessionKeyGenerator.hpp"
#include "platform/crypto/Crypto.hpp"
#include "testing/TestHelpers.hpp"

namespace ostrel {
namespace {

using ostrel::testing::hex;
using K = PassportReaderError::Kind;

template <class F>
K thrownKind(F&& f) {
  try {
    f();
  } catch (const PassportReaderError& e) {
    return e.kind();
  }
  ADD_FAILURE() << "nothing thrown";
  return K::UnexpectedError;
}

// ISO/IEC 9797-1 known answers with DES keys K = 0123456789ABCDEF, K' = FEDCBA9876543210.
TEST(RetailMacTest, IsoKnownAnswersAndIcaoMac) {
  const Bytes k = hex("0123456789ABCDEF");
  const Bytes kk = hex("0123456789ABCDEFFEDCBA9876543210");
  const Bytes now = hex("4E6F77206973207468652074696D6520666F7220616C6C20");
  EXPECT_EQ(traceHex(desEncrypt(k, hex("4E6F772069732074"), {}, kECBMode)), "3FA40E8A984D4815");
  EXPECT_EQ(traceHex(retailMac(kk, now)), "A1C72E74EA3FA9B6");                 // padding 1
  EXPECT_EQ(traceHex(retailMac(kk, padIso9797(now, 8))), "E9086230CA3BE796");  // padding 2
  // MAC algorithm 1 is the CBC chain alone: the last block of DES-CBC.
  auto cbc = desEncrypt(k, now, Bytes(8, 0), kCBCMode);
  EXPECT_EQ(traceHex(Bytes(cbc.end() - 8, cbc.end())), "70A30640CC76DD8B");
  cbc = desEncrypt(k, padIso9797(now, 8), Bytes(8, 0), kCBCMode);
  EXPECT_EQ(traceHex(Bytes(cbc.end() - 8, cbc.end())), "10E1F0F108341B6D");
  // M_IFD of the ICAO 9303-11 worked example.
  EXPECT_EQ(traceHex(retailMac(hex("7862D9ECE03C1BCD4D77089DCF131442"),
                            padIso9797(hex("72C29C2371CC9BDB65B779B8E8D37B29ECC154AA56A8799FAE2F4"
                                           "98F76ED92F2"),
                                       8))),
            "5F1448EEA8AD90A7");
  // A trailing partial block is not MACed; a short key gives nothing rather than a crash.
  Bytes longer = now;
  longer.push_back(0x55);
  EXPECT_EQ(retailMac(kk, longer), retailMac(kk, now));
  EXPECT_TRUE(retailMac(k, now).empty());
}

TEST(CipherWrapperTest, TripleDesKeyFormsAndFailures) {
  const Bytes k16 = hex("AB94FCEDF2664EDFB9B291F85D7F77F2");
  const Bytes k24 = hex("AB94FCEDF2664EDFB9B291F85D7F77F2AB94FCEDF2664EDF");
  const Bytes s = hex("781723860C06C2264608F919887022120B795240CB7049B01C19B33E32804F0B");
  const Bytes iv(8, 0);
  const Bytes e = tripleDESEncrypt(k16, s, iv);
  EXPECT_EQ(traceHex(e), "72C29C2371CC9BDB65B779B8E8D37B29ECC154AA56A8799FAE2F498F76ED92F2");
  EXPECT_EQ(tripleDESEncrypt(k24, s, iv), e);
  EXPECT_EQ(tripleDESDecrypt(k16, e, iv), s);
  // Not whole blocks, bad key sizes, short IVs: empty, never a crash.
  EXPECT_TRUE(tripleDESEncrypt(k16, Bytes(12, 1), iv).empty());
  EXPECT_TRUE(tripleDESEncrypt(Bytes(10, 1), s, iv).empty());
  EXPECT_TRUE(tripleDESEncrypt(k16, s, Bytes(3, 0)).empty());
  EXPECT_TRUE(desEncrypt(Bytes(4, 1), Bytes(8, 0), iv, kCBCMode).empty());
  EXPECT_TRUE(AESEncrypt(Bytes(15, 1), Bytes(16, 0), Bytes(16, 0)).empty());
  // AES wrappers round-trip.
  const Bytes aesKey(32, 7);
  const Bytes block = hex("00112233445566778899AABBCCDDEEFF");
  EXPECT_EQ(AESDecrypt(aesKey, AESEncrypt(aesKey, block, Bytes(16, 0)), Bytes(16, 0)), block);
  EXPECT_EQ(AESECBEncrypt(aesKey, block), AESEncrypt(aesKey, block, Bytes(16, 0)));
}

TEST(PaddingTest, PadAndUnpad) {
  EXPECT_EQ(padIso9797(hex("0102030405"), 8), hex("0102030405800000"));
  EXPECT_EQ(padIso9797({}, 8), hex("8000000000000000"));
  EXPECT_EQ(padIso9797(hex("0102030405060708"), 8), hex("01020304050607088000000000000000"));
  struct Case {
    const char* in;
    const char* out;
  };
  for (const Case& c :
       {Case{"0102800000", "0102"}, Case{"0180", "01"}, Case{"0102", "0102"},
        Case{"01050000", "01050000"}, Case{"", ""}, Case{"0000", "0000"}, Case{"80", ""}}) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(unpadIso9797(hex(c.in)), hex(c.out));
  }
}

TEST(Asn1LengthTest, DecodeEncodeAndRefusals) {
  EXPECT_EQ(decodeAsn1Length(hex("7F")), (Asn1Length{127, 1}));
  EXPECT_EQ(decodeAsn1Length(hex("8180")), (Asn1Length{128, 2}));
  EXPECT_EQ(decodeAsn1Length(hex("820100")), (Asn1Length{256, 3}));
  // Faces past 64 KB carry three- and four-byte lengths.
  EXPECT_EQ(decodeAsn1Length(hex("83011B89")), (Asn1Length{72585, 4}));
  EXPECT_EQ(decodeAsn1Length(hex("83010000")), (Asn1Length{65536, 4}));
  EXPECT_EQ(decodeAsn1Length(hex("8400FFFFFF")), (Asn1Length{0xFFFFFF, 5}));
  // Cut short, indefinite, wider than four bytes, or more than any file holds.
  for (const char* bad : {"80", "", "81", "8201", "830100", "84000100", "8401000000",
                          "84FFFFFFFF", "850000000001"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(thrownKind([&] { decodeAsn1Length(hex(bad)); }), K::CannotDecodeASN1Length);
  }
  struct Case {
    long long value;
    const char* bytes;
  };
  for (const Case& c : {Case{0, "00"}, Case{127, "7F"}, Case{128, "8180"}, Case{255, "81FF"},
                        Case{256, "820100"}, Case{65535, "82FFFF"}}) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(encodeAsn1Length(c.value), hex(c.bytes)) << c.value;
  }
  EXPECT_EQ(thrownKind([] { encodeAsn1Length(65536); }), K::InvalidASN1Value);
  EXPECT_EQ(thrownKind([] { encodeAsn1Length(-1); }), K::InvalidASN1Value);
}

TEST(ConversionTest, HexIntegersXor) {
  EXPECT_EQ(hexStringToBytes("0c"), hex("0C"));
  EXPECT_EQ(hexStringToBytes("1234"), hex("1234"));
  EXPECT_EQ(hexStringToBytes("abc"), hex("AB0C"));
  EXPECT_TRUE(hexStringToBytes("").empty());
  EXPECT_TRUE(hexStringToBytes("zz").empty());
  EXPECT_EQ(bytesToUInt64(hex("0000000000000001")), 1u);
  EXPECT_EQ(bytesToUInt64(hex("0100")), 256u);
  EXPECT_EQ(bytesToInt(hex("7FFFFFFFFFFFFFFF")), INT64_MAX);
  EXPECT_EQ(thrownKind([] { bytesToUInt64({}); }), K::InvalidDataPassed);
  EXPECT_EQ(thrownKind([] { bytesToUInt64(Bytes(9, 0)); }), K::InvalidDataPassed);
  EXPECT_EQ(thrownKind([] { bytesToInt(hex("8000000000000000")); }), K::InvalidDataPassed);
  EXPECT_EQ(byteToInt(0xFF), 255);
  EXPECT_EQ(xorBytes(hex("0102"), hex("030405")), hex("0206"));
  EXPECT_TRUE(xorBytes(hex("010203"), hex("01")).empty());
  EXPECT_EQ(randomBytes(5).size(), 5u);
  EXPECT_EQ(traceHex(sha1Digest(platform::crypto::view("L898902C<369080619406236"))),
            "239AB9CB282DAF66231DC5A4DF6BFBAEDF477565");
}

TEST(KeyDerivationTest, IcaoKeysAndAlgorithmTable) {
  SecureMessagingSessionKeyGenerator g;
  const Bytes kseed = hex("239AB9CB282DAF66231DC5A4DF6BFBAE");
  const Bytes kenc = g.deriveKey(kseed, "DESede", 128, std::nullopt, 0);
  EXPECT_EQ(traceHex(kenc), "AB94FCEDF2664EDFB9B291F85D7F77F2AB94FCEDF2664EDF");
  EXPECT_EQ(traceHex(g.deriveKey(kseed, "DESede", 128, std::nullopt, 1)),
            "7862D9ECE03C1BCD4D77089DCF1314427862D9ECE03C1BCD");
  EXPECT_EQ(g.deriveKey(kseed, "DESede", 112, std::nullopt, 0), kenc);
  // Session keys of the example from K.IFD xor K.ICC.
  const Bytes seed = hex("0036D272F5C350ACAC50C3F572D23600");
  EXPECT_EQ(traceHex(g.deriveKey(seed, "DESede", 128, std::nullopt, 0)).substr(0, 32),
            "969EC03B1CBFE9DDD11AB1FED206EBE4");
  EXPECT_EQ(traceHex(g.deriveKey(seed, "DESede", 128, std::nullopt, 1)).substr(0, 32),
            "F0CA1E1EB5ADF208816B88DD579CC1F8");
  // A nonce goes between seed and counter.
  const Bytes nonce = hex("0102");
  Bytes manual = kseed;
  manual.insert(manual.end(), {0x01, 0x02, 0x00, 0x00, 0x00, 0x01});
  const Bytes digest = platform::crypto::sha1(manual);
  EXPECT_EQ(g.deriveKey(kseed, "AES", 128, nonce, 0), Bytes(digest.begin(), digest.begin() + 16));

  struct Case {
    const char* name;
    int bits;
    std::size_t size;  // 0: refused with InvalidDataPassed
    const char* reason;
  };
  for (const Case& c :
       {Case{"AES", 128, 16, ""}, Case{"AES", 192, 24, ""}, Case{"AES", 256, 32, ""},
        Case{"AES-256", 256, 32, ""},
        Case{"AES", 512, 0, "Unsupported cipher algorithm or key length"},
        Case{"3DES", 128, 0, "Unsupported cipher algorithm or key length"},
        Case{"DESede", 192, 0, "Can only use DESede with 128-but key length"},
        Case{"AES-128", 256, 0, "Unsupported cipher algorithm or key length"},
        Case{"AES-256", 100, 0, "Can only use AES with 128-bit, 192-bit key or 256-bit length"}}) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.bits));
    if (c.size) {
      EXPECT_EQ(g.deriveKey(kseed, c.name, c.bits, std::nullopt, 0).size(), c.size);
    } else {
      try {
        g.deriveKey(kseed, c.name, c.bits, std::nullopt, 0);
        ADD_FAILURE() << "accepted";
      } catch (const PassportReaderError& e) {
        EXPECT_EQ(e.kind(), K::InvalidDataPassed);
        EXPECT_EQ(e.reason(), c.reason);
      }
    }
  }
  EXPECT_EQ(g.digestAlgorithm("AES-192", 0), "SHA256");
  EXPECT_EQ(g.hash("SHA512", {kseed}).size(), 64u);
  EXPECT_EQ(thrownKind([&] { g.hash("md5", {kseed}); }), K::InvalidHashAlgorithmSpecified);
}

TEST(PassportReaderErrorTest, MessagesAndSheetTexts) {
  EXPECT_EQ(PassportReaderError::ResponseError("File not found", 0x6A, 0x82).message(),
            "File not found");
  EXPECT_EQ(PassportReaderError::InvalidDataPassed("abc").message(), "Invalid data passed - abc");
  EXPECT_EQ(PassportReaderError::NotYetSupported("x").message(), "Not yet supported - x");
  EXPECT_EQ(PassportReaderError::UserCanceled().errorDescription(), "UserCanceled");
  EXPECT_EQ(PassportReaderError::InvalidHashAlgorithmSpecified().message(),
            "InvalidHashAlgorithmSpecified");
  EXPECT_EQ((OpenSSLError{OpenSSLError::Kind::UnableToDecryptRSASignature, "r"}.errorDescription()),
            "DatUnable to decrypt RSA Signature r!");

  auto localize = [](const std::string& key) { return "<" + key + ">"; };
  const std::string white = "\u26AA\uFE0F ";
  const std::string green = "\U0001F7E2 ";
  auto bar = [&](int n) {
    std::string b;
    for (int i = 0; i < 10; ++i) b += i < n ? green : white;
    return b;
  };
  const std::string title = "<nfc_reading_title_reading>";
  struct Case {
    int progress;
    int greens;
  };
  for (const Case& c :
       {Case{0, 0}, Case{9, 0}, Case{10, 1}, Case{100, 10}, Case{-5, 0}, Case{250, 10}}) {
    SCOPED_TRACE(c.progress);
    EXPECT_EQ(NFCViewDisplayMessage::authenticatingWithPassport(c.progress).text(localize, 18),
              title + "\n" + bar(c.greens));
    EXPECT_EQ(NFCViewDisplayMessage::readingDataGroupProgress(DataGroupId::DG2, c.progress)
                  .text(localize, 17),
              title + "\n\n" + bar(c.greens));
  }
  using M = NFCViewDisplayMessage;
  EXPECT_EQ(M::requestPresentPassport().text(localize, 18), "<nfc_reading_request_present>");
  EXPECT_EQ(M::successfulRead().text(localize, 18), "<nfc_read_successfully>");
  EXPECT_EQ(M::error(PassportReaderError::TagNotValid()).text(localize, 18),
            "<nfc_error_invalid_chip>");
  EXPECT_EQ(M::error(PassportReaderError::ConnectionError()).text(localize, 18),
            "<nfc_error_card_lost_connection>");
  EXPECT_EQ(M::error(PassportReaderError::InvalidMRZKey()).text(localize, 18), "<nfc_invalid_mrz>");
  EXPECT_EQ(M::error(PassportReaderError::MoreThanOneTagFound()).text(localize, 18),
            "<nfc_more_one_tag_found>");
  EXPECT_EQ(M::error(PassportReaderError::UnableToUnprotectAPDU()).text(localize, 18),
            "<nfc_common_error>");
  EXPECT_EQ(M::error(PassportReaderError::ResponseError("x", 1, 2)).text(localize, 18),
            "<nfc_common_error>");
  // Without a lookup of its own the sheet reads the library's language dictionary.
  EXPECT_EQ(M::successfulRead().text(), "");
  setLanguageDictionary({{"nfc_read_successfully", "Đọc chip thành công"}});
  EXPECT_EQ(M::successfulRead().text(), "Đọc chip thành công");
  setLanguageDictionary(platform::JSON::object());
}

TEST(DataGroupIdTest, TagsNamesAndFiles) {
  EXPECT_EQ(DataGroupId::fromRawValue(0x75), DataGroupId::DG2);
  EXPECT_FALSE(DataGroupId::fromRawValue(0x62));
  EXPECT_FALSE(DataGroupId::fromRawValue(0x64));
  EXPECT_EQ(DataGroupId::fromRawValue(0), DataGroupId::Unknown);
  for (const char* name : {"Common", "SecurityData", "dg1", ""}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(DataGroupId::fromName(name), DataGroupId::Unknown) << name;
  }
  EXPECT_EQ(DataGroupId::fromName("DG10"), DataGroupId::DG10);
  EXPECT_FALSE(DataGroupId(DataGroupId::Unknown).fileId());
  EXPECT_EQ(DataGroupId(DataGroupId::SOD).fileId(), hex("011D"));
  EXPECT_EQ(DataGroupId(DataGroupId::COM).fileId(), hex("011E"));
  EXPECT_EQ(DataGroupId(DataGroupId::DG16).fileId(), hex("0110"));
  const auto& all = DataGroupId::allCases();
  ASSERT_EQ(all.size(), 19u);
  for (std::size_t i = 1; i <= 16; ++i) {
    EXPECT_EQ(all[i].name(), "DG" + std::to_string(i));
    EXPECT_EQ(DataGroupId::fromName(all[i].name()), all[i]);
  }
}

TEST(LogTest, TextsAreFormedOnlyAtTheirLevel) {
  const int saved = Log::logLevel();
  int formed = 0;
  auto text = [&] {
    ++formed;
    return std::string("secret");
  };
  Log::setLogLevel(2);
  Log::debugTrace(text);
  EXPECT_EQ(formed, 0);
  Log::infoTrace(text);
  Log::errorTrace(text);
  EXPECT_EQ(formed, 2);
  Log::debugTrace([]() -> std::string { throw std::runtime_error("trace failed"); });
  Log::setLogLevel(1);
  Log::debugTrace([]() -> std::string { throw std::runtime_error("trace failed"); });
  Log::setLogLevel(saved);
}

}  // namespace
}  // namespace ostrel
