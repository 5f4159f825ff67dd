// The camera text-scanning screen: geometry, presets, permission, camera failures, torch and
// the pop gesture.

#include <cmath>

#include "platform/runtime/Application.hpp"
#include "platform/runtime/NotificationCenter.hpp"
#include "platform/ui/PangoText.hpp"
#include "platform/ui/Renderer.hpp"
#include "session/Ostrel.hpp"
#include "tests/mrz_scanner/ScannerTestSupport.hpp"
#include "testing/PixelProbe.hpp"
#include "ui/ResourceBundle.hpp"

namespace ostrel::scanner_test {
namespace {

void expectRect(const Rect& actual, const Rect& expected, double tolerance = 1e-9) {
  EXPECT_NEAR(actual.minX(), expected.minX(), tolerance);
  EXPECT_NEAR(actual.minY(), expected.minY(), tolerance);
  EXPECT_NEAR(actual.width(), expected.width(), tolerance);
  EXPECT_NEAR(actual.height(), expected.height(), tolerance);
}

const Rect kPortrait169{0.05, 0.4478190104166666, 0.9, 0.328271484375};
const Rect kPortrait43{0.05, 0.3748697916666666, 0.9, 0.4376953125};
const Rect kLandscape{0.1, 0.3208333333333333, 0.8, 0.51875};

class ScanScreenTest : public ScannerTest {};

// The region, the text orientation and where a recognised point lands in the camera buffer,
// for every way the device can be held; orientations that say nothing about the screen (face
// up or down, unknown) keep the last one and its region.
TEST_F(ScanScreenTest, RegionAndTransformsFollowTheDevice) {
  camera->addDevice(backCamera());
  auto scanner = pushScanner();
  runUntilIdle();
  ASSERT_EQ(scanner->bufferAspectRatio(), 16.0 / 9.0);
  expectRect(scanner->regionOfInterest, kPortrait169);

  struct Row {
    const char* name;
    DeviceOrientation turn;
    Rect region;
    int textOrientation;
    Point mapped;  // (0.25, 0.5) of the region, origin bottom-left, in buffer coordinates
  };
  const Row rows[] = {
      {"landscape left", DeviceOrientation::landscapeLeft, kLandscape, 1, {0.3, 0.4197916666666667}},
      {"face up keeps landscape left", DeviceOrientation::faceUp, kLandscape, 1, {0.3, 0.4197916666666667}},
      {"landscape right", DeviceOrientation::landscapeRight, kLandscape, 3, {0.7, 0.5802083333333333}},
      {"face down keeps landscape right", DeviceOrientation::faceDown, kLandscape, 3, {0.7, 0.5802083333333333}},
      {"upside down", DeviceOrientation::portraitUpsideDown, kPortrait169, 8, {0.6119547526041667, 0.275}},
      {"portrait", DeviceOrientation::portrait, kPortrait169, 6, {0.38804524739583335, 0.725}},
      {"unknown keeps portrait", DeviceOrientation::unknown, kPortrait169, 6, {0.38804524739583335, 0.725}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    rotateDevice(row.turn);
    runUntilIdle();
    expectRect(scanner->regionOfInterest, row.region);
    EXPECT_EQ(scanner->textOrientation, row.textOrientation);
    const Point mapped = scanner->visionToAVFTransform.apply(Point{0.25, 0.5});
    EXPECT_NEAR(mapped.x, row.mapped.x, 1e-9);
    EXPECT_NEAR(mapped.y, row.mapped.y, 1e-9);
    // The frame queue reads the same pair.
    const auto geometry = scanner->recognitionGeometry();
    expectRect(geometry.regionOfInterest, row.region);
    EXPECT_EQ(geometry.textOrientation, row.textOrientation);
  }
}

// The first preset the camera takes, best first; a camera without a 16/9 one runs at 640x480.
TEST_F(ScanScreenTest, PresetAndAspectRatioFromWhatTheCameraTakes) {
  struct Row {
    const char* name;
    std::vector<SessionPreset> supported;
    SessionPreset chosen;
    double ratio;
    Rect region;
  };
  const Row rows[] = {
      {"4K", {SessionPreset::hd4K3840x2160, SessionPreset::hd1920x1080, SessionPreset::vga640x480},
       SessionPreset::hd4K3840x2160, 16.0 / 9.0, kPortrait169},
      {"1080p", {SessionPreset::hd1920x1080, SessionPreset::vga640x480}, SessionPreset::hd1920x1080,
       16.0 / 9.0, kPortrait169},
      {"720p", {SessionPreset::hd1280x720, SessionPreset::vga640x480}, SessionPreset::hd1280x720, 16.0 / 9.0,
       kPortrait169},
      {"only 640x480", {SessionPreset::vga640x480}, SessionPreset::vga640x480, 4.0 / 3.0, kPortrait43},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    camera = ImageFileCamera::install();
    auto script = backCamera();
    script.description.presets.clear();
    for (SessionPreset preset : row.supported) script.description.presets.emplace_back(preset, nominalDimensions(preset));
    camera->addDevice(script);
    auto scanner = make<OSLScanMRZVC>();
    show(scanner);
    runUntilIdle();
    EXPECT_EQ(scanner->captureSession->sessionPreset(), row.chosen);
    EXPECT_EQ(scanner->bufferAspectRatio(), row.ratio);
    expectRect(scanner->regionOfInterest, row.region);
    EXPECT_TRUE(scanner->captureSession->isRunning());
    scanner->stopSession();
    runUntilIdle();
  }
}

// The cutout and the guide image over it, through the preview's own mapping: a root view under
// 700 points fills the preview (aspect fill), from 700 points the picture fits in it.
TEST_F(ScanScreenTest, CutoutFollowsThePreviewGravity) {
  struct Row {
    double height;
    LayerVideoGravity gravity;
    Rect cutout;
  };
  const Row rows[] = {
      {699, LayerVideoGravity::resizeAspectFill,
       {18.065625, 156.512744140625, 353.86875, 229.461767578125}},
      {700, LayerVideoGravity::resizeAspect, {19.5, 158.57725694444446, 351.0, 227.6015625}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.height);
    // A phone whose screen is that high.
    Screen::main().setBounds({0, 0, 390, row.height});
    window()->setFrame({0, 0, 390, row.height});
    camera = ImageFileCamera::install();
    camera->addDevice(backCamera());
    auto scanner = make<OSLScanMRZVC>();
    show(scanner);
    runUntilIdle();
    scanner->view()->setNeedsLayout();
    runDisplayPass();
    runUntilIdle();
    EXPECT_EQ(scanner->previewView->videoPreviewLayer()->videoGravity, row.gravity);
    ASSERT_TRUE(scanner->maskLayer->path);
    const auto& elements = scanner->maskLayer->path->elements;
    ASSERT_EQ(elements.size(), 2u);
    expectRect(elements[0].rect, {0, 0, 390, row.height});
    EXPECT_EQ(elements[1].kind, PathElement::Kind::roundedRect);
    EXPECT_EQ(elements[1].cornerRadius, 15);
    expectRect(elements[1].rect, row.cutout, 1e-6);
    expectRect(scanner->imageScanMrz()->frame(), row.cutout, 1e-6);
    scanner->stopSession();
    runUntilIdle();
  }
}

// A rotation before the camera has a preset has nothing to size a portrait region by: the
// region stays as it was and nothing is drawn.
TEST_F(ScanScreenTest, RotationBeforeTheCameraKeepsTheRegion) {
  authorization->setStatus(AuthorizationStatus::notDetermined);
  camera->addDevice(backCamera());
  auto scanner = pushScanner();
  runUntilIdle();
  rotateDevice(DeviceOrientation::portraitUpsideDown);
  runUntilIdle();
  expectRect(scanner->regionOfInterest, {0, 0, 1, 1});
  EXPECT_FALSE(scanner->maskLayer->path);
  // Landscape needs no buffer shape.
  rotateDevice(DeviceOrientation::landscapeLeft);
  runUntilIdle();
  expectRect(scanner->regionOfInterest, kLandscape);
}

// Whichever asks for access first (the view's preparation or the appearance), the granted
// answer configures the camera once and starts it, and frames reach the recogniser.
TEST_F(ScanScreenTest, FirstRunPermissionInBothOrdersConfiguresOnceAndDeliversFrames) {
  for (bool answerBeforeAppearing : {false, true}) {
    SCOPED_TRACE(answerBeforeAppearing ? "answered before the screen appears" : "answered after it appeared");
    authorization = ScriptedCameraAuthorization::install(AuthorizationStatus::notDetermined);
    camera = ImageFileCamera::install();
    camera->addDevice(backCamera());
    recognizer = ScriptedTextRecognizer::install();
    navigation = nullptr;
    auto scanner = make<OSLScanMRZVC>();
    scanner->loadViewIfNeeded();
    if (answerBeforeAppearing) {
      runUntilIdle();
      EXPECT_EQ(authorization->answerPending(true), 1);
      runUntilIdle();
    }
    navigation = NavigationController::withRoot(make<ViewController>());
    show(navigation);
    navigation->pushViewController(scanner, false);
    if (!answerBeforeAppearing) {
      runUntilIdle();
      EXPECT_EQ(authorization->answerPending(true), 1);
    }
    runUntilIdle();
    playFrames(3);
    EXPECT_EQ(authorization->requestCount(), 1);
    EXPECT_EQ(scanner->captureSession->inputs().size(), 1u);
    EXPECT_EQ(scanner->captureSession->outputs().size(), 1u);
    EXPECT_TRUE(scanner->captureSession->isRunning());
    EXPECT_GE(recognizer->callCount(), 2);
    EXPECT_EQ(scanner->videoDataOutput->pixelFormat(), PixelFormat::yCbCr420BiPlanarFullRange);
    EXPECT_DOUBLE_EQ(scanner->captureDevice()->videoZoomFactor(), 1.5);
    EXPECT_EQ(scanner->captureDevice()->autoFocusRangeRestriction(), AutoFocusRangeRestriction::near);
    navigation->popViewController(false);
    runUntilIdle();
    EXPECT_FALSE(scanner->captureSession->isRunning());
  }
}

// Access already given: no question, the camera runs.
TEST_F(ScanScreenTest, AlreadyAuthorisedStartsWithoutAsking) {
  camera->addDevice(backCamera());
  auto scanner = pushScanner();
  runUntilIdle();
  playFrames(2);
  EXPECT_EQ(authorization->requestCount(), 0);
  EXPECT_TRUE(scanner->captureSession->isRunning());
  EXPECT_GE(recognizer->callCount(), 1);

  // A scanner let go while its camera runs, without ever disappearing, leaves no camera running.
  camera = ImageFileCamera::install();
  camera->addDevice(backCamera());
  auto loose = make<OSLScanMRZVC>();
  loose->loadViewIfNeeded();
  runUntilIdle();
  auto driver = camera->driver(CaptureDevicePosition::back);
  ASSERT_TRUE(driver && driver->isStreaming());
  loose.reset();
  runUntilIdle();
  EXPECT_FALSE(driver->isStreaming());
}

// A permission answer that comes after the scanner is gone starts nothing and shows nothing.
TEST_F(ScanScreenTest, AnswerAfterTheScannerIsGoneDoesNothing) {
  for (bool granted : {true, false}) {
    SCOPED_TRACE(granted ? "granted" : "denied");
    authorization->setStatus(AuthorizationStatus::notDetermined);
    camera = ImageFileCamera::install();
    camera->addDevice(backCamera());
    auto scanner = make<OSLScanMRZVC>();
    scanner->loadViewIfNeeded();
    runUntilIdle();
    std::weak_ptr<OSLScanMRZVC> weakScanner = scanner;
    scanner.reset();
    ASSERT_TRUE(weakScanner.expired());
    EXPECT_EQ(authorization->answerPending(granted), 1);
    runUntilIdle();
    EXPECT_FALSE(camera->driver(CaptureDevicePosition::back)->isStreaming());
    EXPECT_FALSE(shownAlert());
  }
}

// A refusal shows the permission alert once; taps and returning to the application ask
// nothing more; "no" leaves the scanner.
TEST_F(ScanScreenTest, DeniedAccessAlertsOnceAndNoLeaves) {
  authorization->setStatus(AuthorizationStatus::notDetermined);
  authorization->queueAnswer(false);
  camera->addDevice(backCamera());
  auto scanner = pushScanner();
  runUntilIdle();
  auto alert = shownAlert();
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->alert, OSLAlertVC::TypeOfAlert::customConfirmation);
  EXPECT_EQ(alert->lblTitle->text(), "[check_permission_camera_title]");
  EXPECT_EQ(alert->lblMessage->text(), "[check_permission_camera]");
  EXPECT_EQ(alert->btnCancel->title(ControlState::normal), "[button_no]");
  EXPECT_EQ(alert->btnConfirm->title(ControlState::normal), "[button_yes]");
  EXPECT_TRUE(scanner->checkPermission.isShowAlert);
  EXPECT_FALSE(scanner->captureSession->isRunning());

  testing::PresentationRecorder recorder;
  auto tap = std::dynamic_pointer_cast<TapGestureRecognizer>(scanner->view()->gestureRecognizers().front());
  ASSERT_TRUE(tap);
  user().fire(tap);
  NotificationCenter::defaultCenter().post(ApplicationDidBecomeActiveNotification);
  runUntilIdle();
  EXPECT_EQ(authorization->requestCount(), 1);
  EXPECT_TRUE(recorder.events().empty());

  advance(0.3);
  user().tap(alert->btnCancel);
  advance(1);
  runUntilIdle();
  EXPECT_EQ(navigation->viewControllers().size(), 1u);
  EXPECT_TRUE(completions.empty());
}

// "Yes" ends the session as cancelled, then opens the application's settings page.
TEST_F(ScanScreenTest, DeniedAccessYesClosesTheSessionThenOpensSettings) {
  authorization->setStatus(AuthorizationStatus::notDetermined);
  authorization->queueAnswer(false);
  camera->addDevice(backCamera());
  auto host = make<ViewController>();
  show(host);
  navigation = NavigationController::withRoot(make<ViewController>());
  host->present(navigation, false);
  Ostrel::shared()->setNaviViewController(navigation);
  auto scanner = make<OSLScanMRZVC>();
  navigation->pushViewController(scanner, false);
  runUntilIdle();
  EXPECT_EQ(authorization->requestCount(), 1);
  runUntilIdle();
  std::shared_ptr<OSLAlertVC> alert;
  if (auto holder = std::dynamic_pointer_cast<OSLPopupHolderViewController>(navigation->presentedViewController()))
    alert = std::dynamic_pointer_cast<OSLAlertVC>(holder->mainPopVC);
  ASSERT_TRUE(alert);
  advance(0.3);
  user().tap(alert->btnConfirm);
  advance(2);
  runUntilIdle();
  EXPECT_EQ(Application::shared().openSettingsRequests(), 1);
  EXPECT_FALSE(host->presentedViewController());
  Ostrel::shared()->setNaviViewController(nullptr);
}

// Every way the camera can fail to give frames is reported once, as the camera failure, and
// closing the alert leaves the scanner. A camera that cannot be locked for zoom still runs.
TEST_F(ScanScreenTest, CameraFailuresAreReportedAndLeaveTheScreen) {
  struct Row {
    const char* name;
    bool device;
    bool inputFails;
    bool acceptsInput;
    bool acceptsOutput;
  };
  const Row rows[] = {
      {"no back camera", false, false, true, true},
      {"input cannot be made", true, true, true, true},
      {"input refused", true, false, false, true},
      {"output refused", true, false, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto script = backCamera();
    script.inputFails = row.inputFails;
    script.description.sessionAcceptsInput = row.acceptsInput;
    script.description.sessionAcceptsVideoDataOutput = row.acceptsOutput;
    if (!row.device) script.description.position = CaptureDevicePosition::front;
    auto scanner = restartWith(script);
    playFrames(2);
    EXPECT_FALSE(scanner->captureSession->isRunning());
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].level, OSLLogLevel::error);
    EXPECT_EQ(events[0].event, "CAPTURE_ERROR");
    EXPECT_EQ(events[0].screen, "OSL_SCREEN_MRZ");
    EXPECT_EQ(events[0].data, (JSON{{"error", "CREATE_CAMERA_ERROR"}}));
    auto alert = shownAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->alert, OSLAlertVC::TypeOfAlert::networkError);
    EXPECT_EQ(alert->lblMessage->text(), "[error_create_camera]");
    advance(0.3);
    user().tap(alert->btnConfirm);
    advance(1);
    runUntilIdle();
    EXPECT_EQ(navigation->viewControllers().size(), 1u) << "the alert's confirm leaves the scanner";
    EXPECT_FALSE(shownAlert());
  }

