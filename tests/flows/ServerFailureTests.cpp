#include <algorithm>

#include <gtest/gtest.h>

#include "session/Ostrel.hpp"
#include "testing/FlowHarness.hpp"

namespace ostrel {
namespace {

using testing::FlowHarness;
using testing::ScriptedReply;
using Strings = std::vector<std::string>;

class ServerFailureTest : public FlowHarness {};

// A session the server no longer knows (401) at any of a flow's calls: the library's time-out
// alert, which the user confirms, then the cancel and the expiry, in that order, and nothing
// else; no call after the refused one.
TEST_F(ServerFailureTest, AnExpiredSessionAtEachCallOfEachFlow) {
  struct Row {
    const char* flow;
    bool qr;
    const char* path;
  };
  const Row rows[] = {
      {"ekyc", false, "/api/kyc/app/scan-front"},
      {"ekyc", false, "/api/kyc/app/scan-back"},
      {"ekyc", false, "/api/kyc/check-selfie"},
      {"ekyc", false, "/api/kyc/get-result"},
      {"ekyc", false, "/api/kyc/confirm"},
      {"ekyc", true, "/api/kyc/qr-code/submit"},
      {"passport", false, "/api/kyc/app/scan-front"},
      {"passport", false, "/api/kyc/check-selfie"},
      {"nfc_only", false, "/api/data/get"},
      {"nfc_only", false, "/api/nfc/verify"},
      {"nfc_only", false, "/api/kyc/confirm"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.flow) + (row.qr ? " with QR " : " ") + row.path);
    server.resetReplies();
    server.clearLog();
    host.clear();
    said.clear();
    config->withIsQRCodeScanEnabled(row.qr);
    server.setReply(row.path, ScriptedReply::error(401, "Session expired", 401));

    ASSERT_TRUE(runFlow(row.flow));
    EXPECT_EQ(orderWithoutLoading(), (Strings{"event:0", "event:1"}));
    // The indicator is down in the end (a verification success keeps it up for the call
    // that follows, so the two counts may differ).
    const auto order = host.order();
    const auto lastLoading = std::find_if(order.rbegin(), order.rend(), [](const std::string& e) {
      return e == "showLoading" || e == "hideLoading";
    });
    EXPECT_TRUE(lastLoading != order.rend() && *lastLoading == "hideLoading");
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.back(), "confirms the alert");
    const auto paths = flowPaths();
    ASSERT_FALSE(paths.empty());
    EXPECT_EQ(paths.back(), row.path) << "a call after the refused one";
    expectNothingLeft();
  }
  expectNoMissingKeys();
}

}  // namespace
}  // namespace ostrel
