#include "core/SharedDefaults.hpp"
#include "liveness/OSLFaceVC.hpp"
#include "platform/crypto/Crypto.hpp"
#include "platform/vision/VisionError.hpp"
#include "testing/FacePhotographs.hpp"
#include "testing/ScriptedFaceDetector.hpp"
#include "testing/UserJourney.hpp"
#include "tests/id_capture/IDCaptureTest.hpp"
#include "tests/screen_states/StatesTest.hpp"
#include "ui/OstrelSwitch.hpp"

namespace ostrel::screen_states_test {
namespace {

using testing::ScriptedFaceDetector;
using testing::ScriptedPhoto;

// The title keeps clear of the close button beside it. Where its letters lie is read from the
// text drawn alone at the label's width (the close button's own ink would hide them here).
::testing::AssertionResult clearOfClose(const Image& picture, const Label& title,
                                        const View& close) {
  auto text = testing::drawnText(picture, title);
  if (!text.whole) return ::testing::AssertionFailure() << "no title to draw";
  const Rect box = title.convertRectTo(title.textRect(title.bounds()), nullptr);
  Rect letters{box.minX() + text.whole->minX(), box.minY(), text.whole->width(), box.height()};
  if (text.scaledToFit) {
    // The line shrunk to the label's width if it had to, placed as the label aligns it.
    const double width = std::min(text.whole->width(), box.width());
    const double left = title.textAlignment == TextAlignment::center ? box.midX() - width / 2
                        : title.textAlignment == TextAlignment::right ? box.maxX() - width
                                                                       : box.minX();
    letters = {left, box.minY(), width, box.height()};
  }
  const Rect button = close.convertRectTo(close.bounds(), nullptr);
  if (!letters.intersects({button.minX() - 4, button.minY(), button.width() + 8, button.height()})) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "the title runs into the close button";
}

class CaptureStates : public Drawn<id_capture_test::IDCaptureTest> {
 protected:
  explicit CaptureStates(const std::string& language = "vi") : Drawn(language) {
    const auto& documents = testing::sampleDocumentPictures();
    installCameras(documents.front);
  }
};

class CaptureStatesInEnglish : public CaptureStates {
 protected:
  CaptureStatesInEnglish() : CaptureStates("en") {}
};

TEST_F(CaptureStates, TheFrontPreviewAfterAManualPhoto) {
  open(true);
  auto live = take("id_capture", "front_live");
  EXPECT_TRUE(drawnWhole(*live, *screen->titleLabel));
  // The auto-capture switch shows its track on the side its thumb is not.
  const auto& track = *screen->viewButtonAutoCap;
  const Rect frame = track.convertRectTo(track.bounds(), nullptr);
  const double edge = screen->viewSwitchBtn->isOn ? frame.minX() + 0.5 : frame.maxX() - 0.5;
  EXPECT_TRUE(testing::pixelAt(*live, {edge, frame.midY()}).isApproximately(mainColor(), 0.25))
      << "the switch has no track";
  EXPECT_TRUE(clearOfClose(*live, *screen->titleLabel, *screen->btnClose));
  tapCapture();
  ASSERT_TRUE(isPreview());
  auto preview = take("id_capture", "front_preview_retake_continue");
  EXPECT_TRUE(coversItsBounds(*screen->view()));
  EXPECT_TRUE(drawnWhole(*preview, *screen->btnRetake->titleLabel()));
  EXPECT_TRUE(drawnWhole(*preview, *screen->btnConfirm->titleLabel()));
}

TEST_F(CaptureStates, TheBackPreviewAfterAnAutomaticCapture) {
  installCameras(testing::sampleDocumentPictures().back);
  open(false);
  if (!screen->viewSwitchBtn->isOn) {
    user().tap(screen->viewSwitchBtn);
    settle();
  }
  screen->didDetect(std::make_shared<Image>(testing::sampleDocumentPictures().back));
  settle();
  ASSERT_TRUE(isPreview());
  ASSERT_FALSE(screen->viewCaptureSuccess->isHidden());
  auto badge = take("id_capture", "back_preview_auto_capture_badge");
  EXPECT_TRUE(drawnWhole(*badge, *screen->lblAutoCaptureSuccess));
  // The badge stands apart from the photo under it.
  const auto& pill = *screen->viewCaptureSuccess;
  const Rect frame = pill.convertRectTo(pill.bounds(), nullptr);
  screen->viewCaptureSuccess->setHidden(true);
  auto photo = pictures().look();
  screen->viewCaptureSuccess->setHidden(false);
  const Color under = testing::dominantColor(*photo, frame);
  EXPECT_LT(testing::shareOfColor(*badge, frame, under, 0.1), 0.3)
      << "the badge's text lies bare on the photo";
}

TEST_F(CaptureStatesInEnglish, ThePassportTitleInEnglish) {
  installCameras(testing::sampleDocumentPictures().passportPage);
  open(true, true);
  auto live = take("id_capture", "passport_live_en");
  EXPECT_TRUE(drawnWhole(*live, *screen->titleLabel));
  EXPECT_TRUE(clearOfClose(*live, *screen->titleLabel, *screen->btnClose));
}

// ------------------------------------------------------------------------------ face

class FaceStates : public Drawn<testing::ScreenTest> {
 protected:
  FaceStates() {
    detector->setFallback(PlatformError{kVisionErrorDomain, 9, "nothing scripted", ""});
    installCameras(scene);
  }
  ~FaceStates() override { crypto::setRandomSource(nullptr); }

