#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/Localization.hpp"
#include "core/OSLRawDataProcessor.hpp"
#include "model/OSLBackResult.hpp"
#include "model/OSLFrontResult.hpp"
#include "model/OstrelResult.hpp"
#include "network/OSLCrypto.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/ui/NavigationController.hpp"
#include "session/FlowLauncher.hpp"
#include "session/Ostrel.hpp"
#include "testing/ScriptedScreens.hpp"
#include "testing/ScriptedUser.hpp"

namespace ostrel {
namespace {

using platform::JSON;
using platform::make;
using platform::ViewController;
using Strings = std::vector<std::string>;

class HostAppScreen : public ViewController {};

class NullProcessor : public OSLRawDataProcessor {
 public:
  void processCaptureData(bool, const platform::Bytes&, const std::string&, Completion) override {}
  void processLivenessData(const platform::Bytes&, const std::string&, const std::string&,
                           Completion) override {}
  void processNFCData(const JSON&, Completion) override {}
};

// A host screen in the key window, stand-ins for every screen, and a configuration whose
// handlers write what the host hears into `heard`.
class FlowTest : public testing::UITest {
 protected:
  void SetUp() override {
    host = make<HostAppScreen>();
    show(host);
    config = OSLConfig::Builder("token");
    config->withEventHandler([this](OSLConfig::Event e) {
      heard.push_back("event " + std::to_string(static_cast<int>(e)));
    });
    config->withResultHandler(
        [this](std::shared_ptr<OstrelResult> r) { heard.push_back(r ? "result" : "no result"); });
  }
  void TearDown() override {
    Ostrel::shared()->setNaviViewController(nullptr);
    Ostrel::shared()->setConfig(nullptr);
    setLanguageDictionary(JSON::object());
  }

  // Finishes the screen on top (it must be of `kind`) and lets the push run.
  void finishTop(const std::string& kind) {
    auto top = testing::ScriptedScreens::top();
    ASSERT_TRUE(top) << "no screen on top, expected " << kind;
    ASSERT_EQ(top->kind, kind);
    top->finish();
    advance(1);
  }
  // Restarts the session on screen, the old navigation controller held meanwhile (as a running
  // animation would hold it), and returns the new one.
  std::shared_ptr<platform::NavigationController> restartSession() {
    const auto oldNavi = Ostrel::shared()->naviViewController();
    Ostrel::shared()->restart();
    advance(2);
    auto navi = Ostrel::shared()->naviViewController();
    EXPECT_TRUE(navi);
    EXPECT_NE(navi, oldNavi);
    return navi;
  }
  Strings stack() const {
    Strings kinds;
    if (auto navi = Ostrel::shared()->naviViewController()) {
      for (const auto& c : navi->viewControllers()) {
        auto s = std::dynamic_pointer_cast<testing::ScriptedStepScreen>(c);
        kinds.push_back(s ? s->kind : "?");
      }
    }
    return kinds;
  }

