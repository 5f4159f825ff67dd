#include "platform/ui/Animation.hpp"
#include "ui/GuideVC.hpp"
#include "tests/id_capture/IDCaptureTest.hpp"

namespace ostrel::id_capture_test {
namespace {

using AlertKind = OSLAlertVC::TypeOfAlert;

class ScreenSetUpTest : public IDCaptureTest {
 protected:
  ScreenSetUpTest() {
    config->eventHandler = [this](OSLConfig::Event event) {
      if (event == OSLConfig::Event::cancelled) ++cancels;
    };
  }
  int cancels = 0;
};

TEST_F(ScreenSetUpTest, CameraPermissionIsAskedOnceAndARefusalEndsTheSession) {
  for (bool openSettings : {true, false}) {
    SCOPED_TRACE(openSettings ? "button_yes" : "button_no");
    Ostrel::shared()->setConfig(config);
    cancels = 0;
    const int settingsBefore = Application::shared().openSettingsRequests();
    authorization->setStatus(AuthorizationStatus::notDetermined);
    open(true);
    EXPECT_EQ(authorization->requestCount(), 1) << "the appearance asks nothing more";
    EXPECT_FALSE(screen->viewCamera->videoCapture()->imageCaptureOutput()) << "not set up yet";
    EXPECT_TRUE(screen->state().checkPermission.isRequest);

    EXPECT_EQ(authorization->answerPending(false), 1);
    settle();
    auto shown = alert();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->alert, AlertKind::customConfirmation);
    EXPECT_EQ(shown->lblTitle->text(), "[check_permission_camera_title]");
    EXPECT_EQ(shown->lblMessage->text(), "[check_permission_camera]");
    EXPECT_EQ(shown->btnConfirm->title(ControlState::normal), "[button_yes]");
    EXPECT_EQ(shown->btnCancel->title(ControlState::normal), "[button_no]");
    // Another check finds the alert already shown.
    screen->viewWillAppear(false);
    settle();
    EXPECT_EQ(authorization->requestCount(), 1);

    answerAlert(openSettings);
    settle();
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(Application::shared().openSettingsRequests() - settingsBefore, openSettings ? 1 : 0);
    EXPECT_FALSE(Ostrel::shared()->naviViewController());
    authorization = testing::ScriptedCameraAuthorization::install();
  }
}

TEST_F(ScreenSetUpTest, AGrantedPermissionSetsUpAndStartsTheCameraAndARetakeAsksAgain) {
  authorization->setStatus(AuthorizationStatus::notDetermined);
  open(false);
  EXPECT_FALSE(isLive());
  clearLog();
  authorization->answerPending(true);
  settle();
  EXPECT_TRUE(isLive());
  EXPECT_EQ(events(), (Strings{"CAPTURE_START"}));
  EXPECT_EQ(lastEvent("CAPTURE_START")->data, (JSON{{"side", "back"}}));

  // Taken away again while the screen shows: a retake clears the flags, so it asks again.
  tapCapture();
  authorization->setStatus(AuthorizationStatus::notDetermined);
  tapRetake();
  EXPECT_EQ(authorization->requestCount(), 2);
  EXPECT_FALSE(screen->state().checkPermission.isShowAlert);
  EXPECT_TRUE(screen->state().checkPermission.isRequest);
  authorization->answerPending(true);
  settle();
  EXPECT_TRUE(isLive());
}

TEST_F(ScreenSetUpTest, PermissionAnswersArrivingAfterTheScreenLeftChangeNothing) {
  for (bool granted : {true, false}) {
    SCOPED_TRACE(granted ? "granted" : "refused");
    Ostrel::shared()->setConfig(config);
    authorization->setStatus(AuthorizationStatus::notDetermined);
    open(true);
    Ostrel::shared()->close(true);
    settle();
    ASSERT_FALSE(screen->view()->window());
    clearLog();
    EXPECT_EQ(authorization->answerPending(granted), 1);
    settle();
    EXPECT_FALSE(alert());
    EXPECT_FALSE(screen->viewCamera->videoCapture()->imageCaptureOutput())
        << "no camera is set up for a screen that is gone";
    EXPECT_TRUE(events().empty());
    EXPECT_FALSE(screen->state().checkPermission.isRequest) << "its next appearance asks again";
  }
}

TEST_F(ScreenSetUpTest, ACameraThatCannotBeSetUpEndsTheSessionAfterItsAlert) {
  camera = testing::ImageFileCamera::install();  // no cameras at all
  open(true);
  auto error = lastEvent("CAPTURE_ERROR");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->data, (JSON{{"error", "CREATE_CAMERA_ERROR"}}));
  EXPECT_EQ(error->level, OSLLogLevel::error);
  EXPECT_EQ(lastEvent("CAPTURE_START"), nullptr);
  auto shown = alert();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->lblMessage->text(), "[error_create_camera]");

  // Without a camera the shutter does nothing.
  screen->onTapCapture();
  settle();
  EXPECT_FALSE(screen->viewCamera->isCaptured);
  EXPECT_FALSE(screen->isPreviewShown());
  EXPECT_TRUE(haptics().empty());

  answerAlert(true);
  settle();
  EXPECT_EQ(cancels, 1);
  EXPECT_FALSE(Ostrel::shared()->naviViewController());
}