  SCOPED_TRACE("lock refused");
  auto script = backCamera();
  script.description.lockFails = true;
  auto scanner = restartWith(script);
  playFrames(2);
  EXPECT_TRUE(scanner->captureSession->isRunning());
  EXPECT_DOUBLE_EQ(scanner->captureDevice()->videoZoomFactor(), 1);
  EXPECT_TRUE(events.empty());
  EXPECT_FALSE(shownAlert());
  EXPECT_GE(recognizer->callCount(), 1);
}

// The torch button flips the flag, the icon and the camera's torch; any permission check (a
// tap on the screen) switches it off again. A camera without a torch, or one that refuses the
// lock, gives the flash alert and changes nothing.
TEST_F(ScanScreenTest, TorchFlipsAndPermissionChecksSwitchItOff) {
  const auto on = Image::named("ic_flash_on", *resourceBundle());
  const auto off = Image::named("ic_flash_off", *resourceBundle());
  ASSERT_TRUE(on && off);
  ASSERT_FALSE(samePicture(on, off));
  camera->addDevice(backCamera());
  auto scanner = pushScanner();
  runUntilIdle();
  ASSERT_EQ(navigation->topViewController()->navigationItem()->rightBarButtonItem()->customView,
            scanner->flashButton());
  EXPECT_TRUE(samePicture(scanner->flashButton()->image(ControlState::normal), off));

  scanner->flashButton()->sendActions(ControlEvent::touchUpInside);
  EXPECT_TRUE(scanner->isFlashOn);
  EXPECT_EQ(scanner->captureDevice()->torchMode(), TorchMode::on);
  EXPECT_TRUE(samePicture(scanner->flashButton()->image(ControlState::normal), on));
  EXPECT_FALSE(scanner->captureDevice()->isLockedForConfiguration());

  auto tap = std::dynamic_pointer_cast<TapGestureRecognizer>(scanner->view()->gestureRecognizers().front());
  ASSERT_TRUE(tap);
  EXPECT_TRUE(tap->cancelsTouchesInView && tap->delaysTouchesEnded && tap->requiresExclusiveTouchType);
  user().fire(tap);
  runUntilIdle();
  EXPECT_FALSE(scanner->isFlashOn);
  EXPECT_EQ(scanner->captureDevice()->torchMode(), TorchMode::off);
  EXPECT_TRUE(samePicture(scanner->flashButton()->image(ControlState::normal), off));
  EXPECT_FALSE(shownAlert());

  for (bool withoutTorch : {true, false}) {
    SCOPED_TRACE(withoutTorch ? "no torch" : "lock refused");
    auto script = backCamera();
    if (withoutTorch) {
      script.description.hasTorch = false;
    } else {
      script.description.lockFails = true;
    }
    auto other = restartWith(script);
    other->flashButton()->sendActions(ControlEvent::touchUpInside);
    runUntilIdle();
    EXPECT_FALSE(other->isFlashOn);
    EXPECT_EQ(other->captureDevice()->torchMode(), TorchMode::off);
    EXPECT_TRUE(samePicture(other->flashButton()->image(ControlState::normal), off));
    auto alert = shownAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->alert, OSLAlertVC::TypeOfAlert::networkError);
    EXPECT_EQ(alert->lblMessage->text(), "[error_flash]");
  }
}