  std::shared_ptr<OSLFaceVC> openFace(OSLFaceLivenessVersion version, bool manual) {
    sharedDefaults()->setBool(defaults_keys::kIsManualLivenessCaptureEnabled, manual);
    screen = OSLFaceVC::create(version, true);
    screen->onNext = [] {};
    screen->loadViewIfNeeded();
    screen->view()->layoutIfNeeded();
    startSession(screen);
    settle();
    return screen;
  }
  std::shared_ptr<testing::ImageFileCameraDriver> frontCamera() const {
    return camera->driver(CaptureDevicePosition::front);
  }
  // A face `scale` times the circle's width in its middle, turned as given.
  FaceObservationPtr faceIn(double scale = 0.45, float pitch = 0, float roll = 0) const {
    const Rect c = screen->cameraMarkView->cropFrame;
    const double w = c.width() * scale;
    return testing::faceObservationFor({c.midX() - w / 2, c.midY() - w / 2, w, w},
                                       screen->cameraView->bounds(), pitch, 0.0f, roll);
  }
  // Plays the camera until one more frame met the detector, which answers `result`.
  void judge(ScriptedFaceDetector::Result result) {
    const int seen = detector->framesSeen();
    detector->push(std::move(result));
    for (int step = 0; step < 60 && detector->framesSeen() == seen; ++step) advance(1.0 / 60);
    ASSERT_EQ(detector->framesSeen(), seen + 1) << "the camera delivers frames";
    runUntilIdle();
  }

  cv::Mat scene = testing::facePhotographRGBA();
  std::shared_ptr<ScriptedFaceDetector> detector = std::make_shared<ScriptedFaceDetector>();
  std::optional<testing::InstalledFaceDetector> installedDetector{std::in_place, detector};
  std::shared_ptr<OSLFaceVC> screen;
};

TEST_F(FaceStates, ManualCaptureThenThePictureTaken) {
  openFace(OSLFaceLivenessVersion::semiActive, true);
  ASSERT_FALSE(screen->captureButton->isHidden());
  auto manual = take("face", "manual_capture");
  EXPECT_TRUE(drawnWhole(*manual, *screen->titleLabel));
  EXPECT_TRUE(drawnWhole(*manual, *screen->guideLabel));
  frontCamera()->queuePhoto(ScriptedPhoto::ofUprightScene(scene, CaptureDevicePosition::front));
  user().tap(screen->captureButton);
  advance(1);
  runUntilIdle();
  ASSERT_FALSE(screen->continueButton->isHidden());
  auto captured = take("face", "after_capture_retry_continue");
  EXPECT_TRUE(coversItsBounds(*screen->view()));
  EXPECT_TRUE(drawnWhole(*captured, *screen->retryButton->titleLabel()));
  EXPECT_TRUE(drawnWhole(*captured, *screen->continueButton->titleLabel()));
}

TEST_F(FaceStates, AHeadMovementWithItsCountdown) {
  openFace(OSLFaceLivenessVersion::active, false);
  auto s = screen->state();
  // Every draw at its maximum: the movements come in a known order.
  crypto::setRandomSource([](std::size_t n) { return Bytes(n, 0xFF); });
  for (int i = 0; i < 7; ++i) judge(ScriptedFaceDetector::Result{std::vector{faceIn()}});
  advance(1);
  crypto::setRandomSource(nullptr);
  ASSERT_EQ(s->faceActions.size(), 3u);
  // A frame short of the first movement shows it and starts its countdown.
  judge(ScriptedFaceDetector::Result{std::vector{faceIn(0.45, 0, -0.3f)}});
  ASSERT_TRUE(s->timerPerAction.timer);
  advance(3.5);
  runUntilIdle();
  auto moving = take("face", "head_movement_countdown");
  EXPECT_TRUE(drawnWhole(*moving, *screen->guideLabel));
  // The movement's picture is drawn on nothing: its corners show the screen behind it.
  const Rect icon = screen->guideIcon->convertRectTo(screen->guideIcon->bounds(), nullptr);
  const Color corner = testing::pixelAt(*moving, {icon.minX() + 1, icon.minY() + 1});
  const Color beside = testing::pixelAt(*moving, {icon.minX() - 4, icon.minY() + 1});
  EXPECT_TRUE(corner.isApproximately(beside, 0.1)) << "the movement's picture has a backdrop";
  if (!screen->timeRemainingLabel->isHidden()) {
    EXPECT_TRUE(drawnWhole(*moving, *screen->timeRemainingLabel));
  }
  // The movements done: the picture taken, retry and continue offered.
  judge(ScriptedFaceDetector::Result{std::vector{faceIn(0.45, 0, -0.45f)}});
  judge(ScriptedFaceDetector::Result{std::vector{faceIn(0.45, -0.53f, 0)}});
  judge(ScriptedFaceDetector::Result{std::vector{faceIn(0.45, 0.27f, 0)}});
  advance(1);
  runUntilIdle();
  take("face", "head_movements_done");
}

}  // namespace
}  // namespace ostrel::screen_states_test