TEST_F(ScreenSetUpTest, TextsNamesAndGuideFollowTheSideAndThePassportFlow) {
  using Guide = GuideVC::TypeOfGuide;
  struct Row {
    const char* name;
    bool front;
    bool passport;
    const char* title;
    const char* note;
    const char* guideLine;
    const char* screenName;
    const char* side;
    Guide guide;
  };
  const Row rows[] = {
      {"front", true, false, "[id_capture_title]", "[id_capture_note]",
       "[id_capture_subtitle] [id_capture_subtitle_front]", "OSL_SCREEN_CAPTURE_FRONT", "front",
       Guide::frontId},
      {"back", false, false, "[id_capture_title]", "[id_capture_note]",
       "[id_capture_subtitle] [id_capture_subtitle_back]", "OSL_SCREEN_CAPTURE_BACK", "back",
       Guide::backId},
      {"passport", true, true, "[title_passport]", "[passport_capture_subtitle]",
       "[passport_capture_note]", "OSL_SCREEN_CAPTURE_FRONT", "front", Guide::passport},
      {"passport made as a back screen", false, true, "[title_passport]",
       "[passport_capture_subtitle]", "[passport_capture_note]", "OSL_SCREEN_CAPTURE_FRONT",
       "front", Guide::passport},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    clearLog();
    open(row.front, row.passport);
    EXPECT_EQ(screen->titleLabel->text(), row.title);
    EXPECT_EQ(screen->noteLabel->text(), row.note);
    EXPECT_EQ(screen->guideDescLabel->text(), row.guideLine);
    EXPECT_EQ(screen->lblAutoCapture->text(), "[id_capture_ac]");
    EXPECT_EQ(screen->lblAutoCaptureSuccess->text(), "[id_capture_ac_success]");
    EXPECT_EQ(screen->btnRetake->title(ControlState::normal), "[button_retry]");
    EXPECT_EQ(screen->btnConfirm->title(ControlState::normal), "[button_continue]");
    EXPECT_FALSE(screen->viewButtonAutoCap->superview()->isHidden());
    for (const auto& e : *logged) {
      EXPECT_EQ(e.screen, row.screenName) << e.event;
      EXPECT_EQ(e.event.rfind("PASSPORT_", 0), std::string::npos);
    }
    EXPECT_EQ(eventNames().front(), "CAPTURE_START");
    EXPECT_EQ(lastEvent("CAPTURE_START")->data, (JSON{{"side", row.side}}));
    ASSERT_TRUE(lastEvent("ENTER_SCREEN"));

    testing::PresentationRecorder presentations;
    user().tap(screen->viewButtonTutorial->button);
    settle();
    auto guide = std::dynamic_pointer_cast<GuideVC>(
        Ostrel::shared()->naviViewController()->presentedViewController());
    ASSERT_TRUE(guide);
    EXPECT_EQ(guide->typeOfGuide, row.guide);
    EXPECT_EQ(guide->modalPresentationStyle, ModalPresentationStyle::formSheet);
    EXPECT_EQ(eventNames().back(), "TAP_GUIDE");
    guide->dismiss(false);
    settle();
  }
}

