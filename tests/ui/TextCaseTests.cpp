#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "core/OSLConfig.hpp"
#include "core/OSLFlowType.hpp"
#include "platform/ui/Text.hpp"

namespace ostrel::platform {
namespace {

// Puts the process in a Turkish default locale (ICU's always; the C library's too when the
// system has it), and back afterwards.
class TurkishDefaultLocale {
 public:
  TurkishDefaultLocale() : previous_(icu::Locale::getDefault()) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("tr", "TR"), status);
    ok_ = U_SUCCESS(status);
    std::setlocale(LC_ALL, "tr_TR.UTF-8");
  }
  ~TurkishDefaultLocale() {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(previous_, status);
    std::setlocale(LC_ALL, "C");
  }
  bool ok() const { return ok_; }

 private:
  icu::Locale previous_;
  bool ok_ = false;
};

TEST(TextCaseTest, ConversionsKeepToTheRootLocaleWhateverTheProcessDefault) {
  TurkishDefaultLocale turkish;
  ASSERT_TRUE(turkish.ok());
  // The default really is Turkish: ICU's default-locale conversion dots the capital i.
  std::string dotted;
  icu::UnicodeString("i").toUpper().toUTF8String(dotted);
  ASSERT_EQ(dotted, "İ");

  struct Row {
    std::string text, upper, lower;
  };
  for (const Row& row : {Row{"i", "I", "i"}, Row{"I", "I", "i"},
                         Row{"eid_back", "EID_BACK", "eid_back"},
                         Row{"nfc_ekyc", "NFC_EKYC", "nfc_ekyc"},
                         Row{"IDVNM1234<5", "IDVNM1234<5", "idvnm1234<5"},
                         Row{"Nguyễn Văn Đức", "NGUYỄN VĂN ĐỨC", "nguyễn văn đức"}}) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(uppercased(row.text), row.upper);
    EXPECT_EQ(lowercased(row.text), row.lower);
  }
  // A locale named by the caller is still honoured.
  EXPECT_EQ(uppercased("i", "tr"), "İ");
  EXPECT_EQ(lowercased("I", "tr"), "ı");

  // What the library compares with fixed keys still matches.
  EXPECT_TRUE(OSLFlowType::fromKey("NFC_EKYC"));
  EXPECT_TRUE(OSLFlowType::fromKey("PassPort"));
  auto config = OSLConfig::Builder("token");
  config->withBaseUrl("HTTPS://VERIFY.EXAMPLE");
  EXPECT_NE(config->validationError(), OSLConfig::ErrorKind::invalidBaseUrl);
}

}  // namespace
}  // namespace ostrel::platform
