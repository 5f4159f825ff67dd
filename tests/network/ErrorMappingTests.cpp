#include <string_view>

#include <gtest/gtest.h>

#include "network/OstrelClient.hpp"
#include "tests/network/ServerTest.hpp"

namespace ostrel {
namespace {

using platform::JSON;
using testing::ScriptedReply;

int closedPort() {
  testing::VerificationServer probe;
  int port = probe.port();
  probe.stop();
  return port;
}

class ErrorMappingTest : public ServerTest {};

TEST_F(ErrorMappingTest, EveryKindOfBadReplyGivesOneError) {
  struct Row {
    const char* name;
    std::function<void(testing::VerificationServer&)> script;
    OstrelError expected;
  };
  auto reply = [](ScriptedReply r) {
    return [r](testing::VerificationServer& s) { s.pushOnceReply("/api/kyc/get-result", r); };
  };
  ScriptedReply slow = ScriptedReply::data(JSON::object());
  slow.delaySeconds = 1;
  ScriptedReply truncated = ScriptedReply::data({{"fields", {{"name", "NGUYEN VAN A"}}}});
  truncated.fault = ScriptedReply::Fault::truncated;
  ScriptedReply huge = ScriptedReply::raw("", "application/json");
  huge.fault = ScriptedReply::Fault::huge;

  const Row rows[] = {
      {"time-out", reply(slow), OstrelError(-1, "Lỗi kết nối")},
      {"body cut short", reply(truncated), OstrelError(-1, "Lỗi kết nối")},
      {"401", reply(ScriptedReply::error(99, "nope", 401)), OstrelError(401, "Phiên đã hết hạn")},
      {"500", reply(ScriptedReply::error(7, "boom", 500)),
       OstrelError(500, "Dịch vụ tạm gián đoạn")},
      {"503 not JSON", reply(ScriptedReply::raw("<html>busy</html>", "text/html", 503)),
       OstrelError(500, "Dịch vụ tạm gián đoạn")},
      {"200 error object",
       reply(ScriptedReply::json({{"error", {{"code", 12}, {"message", "Ảnh mờ"}}}})),
       OstrelError(12, "Ảnh mờ")},
      {"200 error without message", reply(ScriptedReply::json({{"error", {{"code", 12}}}})),
       OstrelError(12, "Có lỗi xảy ra")},
      {"200 error code 401", reply(ScriptedReply::error(401, "server text")),
       OstrelError(401, "Phiên đã hết hạn")},
      {"not JSON", reply(ScriptedReply::raw("OK", "text/plain")),
       OstrelError(500, "Dịch vụ tạm gián đoạn")},
      {"JSON but no object", reply(ScriptedReply::raw("[1,2]", "application/json")),
       OstrelError(500, "Dịch vụ tạm gián đoạn")},
      {"empty body", reply(ScriptedReply::raw("", "application/json")),
       OstrelError(500, "Dịch vụ tạm gián đoạn")},
      {"huge body", reply(huge), OstrelError(500, "Dịch vụ tạm gián đoạn")},
      {"404 with an error object", reply(ScriptedReply::error(404, "Không có", 404)),
       OstrelError(404, "Không có")},
      {"400 with top-level code",
       reply(ScriptedReply::json({{"code", 4001}, {"message", "x"}}, 400)), OstrelError(4001, "x")},
      {"403 bare", reply(ScriptedReply::json(JSON::object(), 403)),
       OstrelError(403, "Có lỗi xảy ra")},
      {"code as decimal text",
       reply(ScriptedReply::json({{"error", {{"code", "12"}}}, {"data", {{"k", 1}}}})),
       OstrelError(12, "Có lỗi xảy ra")},
      {"expiry code as text", reply(ScriptedReply::json({{"error", {{"code", "401"}}}})),
       OstrelError(401, "Phiên đã hết hạn")},
      {"code of the wrong type",
       reply(ScriptedReply::json({{"error", {{"code", "12a"}}}, {"data", {{"k", 1}}}})),
       OstrelError(0, "")},  // a text that is no number is no code: success
      {"code that is an object",
       reply(ScriptedReply::json({{"error", {{"code", {{"n", 3}}}}}, {"data", {{"k", 1}}}})),
       OstrelError(0, "")},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    // Only the time-out row gets a short limit: a loaded machine may take longer than that to
    // move the huge body, which must still be classified by its size.
    const bool timeoutRow = std::string_view(row.name) == "time-out";
    Client::shared()->setTimeoutInterval(timeoutRow ? 0.3 : 30);
    row.script(server);
    auto outcome = await<Outcome<JSON>>(
        [&](auto done) { OstrelClient::getResult(OstrelClient::kGetResultPath, done); });
    if (row.expected.code == 0) {
      ASSERT_TRUE(outcome.isSuccess());
      EXPECT_EQ(outcome.value(), JSON({{"k", 1}}));
    } else {
      ASSERT_FALSE(outcome.isSuccess());
      EXPECT_EQ(outcome.error(), row.expected);
    }
  }
}

TEST_F(ErrorMappingTest, DataThatIsNoObjectReadsAsEmpty) {
  server.pushOnceReply("/api/kyc/get-result", ScriptedReply::json({{"data", "text"}}));
  auto outcome = await<Outcome<JSON>>(
      [&](auto done) { OstrelClient::getResult(OstrelClient::kGetResultPath, done); });
  ASSERT_TRUE(outcome.isSuccess());
  EXPECT_EQ(outcome.value(), JSON::object());
}

TEST_F(ErrorMappingTest, RefusedConnectionIsANetworkError) {
  config->withBaseUrl("http://127.0.0.1:" + std::to_string(closedPort()));
  auto outcome = await<Outcome<JSON>>([&](auto done) { OstrelClient::getMrzData(done); });
  ASSERT_FALSE(outcome.isSuccess());
  EXPECT_EQ(outcome.error(), OstrelError(-1, "Lỗi kết nối"));
  auto token =
      await<Outcome<std::string>>([&](auto done) { OstrelClient::getLivenessToken(done); });
  EXPECT_EQ(token.error().code, -1);
  auto download = OstrelClient::downloadSdk(config->baseUrl, "idcard_model").get();
  EXPECT_EQ(download.error().code, -1);
}

TEST_F(ErrorMappingTest, ClassificationWithoutTheNetwork) {
  platform::HttpResponse response;
  response.failure = platform::HttpResponse::Failure::cannotConnect;
  EXPECT_EQ(Client::classify(response, Client::ReplyMode::data).error().code, -1);
  response = {};
  response.status = 200;
  const std::string body = R"({"data":{"a":1},"error":{"code":3,"message":"m"}})";
  response.body.assign(body.begin(), body.end());
  EXPECT_EQ(Client::classify(response, Client::ReplyMode::data).error(), OstrelError(3, "m"));
  EXPECT_EQ(Client::classify(response, Client::ReplyMode::wholeReply).value(), JSON::parse(body));
  response.status = 401;
  EXPECT_EQ(Client::classify(response, Client::ReplyMode::wholeReply).error().code, 401);
}

TEST(ClientUrlTest, QueryEncoding) {
  EXPECT_EQ(Client::url("https://h.example/", "/api/x", {{"lang", "vi"}}),
            "https://h.example/api/x?lang=vi");
  EXPECT_EQ(Client::url("https://h.example", "/p?type=MRZ", {{"lang", "en"}}),
            "https://h.example/p?type=MRZ&lang=en");
  EXPECT_EQ(Client::url("https://h.example", "/p"), "https://h.example/p");
  EXPECT_EQ(Client::encodeQuery({{"a b", "Nữ&=?/"}, {"t", "-._~"}}),
            "a%20b=N%E1%BB%AF%26%3D%3F%2F&t=-._~");
}

}  // namespace
}  // namespace ostrel
