#include <gtest/gtest.h>

#include "core/DeviceMetadata.hpp"
#include "network/OSLCrypto.hpp"
#include "network/OstrelClient.hpp"
#include "platform/crypto/Crypto.hpp"
#include "testing/LanguageDictionary.hpp"
#include "testing/SamplePerson.hpp"
#include "tests/network/ServerTest.hpp"

namespace ostrel {
namespace {

using platform::JSON;
using testing::RecordedRequest;
using testing::ScriptedReply;
using JSONOutcome = Outcome<JSON>;

platform::ImagePtr cardImage() {
  cv::Mat rgba(96, 128, CV_8UC4, cv::Scalar(20, 120, 220, 255));
  rgba(cv::Rect(10, 10, 40, 30)).setTo(cv::Scalar(250, 250, 250, 255));
  return std::make_shared<platform::Image>(rgba);
}

class ServerCallsTest : public ServerTest {
 protected:
  void expectCommonHeaders(const RecordedRequest& request) {
    EXPECT_EQ(request.header("Authorization"), kSession);
    auto device = request.header("X-Device-Metadata");
    ASSERT_TRUE(device);
    auto metadata = JSON::parse(*device, nullptr, false);
    EXPECT_EQ(metadata["device_model"], "iPhone14,2");
    EXPECT_EQ(metadata["os_platform"], "iOS");
  }
};

TEST_F(ServerCallsTest, ScanCardUploadsASignedJPEG) {
  config->appearance->withLanguage("vi VN&x");
  auto outcome = await<JSONOutcome>(
      [&](auto done) { OstrelClient::scanCard(OstrelClient::kScanFrontPath, cardImage(), done); });
  ASSERT_TRUE(outcome.isSuccess());
  EXPECT_EQ(outcome.value()["card_type"], "eid24_front");
  auto request = server.lastRequest("/api/kyc/app/scan-front");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->method, "POST");
  EXPECT_EQ(request->queryValue("lang"), "vi VN&x");  // encoded on the way, decoded here
  expectCommonHeaders(*request);
  const auto* image = request->part("image");
  ASSERT_TRUE(image);
  EXPECT_EQ(image->filename, "image.jpg");
  EXPECT_EQ(image->contentType, "image/jpeg");
  EXPECT_EQ(static_cast<unsigned char>(image->content[0]), 0xff);
  EXPECT_EQ(static_cast<unsigned char>(image->content[1]), 0xd8);
  EXPECT_EQ(request->part("signature")->content.size(), 160u);
  EXPECT_TRUE(server.problems().empty());

  // The two-closure form, on the back side.
  int successes = 0;
  int failures = 0;
  OstrelClient::scanCard(
      OstrelClient::kScanBackPath, cardImage(), [&](const JSON&) { ++successes; },
      [&](const OstrelError&) { ++failures; });
  ASSERT_TRUE(waitUntil([&] { return successes + failures > 0; }));
  EXPECT_EQ(successes, 1);
  EXPECT_EQ(failures, 0);
  EXPECT_TRUE(server.lastRequest("/api/kyc/app/scan-back"));
}

TEST_F(ServerCallsTest, CheckSelfieSendsOnePictureAndTheLivenessFlag) {
  for (auto [version, flag] : {std::pair{OSLFaceLivenessVersion::passive, "true"},
                               std::pair{OSLFaceLivenessVersion::active, "false"}}) {
    SCOPED_TRACE(flag);
    config->withLivenessVersion(version);
    auto outcome =
        await<JSONOutcome>([&](auto done) { OstrelClient::checkSelfie(cardImage(), done); });
    EXPECT_TRUE(outcome.isSuccess());
    auto request = server.lastRequest("/api/kyc/check-selfie");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->method, "POST");
    EXPECT_EQ(request->partCount("image"), 1u);
    EXPECT_EQ(request->part("passive_liveness_check")->content, flag);
    EXPECT_EQ(request->part("lang")->content, "vi");
    expectCommonHeaders(*request);
  }
}

