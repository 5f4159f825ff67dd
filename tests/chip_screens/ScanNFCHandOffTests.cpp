#include "tests/chip_screens/ScanNFCTest.hpp"

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace ostrel::chip_screens_test {
namespace {

// ------------------------------------------------------------------------------ hand-off

TEST_F(ScanNFCTest, TheHostsChipDataHandlerDecidesTheStep) {
  config->withNfcDataHandler([](const JSON&, OSLConfig::ResultCompletion) {});
  // Success: the next step, whatever the flow.
  std::vector<OSLConfig::ResultCompletion> completions;
  std::vector<JSON> given;
  config->nfcDataHandler = [&](const JSON& data, OSLConfig::ResultCompletion done) {
    given.push_back(data);
    completions.push_back(std::move(done));
  };
  auto screen = openWithNext(OSLFlowType::nfc_only(cardZone(), std::nullopt));
  EXPECT_TRUE(server.requests(kMrzData).empty()) << "a host with a handler has its zone";
  tapScanAndRead(screen);
  afterRead();
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(given[0]["dg1"], base64Encode(chip->file(0x0101)));
  completions[0](OSLConfig::Result::success());
  completions[0](OSLConfig::Result::failure(OstrelError(400, "late")));
  runUntilIdle();
  EXPECT_EQ(*heard, (std::vector<std::string>{"show loading", "hide loading", "next"}));
  EXPECT_EQ(countEvents("NFC_SUCCESS"), 1);
  EXPECT_FALSE(screen->state.isWaitingProcess);
  endSession();

  // Failure: the red line, the zone dropped, the host's chip-error handler, "NFC_FAIL".
  heard->clear();
  chip->reset();
  useChipErrorHandler();
  screen = openWithNext(OSLFlowType::nfc_only(cardZone(), std::nullopt));
  tapScanAndRead(screen);
  afterRead();
  ASSERT_EQ(completions.size(), 2u);
  std::thread([done = completions[1]] {
    done(OSLConfig::Result::failure(OstrelError(51, "Card blocked")));
  }).join();
  runUntilIdle();
  EXPECT_EQ(*heard, (std::vector<std::string>{"show loading", "hide loading",
                                               "chip error 51 Card blocked +retry"}));
  EXPECT_EQ(screen->lblError->text(), "Card blocked");
  EXPECT_TRUE(screen->lblError->textColor().isApproximately(Color::systemRed()));
  EXPECT_FALSE(screen->state.mrz);
  ASSERT_TRUE(lastEvent("NFC_FAIL"));
  EXPECT_EQ(lastEvent("NFC_FAIL")->data, (JSON{{"error", "Card blocked"}}));
  EXPECT_FALSE(screen->state.isWaitingProcess);
}

TEST_F(ScanNFCTest, TheRawDataProcessorsAnswers) {
  auto processor = std::make_shared<testing::ScriptedRawDataProcessor>();
  config->rawDataProcessor = processor;
  useChipErrorHandler();
  using Answer = testing::ScriptedRawDataProcessor::Answer;
  struct Row {
    const char* name;
    Answer answer;
    std::vector<std::string> heard;
    bool mrzKept;
  };
  const std::vector<Row> table{
      {"success, flag off: the next step", Answer::success(JSON{{"is_nfc_face_match_selfie", 0}}),
       {"show loading", "hide loading", "hide loading", "next"}, true},
      {"success from another thread, twice",
       Answer::success(JSON::object()).fromOtherThread().twice(),
       {"show loading", "hide loading", "hide loading", "next"}, true},
      {"failure with an error", Answer::failure(OstrelError(21, "Expired card")),
       {"show loading", "hide loading", "chip error 21 Expired card +retry"}, false},
      {"failure without an error", Answer::failure(std::nullopt),
       {"show loading", "hide loading", "chip error -1 [error_unknown] +retry"}, false},
      {"another result type", Answer::unknownType(7),
       {"show loading", "hide loading", "chip error -1 [error_unknown] +retry"}, false},
      {"failure 401: the time-out alert only", Answer::failure(OstrelError(401, "Expired")),
       {"show loading", "hide loading"}, false},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    heard->clear();
    logged->clear();
    chip->reset();
    processor->queueAnswer(row.answer);
    auto screen = openWithNext(OSLFlowType::nfc_ekyc(cardZone()));
    tapScanAndRead(screen);
    afterRead();
    runUntilIdle();
    EXPECT_EQ(*heard, row.heard);
    EXPECT_EQ(screen->state.mrz.has_value(), row.mrzKept);
    EXPECT_EQ(countEvents("NFC_FAIL"), 0) << "a processor's failure is the host's own";
    // A success hands the step on; only a failure makes the screen ready again.
    EXPECT_EQ(screen->state.isWaitingProcess, row.mrzKept);
    for (int i = 0; i < 3 && alert(); ++i) answerAlert(true);
    endSession();
  }
  EXPECT_EQ(processor->callCount(), static_cast<int>(table.size()));
}

TEST_F(ScanNFCTest, ServerVerificationFailuresAreRoutedByCode) {
  useChipErrorHandler();
  struct Row {
    const char* name;
    ScriptedReply reply;
    std::string heard;  // the chip-error handler's line, empty for none
    bool timeoutAlert;
  };
  const std::vector<Row> table{
      {"400", ScriptedReply::error(400, "Bad chip", 400), "chip error 400 Bad chip +retry", false},
      {"51", ScriptedReply::error(51, "Blocked"), "chip error 51 Blocked +retry", false},
      {"21", ScriptedReply::error(21, "Expired"), "chip error 21 Expired +retry", false},
      {"500 as -1", ScriptedReply::error(500, "Down", 500), "chip error -1", false},
      {"401: the time-out alert", ScriptedReply::error(401, "Session", 401), "", true},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    heard->clear();
    logged->clear();
    chip->reset();
    server.setReply(kVerify, row.reply);
    auto screen = openWithNext(OSLFlowType::nfc_ekyc(cardZone()));
    tapScanAndRead(screen);
    afterRead();
    await("hide loading");
    if (row.heard.empty()) {
      EXPECT_EQ(heard->size(), 2u);
    } else {
      ASSERT_EQ(heard->size(), 3u);
      EXPECT_EQ((*heard)[2].rfind(row.heard, 0), 0u) << (*heard)[2];
    }
    EXPECT_EQ(alert() != nullptr, row.timeoutAlert);
    EXPECT_EQ(countEvents("NFC_FAIL"), 1);
    EXPECT_FALSE(screen->state.mrz);
    EXPECT_FALSE(screen->state.isWaitingProcess);
    EXPECT_FALSE(screen->state.timerCheckTimeout);
    endSession();
  }
}

TEST_F(ScanNFCTest, ConfirmingTheTimeOutAlertReportsTheCancelThenTheExpiry) {
  using Answer = testing::ScriptedHost::Answer;
  struct Row {
    const char* name;
    bool eventHandler;
    bool processor;  // the 401 comes from the host's processor, else from the server
    std::vector<std::string> order;
  };
  const std::vector<Row> table{
      {"server, event handler", true, false, {"showLoading", "hideLoading", "event:0", "event:1"}},
      {"server, cancel and expired handlers", false, false,
       {"showLoading", "hideLoading", "cancelSession", "expired"}},
      {"processor answering from another thread", true, true,
       {"showLoading", "processNFC", "hideLoading", "event:0", "event:1"}},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    testing::ScriptedHost host;
    host.install(*config, {.eventHandler = row.eventHandler, .processor = row.processor});
    host.processor()->queueAnswer(
        Answer::failure(OstrelError(401, "Expired")).fromOtherThread());
    server.setReply(kVerify, ScriptedReply::error(401, "Session", 401));
    chip->reset();
    auto screen = openWithNext(OSLFlowType::nfc_ekyc(cardZone()));
    tapScanAndRead(screen);
    afterRead();
    for (int i = 0; i < 100 && host.count("hideLoading") == 0; ++i) {
      waitUntil([&] { return host.count("hideLoading") > 0; }, 0.05);
      advance(0.25);
    }
    ASSERT_TRUE(alert()) << testing::describe(host.order());
    answerAlert(true);
    runUntilIdle();
    EXPECT_EQ(host.order(), row.order) << testing::describe(host.order());
    for (const auto& call : host.calls()) EXPECT_TRUE(call.onMainQueue) << call.entry;
    EXPECT_TRUE(host.heardInOrder({"log:NFC_START_LISTEN", "log:NFC_TAP_SUCCESS"}, true));
    EXPECT_FALSE(Ostrel::shared()->naviViewController());
    endSession();
  }
}

// ------------------------------------------------------------------------------ what follows

TEST_F(ScanNFCTest, TheChipOnlyFlowGoesOnByWhatItHasAndWhatTheServerSays) {
  const std::string face = base64Encode(bundleImage("icon_done")->pngData().value_or(Bytes{}));
  struct Row {
    const char* name;
    std::optional<std::string> face;
    JSON verify;
    bool liveness;     // the face stand-in runs
    bool selfie;       // a face check request
    bool error;        // the unknown error instead of going on
    bool starterPushes;
  };
  const std::vector<Row> table{
      {"zone and face: the face check", face, {{"is_nfc_face_match_selfie", false}}, false, true,
       false, true},
      {"flag true", std::nullopt, {{"is_nfc_face_match_selfie", true}}, false, false, false, true},
      {"flag \"1\"", std::nullopt, {{"is_nfc_face_match_selfie", "1"}}, false, false, false, true},
      {"flag \"0\": liveness", std::nullopt, {{"is_nfc_face_match_selfie", "0"}}, true, false,
       false, true},
      {"flag 0: liveness", std::nullopt, {{"is_nfc_face_match_selfie", 0}}, true, false, false,
       true},
      {"flag absent: liveness", std::nullopt, JSON::object(), true, false, false, true},
      {"face data not an image", base64Encode(std::string("not a picture")), JSON::object(),
       false, false, true, true},
      {"no face screen", std::nullopt, JSON::object(), false, false, true, false},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    heard->clear();
    logged->clear();
    chip->reset();
    server.setReply(kVerify, ScriptedReply::data(row.verify));
    const auto selfies = server.requests(kCheckSelfie).size();
    const auto resultsBefore = results->size();
    auto screen = openWithNext(OSLFlowType::nfc_only(cardZone(), row.face));
    std::function<void()> continuation;
    int starts = 0;
    const bool pushes = row.starterPushes;
    screen->onNeedLiveness = [&, pushes](std::function<void()> next) {
      ++starts;
      continuation = std::move(next);
      return pushes;
    };
    // An antenna sheet opened during the read is dismissed before the face step.
    Helpers::saveDeviceImage({{"isDefault", false}, {"image", face}});
    user().tap(screen->btnScanNFC);
    user().tap(screen->guideNFCPositionView);
    advance(1);
    runUntilIdle();
    EXPECT_TRUE(screen->presentedViewController());
    afterRead();
    if (row.error || row.liveness) {
      // Without face data the screen first fetched its zone, with a loading indicator of its own.
      await("hide loading", row.face ? 1 : 2);
      advance(1);
    }
    if (row.liveness) {
      EXPECT_EQ(starts, 1);
      EXPECT_FALSE(Ostrel::shared()->naviViewController()->presentedViewController());
      ASSERT_TRUE(continuation);
      continuation();
    }
    if (row.error) {
      EXPECT_EQ(starts, pushes ? 0 : 1);
      ASSERT_TRUE(alert());
      EXPECT_EQ(alert()->lblMessage->text(), "[error_unknown]");
      EXPECT_FALSE(screen->state.isWaitingProcess);
      EXPECT_TRUE(screen->state.mrz) << "the key was good";
      EXPECT_EQ(server.requests(kCheckSelfie).size(), selfies);
      EXPECT_EQ(results->size(), resultsBefore);
      answerAlert(true);
    } else {
      await("result");
      EXPECT_EQ(server.requests(kCheckSelfie).size(), selfies + (row.selfie ? 1 : 0));
      EXPECT_EQ(heard->back(), "result");
      EXPECT_FALSE(Ostrel::shared()->naviViewController()) << "the session closed";
      ASSERT_FALSE(results->empty());
      ASSERT_TRUE(results->back());
      EXPECT_TRUE(results->back()->nfcModel);
    }
    endSession();
  }
}

TEST_F(ScanNFCTest, AConfiguredChipStepWithoutLivenessGoesToTheNextStep) {
  server.setReply(kVerify, ScriptedReply::data({{"is_nfc_face_match_selfie", false}}));
  auto screen = openWithNext(OSLFlowType::nfc_only(cardZone(), std::nullopt));
  ASSERT_FALSE(screen->onNeedLiveness);
  tapScanAndRead(screen);
  afterRead();
  await("next");
  EXPECT_FALSE(screen->state.isWaitingProcess);
  EXPECT_FALSE(screen->state.timerCheckTimeout);
  EXPECT_TRUE(server.requests(kConfirm).empty());
}

TEST_F(ScanNFCTest, ConfirmationEndsTheSessionWithItsResult) {
  struct Row {
    const char* name;
    ScriptedReply reply;
    bool showResultScreen;
    bool chipModel;
  };
  auto data = [](JSON nfc) {
    JSON d{{"session", "s-2"}, {"decision_detail", {{"decision", "APPROVED"}}}};
    if (!nfc.is_null()) d["nfc_data"] = nfc;
    return ScriptedReply::data(d);
  };
  const std::vector<Row> table{
      {"no nfc_data", data(nullptr), false, false},
      {"nfc_data not a record", data(JSON{{"id_number", 12}}), false, false},
      {"the chip result screen", data(testing::samplePerson().chipRecordJSON("")), true, true},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    heard->clear();
    chip->reset();
    config->showResultScreen = row.showResultScreen;
    server.setReply(kConfirm, row.reply);
    auto screen = openWithNext(OSLFlowType::nfc_only(cardZone(), std::nullopt));
    tapScanAndRead(screen);
    afterRead();
    if (row.showResultScreen) {
      await("hide loading", 2);
      advance(1);
      auto top = Ostrel::shared()->naviViewController()->topViewController();
      auto resultScreen = std::dynamic_pointer_cast<OSLResultNFCVC>(top);
      ASSERT_TRUE(resultScreen);
      user().tap(resultScreen->btnConfirm);
      advance(1);
    }
    await("result");
    ASSERT_FALSE(results->empty());
    ASSERT_TRUE(results->back());
    EXPECT_EQ(results->back()->session, "s-2");
    EXPECT_EQ(results->back()->nfcModel != nullptr, row.chipModel);
    EXPECT_EQ(count("event 0"), row.showResultScreen ? 1 : 0);
    EXPECT_TRUE(server.lastRequest(kConfirm)->queryValue("get_full_result"));
  }

  // A failed confirmation keeps the zone; a reply after the screen is gone still ends it.
  config->showResultScreen = false;
  heard->clear();
  chip->reset();
  useChipErrorHandler();
  server.setReply(kConfirm, ScriptedReply::error(400, "No", 400));
  auto screen = openWithNext(OSLFlowType::nfc_only(cardZone(), std::nullopt));
  tapScanAndRead(screen);
  afterRead();
  await("chip error 400 No +retry");
  EXPECT_TRUE(screen->state.mrz);
  EXPECT_FALSE(screen->state.isWaitingProcess);
}

TEST_F(ScanNFCTest, TheChipOnlyFlowFetchesItsZoneWhenItLacksOne) {
  struct Row {
    const char* name;
    ScriptedReply reply;
    std::optional<std::string> mrz;
    bool timeoutAlert;
  };
  const std::vector<Row> table{
      {"text with \\n", ScriptedReply::data({{"raw_mrz", cardZone("\\n")}}), cardZone(), false},
      {"number", ScriptedReply::data({{"raw_mrz", 12}}), "12", false},
      {"empty keeps the host's", ScriptedReply::data({{"raw_mrz", ""}}), "HOST", false},
      {"401", ScriptedReply::error(401, "Expired", 401), "HOST", true},
      {"other error", ScriptedReply::error(400, "Nope", 400), "HOST", false},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    heard->clear();
    server.setReply(kMrzData, row.reply);
    auto screen = openWithNext(OSLFlowType::nfc_only("HOST", std::nullopt));
    await("hide loading");
    advance(1);
    EXPECT_EQ(screen->state.mrz, row.mrz);
    if (row.name == std::string("other error")) {
      ASSERT_TRUE(alert());
      EXPECT_EQ(alert()->lblMessage->text(), "Nope");
    } else {
      EXPECT_EQ(alert() != nullptr, row.timeoutAlert);
    }
    for (int i = 0; i < 3 && alert(); ++i) answerAlert(true);
    endSession();
  }
  // With zone and face both given, nothing is fetched.
  const auto fetches = server.requests(kMrzData).size();
  openWithNext(OSLFlowType::nfc_only(cardZone(), "face"));
  advance(1);
  runUntilIdle();
  EXPECT_EQ(server.requests(kMrzData).size(), fetches);
}

TEST_F(ScanNFCTest, CloseAsksFirstAndReportsTheAnswer) {
  auto screen = openWithNext(OSLFlowType::nfc_ekyc(cardZone()));
  screen->closeTapped();
  advance(1);
  EXPECT_EQ(eventNames().back(), "TAP_EXIT");
  answerAlert(false);
  EXPECT_EQ(eventNames().back(), "EXIT_TAP_NO");
  screen->closeTapped();
  advance(1);
  answerAlert(true);
  advance(1);
  runUntilIdle();
  EXPECT_EQ(eventNames().back(), "EXIT_TAP_YES");
  EXPECT_EQ(*heard, (std::vector<std::string>{"event 0"}));
}

TEST_F(ScanNFCTest, AnOutcomeAfterTheSessionClosedGoesNoFurtherThanItsEvent) {
  auto screen = openWithNext(OSLFlowType::nfc_ekyc(cardZone()));
  user().tap(screen->btnScanNFC);
  Ostrel::shared()->close(true, {});
  advance(1);
  runUntilIdle();
  afterRead();
  advance(5);
  runUntilIdle();
  EXPECT_EQ(count("show loading"), 0);
  EXPECT_TRUE(server.requests(kVerify).empty());
}

TEST_F(ScanNFCTest, ResetForNewRunStartsAfresh) {
  config->scanNFCTimeoutSeconds = 20;
  backend->setDetectionDelay(std::nullopt);
  auto screen = openWithNext(OSLFlowType::nfc_ekyc(cardZone()));
  user().tap(screen->btnScanNFC);
  advance(4);
  const int before = screen->attempt();
  config->mrz = std::nullopt;
  screen->resetForNewRun();
  EXPECT_TRUE(screen->state.isClosedPopup);
  EXPECT_FALSE(screen->state.isWaitingProcess);
  EXPECT_GT(screen->attempt(), before);
  EXPECT_EQ(screen->state.countdown, 20);
  EXPECT_TRUE(screen->state.timerCheckTimeout);
  EXPECT_EQ(screen->state.mrz, cardZone());
  // The ended read reports only its cancel; a new tap opens a new session.
  runUntilIdle();
  afterRead();
  EXPECT_EQ(count("show loading"), 0);
  user().tap(screen->btnScanNFC);
  advance(1);
  EXPECT_EQ(backend->sessionsStarted(), 2);
}

}  // namespace
}  // namespace ostrel::chip_screens_test
