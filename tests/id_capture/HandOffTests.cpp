#include <algorithm>
#include <optional>

#include "model/OSLBackResult.hpp"
#include "model/OSLFrontResult.hpp"
#include "model/OSLPassport.hpp"
#include "network/ImageUpload.hpp"
#include "platform/foundation/Base64.hpp"
#include "testing/JpegCheck.hpp"
#include "testing/ScriptedRawDataProcessor.hpp"
#include "tests/id_capture/IDCaptureTest.hpp"

namespace ostrel::id_capture_test {
namespace {

using testing::ScriptedRawDataProcessor;
using testing::ScriptedReply;
using Answer = ScriptedRawDataProcessor::Answer;
using AlertKind = OSLAlertVC::TypeOfAlert;

// A reply handed back inside the hand-off call (on the main queue) is handled there and then,
// so its outcome is logged before the tap; any later reply comes after it.
Strings successEvents(bool answeredInsideTheCall) {
  if (answeredInsideTheCall) return {"CAPTURE_SUCCESS", "TAP_CONTINUE"};
  return {"TAP_CONTINUE", "CAPTURE_SUCCESS"};
}

// A reply the passport record accepts.
JSON passportReply() {
  return {{"is_mrz_valid", true},
          {"fields",
           {{"gender", "F"},
            {"doe", "01/01/2031"},
            {"birthday", "02/02/1990"},
            {"nationality", "VNM"},
            {"mrz", "P<VNM..."},
            {"name", "NGUYEN VAN A"},
            {"id_number", "C1234567"}}}};
}

// Host alerts and the library's own alerts go into the event log as they happen, so the order
// of events and alerts can be checked in one list.
class HandOffTest : public IDCaptureTest {
 protected:
  HandOffTest() {
    ViewController::setPresentationObserver([log = logged](const PresentationEvent& e) {
      if (e.kind != PresentationEvent::Kind::presented) return;
      if (auto holder = e.presentedController.lock(); holder && !holder->children().empty()) {
        if (auto shown = std::dynamic_pointer_cast<OSLAlertVC>(holder->children().front())) {
          log->push_back({OSLLogLevel::info, "alert " + std::to_string(int(shown->alert)), "", {}});
        }
      }
    });
    config->hideLoadingHandler = [this] { ++hides; };
  }
  ~HandOffTest() override { ViewController::setPresentationObserver({}); }

  // Opens a screen, takes a photo and taps continue; the reply is not awaited.
  void captureAndContinue(bool isFrontId, bool passport = false) {
    open(isFrontId, passport);
    tapCapture();
    ASSERT_TRUE(isPreview());
    clearLog();
    tapContinue();
  }
  // Waits for the reply of a hand-off that goes to the server.
  void awaitReply() {
    EXPECT_TRUE(waitUntil([&] {
      return lastEvent("CAPTURE_FAIL") != nullptr || lastEvent("CAPTURE_SUCCESS") != nullptr;
    })) << "no reply";
    settle(1);
  }
  void useHostHandlerForAlerts() {
    config->showErrorAlertHandler = [log = logged](const std::string& message, int code,
                                                   std::shared_ptr<ViewController> screen) {
      log->push_back({OSLLogLevel::info,
                      "host alert " + std::to_string(code) + " " + message,
                      screen ? typeNameWithoutModule(*screen) : "", {}});
    };
  }

  void expectHostAnswersCountOnce(bool viaHandler);