TEST_F(ServerCallsTest, LivenessTokenAndValidation) {
  auto token =
      await<Outcome<std::string>>([&](auto done) { OstrelClient::getLivenessToken(done); });
  ASSERT_TRUE(token.isSuccess());
  EXPECT_EQ(token.value(), "vendor-token-1");
  auto request = server.lastRequest("/api/liveness/ipr/token");
  EXPECT_EQ(request->method, "POST");
  EXPECT_EQ(request->header("Content-Type"), "application/json");
  EXPECT_EQ(request->jsonBody(), JSON::object());
  expectCommonHeaders(*request);

  // A reply without a token is a failure, not an empty token.
  for (const JSON& data : {JSON::object(), JSON{{"access_token", ""}}, JSON{{"access_token", 5}}}) {
    SCOPED_TRACE(data.dump());
    server.pushOnceReply("/api/liveness/ipr/token", ScriptedReply::data(data));
    auto missing =
        await<Outcome<std::string>>([&](auto done) { OstrelClient::getLivenessToken(done); });
    ASSERT_FALSE(missing.isSuccess()) << data;
    EXPECT_EQ(missing.error().code, 500);
  }

  auto valid = await<JSONOutcome>(
      [&](auto done) { OstrelClient::validateLiveness("vendor-token-1", done); });
  EXPECT_TRUE(valid.isSuccess());
  EXPECT_EQ(server.lastRequest("/api/liveness/ipr/validate")->jsonBody(),
            JSON({{"token", "vendor-token-1"}}));

  server.pushOnceReply("/api/liveness/ipr/validate", ScriptedReply::error(401, "expired", 401));
  auto expired = await<JSONOutcome>([&](auto done) { OstrelClient::validateLiveness("t", done); });
  ASSERT_FALSE(expired.isSuccess());
  EXPECT_EQ(expired.error(), OstrelError(401, "Phiên đã hết hạn"));
}

TEST_F(ServerCallsTest, GetImageDecodesThePicture) {
  struct Row {
    OstrelClient::ImageType type;
    const char* name;
  };
  for (auto row :
       {Row{OstrelClient::ImageType::front, "FRONT"}, Row{OstrelClient::ImageType::back, "BACK"},
        Row{OstrelClient::ImageType::selfie, "SELFIE"}}) {
    auto image = await<Outcome<platform::ImagePtr>>(
        [&](auto done) { OstrelClient::getImage(row.type, done); });
    ASSERT_TRUE(image.isSuccess());
    ASSERT_TRUE(image.value());
    EXPECT_EQ(image.value()->size(), (platform::Size{4, 4}));
    auto request = server.lastRequest("/api/data/image");
    EXPECT_EQ(request->method, "GET");
    EXPECT_EQ(request->queryValue("type"), row.name);
    EXPECT_EQ(request->queryValue("lang"), "vi");
    expectCommonHeaders(*request);
  }
  for (const JSON& data :
       {JSON::object(), JSON{{"image", "not base64!"}}, JSON{{"image", "aGVsbG8="}}}) {
    server.pushOnceReply("/api/data/image", ScriptedReply::data(data));
    auto none = await<Outcome<platform::ImagePtr>>(
        [&](auto done) { OstrelClient::getImage(OstrelClient::ImageType::selfie, done); });
    ASSERT_TRUE(none.isSuccess());
    EXPECT_FALSE(none.value());
  }
}

TEST_F(ServerCallsTest, QRCodeAndMrzCalls) {
  auto qr = await<JSONOutcome>(
      [&](auto done) { OstrelClient::submitQRCode("001099012345|Nguyễn", done); });
  ASSERT_TRUE(qr.isSuccess());
  EXPECT_TRUE(qr.value().contains("fields"));
  auto request = server.lastRequest("/api/kyc/qr-code/submit");
  EXPECT_EQ(request->method, "POST");
  EXPECT_EQ(request->jsonBody(), JSON({{"decoded_text", "001099012345|Nguyễn"}, {"lang", "vi"}}));
  expectCommonHeaders(*request);

  config->appearance->withLanguage("en");
  auto mrz = await<JSONOutcome>([&](auto done) { OstrelClient::getMrzData(done); });
  ASSERT_TRUE(mrz.isSuccess());
  EXPECT_EQ(stringValue("raw_mrz", mrz.value()),
            testing::zoneText(testing::samplePerson().td1Zone()));
  request = server.lastRequest("/api/data/get");
  EXPECT_EQ(request->method, "GET");
  EXPECT_EQ(request->queryValue("type"), "MRZ");
  EXPECT_EQ(request->queryValue("lang"), "en");
}

