#include <gtest/gtest.h>

#include "capture/IDCaptureVC.hpp"
#include "liveness/OSLFaceVC.hpp"
#include "nfcscan/OSLScanNFCVC.hpp"
#include "session/Ostrel.hpp"
#include "testing/FlowHarness.hpp"

namespace ostrel {
namespace {

using testing::FlowHarness;
using Strings = std::vector<std::string>;

class RestartTest : public FlowHarness {
 protected:
  // Restarts the session on screen, then drives until a new session shows its first step.
  template <class FirstScreen>
  std::shared_ptr<FirstScreen> restartAndReturnTo() {
    const auto old = Ostrel::shared()->naviViewController();
    Ostrel::shared()->restart();
    std::shared_ptr<FirstScreen> first;
    drive(
        [&] {
          const auto navi = Ostrel::shared()->naviViewController();
          first = std::dynamic_pointer_cast<FirstScreen>(testing::UserJourney::topScreen(window()));
          return navi && navi != old && first;
        },
        30);
    return first;
  }
};

// A restart at the face step of ekyc: the cancel is reported once, the flow starts again from
// the card's front, and the second run sends everything again and ends with one result.
TEST_F(RestartTest, EkycAtTheFaceStep) {
  buildConfig();
  Ostrel::shared()->run("ekyc", config);
  ASSERT_TRUE(driveTo<OSLFaceVC>());
  EXPECT_EQ(flowPaths(), (Strings{"/api/kyc/app/scan-front", "/api/kyc/app/scan-back"}));
  server.clearLog();
  const auto front = restartAndReturnTo<IDCaptureVC>();
  ASSERT_TRUE(front);
  EXPECT_TRUE(front->isFrontId());
  EXPECT_FALSE(front->isPreviewShown()) << "the front step kept its earlier photo";
  ASSERT_TRUE(driveToEnd());

  EXPECT_EQ(flowPaths(), (Strings{"/api/kyc/app/scan-front", "/api/kyc/app/scan-back",
                                  "/api/kyc/check-selfie", "/api/kyc/get-result",
                                  "/api/kyc/confirm"}));
  EXPECT_EQ(orderWithoutLoading(), (Strings{"event:0", "result"}));
  expectNothingLeft();
}

// A restart while the chip screen counts down in nfc_only: the new run fetches the zone again,
// reads the card and ends with one result; the first run's countdown is gone.
TEST_F(RestartTest, NfcOnlyDuringTheChipCountdown) {
  journey.remove("chip scan");
  buildConfig();
  Ostrel::shared()->run("nfc_only", config);
  const auto first = driveTo<OSLScanNFCVC>();
  ASSERT_TRUE(first);
  advance(3);
  server.clearLog();
  addUserSteps();
  ASSERT_TRUE(restartAndReturnTo<OSLScanNFCVC>());
  ASSERT_TRUE(driveToEnd());

  EXPECT_EQ(flowPaths(), (Strings{"/api/data/get", "/api/nfc/verify", "/api/kyc/confirm"}));
  EXPECT_EQ(orderWithoutLoading(), (Strings{"event:0", "result"}));
  expectNothingLeft();
}

// Configured steps restarted at their second step start again from the first; the run's
// completion comes once, after the second run's last step.
TEST_F(RestartTest, ConfiguredStepsAtTheSecondStep) {
  config->withIDStep(true, host.idDataHandler(true));
  config->withIDStep(false, host.idDataHandler(false));
  config->withFaceStep(OSLFaceLivenessVersion::passive, host.faceDataHandler());
  buildConfig();
  startSteps();
  std::shared_ptr<IDCaptureVC> back;
  ASSERT_TRUE(drive([&] {
    back = std::dynamic_pointer_cast<IDCaptureVC>(testing::UserJourney::topScreen(window()));
    return back && !back->isFrontId();
  }, 30));
  const auto front = restartAndReturnTo<IDCaptureVC>();
  ASSERT_TRUE(front);
  EXPECT_TRUE(front->isFrontId());
  ASSERT_TRUE(driveToEnd());

  EXPECT_EQ(orderWithoutLoading(),
            (Strings{"idFrontData", "event:0", "idFrontData", "idBackData", "faceData", "event:0",
                     "noResult", "completion"}));
  expectNothingLeft();
}

// Configured steps restarted while the chip is being read: the read ends with the old run, the
// new run reads the card again and hands its data over once.
TEST_F(RestartTest, ConfiguredStepsDuringAChipRead) {
  config->withNFCStep(testing::sampleCardZoneText(), host.nfcDataHandler());
  field->setDetectionDelay(0.5);
  buildConfig();
  startSteps();
  ASSERT_TRUE(drive([&] { return field->sessionsOpen() == 1; }, 30)) << "no read began";
  advance(0.6);  // the card lies in the field
  runUntilIdle();
  ASSERT_EQ(host.count("nfcData"), 0) << "the read ended before the restart";
  ASSERT_TRUE(restartAndReturnTo<OSLScanNFCVC>());
  ASSERT_TRUE(driveToEnd());

  EXPECT_EQ(orderWithoutLoading(),
            (Strings{"event:0", "nfcData", "event:0", "noResult", "completion"}));
  EXPECT_EQ(field->sessionsStarted(), 2);
  expectNothingLeft();
}

// The same configured steps run again after the first run ended: every step starts afresh
// and the second run is heard exactly as the first.
TEST_F(RestartTest, ConfiguredStepsRunAgainAfterTheirEnd) {
  config->withIDStep(true, host.idDataHandler(true));
  config->withIDStep(false, host.idDataHandler(false));
  config->withFaceStep(OSLFaceLivenessVersion::passive, host.faceDataHandler());
  config->withNFCStep(testing::sampleCardZoneText(), host.nfcDataHandler());
  ASSERT_TRUE(runSteps());
  const auto first = host.order();
  const auto firstSaid = said;
  host.clear();
  said.clear();
  ASSERT_TRUE(runSteps());
  EXPECT_EQ(host.order(), first);
  EXPECT_EQ(said, firstSaid);
  expectNothingLeft();
  expectNoMissingKeys();
}

}  // namespace
}  // namespace ostrel
