#include <gtest/gtest.h>

#include "session/Ostrel.hpp"
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
// library even when the host set only the hide handler.
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
    host.install(*config);
    if (!row.show) config->showLoadingHandler = nullptr;
    if (!row.hide) config->hideLoadingHandler = nullptr;

    // Through the card's two sides, the face and the review's data, each a server call between
    // a show and a hide.
    buildConfig();
    Ostrel::shared()->run("ekyc", config);
    ASSERT_TRUE(drive([&] { return flowPaths().size() == 4 && transport->inFlight() == 0; }, 120))
        << testing::describe(said) << " | " << testing::describe(host.order());
    advance(1);
    settleNetwork();
    EXPECT_FALSE(builtInIndicatorUp()) << "the built-in indicator stayed up";
    EXPECT_EQ(host.count("showLoading"), row.show ? 4 : 0);
    EXPECT_EQ(host.count("hideLoading"), row.hide ? 4 : 0);
    Ostrel::shared()->close(true, nullptr);
    ASSERT_TRUE(drive([] { return !Ostrel::shared()->naviViewController(); }, 10));
    advance(1);
    settleNetwork();
    expectNothingLeft();
  }
}

}  // namespace
}  // namespace ostrel
