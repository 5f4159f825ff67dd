#include <typeinfo>

#include <gtest/gtest.h>

#include "nfcscan/OSLResultNFCVC.hpp"
#include "results/OSLResulteKYCVC.hpp"
#include "results/OSLSimpleResultVC.hpp"
#include "session/Ostrel.hpp"
#include "testing/FlowHarness.hpp"

namespace ostrel {
namespace {

using platform::ViewController;
using testing::FlowHarness;
using testing::UserJourney;
using Strings = std::vector<std::string>;

class ResultScreenTest : public FlowHarness {};

enum class Shown { none, full, chip, reasons };

Shown shownResult(const std::shared_ptr<ViewController>& top) {
  if (std::dynamic_pointer_cast<OSLSimpleResultVC>(top)) return Shown::reasons;
  if (std::dynamic_pointer_cast<OSLResultNFCVC>(top)) return Shown::chip;
  if (std::dynamic_pointer_cast<OSLResulteKYCVC>(top)) return Shown::full;
  return Shown::none;
}

// Without a result screen the session closes with the result alone; with one the user reads it
// and its confirm reports the cancel before the result. The passport flow always shows one;
// the reasons-only screen stands in for the flow's own when the host asks for it.
TEST_F(ResultScreenTest, OffOnAndReasonsOnlyForAnIDFlowTheChipFlowAndThePassport) {
  struct Row {
    const char* flow;
    bool showResultScreen;
    bool reasonsOnly;
    Shown expected;
  };
  const Row rows[] = {
      {"ekyc", false, false, Shown::none},    {"ekyc", true, false, Shown::full},
      {"ekyc", true, true, Shown::reasons},   {"nfc_only", false, false, Shown::none},
      {"nfc_only", true, false, Shown::chip}, {"nfc_only", true, true, Shown::reasons},
      {"passport", false, false, Shown::full}, {"passport", false, true, Shown::reasons},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.flow) + (row.showResultScreen ? " with" : " without") +
                 " the result screen" + (row.reasonsOnly ? ", reasons only" : ""));
    host.clear();
    said.clear();
    config->withShowResultScreen(row.showResultScreen);
    config->isOnlyShowReasonInResultVC = row.reasonsOnly;
    buildConfig();
    Ostrel::shared()->run(row.flow, config);
    Shown seen = Shown::none;
    bool started = false;
    ASSERT_TRUE(drive([&] {
      if (seen == Shown::none) seen = shownResult(UserJourney::topScreen(window()));
      const bool onScreen = Ostrel::shared()->naviViewController() != nullptr;
      started = started || onScreen;
      return started && !onScreen;
    }));
    advance(1);
    settleNetwork();

    EXPECT_EQ(seen, row.expected);
    if (row.expected == Shown::none) {
      EXPECT_EQ(orderWithoutLoading(), Strings{"result"});
    } else {
      EXPECT_EQ(orderWithoutLoading(), (Strings{"event:0", "result"}));
      EXPECT_EQ(said.back(), "confirms the result screen");
    }
    expectNothingLeft();
  }
  expectNoMissingKeys();
}

}  // namespace
}  // namespace ostrel