TEST_F(ScreenSetUpTest, TheTargetSitsLowerOnTallerScreens) {
  const std::pair<double, double> rows[] = {{699.5, 15}, {700, 30}, {750, 30}, {750.5, 40}};
  std::optional<double> previousTop;
  for (auto [height, offset] : rows) {
    SCOPED_TRACE(height);
    Screen::main().setBounds({0, 0, 390, height});
    auto made = IDCaptureVC::create(true);
    made->loadViewIfNeeded();
    EXPECT_EQ(made->topTargetViewCT->constant, offset);
    made->view()->setNeedsLayout();
    made->view()->layoutIfNeeded();
    EXPECT_EQ(made->cameraMarkView->cropFrame, made->targetView->frame()) << "the hole follows";
    if (previousTop) {
      EXPECT_GE(made->targetView->frame().minY(), *previousTop);
    }
    previousTop = made->targetView->frame().minY();
  }
}

TEST_F(ScreenSetUpTest, ClosingAsksFirstAndBackgroundMovesAreReported) {
  open(true);
  clearLog();
  setApplicationActive(false);
  setApplicationActive(true);
  EXPECT_EQ(events(), (Strings{"SDK_IN_BACKGROUND", "SDK_IN_FOREGROUND"}));
  EXPECT_TRUE(isLive()) << "the camera keeps running in the background";

  clearLog();
  user().tap(screen->btnClose);
  settle();
  ASSERT_TRUE(alert());
  EXPECT_EQ(alert()->alert, AlertKind::exitConfirmation);
  answerAlert(false);
  EXPECT_EQ(events(), (Strings{"TAP_EXIT", "EXIT_TAP_NO"}));
  EXPECT_TRUE(Ostrel::shared()->naviViewController());

  clearLog();
  user().tap(screen->btnClose);
  settle();
  answerAlert(true);
  settle();
  EXPECT_EQ(events(), (Strings{"TAP_EXIT", "EXIT_SCREEN", "EXIT_TAP_YES"}));
  EXPECT_EQ(cancels, 1);
  EXPECT_FALSE(screen->viewCamera->videoCapture()->captureSession()->isRunning());
  // Gone from the screen, it hears of the application no more.
  clearLog();
  setApplicationActive(false);
  EXPECT_TRUE(events().empty());
}

TEST_F(ScreenSetUpTest, TheIntroShowsTheSideAndGoes) {
  for (bool front : {true, false}) {
    SCOPED_TRACE(front ? "front" : "back");
    AnimationLog::shared().clear();
    open(front);
    // `open` let half a second pass; the intro is still on.
    ASSERT_TRUE(screen->introContainer());
    auto container = screen->introContainer();
    EXPECT_EQ(container->superview(), screen->view());
    settle(5);
    EXPECT_FALSE(screen->introContainer());
    EXPECT_FALSE(container->superview());
    bool flipped = false, grew = false;
    for (const auto& record : animations()) {
      if (record->transition) {
        flipped = true;
        EXPECT_EQ(record->transition->kind, ViewTransition::flipFromLeft);
        EXPECT_TRUE(record->transition->showHideTransitionViews);
        EXPECT_EQ(record->duration, 1.0);
        EXPECT_TRUE(record->completed);
      }
      if (auto change = record->change(container.get(), "transform")) {
        grew = record->duration == 0.8;
        (void)change;
      }
    }
    EXPECT_EQ(flipped, !front);
    EXPECT_EQ(grew, front);
  }
}

}  // namespace
}  // namespace ostrel::id_capture_test
