#include "core/ScreenFactories.hpp"
#include "model/OSLBackResult.hpp"
#include "model/OSLFrontResult.hpp"
#include "model/OSLPassport.hpp"
#include "platform/foundation/Base64.hpp"
#include "testing/JpegCheck.hpp"
#include "testing/ScriptedScreens.hpp"
#include "tests/id_capture/IDCaptureTest.hpp"

namespace ostrel::id_capture_test {
namespace {

using testing::ScriptedReply;

// Whole flows through the facade: the capture screens are the library's, every other step a
// stand-in.
class FlowTest : public IDCaptureTest {
 protected:
  FlowTest() {
    ScreenFactories library;
    installLibraryScreens(library);
    ScreenFactories::shared().idCapture = library.idCapture;
    host = make<ViewController>();
    show(host);
  }

  std::shared_ptr<IDCaptureVC> topCapture() const {
    auto navi = Ostrel::shared()->naviViewController();
    if (!navi || navi->viewControllers().empty()) return nullptr;
    return std::dynamic_pointer_cast<IDCaptureVC>(navi->viewControllers().back());
  }
  // Takes a photo on the capture screen on top and hands it on.
  void captureAndContinueOnTop() {
    screen = topCapture();
    ASSERT_TRUE(screen);
    tapCapture();
    ASSERT_TRUE(isPreview());
    tapContinue();
  }
  // Runs until the screen on top is no longer `before`.
  bool awaitNextScreen(const std::shared_ptr<ViewController>& before) {
    const bool moved = waitUntil([&] {
      auto navi = Ostrel::shared()->naviViewController();
      return !navi || navi->viewControllers().empty() || navi->viewControllers().back() != before;
    });
    settle(1);
    return moved;
  }
  // The uploaded card picture of a request went as the client must send it.
  void expectCardUpload(const testing::RecordedRequest& request) {
    EXPECT_EQ(request.queryValue("lang"), "vi");
    EXPECT_EQ(request.header("authorization"), "token");
    const auto* image = request.part("image");
    ASSERT_TRUE(image);
    const Bytes bytes(image->content.begin(), image->content.end());
    EXPECT_TRUE(testing::isJpegOfQuality(bytes, 90));
    EXPECT_TRUE(Image::decode(bytes));
  }

