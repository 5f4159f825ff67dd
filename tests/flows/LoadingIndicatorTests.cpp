#include <gtest/gtest.h>

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
// down again at the end: the host's own through its hide handler, the built-in one by the
// library even when the host set only the hide handler.
TEST_F(LoadingIndicatorTest, EveryCombinationOfHandlersThroughTheEkycFlow) {
  struct Row {
    const char* name;
    bool show;
    bool hide;
  };
  const Row rows[] = {
      {"both handlers", true, true},
      {"hide handler only", false, true},
      {"show handler only", true, false},
      {"neither", false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    host.clear();
    server.clearLog();
    host.install(*config);
    if (!row.show) config->showLoadingHandler = nullptr;
    if (!row.hide) config->hideLoadingHandler = nullptr;

    ASSERT_TRUE(runFlow("ekyc"));
    ASSERT_EQ(host.results().size(), 1u);
    EXPECT_FALSE(builtInIndicatorUp()) << "the built-in indicator stayed up";
    EXPECT_EQ(host.count("showLoading"), row.show ? 5 : 0);
    EXPECT_EQ(host.count("hideLoading"), row.hide ? 5 : 0);
    expectNothingLeft();
  }
}

}  // namespace
}  // namespace ostrel