  testing::ScriptedScreens screens;
  std::shared_ptr<HostAppScreen> host;
  std::shared_ptr<OSLConfig> config;
  Strings heard;
};

TEST_F(FlowTest, EkycRunsItsStepsInOrderWithAndWithoutQR) {
  for (bool qr : {false, true}) {
    SCOPED_TRACE(qr ? "QR on" : "QR off");
    testing::ScriptedScreens local;
    config->withIsQRCodeScanEnabled(qr);
    Ostrel::shared()->run("ekyc", config);
    advance(1);
    auto navi = Ostrel::shared()->naviViewController();
    ASSERT_TRUE(navi);
    EXPECT_EQ(host->presentedViewController(), navi);
    EXPECT_EQ(navi->modalPresentationStyle, platform::ModalPresentationStyle::fullScreen);
    finishTop("id-front");
    finishTop("id-back");
    if (qr) finishTop("qr");
    finishTop("face-p");
    Strings expected = qr ? Strings{"id-front", "id-back", "qr", "face-p", "confirm"}
                          : Strings{"id-front", "id-back", "face-p", "confirm"};
    EXPECT_EQ(local.kinds(), expected);
    EXPECT_EQ(stack(), expected);
    // The confirmation screen ends the flow itself: its continuation is not set.
    EXPECT_FALSE(local.last("confirm")->onNext);
    Ostrel::shared()->close(false);
    advance(1);
    Ostrel::shared()->setConfig(config);
  }
  EXPECT_TRUE(heard.empty());
}

TEST_F(FlowTest, QRStepGetsItsConfiguration) {
  setLanguageDictionary({{"scan_qr_code", "Quét mã QR"},
                         {"qr_code_scan_guide", "Đặt mã QR vào khung"},
                         {"invalid_qr_code", "Mã QR không hợp lệ"},
                         {"button_confirm", "Xác nhận"},
                         {"upload_from_photos", "Tải ảnh lên"},
                         {"button_cancel", "Huỷ"}});
  config->withIsQRCodeScanEnabled(true);
  config->appearance->mainColor = "FF0000";
  Ostrel::shared()->run(OSLFlowType::nfc_only("MRZ"), config);
  advance(1);
  auto qr = screens.last("qr");
  ASSERT_TRUE(qr && qr->qrConfiguration);
  const auto& c = *qr->qrConfiguration;
  EXPECT_EQ(c.title, "Quét mã QR");
  EXPECT_EQ(c.hint, "Đặt mã QR vào khung");
  EXPECT_EQ(c.invalidQRCodeAlertTitle, "Mã QR không hợp lệ");
  EXPECT_EQ(c.invalidQRCodeAlertActionTitle, "Xác nhận");
  EXPECT_EQ(c.uploadFromPhotosTitle, "Tải ảnh lên");
  EXPECT_EQ(c.cancelButtonTitle, "Huỷ");
  EXPECT_EQ(c.length, 20);
  EXPECT_EQ(c.radius, 16);
  EXPECT_EQ(c.thickness, 8);
  EXPECT_TRUE(c.color.isApproximately({1, 0, 0, 1}));
  EXPECT_FALSE(c.readQRFromPhotos);
  EXPECT_TRUE(c.hideNavigationBar);
  EXPECT_FALSE(c.cancelButtonTintColor);
  EXPECT_FALSE(c.regexValidResult);
}

TEST_F(FlowTest, NfcEkycReadsTheChipOnlyForChipCards) {
  struct Case {
    std::string cardType;
    bool chip;
  };
  for (const auto& c : std::vector<Case>{
           {"EID_BACK", true}, {"eid24_back", true}, {"old_id_back", false}, {"", false}}) {
    SCOPED_TRACE(c.cardType);
    testing::ScriptedScreens local;
    // The back capture stores what the server recognised, as the real screen does.
    local.onCreate = [&](testing::ScriptedStepScreen& s) {
      if (s.kind != "qr") return;
      JSON back = {{"card_type", c.cardType}, {"mrz", {{"raw_mrz", "IDVNM123<<4"}}}};
      if (c.cardType.empty()) back.erase("card_type");
      Ostrel::shared()->config()->withBackResult(OSLBackResult::fromDictionary(back));
    };
    config->withIsQRCodeScanEnabled(true);
    Ostrel::shared()->run("NFC_EKYC", config);
    advance(1);
    EXPECT_EQ(Ostrel::shared()->getFlowType().kind, OSLFlowType::Kind::nfc_ekyc);
    finishTop("id-front");
    finishTop("id-back");
    finishTop("qr");
    if (c.chip) {
      auto chip = screens.top();
      ASSERT_TRUE(chip);
      ASSERT_EQ(chip->kind, "nfc");
      EXPECT_EQ(chip->flowType, OSLFlowType::nfc_ekyc("IDVNM123<<4"));
      EXPECT_TRUE(chip->onNeedLiveness);
      finishTop("nfc");
    }
    finishTop("face-p");
    Strings expected = c.chip ? Strings{"id-front", "id-back", "qr", "nfc", "face-p", "confirm"}
                              : Strings{"id-front", "id-back", "qr", "face-p", "confirm"};
    EXPECT_EQ(local.kinds(), expected);
    Ostrel::shared()->close(false);
    advance(1);
    Ostrel::shared()->setConfig(config);
  }
}

TEST_F(FlowTest, NfcOnlyChipScreenWithLivenessAndItsEnd) {
  for (bool qr : {false, true}) {
    SCOPED_TRACE(qr ? "QR on" : "QR off");
    testing::ScriptedScreens local;
    heard.clear();
    config->withIsQRCodeScanEnabled(qr);
    Ostrel::shared()->run(OSLFlowType::nfc_only("MRZ-TEXT", "ZmFjZQ=="), config);
    advance(1);
    if (qr) finishTop("qr");
    auto chip = local.last("nfc");
    ASSERT_TRUE(chip);
    EXPECT_EQ(chip->flowType, OSLFlowType::nfc_only("MRZ-TEXT", "ZmFjZQ=="));
    ASSERT_TRUE(chip->onNeedLiveness);

    // The chip screen asks for liveness: the face step is pushed, and when it is done it is
    // popped and the chip screen's continuation runs.
    int continued = 0;
    chip->onNeedLiveness([&] { ++continued; });
    advance(1);
    EXPECT_EQ(stack().back(), "face-p");
    finishTop("face-p");
    EXPECT_EQ(continued, 1);
    EXPECT_EQ(stack().back(), "nfc");

    // Reaching its own continuation ends the session like configured steps.
    finishTop("nfc");
    EXPECT_EQ(Ostrel::shared()->naviViewController(), nullptr);
    EXPECT_EQ(heard, (Strings{"event 0", "no result"}));
    EXPECT_EQ(host->presentedViewController(), nullptr);
    Ostrel::shared()->setConfig(config);
  }
}

TEST_F(FlowTest, PassportEndsOnResultScreenBuiltFromEmptyRecords) {
  for (bool reasonsOnly : {false, true}) {
    SCOPED_TRACE(reasonsOnly ? "reasons only" : "full result");
    testing::ScriptedScreens local;
    config->withIsOnlyShowReasonInResultVC(reasonsOnly);
    Ostrel::shared()->run("passport", config);
    advance(1);
    EXPECT_TRUE(Ostrel::shared()->getFlowType().isPassport());
    finishTop("id-front");
    finishTop("face-p");
    const std::string resultKind = reasonsOnly ? "result-simple" : "result-ekyc";
    EXPECT_EQ(local.kinds(), (Strings{"id-front", "face-p", resultKind}));
    auto result = local.last(resultKind)->result;
    ASSERT_TRUE(result);
    ASSERT_TRUE(result->frontResult);
    EXPECT_FALSE(result->frontResult->cardType);
    EXPECT_FALSE(result->decision);
    EXPECT_EQ(result->rawJson, JSON::object());
    EXPECT_EQ(stack().back(), resultKind);
    Ostrel::shared()->close(false);
    advance(1);
    Ostrel::shared()->setConfig(config);
  }
}

TEST_F(FlowTest, FaceStepFollowsTheLivenessVersion) {
  struct Case {
    OSLFaceLivenessVersion version;
    std::string kind;
  };
  for (const auto& c : std::vector<Case>{{OSLFaceLivenessVersion::passive, "face-p"},
                                         {OSLFaceLivenessVersion::active, "face-a"},
                                         {OSLFaceLivenessVersion::semiActive, "vendor"}}) {
    SCOPED_TRACE(c.kind);
    testing::ScriptedScreens local;
    config->withLivenessVersion(c.version);
    Ostrel::shared()->run("ekyc", config);
    advance(1);
    finishTop("id-front");
    finishTop("id-back");
    EXPECT_EQ(stack().back(), c.kind);
    Ostrel::shared()->close(false);
    advance(1);
    Ostrel::shared()->setConfig(config);
  }
}

TEST_F(FlowTest, RunByNameAndRefusals) {
  for (const char* name : {"kyc", "ekyc ", "", "nfc"}) {
    SCOPED_TRACE(name);
    Ostrel::shared()->run(name, config);
    advance(1);
    EXPECT_EQ(Ostrel::shared()->naviViewController(), nullptr) << name;
  }
  EXPECT_TRUE(screens.created().empty());

  // Upper case is a flow name; the processor is stored with the configuration.
  auto processor = std::make_shared<NullProcessor>();
  Ostrel::shared()->run("EKYC", config, processor);
  advance(1);
  ASSERT_TRUE(Ostrel::shared()->naviViewController());
  EXPECT_EQ(Ostrel::shared()->getConfig(), config);
  EXPECT_EQ(config->rawDataProcessor, processor);

  // A second run while a session is on screen starts nothing.
  const auto navi = Ostrel::shared()->naviViewController();
  Ostrel::shared()->run("passport", config);
  advance(1);
  EXPECT_EQ(Ostrel::shared()->naviViewController(), navi);
  EXPECT_EQ(screens.kinds(), (Strings{"id-front"}));
}

TEST_F(FlowTest, PresentsOverTheTopMostPresentedController) {
  auto modal = make<HostAppScreen>();
  ASSERT_TRUE(host->present(modal, false));
  std::thread worker([&] { Ostrel::shared()->run("ekyc", config); });
  worker.join();
  EXPECT_EQ(Ostrel::shared()->naviViewController(), nullptr) << "runs on the main queue";
  advance(1);
  EXPECT_EQ(modal->presentedViewController(), Ostrel::shared()->naviViewController());
}

TEST_F(FlowTest, MissingScreenStartsNothingAndDoesNotCrash) {
  ScreenFactories::shared().idCapture = nullptr;
  Ostrel::shared()->run("ekyc", config);
  advance(1);
  EXPECT_EQ(Ostrel::shared()->naviViewController(), nullptr);
  EXPECT_EQ(host->presentedViewController(), nullptr);
}

TEST_F(FlowTest, ConfiguredStepsRunInOrderAndEndWithCancelNoResultThenCompletion) {
  int front = 0, back = 0, face = 0, chip = 0;
  config->withIDStep(true, [&](auto&, auto&, auto) { ++front; })
      .withIDStep(false, [&](auto&, auto&, auto) { ++back; })
      .withFaceStep(OSLFaceLivenessVersion::active, [&](auto&, auto&, auto&, auto) { ++face; })
      .withNFCStep("MRZ-1", [&](auto&, auto) { ++chip; });
  ASSERT_EQ(config->steps.size(), 4u);
  EXPECT_EQ(screens.kinds(), (Strings{"id-front", "id-back", "face-a", "nfc"}));
  EXPECT_EQ(screens.last("nfc")->flowType, OSLFlowType::nfc_only("MRZ-1", std::nullopt));
  EXPECT_FALSE(screens.last("nfc")->onNeedLiveness) << "a configured chip step has no liveness";
  EXPECT_EQ(config->livenessVersion, OSLFaceLivenessVersion::active);
  ASSERT_TRUE(config->idFrontDataHandler && config->idBackDataHandler && config->faceDataHandler &&
              config->nfcDataHandler);
  config->idFrontDataHandler({}, "", {});
  config->idBackDataHandler({}, "", {});
  config->faceDataHandler({}, "", "a", {});
  config->nfcDataHandler(JSON::object(), {});
  EXPECT_EQ(front + back + face + chip, 4);
  EXPECT_EQ(front * back * face * chip, 1);

  Ostrel::shared()->run(config, host, true, [&] { heard.push_back("run completion"); });
  advance(1);
  EXPECT_EQ(host->presentedViewController(), Ostrel::shared()->naviViewController());
  finishTop("id-front");
  finishTop("id-back");
  finishTop("face-a");
  EXPECT_EQ(stack(), (Strings{"id-front", "id-back", "face-a", "nfc"}));
  EXPECT_TRUE(heard.empty());
  finishTop("nfc");
  EXPECT_EQ(heard, (Strings{"event 0", "no result", "run completion"}));
  EXPECT_EQ(host->presentedViewController(), nullptr);
  EXPECT_NE(Ostrel::shared()->config(), config);
}

TEST_F(FlowTest, ConfiguredStepsCancelHandlerWhenNoEventHandler) {
  config->withEventHandler({});
  config->withCancelSessionHandler([&] { heard.push_back("cancel"); });
  config->withIDStep(true, {});
  Ostrel::shared()->run(config, nullptr, false, [&] { heard.push_back("done"); });
  advance(1);
  ASSERT_TRUE(Ostrel::shared()->naviViewController());
  finishTop("id-front");
  EXPECT_EQ(heard, (Strings{"cancel", "no result", "done"}));
}

TEST_F(FlowTest, RestartRunsTheSameFlowWithTheSameConfiguration) {
  auto processor = std::make_shared<NullProcessor>();
  Ostrel::shared()->run(OSLFlowType::passport(), config, processor);
  advance(1);
  finishTop("id-front");

  auto navi = restartSession();
  ASSERT_TRUE(navi);
  EXPECT_EQ(host->presentedViewController(), navi);
  EXPECT_EQ(Ostrel::shared()->config(), config);
  EXPECT_EQ(config->rawDataProcessor, processor);
  EXPECT_TRUE(Ostrel::shared()->getFlowType().isPassport());
  EXPECT_EQ(stack(), (Strings{"id-front"}));
  EXPECT_EQ(heard, (Strings{"event 0"}));
  EXPECT_EQ(screens.kinds(), (Strings{"id-front", "face-p", "id-front"}));
}

TEST_F(FlowTest, RestartOfConfiguredStepsRunsThemAgain) {
  config->withIDStep(true, {}).withIDStep(false, {});
  int completions = 0;
  Ostrel::shared()->run(config, host, true, [&] { ++completions; });
  advance(1);
  finishTop("id-front");
  Ostrel::shared()->restart();
  advance(2);
  EXPECT_EQ(stack(), (Strings{"id-front"}));
  finishTop("id-front");
  finishTop("id-back");
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(heard, (Strings{"event 0", "event 0", "no result"}));
}

TEST_F(FlowTest, ConfiguredStepsStartFreshOnEveryRunAndRestart) {
  config->withIDStep(true, {}).withIDStep(false, {});
  const auto front = screens.last("id-front");
  const auto back = screens.last("id-back");
  int completions = 0;
  auto run = [&] {
    Ostrel::shared()->run(config, host, true, [&] { ++completions; });
    advance(1);
  };
  run();
  EXPECT_EQ(front->resets, 1);
  EXPECT_EQ(back->resets, 0) << "a step is readied as it is about to be shown";
  finishTop("id-front");
  EXPECT_EQ(back->resets, 1);

  // The old navigation controller outlives its session; its screens still go into the new one.
  auto navi = restartSession();
  ASSERT_TRUE(navi);
  EXPECT_EQ(stack(), (Strings{"id-front"}));
  EXPECT_EQ(front->parent(), navi);
  EXPECT_EQ(front->resets, 2);
  EXPECT_EQ(front->finishedSinceReset, 0);
  finishTop("id-front");
  EXPECT_EQ(back->resets, 2);
  finishTop("id-back");
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(heard, (Strings{"event 0", "event 0", "no result"}));

  // The same configuration run again, its last navigation controller still held too.
  heard.clear();
  run();
  ASSERT_TRUE(Ostrel::shared()->naviViewController());
  EXPECT_NE(Ostrel::shared()->naviViewController(), navi);
  EXPECT_EQ(front->resets, 3);
  finishTop("id-front");
  finishTop("id-back");
  EXPECT_EQ(back->resets, 3);
  EXPECT_EQ(completions, 2);
  EXPECT_EQ(heard, (Strings{"event 0", "no result"}));
  EXPECT_EQ(screens.created().size(), 2u) << "the same two screens served every run";
}

TEST_F(FlowTest, ConfiguredRunWithoutStepsEndsAtOnceAndRefusedRunsOnlyComplete) {
  Ostrel::shared()->run(config, host, true, [&] { heard.push_back("run completion"); });
  EXPECT_EQ(heard, (Strings{"event 0", "no result", "run completion"}));
  advance(1);
  EXPECT_EQ(host->presentedViewController(), nullptr);
  EXPECT_EQ(heard.size(), 3u);

  heard.clear();
  Ostrel::shared()->run(nullptr, host, true, [&] { heard.push_back("refused"); });
  Ostrel::shared()->run("ekyc", config);
  advance(1);
  ASSERT_TRUE(Ostrel::shared()->naviViewController());
  auto other = OSLConfig::Builder("other");
  other->withIDStep(false, {});
  other->withEventHandler([&](OSLConfig::Event) { heard.push_back("other event"); });
  other->withResultHandler([&](std::shared_ptr<OstrelResult>) { heard.push_back("other result"); });
  Ostrel::shared()->run(other, host, true, [&] { heard.push_back("refused"); });
  advance(1);
  EXPECT_EQ(heard, (Strings{"refused", "refused"}));
  EXPECT_EQ(stack(), (Strings{"id-front"})) << "the session on screen goes on";
  EXPECT_EQ(Ostrel::shared()->config(), config);
}

TEST_F(FlowTest, RestartAfterTheSessionEndedDoesNotReplayItsHostCompletion) {
  config->withIDStep(true, {});
  int completions = 0;
  Ostrel::shared()->run(config, host, true, [&] { ++completions; });
  advance(1);
  finishTop("id-front");
  ASSERT_EQ(completions, 1);
  Ostrel::shared()->restart();
  advance(2);
  EXPECT_EQ(Ostrel::shared()->naviViewController(), nullptr);

  // A session that `run` did not start (one the host's tests put up, say): restarting it must
  // not bring back the completion of the configured run that ended before it.
  auto root = make<ViewController>();
  auto navi = platform::NavigationController::withRoot(root);
  ASSERT_TRUE(host->present(navi, false));
  Ostrel::shared()->setNaviViewController(navi);
  Ostrel::shared()->restart();
  advance(2);
  EXPECT_EQ(completions, 1);
}

TEST_F(FlowTest, RestartWithoutSessionDoesNothing) {
  Ostrel::shared()->restart();
  advance(1);
  EXPECT_EQ(Ostrel::shared()->naviViewController(), nullptr);
  EXPECT_TRUE(screens.created().empty());
}

TEST_F(FlowTest, ResultScreensArePushedOnTheSession) {
  auto result = std::make_shared<OstrelResult>();
  Ostrel::shared()->showResult(result);  // no session: dropped
  advance(1);
  EXPECT_EQ(host->presentedViewController(), nullptr);
  Ostrel::shared()->run("ekyc", config);
  advance(1);
  Ostrel::shared()->showResultNfc(result);
  advance(1);
  EXPECT_EQ(stack().back(), "result-nfc");
  EXPECT_EQ(screens.last("result-nfc")->result, result);
  Ostrel::shared()->showEKYCResultScreen(result);
  advance(1);
  EXPECT_EQ(stack().back(), "result-ekyc");
  config->withIsOnlyShowReasonInResultVC(true);
  Ostrel::shared()->showNfcResultScreen(result);
  advance(1);
  EXPECT_EQ(stack().back(), "result-simple");
}

TEST_F(FlowTest, TimeoutConfirmReportsCancelThenExpired) {
  // What the time-out alert's confirmation does: close as cancelled, then report expiry.
  config->withExpiredHandler([&] { heard.push_back("expired handler"); });
  for (bool eventHandler : {true, false}) {
    SCOPED_TRACE(eventHandler ? "event handler" : "separate handlers");
    heard.clear();
    if (!eventHandler) {
      config->withEventHandler({});
      config->withCancelSessionHandler([&] { heard.push_back("cancel handler"); });
    }
    Ostrel::shared()->run("ekyc", config);
    advance(1);
    closeSessionCancelled([] {
      auto c = Ostrel::shared()->config();
      if (c->eventHandler) {
        c->eventHandler(OSLConfig::Event::expired);
      } else if (c->expiredHandler) {
        c->expiredHandler();
      }
    });
    advance(1);
    const Strings expected =
        eventHandler ? Strings{"event 0", "event 1"} : Strings{"cancel handler", "expired handler"};
    EXPECT_EQ(heard, expected);
    Ostrel::shared()->setConfig(config);
  }
}

TEST(FacadeTest, SdkVersionFromTheBundleElseTheBuiltInOne) {
  namespace fs = std::filesystem;
  const char* previous = std::getenv("OSTREL_RESOURCE_ROOT");
  const std::string saved = previous ? previous : "";
  const auto root = fs::temp_directory_path() / ("ostrel-version-" + std::to_string(::getpid()));
  fs::create_directories(root / "ZAZiZEZ_ADE.bundle");
  ::setenv("OSTREL_RESOURCE_ROOT", root.c_str(), 1);
  struct Case {
    std::optional<std::string> info;
    std::string expected;
  };
  for (const auto& c : std::vector<Case>{{R"({"shortVersionString": "3.1.0"})", "3.1.0"},
                                         {R"({"shortVersionString": ""})", "2.8.3"},
                                         {R"({})", "2.8.3"},
                                         {std::nullopt, "2.8.3"}}) {
    SCOPED_TRACE(c.info.value_or("no Info"));
    fs::remove(root / "ZAZiZEZ_ADE.bundle" / "Info.json");
    if (c.info) std::ofstream(root / "ZAZiZEZ_ADE.bundle" / "Info.json") << *c.info;
    EXPECT_EQ(Ostrel::shared()->getSDKVersion(), c.expected) << c.info.value_or("no Info");
  }
  ::setenv("OSTREL_RESOURCE_ROOT", root.c_str(), 1);
  fs::remove_all(root);
  EXPECT_EQ(Ostrel::shared()->getSDKVersion(), "2.8.3") << "no bundle at all";
  if (previous) {
    ::setenv("OSTREL_RESOURCE_ROOT", saved.c_str(), 1);
  } else {
    ::unsetenv("OSTREL_RESOURCE_ROOT");
  }
}

TEST(FacadeTest, EncryptIsThePayloadCipherAndLocalizeReadsTheDictionary) {
  // Padded to one block, then a whole block of PKCS7 padding: two blocks in hex.
  EXPECT_EQ(Ostrel::shared()->encrypt("abc").size(), 64u);
  EXPECT_EQ(Ostrel::shared()->encrypt("abc"), OSLCrypto::encrypt("abc"));
  setLanguageDictionary({{"k", "v"}, {"n", 3}});
  EXPECT_EQ(Ostrel::shared()->osl_localize("k"), "v");
  EXPECT_EQ(Ostrel::shared()->osl_localize("n"), "3");
  EXPECT_EQ(Ostrel::shared()->osl_localize("missing"), "");
  setLanguageDictionary(JSON::object());
}

}  // namespace
}  // namespace ostrel
