#include <gtest/gtest.h>

#include "session/Ostrel.hpp"
#include "testing/FlowHarness.hpp"
#include "testing/SamplePerson.hpp"

namespace ostrel {
namespace {

using platform::JSON;
using testing::FlowHarness;
using testing::samplePerson;
using testing::VerificationServer;
using Strings = std::vector<std::string>;


class BuiltInFlowTest : public FlowHarness {
 protected:
  // The server's default decision, as the confirmation reply carries it.
  static std::string serversDecision() {
    const auto reply = JSON::parse(VerificationServer::defaultReplies()["/api/kyc/confirm"].body);
    return reply.at("data").at("decision_detail").at("decision").get<std::string>();
  }
};

// The whole ekyc flow as a user walks it: both card sides photographed and sent, the face
// photographed and checked, the review filled from the server and confirmed; with no result
// screen the session closes and the host hears the result alone, each server call between a
// shown and a hidden loading indicator.
TEST_F(BuiltInFlowTest, EkycFromTheCardToTheResult) {
  ASSERT_TRUE(runFlow("ekyc"));

  EXPECT_EQ(flowPaths(), (Strings{"/api/kyc/app/scan-front", "/api/kyc/app/scan-back",
                                  "/api/kyc/check-selfie", "/api/kyc/get-result",
                                  "/api/kyc/confirm"}));
  Strings expected;
  for (int call = 0; call < 5; ++call) {
    expected.push_back("showLoading");
    expected.push_back("hideLoading");
  }
  expected.push_back("result");
  EXPECT_EQ(host.order(), expected);
  for (const auto& call : host.calls()) {
    EXPECT_TRUE(call.onMainQueue) << call.entry;
    if (call.entry == "showLoading") {
      EXPECT_TRUE(call.arguments.contains("screen")) << "loading shown on no screen";
    }
  }

  // What the user saw on the review screen is what went back to the server.
  const auto confirm = server.lastRequest("/api/kyc/confirm");
  ASSERT_TRUE(confirm);
  const auto body = confirm->jsonBody();
  ASSERT_TRUE(body);
  EXPECT_EQ(body->size(), 9u) << body->dump();
  EXPECT_EQ(body->value("id_number", ""), samplePerson().idNumber);
  EXPECT_EQ(body->value("name", ""), samplePerson().printedName);

  ASSERT_EQ(host.results().size(), 1u);
  const JSON result = host.results()[0]->toDictionary();
  EXPECT_EQ(result.value("decision", ""), serversDecision());
  EXPECT_EQ(result.at("front_result").at("fields").value("id_number", ""), samplePerson().idNumber);
  EXPECT_EQ(result.at("back_result").value("card_type", ""), "eid24_back");
  EXPECT_FALSE(result.contains("qr_code_model")) << "no QR step ran";

  // The card detector found both sides: the screens took their photos themselves.
  EXPECT_EQ(said, (Strings{"holds the card's front up to the camera",
                           "continues with the photo of the card's front",
                           "holds the card's back up to the camera",
                           "continues with the photo of the card's back",
                           "continues with the face picture",
                           "confirms the review of " + samplePerson().printedName}));
  expectNothingLeft();
  expectNoMissingKeys();
}

// With the QR step the user shows the card's code after the back; the server's reading of it
// is the result's QR model.
TEST_F(BuiltInFlowTest, EkycWithTheQRStep) {
  config->withIsQRCodeScanEnabled(true);
  ASSERT_TRUE(runFlow("ekyc"));

  EXPECT_EQ(flowPaths(), (Strings{"/api/kyc/app/scan-front", "/api/kyc/app/scan-back",
                                  "/api/kyc/qr-code/submit", "/api/kyc/check-selfie",
                                  "/api/kyc/get-result", "/api/kyc/confirm"}));
  const auto submitted = server.lastRequest("/api/kyc/qr-code/submit");
  ASSERT_TRUE(submitted && submitted->jsonBody());
  EXPECT_EQ(submitted->jsonBody()->value("decoded_text", ""), samplePerson().qrText());
  EXPECT_EQ(orderWithoutLoading(), Strings{"result"});
  EXPECT_EQ(host.count("showLoading"), 6);
  EXPECT_EQ(host.count("hideLoading"), 6);
  ASSERT_EQ(host.results().size(), 1u);
  EXPECT_TRUE(host.results()[0]->toDictionary().contains("qr_code_model"));
  expectNothingLeft();
  expectNoMissingKeys();
}

// The passport flow photographs the data page as a front, checks the face, and always ends on
// the result screen, whose confirm reports the cancel before the (empty-record) result.
TEST_F(BuiltInFlowTest, PassportEndsOnTheResultScreen) {
  ASSERT_TRUE(runFlow("passport"));

  EXPECT_EQ(flowPaths(), (Strings{"/api/kyc/app/scan-front", "/api/kyc/check-selfie"}));
  EXPECT_EQ(orderWithoutLoading(), (Strings{"event:0", "result"}));
  EXPECT_EQ(said.front(), "holds the passport's data page up to the camera");
  EXPECT_EQ(said.back(), "confirms the result screen");
  ASSERT_EQ(host.results().size(), 1u);
  ASSERT_TRUE(host.results()[0]);
  expectNothingLeft();
  expectNoMissingKeys();
}


// With the host's raw-data processor the pictures go to the host instead of the server: only
// the review's calls reach the server, and the flow ends with the result as before.
TEST_F(BuiltInFlowTest, EkycAndPassportWithTheHostsProcessor) {
  for (const char* flow : {"ekyc", "passport"}) {
    SCOPED_TRACE(flow);
    host.clear();
    server.clearLog();
    const bool passport = std::string(flow) == "passport";
    ASSERT_TRUE(runFlow(flow, host.processor()));
    const Strings expected =
        passport ? Strings{"processCapture:front", "processLiveness", "event:0", "result"}
                 : Strings{"processCapture:front", "processCapture:back", "processLiveness",
                           "result"};
    EXPECT_EQ(orderWithoutLoading(), expected);
    EXPECT_EQ(flowPaths(), passport ? Strings{}
                                    : (Strings{"/api/kyc/get-result", "/api/kyc/confirm"}));
    expectNothingLeft();
  }
}

}  // namespace
}  // namespace ostrel
