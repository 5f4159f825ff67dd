#include <gtest/gtest.h>

#include "core/DictionaryExtensions.hpp"
#include "core/Localization.hpp"
#include "core/OstrelError.hpp"

namespace ostrel {
namespace {

using platform::JSON;

class LocalizationTest : public ::testing::Test {
 protected:
  void TearDown() override { setLanguageDictionary(JSON::object()); }
};

const JSON kValues = {
    {"text", "Xin chào"},
    {"empty", ""},
    {"zero_text", "0"},
    {"int", 42},
    {"neg", -7},
    {"double", 2.5},
    {"whole_double", 3.0},
    {"true", true},
    {"false", false},
    {"null", nullptr},
    {"array", {1, 2}},
    {"object", {{"a", 1}}},
    {"big", 18446744073709551615ull},
    {"small_double", 0.1},
};

TEST_F(LocalizationTest, ReadersFollowTheValueKinds) {
  struct Row {
    const char* key;
    std::string text;
    bool flag;
    std::int64_t number;  // with default 99
  };
  const Row rows[] = {
      {"text", "Xin chào", true, 99},
      {"empty", "", false, 99},
      {"zero_text", "0", false, 99},
      {"int", "42", true, 42},
      {"neg", "-7", true, -7},
      {"double", "2.5", true, 99},
      {"whole_double", "3", true, 3},
      {"true", "", true, 99},
      {"false", "", false, 99},
      {"null", "", false, 99},
      {"array", "", false, 99},
      {"object", "", false, 99},
      {"missing", "", false, 99},
      {"small_double", "0.1", true, 99},
      {"big", "18446744073709551615", true, 99},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.key);
    EXPECT_EQ(stringValue(row.key, kValues), row.text);
    EXPECT_EQ(boolValue(row.key, kValues), row.flag);
    EXPECT_EQ(intValue(row.key, kValues, 99), row.number);
  }
}

TEST_F(LocalizationTest, AnAbsentDictionaryReadsAsEmpty) {
  for (const JSON& notADictionary : {JSON(), JSON::array({1}), JSON("text"), JSON(3)}) {
    SCOPED_TRACE(notADictionary.dump());
    EXPECT_EQ(stringValue("key", notADictionary), "");
    EXPECT_FALSE(boolValue("key", notADictionary));
    EXPECT_EQ(intValue("key", notADictionary, 5), 5);
  }
}

TEST_F(LocalizationTest, LocalizeReadsTheProcessDictionary) {
  EXPECT_EQ(osl_localize("text"), "");  // nothing before the sync
  setLanguageDictionary(kValues);
  EXPECT_FALSE(languageDictionaryIsEmpty());
  EXPECT_EQ(osl_localize("text"), "Xin chào");
  EXPECT_EQ(osl_localize("int"), "42");
  EXPECT_EQ(osl_localize("double"), "2.5");
  EXPECT_EQ(osl_localize("true"), "");
  EXPECT_EQ(osl_localize("object"), "");
  EXPECT_EQ(osl_localize("missing"), "");
  EXPECT_EQ(osl_localize(""), "");
  setLanguageDictionary(JSON::array());  // not a dictionary: treated as empty
  EXPECT_TRUE(languageDictionaryIsEmpty());
  EXPECT_EQ(osl_localize("text"), "");
}

TEST_F(LocalizationTest, ErrorsFromACodeTakeTheirLocalisedText) {
  setLanguageDictionary({{"error_timeout", "Hết hạn"},
                         {"error_service_temporary_down", "Dịch vụ gián đoạn"},
                         {"error_network", "Lỗi mạng"},
                         {"error_unknown", "Lỗi"}});
  EXPECT_EQ(OstrelError::fromCode(401), OstrelError(401, "Hết hạn"));
  EXPECT_EQ(OstrelError::fromCode(500), OstrelError(500, "Dịch vụ gián đoạn"));
  EXPECT_EQ(OstrelError::fromCode(-1), OstrelError(-1, "Lỗi mạng"));
  EXPECT_EQ(OstrelError::fromCode(12), OstrelError(12, "Lỗi"));
  EXPECT_STREQ(OstrelError::fromCode(12).what(), "Lỗi");
  EXPECT_EQ(OstrelError::fromCode(12).localizedDescription(), "Lỗi");
}

TEST(DictionaryExtensionsTest, AppendMergesWithTheOtherWinning) {
  JSON base = {{"a", 1}, {"b", {{"x", 1}}}};
  const JSON other = {{"b", 2}, {"c", "three"}};
  JSON merged = osl_appending(base, other);
  EXPECT_EQ(merged, JSON({{"a", 1}, {"b", 2}, {"c", "three"}}));
  EXPECT_EQ(base, JSON({{"a", 1}, {"b", {{"x", 1}}}}));  // appending leaves the original alone

  osl_append(base, other);
  EXPECT_EQ(base, merged);
  osl_append(base, JSON::array({1}));  // nothing to merge
  EXPECT_EQ(base, merged);
  JSON notObject = 5;
  osl_append(notObject, {{"k", true}});
  EXPECT_EQ(notObject, JSON({{"k", true}}));
}

}  // namespace
}  // namespace ostrel
