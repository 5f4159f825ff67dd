#include <algorithm>

#include <gtest/gtest.h>

#include "platform/vision/VisionError.hpp"

#include "platform/foundation/Base64.hpp"
#include "session/Ostrel.hpp"
#include "testing/FlowHarness.hpp"
#include "testing/ScriptedFaceDetector.hpp"
#include "testing/ScriptedLivenessVendor.hpp"
#include "testing/ScriptedTextRecognizer.hpp"
#include "testing/SamplePerson.hpp"

namespace ostrel {
namespace {

using platform::JSON;
using testing::FlowHarness;
using Strings = std::vector<std::string>;

constexpr std::uint16_t kCOM = 0x011E;
constexpr std::uint16_t kDG1 = 0x0101;

class ConfiguredStepsTest : public FlowHarness {};

// Four steps whose data the host takes itself: each hand-off goes to its handler between the
// loading calls and nothing is uploaded; the chip step needs no zone from the server. After
// the last step the session reports the cancel, no result, then the run's completion.
TEST_F(ConfiguredStepsTest, EveryStepHandedToTheHost) {
  config->withIDStep(true, host.idDataHandler(true));
  config->withIDStep(false, host.idDataHandler(false));
  config->withFaceStep(OSLFaceLivenessVersion::passive, host.faceDataHandler());
  config->withNFCStep(testing::sampleCardZoneText(), host.nfcDataHandler());
  ASSERT_TRUE(runSteps());

  EXPECT_EQ(host.order(),
            (Strings{"showLoading", "idFrontData", "hideLoading", "showLoading", "idBackData",
                     "hideLoading", "showLoading", "faceData", "hideLoading", "showLoading",
                     "nfcData", "hideLoading", "event:0", "noResult", "completion"}));
  EXPECT_TRUE(flowPaths().empty()) << testing::describe(flowPaths());
  for (const auto& call : host.calls()) {
    if (call.entry == "idFrontData" || call.entry == "idBackData" || call.entry == "faceData") {
      EXPECT_GT(call.arguments.value("bytes", 0), 1000) << call.entry << " handed no picture";
    }
    if (call.entry == "nfcData") {
      const JSON& groups = call.arguments.at("jsonNfc");
      EXPECT_EQ(groups.value("dg1", ""), platform::base64Encode(card->file(kDG1)));
      EXPECT_EQ(groups.value("com", ""), platform::base64Encode(card->file(kCOM)));
    }
  }
  expectNothingLeft();
  expectNoMissingKeys();
}

// A chip step whose zone comes from the camera: the server holds none, so the chip screen
// opens the zone scanner, and the zone it read is what the chip screen logs when it starts
// listening and when the read succeeds.
TEST_F(ConfiguredStepsTest, AChipStepLogsTheZoneTheCameraRead) {
  // The recogniser reads the card's zone in whatever the camera shows.
  auto recognizer = testing::ScriptedTextRecognizer::install();
  recognizer->setFrameFunction([](const cv::Mat&) {
    testing::ScriptedTextRecognizer::Lines lines;
    double top = 0.3;
    for (const auto& line : testing::samplePerson().td1Zone()) {
      lines.push_back({line, 0.9f, platform::Rect{0.05, top, 0.9, 0.08}});
      top -= 0.1;
    }
    return lines;
  });
  server.setReply("/api/data/get", testing::ScriptedReply::data({{"raw_mrz", ""}}));
  config->withNFCStep(std::nullopt, host.nfcDataHandler());
  ASSERT_TRUE(runSteps()) << testing::describe(said) << "\n" << testing::describe(testing::eventNames(logged))
                          << "\n" << testing::describe(host.order());

  EXPECT_NE(std::find(said.begin(), said.end(), "holds the card's back up to the camera"), said.end())
      << testing::describe(said);
  EXPECT_EQ(host.count("nfcData"), 1);
  Strings zones;
  for (const auto& event : *logged) {
    if (event.event == "NFC_START_LISTEN" || event.event == "NFC_TAP_SUCCESS")
      zones.push_back(event.event + " " + event.data.value("mrz", "(none)"));
  }
  EXPECT_EQ(zones, (Strings{"NFC_START_LISTEN " + testing::sampleCardZoneText(),
                            "NFC_TAP_SUCCESS " + testing::sampleCardZoneText()}));
  expectNothingLeft();
}

// A chip step without a handler reads the card with the zone the server holds and has the
// server verify it (the decrypted body carries the card's own files); the server's reply says
// the chip's face matches, so the chip screen confirms and the session ends with its result.
TEST_F(ConfiguredStepsTest, AChipStepWithoutAHandlerGoesToTheServer) {
  config->withIDStep(true, host.idDataHandler(true));
  config->withNFCStep(std::nullopt, nullptr);
  ASSERT_TRUE(runSteps());

  EXPECT_EQ(flowPaths(), (Strings{"/api/data/get", "/api/nfc/verify", "/api/kyc/confirm"}));
  const auto verify = server.lastRequest("/api/nfc/verify");
  ASSERT_TRUE(verify && verify->decryptedBody);
  EXPECT_EQ(verify->decryptedBody->value("dg1", ""), platform::base64Encode(card->file(kDG1)));
  EXPECT_EQ(host.count("result"), 1);
  EXPECT_EQ(host.count("noResult"), 0);
  EXPECT_EQ(orderWithoutLoading().front(), "idFrontData");
  expectNothingLeft();
  expectNoMissingKeys();
}

// Steps run after a passport session keep their sides: the back step is a back step, whose
// picture goes to the back's handler, not the passport page's front.
TEST_F(ConfiguredStepsTest, StepsAfterAPassportRunKeepTheirSides) {
  ASSERT_TRUE(runFlow("passport"));
  const auto before = host.order().size();

  config->withIDStep(true, host.idDataHandler(true));
  config->withIDStep(false, host.idDataHandler(false));
  ASSERT_TRUE(runSteps());
  const auto order = host.order();
  const Strings steps(order.begin() + static_cast<std::ptrdiff_t>(before), order.end());
  EXPECT_EQ(steps, (Strings{"showLoading", "idFrontData", "hideLoading", "showLoading",
                            "idBackData", "hideLoading", "event:0", "noResult", "completion"}));
  EXPECT_EQ(said.back(), "continues with the photo of the card's back");
  expectNothingLeft();
}

// A host that turns a picture down: its message in an alert, the user confirms, takes the
// photo again and the host's next answer lets the steps go on.
TEST_F(ConfiguredStepsTest, APictureTheHostTurnsDownIsTakenAgain) {
  config->withIDStep(true, host.idDataHandler(true));
  config->withFaceStep(OSLFaceLivenessVersion::passive, host.faceDataHandler());
  host.handlers().queueAnswer(
      testing::ScriptedRawDataProcessor::Answer::failure(OstrelError(400, "Not a card")));
  ASSERT_TRUE(runSteps()) << testing::describe(said);

  EXPECT_EQ(orderWithoutLoading(), (Strings{"idFrontData", "idFrontData", "faceData", "event:0",
                                            "noResult", "completion"}));
  ASSERT_GE(said.size(), 6u);
  EXPECT_EQ(Strings(said.begin(), said.begin() + 6),
            (Strings{"holds the card's front up to the camera",
                     "continues with the photo of the card's front", "confirms the alert",
                     "retakes the photo of the card's front",
                     "holds the card's front up to the camera",
                     "continues with the photo of the card's front"}));
  expectNothingLeft();
}

}  // namespace
}  // namespace ostrel

