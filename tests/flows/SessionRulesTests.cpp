#include <typeinfo>

#include <gtest/gtest.h>

#include "capture/IDCaptureVC.hpp"
#include "core/ScreenFactories.hpp"
#include "liveness/OSLFaceVC.hpp"
#include "liveness/OSLGuideLivenessAdvanceVC.hpp"
#include "model/OstrelResult.hpp"
#include "nfcscan/OSLResultNFCVC.hpp"
#include "nfcscan/OSLScanNFCVC.hpp"
#include "results/ConfirmViewController.hpp"
#include "results/OSLResulteKYCVC.hpp"
#include "results/OSLSimpleResultVC.hpp"
#include "scanner/OSLQRCodeScannerController.hpp"
#include "session/Ostrel.hpp"
#include "testing/FlowHarness.hpp"

namespace ostrel {
namespace {

using platform::JSON;
using platform::ViewController;
using testing::FlowHarness;
using testing::ScriptedHost;
using Strings = std::vector<std::string>;

class SessionRulesTest : public FlowHarness {};

template <class Screen>
bool is(const std::shared_ptr<ViewController>& controller) {
  return std::dynamic_pointer_cast<Screen>(controller) != nullptr;
}

// Every entry of the screen table makes the library's own screen, so no flow can stall at a
// step (or a result) that has nothing to show.
TEST_F(SessionRulesTest, EveryScreenTableEntryMakesTheLibrarysScreen) {
  ScreenFactories::reset();
  const auto& table = ScreenFactories::shared();
  auto result = std::make_shared<OstrelResult>();
  const OSLFlowType chipFlow = OSLFlowType::nfc_only(std::string("zone"), std::string("face"));
  struct Row {
    const char* entry;
    std::function<std::shared_ptr<ViewController>()> make;
    std::function<bool(const std::shared_ptr<ViewController>&)> expected;
  };
  const Row rows[] = {
      {"idCapture", [&] { return table.idCapture(true).controller; }, is<IDCaptureVC>},
      {"face", [&] { return table.face(OSLFaceLivenessVersion::active).controller; }, is<OSLFaceVC>},
      {"vendorLiveness", [&] { return table.vendorLiveness().controller; },
       is<OSLGuideLivenessAdvanceVC>},
      {"qrScanner", [&] { return table.qrScanner({}).controller; },
       is<OSLQRCodeScannerController>},
      {"nfc", [&] { return table.nfc(chipFlow).controller; }, is<OSLScanNFCVC>},
      {"confirm", [&] { return table.confirm().controller; }, is<ConfirmViewController>},
      {"ekycResult", [&] { return table.ekycResult(result); }, is<OSLResulteKYCVC>},
      {"nfcResult", [&] { return table.nfcResult(result); }, is<OSLResultNFCVC>},
      {"simpleResult", [&] { return table.simpleResult(result); }, is<OSLSimpleResultVC>},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.entry);
    const auto controller = row.make();
    ASSERT_TRUE(controller);
    EXPECT_TRUE(row.expected(controller)) << typeid(*controller).name();
  }
}

// Steps that show nothing end at once as after a last step; a refused run (no configuration,
// or a session already on screen) runs only its own completion and leaves the running session
// to end as it would have; a host object held by `run`'s completion is let go with the session.
TEST_F(SessionRulesTest, EmptyAndRefusedRunsAndWhatTheCompletionHolds) {
  buildConfig();
  auto token = std::make_shared<int>(7);
  std::weak_ptr<int> held = token;
  Ostrel::shared()->run(config, hostScreen, true, [record = host.runCompletion(), token] {
    record();
  });
  token.reset();
  runUntilIdle();
  EXPECT_EQ(host.order(), (Strings{"event:0", "noResult", "completion"}));
  EXPECT_EQ(Ostrel::shared()->naviViewController(), nullptr);

  int refused = 0;
  Ostrel::shared()->run(nullptr, hostScreen, true, [&refused] { ++refused; });
  runUntilIdle();
  EXPECT_EQ(refused, 1);

  // A session on screen: another host's runs start nothing and hear nothing but a completion.
  host.clear();
  auto other = OSLConfig::Builder("token");
  other->withBaseUrl(server.baseUrl());
  other->withIDStep(true, nullptr);
  ScriptedHost otherHost;
  otherHost.install(*other);
  Ostrel::shared()->run("ekyc", config);
  ASSERT_TRUE(driveTo<IDCaptureVC>());
  const auto navi = Ostrel::shared()->naviViewController();
  Ostrel::shared()->run("passport", other);
  Ostrel::shared()->run(other, hostScreen, true, [&refused] { ++refused; });
  runUntilIdle();
  EXPECT_EQ(refused, 2);
  EXPECT_TRUE(otherHost.order().empty()) << testing::describe(otherHost.order());
  EXPECT_EQ(Ostrel::shared()->naviViewController(), navi);
  EXPECT_EQ(Ostrel::shared()->config(), config);
  ASSERT_TRUE(driveToEnd());
  EXPECT_EQ(orderWithoutLoading(), Strings{"result"});
  EXPECT_EQ(flowPaths().front(), "/api/kyc/app/scan-front");
  EXPECT_TRUE(held.expired()) << "the first run's completion still holds the host's object";
  expectNothingLeft();
}

// A host that drops the appearance after the build (the build needs its language) gets the
// defaults on every screen of a whole flow.
TEST_F(SessionRulesTest, AFlowWithoutAnAppearanceRunsOnTheDefaults) {
  config->withIsQRCodeScanEnabled(true);
  config->withShowResultScreen(true);
  buildConfig();
  config->appearance = nullptr;
  Ostrel::shared()->run("ekyc", config);
  ASSERT_TRUE(driveToEnd());
  EXPECT_EQ(orderWithoutLoading(), (Strings{"event:0", "result"}));
  expectNothingLeft();
}

}  // namespace
}  // namespace ostrel
