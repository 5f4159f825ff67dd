#include <chrono>
#include <future>

#include <gtest/gtest.h>

#include "network/OstrelClient.hpp"
#include "platform/foundation/Base64.hpp"
#include "testing/HostileReplies.hpp"
#include "testing/PictureBombs.hpp"
#include "tests/network/ServerTest.hpp"

namespace ostrel {
namespace {

using platform::JSON;
using testing::HostileKind;
using testing::ScriptedReply;

// What a call handed its caller: success, or the error's code.
struct CallResult {
  bool success = false;
  int code = 0;
};

template <class T>
CallResult resultOf(const Outcome<T>& outcome) {
  return outcome.isSuccess() ? CallResult{true, 0} : CallResult{false, outcome.error().code};
}

platform::ImagePtr hostilePicture() {
  return std::make_shared<platform::Image>(cv::Mat(48, 64, CV_8UC4, cv::Scalar(90, 90, 90, 255)));
}

// How a call reads a 2xx reply without a "data" object.
enum class WithoutData {
  fault,    // the flow is built from the data: the service fault (500)
  success,  // nothing of the data is needed, or an empty one has its own meaning
};

class HostileServerTest : public ServerTest {
 protected:
  struct Call {
    const char* name;
    WithoutData withoutData;
    bool wholeReply;
    std::function<CallResult(HostileServerTest&)> run;
  };

  template <class T>
  CallResult onMain(const std::function<void(std::function<void(Outcome<T>)>)>& start) {
    return resultOf(await<Outcome<T>>(start));
  }