namespace ostrel {
namespace {

// Every kind of face step as a configured step, each run twice: the passive and active face
// screens (the head movements scripted, as a picture cannot turn its head) and the vendor's
// check, each handing its picture to the host. The second run is heard as the first: every
// step starts afresh.
TEST_F(ConfiguredStepsTest, EveryFaceStepShownAgainStartsAfresh) {
  auto vision = std::make_shared<testing::ScriptedFaceDetector>();
  testing::InstalledFaceDetector installed(vision);
  vision->setFallback(platform::PlatformError{platform::kVisionErrorDomain, 9, "nobody", ""});
  testing::addFaceSteps(journey, vision);
  auto vendor = testing::ScriptedLivenessVendor::install();
  for (int run = 0; run < 2; ++run) {
    vendor->scriptNextLaunch({platform::LivenessVendor::connecting{},
                              platform::LivenessVendor::connected{},
                              platform::LivenessVendor::success{}});
  }
  config->withFaceStep(OSLFaceLivenessVersion::passive, host.faceDataHandler());
  config->withFaceStep(OSLFaceLivenessVersion::active, host.faceDataHandler());
  config->withFaceStep(OSLFaceLivenessVersion::semiActive, host.faceDataHandler());

  ASSERT_TRUE(runSteps()) << testing::describe(said);
  const auto first = host.order();
  const auto firstSaid = said;
  EXPECT_EQ(host.count("faceData"), 2) << testing::describe(first);
  EXPECT_EQ(first.back(), "completion");
  EXPECT_EQ(std::count(said.begin(), said.end(), "starts the liveness check"), 1);
  host.clear();
  said.clear();
  ASSERT_TRUE(runSteps()) << testing::describe(said);
  EXPECT_EQ(host.order(), first);
  EXPECT_EQ(said.size(), firstSaid.size()) << testing::describe(said);
  expectNothingLeft();
}

}  // namespace
}  // namespace ostrel