  testing::ScriptedScreens scripted;
};

TEST_F(FlowTest, TheEkycFlowCapturesBothSidesAgainstTheServer) {
  Ostrel::shared()->run("ekyc", config);
  settle();
  captureAndContinueOnTop();
  auto front = screen;
  ASSERT_TRUE(awaitNextScreen(front));
  EXPECT_EQ(lastEvent("CAPTURE_SUCCESS")->screen, "OSL_SCREEN_CAPTURE_FRONT");
  EXPECT_EQ(config->frontImage, front->cardImageView->image());
  ASSERT_TRUE(config->frontResult);
  EXPECT_EQ(config->frontResult->cardType, "eid24_front");

  auto back = topCapture();
  ASSERT_TRUE(back);
  EXPECT_NE(back, front);
  EXPECT_FALSE(back->isFrontId());
  captureAndContinueOnTop();
  ASSERT_TRUE(awaitNextScreen(back));
  ASSERT_TRUE(config->backResult);
  EXPECT_EQ(config->backResult->cardType, "eid24_back");
  EXPECT_EQ(config->backImage, back->cardImageView->image());
  EXPECT_EQ(scripted.created().size(), 1u) << "each side moved the flow on once";

  ASSERT_EQ(server.requests(kFront).size(), 1u);
  ASSERT_EQ(server.requests(kBack).size(), 1u);
  expectCardUpload(server.requests(kFront).front());
  expectCardUpload(server.requests(kBack).front());
  EXPECT_TRUE(server.problems().empty());
}

TEST_F(FlowTest, ThePassportFlowKeepsThePassportRecordAndLeavesTheFrontResult) {
  server.setReply(kFront, ScriptedReply::data({{"is_mrz_valid", true},
                                               {"fields",
                                                {{"gender", "F"},
                                                 {"doe", "01/01/2031"},
                                                 {"birthday", "02/02/1990"},
                                                 {"nationality", "VNM"},
                                                 {"mrz", "P<VNM"},
                                                 {"name", "NGUYEN VAN A"},
                                                 {"id_number", "C1234567"}}}}));
  Ostrel::shared()->run("passport", config);
  settle();
  ASSERT_TRUE(topCapture());
  EXPECT_EQ(topCapture()->titleLabel->text(), "[title_passport]");
  captureAndContinueOnTop();
  ASSERT_TRUE(awaitNextScreen(screen));
  ASSERT_TRUE(config->passport);
  EXPECT_EQ(config->passport->idNumber, "C1234567");
  EXPECT_EQ(config->frontImage, screen->cardImageView->image());
  EXPECT_FALSE(config->frontResult);
  EXPECT_EQ(server.requests(kFront).size(), 1u);
  EXPECT_TRUE(server.requests(kBack).empty());
  expectCardUpload(server.requests(kFront).front());
  EXPECT_EQ(scripted.created().size(), 1u);
  EXPECT_TRUE(server.problems().empty());
}

TEST_F(FlowTest, ConfiguredStepsShowTheSameScreensFreshAfterARestart) {
  int handed = 0;
  config->withIDStep(true, [&handed](const Bytes& data, const std::string& base64,
                                     OSLConfig::ResultCompletion completion) {
    ++handed;
    EXPECT_EQ(platform::base64Decode(base64), data);
    completion(OSLConfig::Result::success(JSON::object()));
  });
  config->withIDStep(false, {});
  ASSERT_EQ(config->steps.size(), 2u);
  auto front = std::dynamic_pointer_cast<IDCaptureVC>(config->steps[0].controller);
  auto back = std::dynamic_pointer_cast<IDCaptureVC>(config->steps[1].controller);
  ASSERT_TRUE(front && back);

  Ostrel::shared()->run(config, host, false);
  settle();
  EXPECT_EQ(topCapture(), front);
  captureAndContinueOnTop();
  ASSERT_TRUE(awaitNextScreen(front));
  EXPECT_EQ(handed, 1);
  EXPECT_EQ(topCapture(), back);
  // The back side is captured with auto-capture's thumbnail, then the run starts again.
  screen = back;
  back->viewCamera->_preprocess.imageCropFit = std::make_shared<Image>(testing::coordinatePicture(64, 40));
  back->didDetect(std::make_shared<Image>(testing::coordinatePicture(780, 1688)));
  settle();
  ASSERT_TRUE(isPreview());
  ASSERT_EQ(thumbnails(), 1);

  Ostrel::shared()->restart();
  settle(1);
  ASSERT_EQ(topCapture(), front) << "the same screen object shows again";
  screen = front;
  EXPECT_TRUE(isLive()) << "reset to the live camera";
  EXPECT_FALSE(front->isHandingOff());
  EXPECT_EQ(front->guideDescLabel->text(), "[id_capture_subtitle] [id_capture_subtitle_front]");
  EXPECT_EQ(thumbnails(), 0);
  captureAndContinueOnTop();
  ASSERT_TRUE(awaitNextScreen(front));
  EXPECT_EQ(handed, 2);
  ASSERT_EQ(topCapture(), back);
  screen = back;
  EXPECT_TRUE(isLive()) << "the back screen lost its earlier preview";
  EXPECT_EQ(thumbnails(), 0);

  // The back has no handler of its own: it uploads; the last step ends the session.
  captureAndContinueOnTop();
  EXPECT_TRUE(waitUntil([&] { return !Ostrel::shared()->naviViewController(); }));
  settle(1);
  EXPECT_EQ(server.requests(kBack).size(), 1u);
  EXPECT_TRUE(server.requests(kFront).empty());
  EXPECT_TRUE(server.problems().empty());
}

}  // namespace
}  // namespace ostrel::id_capture_test