TEST_F(ServerCallsTest, VerifyNfcSendsTheEncryptedChipData) {
  const JSON chip = {{"dg1", "YWJj"}, {"com", "ZGVm"}, {"sod", "Z2hp"}, {"dg13", "TuG7rw=="}};
  auto outcome = await<JSONOutcome>([&](auto done) { OstrelClient::verifyNfc(chip, done); });
  ASSERT_TRUE(outcome.isSuccess());
  EXPECT_TRUE(boolValue("is_nfc_face_match_selfie", outcome.value()));
  auto request = server.lastRequest("/api/nfc/verify");
  EXPECT_EQ(request->method, "POST");
  EXPECT_EQ(request->header("Content-Type"), "text/plain");
  EXPECT_EQ(request->decryptedBody, chip);
  // Lower-case hex of whole blocks, nothing in clear.
  EXPECT_EQ(request->body.size() % 32, 0u);
  EXPECT_EQ(request->body.find_first_not_of("0123456789abcdef"), std::string::npos);
  expectCommonHeaders(*request);
  EXPECT_TRUE(server.problems().empty());
}

TEST_F(ServerCallsTest, ConfirmForms) {
  auto outcome = await<JSONOutcome>([&](auto done) {
    OstrelClient::confirm(OstrelClient::kConfirmPath, true, std::nullopt, done);
  });
  ASSERT_TRUE(outcome.isSuccess());
  EXPECT_EQ(outcome.value()["session"], "session-1");
  auto request = server.lastRequest("/api/kyc/confirm");
  EXPECT_EQ(request->method, "POST");
  EXPECT_EQ(request->queryValue("get_full_result"), "true");
  EXPECT_EQ(request->queryValue("lang"), "vi");
  EXPECT_EQ(request->jsonBody(), JSON::object());
  expectCommonHeaders(*request);

  int successes = 0;
  OstrelClient::confirm(
      OstrelClient::kConfirmPath, false, "01/01/1990", "Nữ", "001099012345", "Trần Thị B",
      "01/01/2021", "Hà Nội", "", "Hải Phòng", "Sẹo", [&](const JSON&) { ++successes; },
      [&](const OstrelError&) {});
  ASSERT_TRUE(waitUntil([&] { return successes == 1; }));
  request = server.lastRequest("/api/kyc/confirm");
  EXPECT_EQ(request->queryValue("get_full_result"), "false");
  EXPECT_EQ(request->header("Content-Type"), "application/json");
  EXPECT_EQ(request->jsonBody(), JSON({{"birthday", "01/01/1990"},
                                       {"gender", "Nữ"},
                                       {"id_number", "001099012345"},
                                       {"name", "Trần Thị B"},
                                       {"poi", "01/01/2021"},
                                       {"resident", "Hà Nội"},
                                       {"doe", ""},
                                       {"home", "Hải Phòng"},
                                       {"features", "Sẹo"}}));
  EXPECT_NE(request->body.find("N\xe1\xbb\xaf"), std::string::npos);  // UTF-8, not escaped
}

TEST_F(ServerCallsTest, GetResultPassesTheServerCodeThrough) {
  auto outcome = await<JSONOutcome>(
      [&](auto done) { OstrelClient::getResult(OstrelClient::kGetResultPath, done); });
  ASSERT_TRUE(outcome.isSuccess());
  EXPECT_EQ(outcome.value()["fields"]["id_number"], testing::samplePerson().idNumber);
  auto request = server.lastRequest("/api/kyc/get-result");
  EXPECT_EQ(request->method, "GET");
  EXPECT_EQ(request->queryValue("lang"), "vi");

  server.pushOnceReply("/api/kyc/get-result", ScriptedReply::error(12, "Không đọc được thẻ"));
  auto failed = await<JSONOutcome>(
      [&](auto done) { OstrelClient::getResult(OstrelClient::kGetResultPath, done); });
  ASSERT_FALSE(failed.isSuccess());
  EXPECT_EQ(failed.error(), OstrelError(12, "Không đọc được thẻ"));
}