// The pop gesture begins only over a stack of more than one controller, also once the scanner
// that answered for it is gone.
TEST_F(ScanScreenTest, PopGestureNeedsAControllerToGoBackTo) {
  camera->addDevice(backCamera());
  auto alone = make<OSLScanMRZVC>();
  EXPECT_FALSE(alone->gestureRecognizerShouldBegin(*make<PanGestureRecognizer>()));

  auto only = make<OSLScanMRZVC>();
  auto single = NavigationController::withRoot(only);
  show(single);
  runUntilIdle();
  auto pop = single->interactivePopGestureRecognizer();
  ASSERT_TRUE(pop->shouldBegin);
  EXPECT_TRUE(pop->isEnabled);
  EXPECT_FALSE(pop->shouldBegin(*pop));

  auto scanner = pushScanner();
  runUntilIdle();
  auto stackPop = navigation->interactivePopGestureRecognizer();
  ASSERT_TRUE(stackPop->shouldBegin);
  EXPECT_TRUE(stackPop->shouldBegin(*stackPop));
  std::weak_ptr<OSLScanMRZVC> weakScanner = scanner;
  navigation->popViewController(false);
  scanner.reset();
  runUntilIdle();
  EXPECT_TRUE(weakScanner.expired()) << "the gesture must not keep the scanner";
  EXPECT_FALSE(stackPop->shouldBegin(*stackPop));
}

