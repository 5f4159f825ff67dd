#include <gtest/gtest.h>

#include "core/DeviceMetadata.hpp"
#include "core/OSLConfig.hpp"
#include "core/OSLFlowType.hpp"
#include "session/Ostrel.hpp"
#include "core/OstrelScanNFCError.hpp"
#include "core/OstrelVersion.hpp"
#include "testing/RuntimeFixture.hpp"

namespace ostrel {
namespace {

using platform::JSON;

TEST(FlowTypeTest, KeysAndLookupInLowerCase) {
  for (const auto& [name, kind] : std::vector<std::pair<std::string, OSLFlowType::Kind>>{
           {"ekyc", OSLFlowType::Kind::ekyc},
           {"EKYC", OSLFlowType::Kind::ekyc},
           {"nfc_ekyc", OSLFlowType::Kind::nfc_ekyc},
           {"Nfc_Only", OSLFlowType::Kind::nfc_only},
           {"passport", OSLFlowType::Kind::passport}}) {
    auto flow = OSLFlowType::fromKey(name);
    ASSERT_TRUE(flow) << name;
    EXPECT_EQ(flow->kind, kind);
    EXPECT_EQ(OSLFlowType::fromKey(flow->key())->kind, kind);
  }
  for (const char* name : {"", "ekyc ", "nfc-ekyc", "nfc", "passports"}) {
    EXPECT_FALSE(OSLFlowType::fromKey(name)) << name;
  }
  auto only = OSLFlowType::nfc_only("MRZ", "ZmFjZQ==");
  EXPECT_EQ(only.mrz, "MRZ");
  EXPECT_EQ(only.faceData, "ZmFjZQ==");
  EXPECT_EQ(static_cast<int>(OSLFlowType::Kind::nfc_ekyc), 0);
  EXPECT_EQ(static_cast<int>(OSLFlowType::Kind::passport), 3);
}

TEST(EnumerationsTest, RawValuesTheHostSees) {
  EXPECT_EQ(static_cast<int>(OSLLogLevel::debug), 1);
  EXPECT_EQ(static_cast<int>(OSLLogLevel::error), 4);
  EXPECT_FALSE(logLevelFromRaw(0));
  EXPECT_EQ(logLevelFromRaw(3), OSLLogLevel::warning);
  EXPECT_STREQ(variantKey(OSLFaceLivenessVersion::passive), "p");
  EXPECT_STREQ(variantKey(OSLFaceLivenessVersion::semiActive), "sa");
  EXPECT_STREQ(variantKey(OSLFaceLivenessVersion::active), "a");
  EXPECT_EQ(faceLivenessVersionFromKey("a"), OSLFaceLivenessVersion::active);
  EXPECT_FALSE(faceLivenessVersionFromKey("x"));
  for (int code : {400, 51, 21, 401}) {
    EXPECT_EQ(static_cast<int>(scanNFCErrorFromCode(code)), code);
  }
  for (int code : {0, 12, 500, -1, 402}) {
    EXPECT_EQ(scanNFCErrorFromCode(code), OstrelScanNFCError::unknown);
  }
  EXPECT_EQ(static_cast<int>(OSLConfig::Event::cancelled), 0);
  EXPECT_EQ(static_cast<int>(OSLConfig::Event::expired), 1);
  EXPECT_EQ(static_cast<int>(OSLConfig::ResultType::failure), 1);
}

TEST(ConfigTest, DefaultsAndChainedSetters) {
  auto config = OSLConfig::Builder("token");
  EXPECT_EQ(config->session, "token");
  EXPECT_EQ(config->baseUrl, OSLConfig::defaultBaseUrl());
  EXPECT_FALSE(config->baseUrl.empty());
  EXPECT_EQ(config->livenessTimeoutSeconds, 60);
  EXPECT_EQ(config->scanNFCTimeoutSeconds, 60);
  EXPECT_FALSE(config->getFullResult);
  EXPECT_FALSE(config->showResultScreen);
  EXPECT_FALSE(config->isOnlyShowReasonInResultVC);
  EXPECT_FALSE(config->isQRCodeScanEnabled);
  EXPECT_EQ(config->livenessVersion, OSLFaceLivenessVersion::passive);
  EXPECT_EQ(config->appearance->backgroundColor, "ffffff");
  EXPECT_EQ(config->appearance->mainColor, "3270EA");
  EXPECT_EQ(config->appearance->mainTextColor, "000000");
  EXPECT_EQ(config->appearance->btnTextColor, "ffffff");
  EXPECT_EQ(config->appearance->cornerRadiusButton, 10);
  EXPECT_TRUE(config->appearance->isAnimatedButton);
  EXPECT_EQ(config->appearance->language, "vi");
  EXPECT_FALSE(config->mrz);
  EXPECT_FALSE(config->logHandler);

  int events = 0;
  OSLConfig& same = config->withBaseUrl("https://server.example")
                        .withSession("other")
                        .withGetFullResult(true)
                        .withMrz("IDVNM")
                        .withEventHandler([&](OSLConfig::Event) { ++events; })
                        .withAppearance(nullptr);
  EXPECT_EQ(&same, config.get());
  EXPECT_EQ(config->baseUrl, "https://server.example");
  EXPECT_EQ(config->session, "other");
  EXPECT_TRUE(config->getFullResult);
  EXPECT_EQ(config->mrz, "IDVNM");
  ASSERT_TRUE(config->appearance);  // a null appearance puts the default back
  config->eventHandler(OSLConfig::Event::cancelled);
  EXPECT_EQ(events, 1);

  config->withBaseUrl("");  // the empty text selects the default server
  EXPECT_EQ(config->baseUrl, OSLConfig::defaultBaseUrl());

  auto appearance = OSLAppearance::create();
  appearance->withLanguage("en").withMainColor("ff0000").withCornerRadiusButton(4);
  config->withAppearance(appearance);
  EXPECT_EQ(config->appearance->language, "en");
  EXPECT_EQ(config->appearance->mainColor, "ff0000");
}

TEST(ConfigTest, ResultFactories) {
  auto ok = OSLConfig::Result::success(JSON{{"k", 1}});
  EXPECT_EQ(ok.type, OSLConfig::ResultType::success);
  EXPECT_FALSE(ok.error);
  auto failed = OSLConfig::Result::failure(OstrelError(12, "bad"));
  EXPECT_EQ(failed.type, OSLConfig::ResultType::failure);
  EXPECT_EQ(failed.error->code, 12);
}

TEST(OstrelTest, SharedInstanceHoldsAConfigurationAndFlow) {
  auto shared = Ostrel::shared();
  EXPECT_EQ(shared, Ostrel::shared());
  auto config = OSLConfig::Builder("abc");
  shared->setConfig(config);
  EXPECT_EQ(shared->config(), config);
  shared->setConfig(nullptr);
  ASSERT_TRUE(shared->config());
  EXPECT_NE(shared->config(), config);
  EXPECT_EQ(shared->config()->session, "");
  EXPECT_EQ(shared->flowType().kind, OSLFlowType::Kind::ekyc);
  shared->setFlowType(OSLFlowType::passport());
  EXPECT_TRUE(shared->flowType().isPassport());
  shared->setFlowType(OSLFlowType::ekyc());
}

class DeviceMetadataTest : public testing::RuntimeTest {};

TEST_F(DeviceMetadataTest, CarriesTheFiveKeys) {
  runtime().setWallClock(platform::Date{1767225600.25});
  auto metadata = deviceMetadata();
  EXPECT_EQ(metadata["timestamp"], "2026-01-01T00:00:00.250Z");
  EXPECT_EQ(metadata["os_platform"], "iOS");
  EXPECT_EQ(metadata["os_version"], "17.5");
  EXPECT_EQ(metadata["device_model"], "iPhone14,2");
  EXPECT_EQ(metadata["sdk_version"], "2.8.3");
  EXPECT_EQ(metadata.size(), 5u);
  EXPECT_EQ(deviceModelIdentifier(), "iPhone14,2");

  setCaptureDeviceDescription("Back Camera");
  auto header = JSON::parse(deviceMetadataHeaderValue());
  EXPECT_EQ(header["camera"], "Back Camera");
  EXPECT_EQ(header["device_model"], "iPhone14,2");
  EXPECT_FALSE(header.contains("timestamp"));
  setCaptureDeviceDescription("");
  EXPECT_EQ(deviceMetadataHeaderName(), "X-Device-Metadata");
  EXPECT_STREQ(OstrelSDKVersionString, "2.8.3");
}

}  // namespace
}  // namespace ostrel
