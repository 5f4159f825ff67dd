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

constexpr const char* kFront = "/api/kyc/app/scan-front";
constexpr const char* kBack = "/api/kyc/app/scan-back";

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
    EXPECT_EQ(events(), (Strings{"TAP_CONTINUE", "CAPTURE_SUCCESS"}));
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

}  // namespace
}  // namespace ostrel::id_capture_test