// As a user sees it over the chip screen: a black screen around the preview, the bar with the
// title, the back button and the torch, and the whole guide note above the bottom edge.
TEST_F(ScanScreenTest, DrawnOpaqueWithItsBarAndTheWholeNote) {
  PangoTextMeasurer::install();
  setLanguageDictionary({{"mrz_scan_title", "Scan the zone"},
                         {"mrz_scan_note", "Hold the back of the card so that the three lines "
                                           "of the machine-readable zone sit inside the frame"}});
  window()->setSafeAreaInsets(EdgeInsets{47, 0, 34, 0});
  camera->addDevice(backCamera());
  navigation = NavigationController::withRoot(make<ViewController>());
  navigation->topViewController()->view()->setBackgroundColor(Color{1, 0, 0, 1});
  show(navigation);
  auto scanner = pushScanner(true);
  runUntilIdle();
  runDisplayPass();

  const auto& bar = navigation->navigationBar();
  EXPECT_FALSE(bar->isHidden());
  EXPECT_EQ(bar->titleLabel()->text(), "Scan the zone");
  auto back = scanner->navigationItem()->leftBarButtonItems.front();
  ASSERT_TRUE(back->shownView());
  EXPECT_EQ(scanner->flashButton()->superview(), bar) << "the torch is in the bar";

  const auto& note = scanner->guideLabel();
  const Rect noteFrame = note->frame();
  const Size needed = TextMeasurer::shared().boundingSize(*note->text(), note->font(),
                                                          {noteFrame.width(), 0}, 0);
  EXPECT_GE(noteFrame.height() + 0.5, needed.height) << "every line of the note fits";
  EXPECT_GT(needed.height, 2 * note->font().pointSize) << "a note of several lines";
  EXPECT_LE(noteFrame.maxY(), window()->bounds().height() - 34 - 30 + 0.5);

  for (double at : {0.0, 0.1, 1.0}) {
    SCOPED_TRACE(at);
    advance(at);
    runDisplayPass();
    auto picture = snapshot(*window(), 2);
    ASSERT_TRUE(picture);
    const Color top = testing::pixelAt(*picture, {195, 20});
    EXPECT_TRUE(top.isApproximately(Color::black(), 0.05)) << "above the preview: " << top.red;
    // The white title over the dark screen.
    const Rect title = bar->titleLabel()->convertRectTo(bar->titleLabel()->bounds(), nullptr);
    int white = 0;
    for (double x = title.minX(); x < title.maxX(); x += 0.5)
      for (double y = title.minY(); y < title.maxY(); y += 0.5)
        if (testing::pixelAt(*picture, {x, y}).isApproximately(Color::white(), 0.15)) ++white;
    EXPECT_GT(white, 20) << "the title is drawn";
  }

  user().tap(back);
  advance(1);
  EXPECT_NE(navigation->topViewController(), scanner) << "the back button leaves";
  TextMeasurer::install(nullptr);
}

}  // namespace
}  // namespace ostrel::scanner_test