TEST_F(ServerCallsTest, NfcLocationHandsOnTheWholeReply) {
  auto outcome =
      await<JSONOutcome>([&](auto done) { OstrelClient::getNfcLocation("iPhone14,2", done); });
  ASSERT_TRUE(outcome.isSuccess());
  EXPECT_TRUE(outcome.value()["data"].contains("image"));
  EXPECT_EQ(outcome.value()["error"]["code"], 0);
  auto request = server.lastRequest("/api/nfc/location");
  EXPECT_EQ(request->method, "POST");
  EXPECT_EQ(request->part("model")->content, "iPhone14,2");
  EXPECT_EQ(request->part("signature")->content, "b12578e2a2b63bf935d25cc91fd6d91e");
  expectCommonHeaders(*request);

  // A model without its own picture: the default one, with the error the sheet reads.
  const JSON fallback = {{"data", {{"image", "aGVsbG8="}}}, {"error", {{"code", 404}}}};
  server.pushOnceReply("/api/nfc/location", ScriptedReply::json(fallback));
  auto whole =
      await<JSONOutcome>([&](auto done) { OstrelClient::getNfcLocation("Unknown,1", done); });
  ASSERT_TRUE(whole.isSuccess());
  EXPECT_EQ(whole.value(), fallback);
}

TEST_F(ServerCallsTest, AsynchronousSyncCalls) {
  auto versions = OstrelClient::getConfigVersions(server.baseUrl()).get();
  ASSERT_TRUE(versions.isSuccess());
  EXPECT_EQ(versions.value()["idcard_model"], "1");
  auto request = server.lastRequest("/api/configuration/versions");
  EXPECT_EQ(request->method, "GET");
  expectCommonHeaders(*request);

  auto version =
      OstrelClient::getLastestLanguageVersion(server.baseUrl() + "/", "vi", "acme bank").get();
  ASSERT_TRUE(version.isSuccess());
  EXPECT_EQ(version.value(), "1");
  request = server.lastRequest("/lang/versions");
  EXPECT_EQ(request->queryValue("lang"), "vi");
  EXPECT_EQ(request->queryValue("customer"), "acme bank");

  server.pushOnceReply("/lang/versions", ScriptedReply::data({{"version", 7}}));
  EXPECT_EQ(OstrelClient::getLastestLanguageVersion(server.baseUrl(), "vi", "").get().value(), "7");
  server.pushOnceReply("/lang/versions", ScriptedReply::data(JSON::object()));
  EXPECT_FALSE(OstrelClient::getLastestLanguageVersion(server.baseUrl(), "vi", "").get());

  auto dictionary = OstrelClient::getLanguage(server.baseUrl(), "en", "acme").get();
  ASSERT_TRUE(dictionary.isSuccess());
  // The local server answers in the language asked for.
  EXPECT_EQ(dictionary.value(), testing::defaultLanguageDictionary("en"));
  request = server.lastRequest("/lang/get");
  EXPECT_EQ(request->queryValue("lang"), "en");
  EXPECT_EQ(request->queryValue("customer"), "acme");

  server.setModelBytes(std::string("\x00\x01model", 7));
  auto model = OstrelClient::downloadSdk(server.baseUrl(), "idcard_model").get();
  ASSERT_TRUE(model.isSuccess());
  EXPECT_EQ(model.value(), platform::Bytes({0, 1, 'm', 'o', 'd', 'e', 'l'}));
  request = server.lastRequest("/api/sdk-model/download");
  EXPECT_EQ(request->queryValue("name"), "idcard_model");
  EXPECT_FALSE(request->header("Authorization"));
  EXPECT_FALSE(request->header("X-Device-Metadata"));
  EXPECT_TRUE(server.problems().empty());
}

TEST_F(ServerCallsTest, EmptySessionSendsNoAuthorization) {
  config->withSession("");
  server.setRequireAuthorization(false);
  server.setExpectedAuthorization(std::nullopt);
  auto outcome = OstrelClient::getConfigVersions(server.baseUrl()).get();
  EXPECT_TRUE(outcome.isSuccess());
  EXPECT_FALSE(server.lastRequest("/api/configuration/versions")->header("Authorization"));
}

TEST_F(ServerCallsTest, TheServerCatchesAWrongToken) {
  config->withSession("someone-else");
  auto outcome = await<JSONOutcome>([&](auto done) { OstrelClient::getMrzData(done); });
  ASSERT_FALSE(outcome.isSuccess());
  EXPECT_EQ(outcome.error().code, 401);
  EXPECT_EQ(server.problems().size(), 1u);
}

}  // namespace
}  // namespace ostrel