  // Every call of the client that reads a JSON reply.
  std::vector<Call> calls() {
    using JSONDone = std::function<void(Outcome<JSON>)>;
    const JSON chip = {{"dg1", "YWJj"}, {"sod", "Z2hp"}};
    const std::string base = server.baseUrl();
    return {
        {"scan-front", WithoutData::fault, false,
         [](HostileServerTest& t) {
           return t.onMain<JSON>([](JSONDone done) {
             OstrelClient::scanCard(OstrelClient::kScanFrontPath, hostilePicture(), done);
           });
         }},
        {"scan-back", WithoutData::fault, false,
         [](HostileServerTest& t) {
           return t.onMain<JSON>([](JSONDone done) {
             OstrelClient::scanCard(OstrelClient::kScanBackPath, hostilePicture(), done);
           });
         }},
        {"check-selfie", WithoutData::success, false,
         [](HostileServerTest& t) {
           return t.onMain<JSON>(
               [](JSONDone done) { OstrelClient::checkSelfie(hostilePicture(), done); });
         }},
        {"liveness token", WithoutData::fault, false,
         [](HostileServerTest& t) {
           return t.onMain<std::string>(
               [](auto done) { OstrelClient::getLivenessToken(std::move(done)); });
         }},
        {"liveness validate", WithoutData::success, false,
         [](HostileServerTest& t) {
           return t.onMain<JSON>([](JSONDone done) { OstrelClient::validateLiveness("t", done); });
         }},
        {"image", WithoutData::success, false,
         [](HostileServerTest& t) {
           return t.onMain<platform::ImagePtr>([](auto done) {
             OstrelClient::getImage(OstrelClient::ImageType::selfie, std::move(done));
           });
         }},
        {"QR submission", WithoutData::success, false,
         [](HostileServerTest& t) {
           return t.onMain<JSON>([](JSONDone done) { OstrelClient::submitQRCode("qr", done); });
         }},
        {"MRZ", WithoutData::success, false,
         [](HostileServerTest& t) {
           return t.onMain<JSON>([](JSONDone done) { OstrelClient::getMrzData(done); });
         }},
        {"chip verification", WithoutData::fault, false,
         [chip](HostileServerTest& t) {
           return t.onMain<JSON>([chip](JSONDone done) { OstrelClient::verifyNfc(chip, done); });
         }},
        {"confirm", WithoutData::fault, false,
         [](HostileServerTest& t) {
           return t.onMain<JSON>([](JSONDone done) {
             OstrelClient::confirm(OstrelClient::kConfirmPath, true, std::nullopt, done);
           });
         }},
        {"confirm with fields", WithoutData::fault, false,
         [](HostileServerTest& t) {
           return t.onMain<JSON>([](JSONDone done) {
             OstrelClient::confirm(
                 OstrelClient::kConfirmPath, false, "01/01/1990", "F", "001", "A", "", "", "", "",
                 "", [done](const JSON& data) { done(data); },
                 [done](const OstrelError& error) { done(error); });
           });
         }},
        {"get-result", WithoutData::success, false,
         [](HostileServerTest& t) {
           return t.onMain<JSON>([](JSONDone done) {
             OstrelClient::getResult(OstrelClient::kGetResultPath, done);
           });
         }},
        {"antenna location", WithoutData::success, true,
         [](HostileServerTest& t) {
           return t.onMain<JSON>(
               [](JSONDone done) { OstrelClient::getNfcLocation("iPhone14,2", done); });
         }},
        {"configuration versions", WithoutData::success, false,
         [base](HostileServerTest&) {
           return resultOf(OstrelClient::getConfigVersions(base).get());
         }},
        {"language version", WithoutData::fault, false,
         [base](HostileServerTest&) {
           return resultOf(OstrelClient::getLastestLanguageVersion(base, "vi", "c").get());
         }},
        {"language", WithoutData::success, false,
         [base](HostileServerTest&) {
           return resultOf(OstrelClient::getLanguage(base, "vi", "c").get());
         }},
    };
  }
};

// What each call must hand on for each kind of bad reply: one completion, never a crash or a
// hang, and success only where the reply is one.
CallResult expectedResult(HostileKind kind, WithoutData withoutData, bool wholeReply) {
  switch (kind) {
    case HostileKind::truncated:
    case HostileKind::slow:
      return {false, -1};
    case HostileKind::badRequest:
      return {false, 400};
    case HostileKind::notFound:
      return {false, 404};
    case HostileKind::dataMissing:
    case HostileKind::dataNull:
    case HostileKind::dataNumber:
      return withoutData == WithoutData::fault ? CallResult{false, 500} : CallResult{true, 0};
    case HostileKind::errorCodeAsText:
      return wholeReply ? CallResult{true, 0} : CallResult{false, 401};
    default:
      // Not a JSON object that can be read: malformed, cut short by a limit, nested too deep.
      return {false, 500};
  }
}

TEST_F(HostileServerTest, EveryCallAgainstEveryKindOfBadReply) {
  Client::shared()->setTimeoutInterval(testing::kHostileDelaySeconds / 4);
  for (const auto& hostile : testing::hostileReplies()) {
    server.setReplyEverywhere(hostile.reply);
    // Only the slow kind is meant to run out of time; a loaded machine may need longer to move
    // the others' large bodies.
    Client::shared()->setTimeoutInterval(
        hostile.kind == HostileKind::slow ? testing::kHostileDelaySeconds / 4 : 30);
    for (const auto& call : calls()) {
      SCOPED_TRACE(std::string(hostile.name) + " at " + call.name);
      const CallResult expected = expectedResult(hostile.kind, call.withoutData, call.wholeReply);
      const CallResult got = call.run(*this);
      EXPECT_EQ(got.success, expected.success);
      EXPECT_EQ(got.code, expected.code);
    }
  }
}

// A reply nested deeper than any real one is refused like one that does not parse, however
// deep; one within the limit is read.
TEST_F(HostileServerTest, NestingDepthLimit) {
  for (std::size_t depth : {std::size_t{62}, std::size_t{63}, std::size_t{64},
                            std::size_t{1'000'000}}) {
    SCOPED_TRACE(depth);
    server.pushOnceReply(OstrelClient::kGetResultPath,
                         ScriptedReply::raw(testing::deeplyNestedReply(depth), "application/json"));
    auto outcome = await<Outcome<JSON>>(
        [&](auto done) { OstrelClient::getResult(OstrelClient::kGetResultPath, done); });
    // The reply object is one level, "data" holds the rest.
    if (depth + 1 <= platform::kMaxJSONDepth) {
      EXPECT_TRUE(outcome.isSuccess());
    } else {
      ASSERT_FALSE(outcome.isSuccess());
      EXPECT_EQ(outcome.error().code, 500);
    }
  }
}

// A picture the server sends that declares more pixels than a phone picture is not decoded: the
// call succeeds without an image, as for one that does not decode.
TEST_F(HostileServerTest, PictureBombsFromTheServerAreNotDecoded) {
  for (const auto& sample : testing::pictureBombSamples()) {
    SCOPED_TRACE(sample.format);
    // This OpenCV decodes no GIF on its own; only the true pictures it does decode come back.
    const bool decodes = platform::Image::decode(sample.picture) != nullptr;
    for (const auto* bytes : {&sample.picture, &sample.bomb}) {
      server.pushOnceReply("/api/data/image",
                           ScriptedReply::data({{"image", platform::base64Encode(*bytes)}}));
      auto outcome = await<Outcome<platform::ImagePtr>>(
          [](auto done) { OstrelClient::getImage(OstrelClient::ImageType::front, done); });
      ASSERT_TRUE(outcome.isSuccess());
      EXPECT_EQ(outcome.value() != nullptr, decodes && bytes == &sample.picture);
    }
  }
}

// A header value (or name) with a line break would end the header there and start another; the
// transport sends no such request and fails it instead.
TEST_F(HostileServerTest, TheTransportSendsNoHeaderWithALineBreak) {
  for (const auto& [name, value] :
       {std::pair{"Authorization", "t\r\nX-Injected: yes"}, std::pair{"Authorization", "t\nX: y"},
        std::pair{"Authorization", "t\rX: y"}, std::pair{"X-A\r\nX-Injected", "yes"}}) {
    SCOPED_TRACE(value);
    server.clearLog();
    auto request = Client::shared()->get(server.baseUrl() + "/api/kyc/get-result",
                                         {{name, value}});
    auto answered = std::make_shared<std::promise<platform::HttpResponse>>();
    auto response = answered->get_future();
    platform::HttpTransport::shared()->send(
        request, [answered](platform::HttpResponse r) { answered->set_value(std::move(r)); });
    ASSERT_EQ(response.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(response.get().failure, platform::HttpResponse::Failure::other);
    EXPECT_TRUE(server.requests().empty()) << "the request went out";
  }
}

}  // namespace
}  // namespace ostrel
