#include <gtest/gtest.h>

#include "capture/IDCaptureVC.hpp"
#include "liveness/OSLFaceVC.hpp"
#include "nfcscan/OSLScanNFCVC.hpp"
#include "results/ConfirmViewController.hpp"
#include "scanner/OSLQRCodeScannerController.hpp"
#include "session/Ostrel.hpp"
#include "testing/FlowHarness.hpp"
#include "testing/SamplePerson.hpp"

namespace ostrel {
namespace {

using platform::ViewController;
using testing::FlowHarness;
using testing::ScriptedUser;
using testing::UserJourney;
using Strings = std::vector<std::string>;

// Which step screen a row closes, and the rules of the cooperative user that would otherwise
// act there first.
struct Stop {
  const char* name;
  std::function<bool(const std::shared_ptr<ViewController>&)> is;
  Strings rules;
};

Stop captureStop(bool front) {
  return {front ? "the front capture" : "the back capture",
          [front](const std::shared_ptr<ViewController>& top) {
            auto capture = std::dynamic_pointer_cast<IDCaptureVC>(top);
            return capture && capture->isFrontId() == front;
          },
          {}};
}
template <class Screen>
Stop stopAt(const char* name, Strings rules) {
  return {name,
          [](const std::shared_ptr<ViewController>& top) {
            return std::dynamic_pointer_cast<Screen>(top) != nullptr;
          },
          std::move(rules)};
}

// The close control a user finds on the screen: its own close button, else the navigation
// bar's (reached through the screen, as those screens hide the bar).
void tapClose(const std::shared_ptr<ViewController>& top, ScriptedUser& finger) {
  std::shared_ptr<platform::Button> button;
  if (auto capture = std::dynamic_pointer_cast<IDCaptureVC>(top)) button = capture->btnClose;
  if (auto face = std::dynamic_pointer_cast<OSLFaceVC>(top)) button = face->closeButton;
  if (auto qr = std::dynamic_pointer_cast<OSLQRCodeScannerController>(top)) {
    button = qr->closeButton;
  }
  if (button && !button->isHidden() && button->window()) {
    finger.tap(button);
  } else if (auto step = std::dynamic_pointer_cast<BaseViewController>(top)) {
    step->closeTapped();
  }
}

class CloseTest : public FlowHarness {
 protected:
  // The user closes on the first look at `stop`'s screen and confirms the exit alert.
  void closeAt(const Stop& stop) {
    for (const auto& rule : stop.rules) journey.remove(rule);
    journey.on("close", [stop](const std::shared_ptr<ViewController>& top, ScriptedUser& finger,
                               const UserJourney::Say& say) {
      if (!stop.is(top)) return false;
      say(std::string("closes ") + stop.name);
      tapClose(top, finger);
      return true;
    });
  }
};

// Closing from any step screen of any flow: the exit alert, one cancel report, no result, and
// nothing left running.
TEST_F(CloseTest, FromEveryStepScreenOfEveryFlow) {
  const Strings face = {"face shown", "face capture", "face continue"};
  struct Row {
    const char* flow;
    bool qr;
    Stop stop;
  };
  const std::vector<Row> rows = {
      {"ekyc", false, captureStop(true)},
      {"ekyc", false, captureStop(false)},
      {"ekyc", true, stopAt<OSLQRCodeScannerController>("the QR scanner", {"qr: hold up the code"})},
      {"ekyc", false, stopAt<OSLFaceVC>("the face screen", face)},
      {"ekyc", false, stopAt<ConfirmViewController>("the review", {"review"})},
      {"passport", false, captureStop(true)},
      {"passport", false, stopAt<OSLFaceVC>("the face screen", face)},
      {"nfc_only", false, stopAt<OSLScanNFCVC>("the chip screen", {"chip scan"})},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.flow) + (row.qr ? " with QR, " : ", ") + row.stop.name);
    host.clear();
    said.clear();
    addUserSteps();
    closeAt(row.stop);
    config->withIsQRCodeScanEnabled(row.qr);

    ASSERT_TRUE(runFlow(row.flow)) << testing::describe(said);
    EXPECT_EQ(orderWithoutLoading(), Strings{"event:0"});
    EXPECT_EQ(said.size() >= 2 ? Strings(said.end() - 2, said.end()) : said,
              (Strings{std::string("closes ") + row.stop.name, "confirms the alert"}));
    expectNothingLeft();
  }
  expectNoMissingKeys();
}

}  // namespace
}  // namespace ostrel