  std::shared_ptr<ScriptedRawDataProcessor> processor = std::make_shared<ScriptedRawDataProcessor>();
  int hides = 0;
};

TEST_F(HandOffTest, TheProcessorComesFirstThenTheSidesOwnHandlerThenTheServer) {
  struct Row {
    const char* name;
    bool front;
    bool passport;
    bool withProcessor;
    bool frontHandler;
    const char* serverPath;  // null: nothing uploaded
  };
  const Row rows[] = {
      {"processor over handler", true, false, true, true, nullptr},
      {"front handler", true, false, false, true, nullptr},
      {"back screen with only a front handler", false, false, false, true, kBack},
      {"front screen uploads", true, false, false, false, kFront},
      {"passport page to the processor", true, true, true, false, nullptr},
      {"passport page uploads as a front", true, true, false, false, kFront},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    processor = std::make_shared<ScriptedRawDataProcessor>();
    processor->setDefaultAnswer(
        Answer::success(row.passport ? passportReply() : JSON{{"card_type", "from-host"}}));
    if (row.passport) server.setReply(kFront, ScriptedReply::data(passportReply()));
    config->rawDataProcessor = row.withProcessor ? processor : nullptr;
    std::vector<UploadImage> handed;
    config->idFrontDataHandler = {};
    if (row.frontHandler) {
      config->idFrontDataHandler = [&handed](const Bytes& data, const std::string& base64,
                                             OSLConfig::ResultCompletion completion) {
        handed.push_back({data, base64});
        completion(OSLConfig::Result::success(JSON{{"card_type", "from-handler"}}));
      };
    }
    config->frontImage = config->backImage = nullptr;
    config->frontResult = nullptr;
    config->backResult = nullptr;
    config->passport = nullptr;
    server.clearLog();
    nextCalls = 0;

    captureAndContinue(row.front, row.passport);
    if (row.serverPath) awaitReply();
    settle();
    const auto shown = screen->cardImageView->image();
    const UploadImage expected = jpegDataForUpload(shown);
    EXPECT_EQ(nextCalls, 1);
    // The processor and the handler here answer inside the call; the server later.
    EXPECT_EQ(events(), successEvents(row.serverPath == nullptr));
    EXPECT_TRUE(screen->btnConfirm->isHidden() && screen->btnRetake->isHidden());

    EXPECT_EQ(processor->callCount(), row.withProcessor ? 1 : 0);
    if (row.withProcessor && processor->callCount() == 1) {
      const auto call = processor->calls().front();
      EXPECT_TRUE(call.isFront);
      EXPECT_TRUE(call.onMainQueue);
      EXPECT_EQ(call.data, expected.data);
      EXPECT_TRUE(testing::isJpegOfQuality(call.data, 90));
      EXPECT_EQ(platform::base64Decode(call.base64), call.data);
    }
    const bool handlerUsed = row.frontHandler && row.front && !row.withProcessor;
    ASSERT_EQ(handed.size(), handlerUsed ? 1u : 0u);
    if (handlerUsed) {
      EXPECT_EQ(handed.front().data, expected.data);
    }
    const std::string uploadedTo = row.serverPath ? row.serverPath : "";
    EXPECT_EQ(server.requests(kFront).size(), uploadedTo == kFront ? 1u : 0u);
    EXPECT_EQ(server.requests(kBack).size(), uploadedTo == kBack ? 1u : 0u);
    EXPECT_TRUE(server.problems().empty());

    // What a success keeps: nothing on the handler road.
    if (handlerUsed) {
      EXPECT_FALSE(config->frontImage || config->frontResult);
    } else if (row.passport) {
      EXPECT_EQ(config->frontImage, shown);
      ASSERT_TRUE(config->passport);
      EXPECT_EQ(config->passport->idNumber, "C1234567");
      EXPECT_FALSE(config->frontResult) << "the passport page is no card front";
    } else if (row.front) {
      EXPECT_EQ(config->frontImage, shown);
      ASSERT_TRUE(config->frontResult);
      EXPECT_EQ(config->frontResult->cardType, row.withProcessor ? "from-host" : "eid24_front");
    } else {
      EXPECT_EQ(config->backImage, shown);
      ASSERT_TRUE(config->backResult);
      EXPECT_FALSE(config->frontResult);
    }
    EXPECT_EQ(hides, 1);
    hides = 0;
  }
}

// How the host may answer: on any thread, late, twice, with a type it made up. Each way of
// handing off runs apart: every row opens a live camera screen, which is slow under sanitizers.
void HandOffTest::expectHostAnswersCountOnce(bool viaHandler) {
  struct Row {
    const char* name;
    Answer answer;
    bool succeeds;
    const char* failMessage;
  };
  const OstrelError bad{77, "Host says no"};
  const Row rows[] = {
      {"at once", Answer::success(), true, nullptr},
      {"from another thread", Answer::success().fromOtherThread(), true, nullptr},
      {"later", Answer::success().after(3), true, nullptr},
      {"twice", Answer::success().twice(), true, nullptr},
      {"twice from another thread", Answer::failure(bad).fromOtherThread().twice(), false,
       "Host says no"},
      {"success without a reply", Answer::success(std::nullopt), true, nullptr},
      {"success with an odd reply", Answer::success(JSON::array({1, 2})), true, nullptr},
      {"failure without an error", Answer::failure(std::nullopt), false, "[error_unknown]"},
      {"a made-up type", Answer::unknownType(7), false, "[error_unknown]"},
      {"a made-up type with an error", Answer::unknownType(-3, bad), false, "Host says no"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(viaHandler ? "handler, " : "processor, ") + row.name);
    processor = std::make_shared<ScriptedRawDataProcessor>();
    processor->queueAnswer(row.answer);
    config->rawDataProcessor = viaHandler ? nullptr : processor;
    config->idBackDataHandler = {};
    if (viaHandler) {
      config->idBackDataHandler = [p = processor](const Bytes& data, const std::string& base64,
                                                  OSLConfig::ResultCompletion completion) {
        p->processCaptureData(false, data, base64, std::move(completion));
      };
    }
    nextCalls = 0;
    nextCallsOffMain = 0;
    hides = 0;
    captureAndContinue(false);
    settle(4);
    EXPECT_EQ(processor->callCount(), 1);
    EXPECT_EQ(hides, 1);
    EXPECT_EQ(nextCalls, row.succeeds ? 1 : 0);
    if (row.succeeds) {
      EXPECT_EQ(nextCallsOffMain, 0);
      EXPECT_EQ(events(), successEvents(row.answer.when == Answer::When::atOnce));
      EXPECT_EQ(bool(config->backResult), !viaHandler);
    } else {
      const Strings seen = events();
      EXPECT_EQ(std::count(seen.begin(), seen.end(), "CAPTURE_FAIL"), 1);
      auto event = lastEvent("CAPTURE_FAIL");
      ASSERT_TRUE(event);
      EXPECT_EQ(event->data, (JSON{{"error", row.failMessage}}));
      EXPECT_EQ(event->level, OSLLogLevel::error);
      EXPECT_TRUE(screen->btnConfirm->isHidden());
      EXPECT_FALSE(screen->btnRetake->isHidden());
      ASSERT_TRUE(alert());
      answerAlert(true);
    }
    config->backResult = nullptr;
  }
}

TEST_F(HandOffTest, HostAnswersToTheProcessorCountOnceAndReachTheScreenOnTheMainQueue) {
  expectHostAnswersCountOnce(false);
}

TEST_F(HandOffTest, HostAnswersToTheHandlerCountOnceAndReachTheScreenOnTheMainQueue) {
  expectHostAnswersCountOnce(true);
}

TEST_F(HandOffTest, ContinueAndRetakeWaitForTheReplyOfTheHandOffUnderWay) {
  config->rawDataProcessor = processor;
  processor->queueAnswer(Answer::success().never());
  captureAndContinue(true);
  settle();
  tapContinue();
  tapContinue();
  tapRetake();
  settle();
  EXPECT_EQ(processor->callCount(), 1);
  EXPECT_EQ(events(), (Strings{"TAP_CONTINUE"}));
  EXPECT_TRUE(screen->isHandingOff());
  EXPECT_TRUE(screen->isPreviewShown()) << "the picture being answered for stays";

  EXPECT_EQ(processor->answerKept(OSLConfig::Result::success(JSON::object())), 1);
  settle();
  EXPECT_EQ(nextCalls, 1);
  EXPECT_FALSE(screen->isHandingOff());
  // A second answer of the same call changes nothing.
  EXPECT_EQ(processor->answerKept(OSLConfig::Result::success(JSON::object())), 0);
  EXPECT_EQ(nextCalls, 1);
}

// The failure steps of each road: what is shown, in which order with the event, and where.
TEST_F(HandOffTest, FailuresFollowTheirRoadsSteps) {
  enum class Road { processor, handler, library };
  struct Row {
    const char* name;
    Road road;
    std::optional<OstrelError> error;  // host roads
    std::optional<ScriptedReply> reply;  // library road
    bool hostAlerts;
    Strings events;
    bool redLine;
    std::optional<std::string> title;  // the alert's title when a library alert is shown
  };
  const std::string invalid = "[error_invalid_data]";
  const Row rows[] = {
      {"processor 401", Road::processor, OstrelError{401, "Expired"}, {}, false,
       {"CAPTURE_FAIL", "alert 0"}, false, {}},
      {"processor 401 with host alerts", Road::processor, OstrelError{401, "Expired"}, {}, true,
       {"CAPTURE_FAIL", "alert 0"}, false, {}},
      {"processor error", Road::processor, OstrelError{500, "Down"}, {}, false,
       {"CAPTURE_FAIL", "alert 3"}, false, {}},
      {"processor without error, host alerts", Road::processor, std::nullopt, {}, true,
       {"CAPTURE_FAIL", "host alert 200 [error_unknown]"}, false, {}},
      {"handler 401 is like any error", Road::handler, OstrelError{401, "Expired"}, {}, false,
       {"alert 1", "CAPTURE_FAIL"}, true, invalid},
      {"handler without error", Road::handler, std::nullopt, {}, false,
       {"alert 1", "CAPTURE_FAIL"}, true, std::nullopt},
      {"handler without error, host alerts", Road::handler, std::nullopt, {}, true,
       {"host alert 200 [error_unknown]", "CAPTURE_FAIL"}, true, {}},
      {"server 401", Road::library, {}, ScriptedReply::json(JSON::object(), 401), true,
       {"CAPTURE_FAIL", "alert 0"}, true, {}},
      {"server 500", Road::library, {}, ScriptedReply::json(JSON::object(), 500), false,
       {"CAPTURE_FAIL", "alert 1"}, true, invalid},
      {"body cut short", Road::library, {}, [] {
         auto r = ScriptedReply::data(JSON::object());
         r.fault = ScriptedReply::Fault::truncated;
         return r;
       }(), false, {"CAPTURE_FAIL", "alert 1"}, true, std::nullopt},
      {"server error, host alerts", Road::library, {}, ScriptedReply::error(1234, "Bad card"), true,
       {"CAPTURE_FAIL", "host alert 1234 Bad card"}, true, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    // A confirmed time-out alert ended the last session and its configuration.
    Ostrel::shared()->setConfig(config);
    processor = std::make_shared<ScriptedRawDataProcessor>();
    processor->setDefaultAnswer(Answer::failure(row.error));
    config->rawDataProcessor = row.road == Road::processor ? processor : nullptr;
    config->idFrontDataHandler = {};
    if (row.road == Road::handler) {
      config->idFrontDataHandler = [error = row.error](const Bytes&, const std::string&,
                                                       OSLConfig::ResultCompletion completion) {
        completion({OSLConfig::ResultType::failure, error, std::nullopt});
      };
    }
    config->showErrorAlertHandler = {};
    if (row.hostAlerts) useHostHandlerForAlerts();
    if (row.reply) server.pushOnceReply(kFront, *row.reply);

    captureAndContinue(true);
    if (row.road == Road::library) awaitReply();
    settle(1);
    Strings seen;
    for (const auto& e : *logged) {
      if (e.event != "TAP_CONTINUE") seen.push_back(e.event);
    }
    if (row.hostAlerts) {
      EXPECT_EQ(seen, row.events);
    } else {
      // A built-in alert is seen once its presentation has run, after the call that showed it,
      // so only what happened is compared here; the host rows show the order.
      Strings expected = row.events;
      std::sort(seen.begin(), seen.end());
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(seen, expected);
    }
    const auto* fail = lastEvent("CAPTURE_FAIL");
    ASSERT_TRUE(fail);
    const std::string message = fail->data.value("error", "");
    EXPECT_EQ(screen->guideDescLabel->text(),
              row.redLine ? message : "[id_capture_subtitle] [id_capture_subtitle_front]");
    EXPECT_EQ(screen->guideDescLabel->textColor() == Color::systemRed(), row.redLine);
    if (row.title) {
      auto shown = alert();
      ASSERT_TRUE(shown);
      EXPECT_EQ(shown->lblTitle->text().value_or(""), *row.title);
      EXPECT_EQ(shown->lblMessage->text().value_or(""), message);
    }
    if (alert()) answerAlert(true);
    EXPECT_EQ(nextCalls, 0);
    // A retake brings the guide line back.
    screen->retakePhotoButtonTouchUpInside();
    settle();
    EXPECT_EQ(screen->guideDescLabel->text(), "[id_capture_subtitle] [id_capture_subtitle_front]");
    EXPECT_NE(screen->guideDescLabel->textColor(), Color::systemRed());
  }
}

}  // namespace
}  // namespace ostrel::id_capture_test
