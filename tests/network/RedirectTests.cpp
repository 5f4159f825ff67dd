#include <memory>
#include <optional>
#include <string>

#include <httplib.h>

#include <gtest/gtest.h>

#include "network/Client.hpp"
#include "platform/net/HttpTransport.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "testing/LocalTLSServer.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/VerificationServer.hpp"

namespace ostrel {
namespace {

using platform::HttpRequest;
using platform::HttpResponse;
using platform::JSON;
using testing::ScriptedReply;

constexpr const char* kSinkPath = "/api/kyc/confirm";

// An https server whose paths redirect towards a plain-http sink or towards itself, and a
// transport that trusts it.
class RedirectTest : public testing::RuntimeTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sink_.isRunning());
    // Authorization is not carried to another origin; the sink only records what arrives.
    sink_.setRequireAuthorization(false);
    auto& routes = tls_.server();
    const std::string plain = sink_.baseUrl() + kSinkPath;
    for (int status : {301, 302, 303, 307, 308}) {
      routes.Post("/to-plain-" + std::to_string(status),
                  [plain, status](const httplib::Request&, httplib::Response& response) {
                    response.status = status;
                    response.set_header("Location", plain);
                  });
    }
    routes.Post("/to-secure", [this](const httplib::Request&, httplib::Response& response) {
      response.status = 308;
      response.set_header("Location", tls_.baseUrl() + "/landing");
    });
    routes.Post("/landing", [this](const httplib::Request& request, httplib::Response& response) {
      landedBody_ = request.body;
      response.set_content(R"({"data":{"landed":true}})", "application/json");
    });
    ASSERT_TRUE(tls_.start());
    transport_ = std::make_shared<platform::CurlTransport>(1);
    transport_->trustCertificatesForTesting(tls_.certificatePEM());
  }

  HttpResponse post(const std::string& url) {
    HttpRequest request;
    request.method = "POST";
    request.url = url;
    request.headers = {{"Authorization", "session-token-1"}, {"Content-Type", "image/jpeg"}};
    request.body = platform::Bytes(kSelfie.begin(), kSelfie.end());
    request.timeout = 20;
    std::optional<HttpResponse> response;
    // Handed to the main queue, which is what wakes the test's wait.
    transport_->send(std::move(request),
                     [&response, main = platform::DispatchQueue::main()](HttpResponse r) {
                       main->async([&response, r = std::move(r)] { response = r; });
                     });
    EXPECT_TRUE(waitUntil([&] { return response.has_value(); }, 30));
    return response.value_or(HttpResponse{});
  }

  const std::string kSelfie = "selfie-bytes-that-must-stay-encrypted";
  testing::VerificationServer sink_;
  testing::LocalTLSServer tls_;
  std::shared_ptr<platform::CurlTransport> transport_;
  std::string landedBody_;
};

TEST_F(RedirectTest, AnHttpsRequestNeverFollowsARedirectToPlainHttp) {
  for (int status : {301, 302, 303, 307, 308}) {
    SCOPED_TRACE(status);
    const HttpResponse response = post(tls_.baseUrl() + "/to-plain-" + std::to_string(status));
    EXPECT_FALSE(response.completed());
    EXPECT_EQ(response.failure, HttpResponse::Failure::other);
    EXPECT_TRUE(response.body.empty());
  }
  EXPECT_TRUE(sink_.requests().empty()) << "the body went out in the clear";

  // Between https addresses the redirect is followed, body and all.
  const HttpResponse secure = post(tls_.baseUrl() + "/to-secure");
  ASSERT_TRUE(secure.completed());
  EXPECT_EQ(secure.status, 200);
  EXPECT_EQ(landedBody_, kSelfie);

  // A request that started on plain http may still be redirected within plain http.
  testing::VerificationServer origin;
  origin.pushOnceReply(kSinkPath, ScriptedReply::redirect(307, sink_.baseUrl() + kSinkPath));
  const HttpResponse plain = post(origin.baseUrl() + kSinkPath);
  ASSERT_TRUE(plain.completed());
  EXPECT_EQ(plain.status, 200);
  ASSERT_EQ(sink_.requests().size(), 1u);
  EXPECT_EQ(sink_.requests()[0].body, kSelfie);
}

TEST_F(RedirectTest, TheCallerSeesARefusedRedirectAsANetworkError) {
  Client client(transport_);
  std::optional<Outcome<JSON>> outcome;
  client.requestJSON(client.postJSON(tls_.baseUrl() + "/to-plain-307", {{"image", "c2VsZmll"}}, {}),
                     Client::ReplyMode::data,
                     [&](Outcome<JSON> o) { outcome.emplace(std::move(o)); });
  ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }, 30));
  ASSERT_FALSE(outcome->isSuccess());
  EXPECT_EQ(outcome->error().code, OstrelError::kNetworkError);
  EXPECT_TRUE(sink_.requests().empty());
}

}  // namespace
}  // namespace ostrel
