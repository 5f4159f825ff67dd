#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/FlowHarness.hpp"
#include "ui/OSLProgressHUD.hpp"

namespace ostrel {
namespace {

using testing::FlowHarness;

class LoadingIndicatorTest : public FlowHarness {
 protected:
  // Whether the built-in indicator is up (its alpha is its visibility).
  static bool builtInIndicatorUp() { return OSLProgressHUD::shared()->alpha() > 0.01; }
};

// Whichever loading handlers a host sets, every indicator that went up for a server call is
// down again after the reply: the host's own through its hide handler, the built-in one by the
// library even when the host set only the hide handler. With the built-in indicator the user
// still confirms the review once it has gone, and the flow ends with its result.
TEST_F(LoadingIndicatorTest, EveryCombinationOfHandlersThroughTheEkycFlow) {
  struct Row {
    const char* name;
    bool show;
    bool hide;
  };
  const Row rows[] = {
      {"neither", false, false},
      {"show handler only", true, false},
      {"both handlers", true, true},
      {"hide handler only", false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    host.clear();
    server.clearLog();
    said.clear();
    host.install(*config);
    if (!row.show) config->showLoadingHandler = nullptr;
    if (!row.hide) config->hideLoadingHandler = nullptr;

    // The card's two sides, the face, the review's data and the confirmation: each a server
    // call between a show and a hide.
    ASSERT_TRUE(runFlow("ekyc")) << testing::describe(said) << " | "
                                 << testing::describe(host.order());
    EXPECT_EQ(flowPaths(),
              (std::vector<std::string>{"/api/kyc/app/scan-front", "/api/kyc/app/scan-back",
                                        "/api/kyc/check-selfie", "/api/kyc/get-result",
                                        "/api/kyc/confirm"}));
    EXPECT_FALSE(builtInIndicatorUp()) << "the built-in indicator stayed up";
    EXPECT_EQ(host.count("showLoading"), row.show ? 5 : 0);
    EXPECT_EQ(host.count("hideLoading"), row.hide ? 5 : 0);
    EXPECT_EQ(orderWithoutLoading(), std::vector<std::string>{"result"});
    EXPECT_EQ(host.results().size(), 1u);
    expectNothingLeft();
  }
}

}  // namespace
}  // namespace ostrel
