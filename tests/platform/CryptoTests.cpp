#include <string>

#include <gtest/gtest.h>

#include "platform/crypto/Crypto.hpp"
#include "testing/TestHelpers.hpp"

namespace ostrel::platform::crypto {
namespace {

using ostrel::testing::hex;

TEST(DigestTest, KnownAnswersOnAbc) {
  const auto abc = view("abc");
  EXPECT_EQ(hexString(md5(abc)), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(hexString(sha1(abc)), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(hexString(sha256(abc)),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(hexString(sha384(abc)).substr(0, 16), "cb00753f45a35e8b");
  EXPECT_EQ(hexString(sha512(abc)).substr(0, 16), "ddaf35a193617aba");
}

TEST(HexTest, ParsesBothCasesAndRejectsJunk) {
  EXPECT_EQ(bytesFromHex("00ff Ab"), (Bytes{0x00, 0xff, 0xab}));
  EXPECT_FALSE(bytesFromHex("abc"));
  EXPECT_FALSE(bytesFromHex("zz"));
}

TEST(CipherTest, AesCbcMatchesNistVector) {
  // NIST SP 800-38A F.2.5, first block.
  auto key = hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
  auto iv = hex("000102030405060708090a0b0c0d0e0f");
  auto plain = hex("6bc1bee22e409f96e93d7e117393172a");
  auto r = crypt(Operation::encrypt, CipherAlgorithm::aes, CipherMode::cbc, false, key, iv, plain);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(hexString(r.data), "f58c4c04d6e5f1ba779eabfb5f7bfbd6");
  auto padded =
      crypt(Operation::encrypt, CipherAlgorithm::aes, CipherMode::cbc, true, key, iv, plain);
  EXPECT_EQ(padded.data.size(), 32u);
  auto back =
      crypt(Operation::decrypt, CipherAlgorithm::aes, CipherMode::cbc, true, key, iv, padded.data);
  EXPECT_EQ(back.data, plain);
  padded.data.back() ^= 1;
  EXPECT_FALSE(
      crypt(Operation::decrypt, CipherAlgorithm::aes, CipherMode::cbc, true, key, iv, padded.data)
          .ok);
}

TEST(CipherTest, TwoKeyTripleDesMatchesTheIcaoBacExample) {
  // ICAO 9303-11 worked example: E_IFD from S under K_enc.
  auto kenc = hex("AB94FDECF2674FDFB9B391F85D7F76F2");
  auto s = hex("781723860C06C2264608F919887022120B795240CB7049B01C19B33E32804F0B");
  auto r =
      crypt(Operation::encrypt, CipherAlgorithm::tripleDES, CipherMode::cbc, false, kenc, {}, s);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(hexString(r.data), "72c29c2371cc9bdb65b779b8e8d37b29ecc154aa56a8799fae2f498f76ed92f2");
}

TEST(CipherTest, SingleDesWithoutTheLegacyProvider) {
  // FIPS 81 style check: DES-ECB of "Now is t" under 0123456789ABCDEF.
  auto key = hex("0123456789ABCDEF");
  auto r = crypt(Operation::encrypt, CipherAlgorithm::des, CipherMode::ecb, false, key, {},
                 view("Now is t"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(hexString(r.data), "3fa40e8a984d4815");
}

TEST(CipherTest, BadInputIsAnErrorNotACrash) {
  auto key = hex("0123456789ABCDEF");
  EXPECT_FALSE(crypt(Operation::encrypt, CipherAlgorithm::des, CipherMode::ecb, false, key, {},
                     view("short"))
                   .ok);
  EXPECT_FALSE(crypt(Operation::encrypt, CipherAlgorithm::aes, CipherMode::cbc, false, key, {},
                     view("0123456789abcdef"))
                   .ok);
  EXPECT_FALSE(crypt(Operation::encrypt, CipherAlgorithm::aes, CipherMode::cbc, false,
                     hex("000102030405060708090a0b0c0d0e0f"), hex("0001"), view("0123456789abcdef"))
                   .ok);
}

TEST(RandomTest, InjectableSource) {
  setRandomSource([](std::size_t n) { return Bytes(n, 0x42); });
  EXPECT_EQ(randomBytes(3), (Bytes{0x42, 0x42, 0x42}));
  setRandomSource({});
  EXPECT_EQ(randomBytes(16).size(), 16u);
  EXPECT_NE(randomBytes(16), randomBytes(16));
}

}  // namespace
}  // namespace ostrel::platform::crypto
