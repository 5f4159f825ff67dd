// Known answers made with the openssl command line under the placeholder key and IV of the
// build ("PLACEHOLDER-PAYLOAD-KEY-32-BYTES", "PLACEHOLDER-IV16", salt "PLACEHOLDER"), e.g.
//   printf 'abcdefghijklmno\x0c' | openssl enc -aes-256-cbc -K <key hex> -iv <iv hex> | xxd -p
#include <gtest/gtest.h>

#include "network/OSLCrypto.hpp"

namespace ostrel {
namespace {

TEST(PayloadCipherTest, MatchesTheKnownAnswers) {
  struct Row {
    std::string text;
    const char* hex;
  };
  const Row rows[] = {
      {"", "e3817f4260b01ed2710ef1477837f0d0"},
      {"abcdefghijklmno", "8a69549966f22ad59feea519c0a0bbb585dab27c18de5d9873df579e97b262ad"},
      {"abcdefghijklmnop", "4baba3ab025293a840aa5432aaa4a0a3d313a0930d7e6913255ee1cdaa686fab"},
      {"abcdefghijklmnopq",
       "4baba3ab025293a840aa5432aaa4a0a334090b640c2a455dc79807c727c830202c8cea959c860f466bd15200"
       "78e66278"},
      {"N\xe1\xbb\xaf", "4b430b1a8a8b6d9120010767dd2128c3d7b92b9fd821eec7229bc86fb06fba23"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(OSLCrypto::encrypt(row.text), row.hex) << row.text.size() << " bytes";
    EXPECT_EQ(OSLCrypto::decrypt(row.hex), row.text);
  }
}

TEST(PayloadCipherTest, RejectsWhatItCannotDecrypt) {
  EXPECT_FALSE(OSLCrypto::decrypt(""));
  EXPECT_FALSE(OSLCrypto::decrypt("zz"));
  EXPECT_FALSE(OSLCrypto::decrypt("e3817f4260b01ed2710ef1477837f0"));    // not whole blocks
  EXPECT_FALSE(OSLCrypto::decrypt("e3817f4260b01ed2710ef1477837f0d1"));  // bad padding
}

TEST(PayloadCipherTest, KeyAndIVCanBeReplaced) {
  OSLCrypto::setKeyAndIV(std::pair<std::string, std::string>{"short", "iv"});
  EXPECT_EQ(OSLCrypto::encrypt("abc"), "");
  EXPECT_FALSE(OSLCrypto::decrypt("e3817f4260b01ed2710ef1477837f0d0"));
  OSLCrypto::setKeyAndIV(
      std::pair<std::string, std::string>{std::string(32, 'k'), std::string(16, 'i')});
  auto other = OSLCrypto::encrypt("");
  EXPECT_EQ(other.size(), 32u);
  EXPECT_NE(other, "e3817f4260b01ed2710ef1477837f0d0");
  OSLCrypto::setKeyAndIV(std::nullopt);
  EXPECT_EQ(OSLCrypto::encrypt(""), "e3817f4260b01ed2710ef1477837f0d0");
}

TEST(SignaturesTest, MatchTheKnownAnswers) {
  const platform::Bytes jpeg = {0xff, 0xd8, 0xff, 0xe0, 'f', 'i', 'x',  'e',
                                'd',  '-',  'j',  'p',  'e', 'g', 0xff, 0xd9};
  const std::string card = Signatures::cardImage(jpeg);
  EXPECT_EQ(card.size(), 160u);
  EXPECT_EQ(card,
            "c51823d3ec18c94e558d329ae61d390aec6abb0a6d56bb86fe08a0a922694726a1a372315afa9142"
            "04954b737df275eb311a036fa4fbf8c00dbc278a11d8b3a4389f9ca85a7dccac9bb17f57d0e83cc6");
  EXPECT_EQ(OSLCrypto::decrypt(card),
            "3aeff96a0ad44f66604f2d743cf3da02fe0ad4181db213d16d7a2f087a6c8b6b");
  EXPECT_EQ(Signatures::location("iPhone14,2"), "b12578e2a2b63bf935d25cc91fd6d91e");
  Signatures::setSalt("ANOTHERSALT");
  EXPECT_NE(Signatures::location("iPhone14,2"), "b12578e2a2b63bf935d25cc91fd6d91e");
  Signatures::setSalt(std::nullopt);
  EXPECT_EQ(Signatures::location("iPhone14,2"), "b12578e2a2b63bf935d25cc91fd6d91e");
}

}  // namespace
}  // namespace ostrel
