#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "core/CurrentConfig.hpp"
#include "core/Helpers.hpp"
#include "core/ScreenFactories.hpp"
#include "core/SharedDefaults.hpp"
#include "liveness/FaceChecks.hpp"
#include "liveness/FaceStatus.hpp"
#include "liveness/OSLFaceAction.hpp"
#include "liveness/OSLFaceVC.hpp"
#include "session/FlowLauncher.hpp"
#include "platform/crypto/Crypto.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/foundation/DeviceInfo.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/runtime/Application.hpp"
#include "platform/runtime/Runtime.hpp"
#include "platform/ui/Window.hpp"
#include "platform/vision/VisionError.hpp"
#include "testing/FacePhotographs.hpp"
#include "testing/ScreenTest.hpp"
#include "testing/ScriptedFaceDetector.hpp"
#include "testing/ScriptedRawDataProcessor.hpp"
#include "testing/ScriptedScreens.hpp"
#include "testing/UserJourney.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {
namespace {

using namespace platform;
using testing::ImageFileCamera;
using testing::ImageFileCameraDriver;
using testing::LoggedEvent;
using testing::ScriptedPhoto;
using testing::ScriptedFaceDetector;
using testing::ScriptedRawDataProcessor;
using testing::ScriptedReply;
using Strings = std::vector<std::string>;
using Version = OSLFaceLivenessVersion;

constexpr const char* kSelfiePath = "/api/kyc/check-selfie";

// The same picture up to JPEG's losses: same size, a small mean difference. A picture turned
// or mirrored the wrong way differs by far more on the coordinate picture.
bool looksAlike(const ImagePtr& a, const ImagePtr& b) {
  if (!a || !b || a->bitmap().size() != b->bitmap().size() || a->bitmap().empty()) return false;
  const double total = cv::norm(a->bitmap(), b->bitmap(), cv::NORM_L1);
  return total / static_cast<double>(a->bitmap().total() * a->bitmap().channels()) < 4;
}

// The face screen inside a running session (the facade's navigation controller), with the
// front camera of the image-file backend, scripted photos and permission, and the local server.
// Frames are judged by a scripted face detector; until a test scripts an answer every detection
// fails, which leaves the screen as it is.
class FaceScreenTest : public testing::ScreenTest {
 protected:
  FaceScreenTest() {
    detector->setFallback(PlatformError{kVisionErrorDomain, 9, "nothing scripted", ""});
    addBracketedKeys({"liveness_message_noface", "liveness_message_too_far",
                      "liveness_message_many_faces", "liveness_message_too_close",
                      "liveness_message_angle", "liveness_message_center",
                      "liveness_message_turn_up", "liveness_message_turn_down"});
    addBracketedKeys({"liveness_title", "liveness_note", "button_continue", "button_retry",
                      "liveness_message_default", "error_create_camera",
                      "check_permission_camera_title", "check_permission_camera", "button_no",
                      "button_yes", "error_unknown", "liveness_result_success",
                      "liveness_result_fail", "osl_time_remaining", "liveness_error_timeout",
                      "liveness_message_turn_left"});
    config->withEventHandler([log = logged](OSLConfig::Event event) {
      log->push_back({OSLLogLevel::info, "event " + std::to_string(static_cast<int>(event)), "",
                      JSON::object()});
    });
  }
  ~FaceScreenTest() override { Screen::main().resetForTesting(); }

  std::shared_ptr<ImageFileCameraDriver> frontCamera() const {
    return camera->driver(CaptureDevicePosition::front);
  }

  // Makes the screen (the manual flag stored first) and shows it in a session.
  std::shared_ptr<OSLFaceVC> open(Version version, bool manual = false) {
    sharedDefaults()->setBool(defaults_keys::kIsManualLivenessCaptureEnabled, manual);
    screen = OSLFaceVC::create(version, true);
    screen->onNext = [this] { ++nextCalls; };
    // The platform lays a screen out before it appears: the mask has its hole by then.
    screen->loadViewIfNeeded();
    screen->view()->layoutIfNeeded();
    startSession(screen);
    settle();
    return screen;
  }

  // Takes the manual photo of the front camera's picture and lets the presentation end.
  void captureByHand() { captureByHandOn(screen); }
  void captureByHandOn(const std::shared_ptr<OSLFaceVC>& face) {
    frontCamera()->queuePhoto(ScriptedPhoto::ofUprightScene(scene, CaptureDevicePosition::front));
    user().tap(face->captureButton);
    advance(1);
  }

  std::vector<LoggedEvent> eventsNamed(const std::string& name) const {
    std::vector<LoggedEvent> found;
    for (const auto& e : *logged) {
      if (e.event == name) found.push_back(e);
    }
    return found;
  }
  Strings faceLog() const { return screen->state()->logMessage; }

  // Face boxes: the capture circle, and the frame the preview fills.
  Rect crop() const { return screen->cameraMarkView->cropFrame; }
  Rect reference() const { return screen->cameraView->bounds(); }
  // A square face `scale` times the circle's width, centred in it but `dx` to the right.
  FaceObservationPtr faceIn(double scale = 0.45, double dx = 0, std::optional<float> pitch = 0.0f,
                            std::optional<float> yaw = 0.0f,
                            std::optional<float> roll = 0.0f) const {
    const Rect c = crop();
    const double w = c.width() * scale;
    return testing::faceObservationFor({c.midX() - w / 2 + dx, c.midY() - w / 2, w, w},
                                       reference(), pitch, yaw, roll);
  }
  static ScriptedFaceDetector::Result faces(std::vector<FaceObservationPtr> found) {
    return found;
  }
  // Plays the camera until one more frame has met the detector, which answers `result`, and
  // lets its judgement run.
  void judge(ScriptedFaceDetector::Result result) {
    const int seen = detector->framesSeen();
    detector->push(std::move(result));
    for (int step = 0; step < 60 && detector->framesSeen() == seen; ++step) advance(1.0 / 60);
    ASSERT_EQ(detector->framesSeen(), seen + 1) << "the camera delivers frames";
    runUntilIdle();
  }
  void judgeGoodFrames(int count) {
    for (int i = 0; i < count; ++i) judge(faces({faceIn()}));
  }

  // A picture whose crops tell where they came from.
  cv::Mat scene = testing::coordinatePicture(480, 640);
  std::shared_ptr<ScriptedFaceDetector> detector = std::make_shared<ScriptedFaceDetector>();
  std::optional<testing::InstalledFaceDetector> installedDetector{std::in_place, detector};
  std::shared_ptr<OSLFaceVC> screen;
  int nextCalls = 0;
};

// ------------------------------------------------------------------------------ vocabulary

TEST(FaceVocabularyTest, StatusNamesAndMessageKeys) {
  struct Row {
    const char* key;
    FaceStatus status;
    const char* name;
  };
  for (const Row& row : {Row{"liveness_message_noface", FaceStatus::NO_FACE, "NO_FACE"},
                         Row{"liveness_message_many_faces", FaceStatus::TOO_MANY_FACES,
                             "TOO_MANY_FACES"},
                         Row{"liveness_message_too_close", FaceStatus::TOO_LARGE, "TOO_LARGE"},
                         Row{"liveness_message_too_far", FaceStatus::TOO_SMALL, "TOO_SMALL"},
                         Row{"liveness_message_angle", FaceStatus::ANGLE_NOT_CORRECT,
                             "ANGLE_NOT_CORRECT"},
                         Row{"liveness_message_center", FaceStatus::OFF_CENTER, "OFF_CENTER"},
                         Row{"liveness_message_default", FaceStatus::LOOK_STRAIGHT,
                             "LOOK_STRAIGHT"},
                         Row{"Liveness_message_noface", FaceStatus::UNVERIFIED, "UNVERIFIED"},
                         Row{"", FaceStatus::UNVERIFIED, "UNVERIFIED"}}) {
    SCOPED_TRACE(row.key);
    EXPECT_EQ(faceStatus(row.key), row.status);
    EXPECT_EQ(faceStatusName(faceStatus(row.key)), row.name);
  }
  EXPECT_EQ(faceStatusName(FaceStatus::EYE_CLOSED), "EYE_CLOSED");
  EXPECT_EQ(static_cast<int>(FaceStatus::LOOK_STRAIGHT), 12);
}

TEST_F(FaceScreenTest, ActionsRoundTripTheirRawValuesAndHavePictures) {
  ASSERT_EQ(face_action::allCases.size(), 6u);
  for (OSLFaceAction action : face_action::allCases) {
    const std::string raw = face_action::rawValue(action);
    SCOPED_TRACE(raw);
    EXPECT_EQ(face_action::fromRawValue(raw), action);
    ASSERT_TRUE(face_action::picture(action)) << "every movement has its animated picture";
    EXPECT_GT(face_action::picture(action)->images().size(), 1u);
  }
  EXPECT_EQ(face_action::fromRawValue("TurnLeft"), std::nullopt);
  EXPECT_EQ(face_action::message(OSLFaceAction::turnLeft), "[liveness_message_turn_left]");
  EXPECT_EQ(face_action::message(OSLFaceAction::tiltRight), "");
}

// ------------------------------------------------------------------------------ geometry

TEST(FaceGeometryTest, GuideOutlineAndRingsFollowTheCropFrame) {
  // F = (40, 100, 280, 280): w = 150, h = 234.375, box origin (105, 142.8125 + 20).
  const Path path = OSLFaceVC::faceGuidePath({40, 100, 280, 280});
  ASSERT_EQ(path.elements.size(), 3u);
  const double top = 142.8125, quarter = 234.375 / 4;
  EXPECT_EQ(path.elements[0].kind, PathElement::Kind::moveTo);
  EXPECT_DOUBLE_EQ(path.elements[0].point.x, 105);
  EXPECT_DOUBLE_EQ(path.elements[0].point.y, top + quarter);
  const auto& upper = path.elements[1];
  EXPECT_EQ(upper.kind, PathElement::Kind::curveTo);
  EXPECT_DOUBLE_EQ(upper.point.x, 255);
  EXPECT_DOUBLE_EQ(upper.point.y, top + quarter);
  EXPECT_DOUBLE_EQ(upper.control1.x, 105 + 37.5 - 10);
  EXPECT_DOUBLE_EQ(upper.control1.y, top - 15);
  EXPECT_DOUBLE_EQ(upper.control2.x, 255 - 37.5 + 10);
  const auto& lower = path.elements[2];
  EXPECT_DOUBLE_EQ(lower.point.x, 105);
  EXPECT_DOUBLE_EQ(lower.control1.x, 255);
  EXPECT_DOUBLE_EQ(lower.control1.y, top + 234.375 + 10);
  EXPECT_DOUBLE_EQ(lower.control2.x, 105);

  constexpr double pi = std::numbers::pi;
  struct Row {
    int index;
    bool full;
    double start, end;
  };
  for (const Row& row : {Row{0, true, -pi / 2, 3 * pi / 2}, Row{1, false, -pi / 2, pi / 6},
                         Row{2, false, pi / 6, 5 * pi / 6},
                         Row{0, false, 5 * pi / 6, 3 * pi / 2},
                         Row{3, false, 5 * pi / 6, 3 * pi / 2}}) {
    SCOPED_TRACE(row.index);
    ShapeLayer ring;
    OSLFaceVC::configureRingLayer(ring, Color::black(), row.index, row.full, 3, {40, 100, 280, 280});
    ASSERT_TRUE(ring.path);
    const auto& arc = ring.path->elements.at(0);
    EXPECT_NEAR(arc.startAngle, row.start, 1e-12);
    EXPECT_NEAR(arc.endAngle, row.end, 1e-12);
    EXPECT_EQ(arc.center, (Point{140, 140}));
    EXPECT_EQ(arc.radius, 140);
    EXPECT_EQ(ring.lineCap, LineCap::round);
    EXPECT_EQ(ring.lineWidth, 10);
  }
}


// ------------------------------------------------------------------------------ manual mode

TEST_F(FaceScreenTest, ManualCaptureThroughTheProcessorToTheNextStep) {
  auto processor = std::make_shared<ScriptedRawDataProcessor>();
  processor->setDefaultAnswer(ScriptedRawDataProcessor::Answer::success().fromOtherThread());
  config->rawDataProcessor = processor;
  bool handlerCalled = false;
  config->faceDataHandler = [&](const Bytes&, const std::string&, const std::string&,
                                OSLConfig::ResultCompletion) { handlerCalled = true; };
  open(Version::semiActive, true);

  EXPECT_EQ(eventsNamed("LIVENESS_START").size(), 1u) << "set-up and appearance start it once";
  EXPECT_EQ(eventsNamed("LIVENESS_START").at(0).data["liveness_version"], "p");
  EXPECT_FALSE(screen->captureButton->isHidden());
  EXPECT_FALSE(screen->state()->maskShapeLayer) << "no outline in manual mode";
  EXPECT_EQ(screen->guideLabel->text(), "[liveness_message_default]");
  EXPECT_EQ(screen->guideIcon->alpha(), 0) << "the passive version shows no icon";

  captureByHand();
  EXPECT_EQ(haptics().size(), 1u);
  auto face = screen->state()->faceImage;
  ASSERT_TRUE(face);
  // The photo is turned upright before the crop: the same crop of the upright scene.
  auto upright = std::make_shared<Image>(scene);
  auto expected = Helpers::cropImage(upright, screen->cameraMarkView->cropFrame,
                                     screen->cameraMarkView->bounds().size);
  EXPECT_TRUE(looksAlike(face, expected));
  EXPECT_FALSE(screen->retryButton->isHidden());
  EXPECT_FALSE(screen->continueButton->isHidden());
  EXPECT_TRUE(screen->cameraView->isHidden());
  EXPECT_FALSE(frontCamera()->isStreaming());
  EXPECT_EQ(faceLog(), (Strings{"LIVENESS_CAPTURE_SUCCESS"}));

  user().tap(screen->continueButton);
  user().tap(screen->continueButton);  // a second tap while the answer is under way
  user().tap(screen->retryButton);
  runUntilIdle();
  ASSERT_EQ(processor->callCount(), 1) << "one hand-off; the handler is not asked";
  EXPECT_FALSE(handlerCalled);
  const auto call = processor->calls().at(0);
  EXPECT_EQ(call.variant, "p");
  EXPECT_FALSE(call.data.empty());
  EXPECT_EQ(call.base64.find('\n'), std::string::npos);
  EXPECT_EQ(currentConfig()->faceData, face);
  EXPECT_EQ(screen->guideLabel->text(), "[liveness_result_success]");
  EXPECT_EQ(screen->guideLabel->textColor(), colorFromHex("#1ABB6C"));

  advance(1.3);
  EXPECT_EQ(nextCalls, 0);
  advance(0.2);
  EXPECT_EQ(nextCalls, 1);
  advance(5);
  EXPECT_EQ(nextCalls, 1);
  ASSERT_FALSE(faceLog().empty());
  EXPECT_EQ(faceLog().front(), "LIVENESS_CAPTURE_SUCCESS") << "no face message on the way";
  auto success = eventsNamed("LIVENESS_SUCCESS");
  ASSERT_EQ(success.size(), 1u);
  EXPECT_EQ(success[0].data["log_messages"], JSON(faceLog()));
  EXPECT_EQ(eventsNamed("TAP_CONTINUE").size(), 1u);
  EXPECT_TRUE(eventsNamed("TAP_RETRY").empty());
}

TEST_F(FaceScreenTest, HostCompletionsCountOnceAndLateAnswersOnlyHideTheLoading) {
  auto processor = std::make_shared<ScriptedRawDataProcessor>();
  processor->queueAnswer(ScriptedRawDataProcessor::Answer::success().twice());
  config->rawDataProcessor = processor;
  std::vector<std::string> debug;
  setDebugSink([&](std::string_view line) { debug.emplace_back(line); });
  open(Version::passive, true);
  captureByHand();
  user().tap(screen->continueButton);
  advance(2);
  EXPECT_EQ(nextCalls, 1) << "a host that answers twice moves the flow on once";
  EXPECT_EQ(eventsNamed("LIVENESS_SUCCESS").size(), 1u);
  setDebugSink({});
  EXPECT_TRUE(std::any_of(debug.begin(), debug.end(), [](const std::string& line) {
    return line.find("more than once") != std::string::npos;
  }));

  // A success whose screen goes within the 1.4 s moves nothing on.
  processor->queueAnswer(ScriptedRawDataProcessor::Answer::success());
  screen->resetForNewRun();
  advance(1);
  captureByHand();
  user().tap(screen->continueButton);
  runUntilIdle();
  Ostrel::shared()->close(true);
  std::weak_ptr<OSLFaceVC> gone = screen;
  screen.reset();
  advance(3);
  EXPECT_TRUE(gone.expired());
  EXPECT_EQ(nextCalls, 1);
}


TEST_F(FaceScreenTest, SelfieUploadRoadsAndTheirFailures) {
  open(Version::active, true);
  captureByHand();
  user().tap(screen->continueButton);
  waitUntil([&] { return !server.requests(kSelfiePath).empty(); });
  runUntilIdle();
  auto request = server.lastRequest(kSelfiePath);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->header("Authorization"), "token");
  EXPECT_TRUE(request->part("image"));
  ASSERT_TRUE(request->part("passive_liveness_check"));
  EXPECT_TRUE(request->part("lang"));
  waitUntil([&] { return nextCalls > 0 || !eventsNamed("LIVENESS_SUCCESS").empty(); });
  advance(1.5);
  EXPECT_EQ(nextCalls, 1);

  // A refusal: the failure line with a transparent icon, the event and the built-in alert.
  server.pushOnceReply(kSelfiePath, ScriptedReply::error(422, "[face refused]"));
  screen->resetForNewRun();
  advance(1);
  captureByHand();
  user().tap(screen->continueButton);
  waitUntil([&] { return !eventsNamed("LIVENESS_FAIL").empty(); });
  advance(1);
  EXPECT_EQ(screen->guideLabel->text(), "[liveness_result_fail]");
  EXPECT_EQ(screen->guideIcon->alpha(), 0);
  EXPECT_EQ(eventsNamed("LIVENESS_FAIL").at(0).data["error"], "[face refused]");
  EXPECT_FALSE(screen->retryButton->isHidden());
  EXPECT_TRUE(screen->continueButton->isHidden());
  ASSERT_TRUE(alert());
  answerAlert(true);

  // 401: the time-out alert, whose confirmation ends the session as cancelled and expired.
  server.pushOnceReply(kSelfiePath, ScriptedReply::error(401, "expired"));
  user().tap(screen->retryButton);
  advance(1);
  EXPECT_EQ(faceLog().back(), "TAP_RETRY");
  captureByHand();
  user().tap(screen->continueButton);
  waitUntil([&] { return eventsNamed("LIVENESS_FAIL").size() == 2; });
  advance(1);
  ASSERT_TRUE(alert());
  EXPECT_EQ(alert()->alert, OSLAlertVC::TypeOfAlert::timeout);
  answerAlert(true);
  const Strings names = eventNames();
  const auto cancelled = std::find(names.begin(), names.end(), "event 0");
  ASSERT_NE(cancelled, names.end());
  EXPECT_NE(std::find(cancelled, names.end(), "event 1"), names.end());
  EXPECT_EQ(nextCalls, 1);
}

TEST_F(FaceScreenTest, ProcessorAndHandlerFailuresTellTheHostOrTheUser) {
  auto processor = std::make_shared<ScriptedRawDataProcessor>();
  processor->setDefaultAnswer(ScriptedRawDataProcessor::Answer::failure(std::nullopt));
  config->rawDataProcessor = processor;
  struct Shown {
    std::string message;
    int code;
  };
  std::vector<Shown> shown;
  config->showErrorAlertHandler = [&](const std::string& message, int code,
                                      std::shared_ptr<ViewController>) {
    shown.push_back({message, code});
  };
  open(Version::passive, true);
  captureByHand();
  user().tap(screen->continueButton);
  advance(1);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].message, "[error_unknown]");
  EXPECT_EQ(shown[0].code, 200);
  EXPECT_TRUE(samePixels(screen->guideIcon->image(), bundleImage("ic_error")));

  // Without the host's handler the built-in alert says -1.
  config->showErrorAlertHandler = nullptr;
  user().tap(screen->retryButton);
  advance(1);
  captureByHand();
  user().tap(screen->continueButton);
  advance(1);
  ASSERT_TRUE(alert());
  EXPECT_EQ(alert()->alert, OSLAlertVC::TypeOfAlert::networkError);
  EXPECT_EQ(alert()->message, "[error_unknown]");
  answerAlert(true);

  // A type cast from another number is a failure; the handler's message goes on the guide
  // line, with no event and no dialog.
  config->rawDataProcessor = nullptr;
  config->faceDataHandler = [](const Bytes&, const std::string&, const std::string& variant,
                               OSLConfig::ResultCompletion done) {
    EXPECT_EQ(variant, "p");
    OSLConfig::Result result;
    result.type = static_cast<OSLConfig::ResultType>(7);
    result.error = OstrelError{9, "[bad face]"};
    std::thread([done, result] { done(result); }).join();
  };
  const auto failures = eventsNamed("LIVENESS_FAIL").size();
  user().tap(screen->retryButton);
  advance(1);
  captureByHand();
  user().tap(screen->continueButton);
  advance(1);
  EXPECT_EQ(screen->guideLabel->text(), "[bad face]");
  EXPECT_EQ(screen->guideIcon->alpha(), 1);
  EXPECT_TRUE(samePixels(screen->guideIcon->image(), bundleImage("icon_alert_error")));
  EXPECT_EQ(eventsNamed("LIVENESS_FAIL").size(), failures);
  EXPECT_FALSE(alert());
  EXPECT_FALSE(currentConfig()->faceData);
  EXPECT_EQ(nextCalls, 0);
}


// ------------------------------------------------------------------------------ automatic capture

TEST_F(FaceScreenTest, TheTickCapturesAtAHundredWithTheFramePictureOrTheTurnedPhoto) {
  open(Version::passive);
  EXPECT_TRUE(screen->captureButton->isHidden()) << "automatic mode has no capture button";
  ASSERT_TRUE(screen->state()->maskShapeLayer) << "the outline is drawn once the mask has its hole";
  EXPECT_EQ(screen->state()->maskShapeLayer->opacity, 1);
  auto state = screen->state();
  for (int confidence : {99, -5}) {
    SCOPED_TRACE(confidence);
    state->confidence = confidence;
    screen->_autoCaptureNormal();
    runUntilIdle();
    EXPECT_EQ(state->confidence, std::clamp(confidence, 0, 100));
    EXPECT_TRUE(frontCamera()->photoRequests().empty());
  }
  // With a frame picture that picture is handed on, not the photo.
  cv::Mat frameScene(640, 480, CV_8UC4, cv::Scalar(10, 200, 30, 255));
  auto frame = std::make_shared<Image>(frameScene);
  state->imageRequest = frame;
  state->confidence = 100;
  frontCamera()->queuePhoto(ScriptedPhoto::ofUprightScene(scene, CaptureDevicePosition::front));
  screen->_autoCaptureNormal();
  advance(1);
  EXPECT_EQ(state->confidence, 0);
  EXPECT_EQ(frontCamera()->photoRequests().size(), 1u);
  auto expected = Helpers::cropImage(frame, screen->cameraMarkView->cropFrame,
                                     screen->cameraMarkView->bounds().size);
  EXPECT_TRUE(testing::samePixels(state->faceImage, expected));
  EXPECT_EQ(state->maskShapeLayer->opacity, 0) << "the outline fades out and stays";
  EXPECT_EQ(state->maskShapeLayer->animation("fadeOut")->values["opacity_remove_mask_layer"],
            "fadeOut");
  EXPECT_EQ(faceLog(), (Strings{"LIVENESS_CAPTURE_SUCCESS"}));

  // Without one, the photo turned upright.
  user().tap(screen->retryButton);
  advance(1);
  EXPECT_FALSE(state->imageRequest == nullptr) << "the retry keeps the latest frame field";
  state->imageRequest = nullptr;
  state->confidence = 250;
  frontCamera()->queuePhoto(ScriptedPhoto::ofUprightScene(scene, CaptureDevicePosition::front));
  screen->_autoCaptureNormal();
  advance(1);
  auto upright = std::make_shared<Image>(scene);
  EXPECT_TRUE(looksAlike(screen->state()->faceImage,
                         Helpers::cropImage(upright, screen->cameraMarkView->cropFrame,
                                            screen->cameraMarkView->bounds().size)));
}

TEST_F(FaceScreenTest, AFailedAutomaticPhotoStartsAnotherAttempt) {
  open(Version::passive);
  screen->state()->confidence = 100;
  frontCamera()->queuePhoto(ScriptedPhoto::failure(PlatformError{"Camera", 3, "lost", ""}));
  screen->_autoCaptureNormal();
  advance(1);
  EXPECT_EQ(faceLog(), (Strings{"TAP_RETRY"}));
  EXPECT_TRUE(screen->state()->isCaptureRunning);
  EXPECT_FALSE(screen->cameraView->isHidden());
  EXPECT_TRUE(frontCamera()->isStreaming());
  ASSERT_TRUE(screen->state()->maskShapeLayer) << "the retry draws the outline again";
}

TEST_F(FaceScreenTest, TheActiveVersionKeepsCapturingAfterItsPhoto) {
  open(Version::active);
  EXPECT_EQ(screen->guideIcon->alpha(), 1);
  EXPECT_TRUE(samePixels(screen->guideIcon->image(), bundleImage("face_icon")));
  screen->state()->confidence = 100;
  frontCamera()->queuePhoto(ScriptedPhoto::ofUprightScene(scene, CaptureDevicePosition::front));
  screen->_autoCaptureNormal();
  advance(1);
  EXPECT_TRUE(screen->state()->faceImage);
  EXPECT_TRUE(frontCamera()->isStreaming());
  EXPECT_TRUE(screen->state()->isCaptureRunning);
  EXPECT_TRUE(screen->retryButton->isHidden());
  // The photo is followed by the choice of three movements.
  ASSERT_EQ(faceLog().size(), 1u);
  EXPECT_EQ(faceLog()[0].rfind("LIVENESS_VERSION_ACTIVE_ALL_ACTIONS_ORDERED_", 0), 0u);
  EXPECT_EQ(screen->state()->faceActions.size(), 3u);
  // A pending movement shows its own text and picture.
  screen->state()->faceActions = {{1, OSLFaceAction::turnLeft}};
  screen->updateMessage(true, "liveness_message_default");
  EXPECT_EQ(screen->guideLabel->text(), "[liveness_message_turn_left]");
  EXPECT_EQ(screen->state()->cacheGifName, "turnLeft");
  EXPECT_GT(screen->guideIcon->image()->images().size(), 1u);

  // A retry while the countdowns run stops them before starting afresh: no orphan ticks on.
  screen->restartCountdown(false);
  screen->restartCountdown(true);
  const auto whole = screen->state()->timerAllProcess.timer;
  const auto perAction = screen->state()->timerPerAction.timer;
  screen->onRetryPressed();
  EXPECT_FALSE(whole->isValid());
  EXPECT_FALSE(perAction->isValid());
  advance(5);
  EXPECT_EQ(screen->state()->timerAllProcess.timeout, 60);
  EXPECT_TRUE(screen->state()->faceActions.empty());
  EXPECT_EQ(faceLog().size(), 2u);
  EXPECT_EQ(faceLog().back(), "TAP_RETRY");
}

// ------------------------------------------------------------------------------ countdowns

TEST_F(FaceScreenTest, TheWholeProcessCountdownShowsItsClockAndTimesOutOnce) {
  config->livenessTimeoutSeconds = 77;
  open(Version::passive, true);  // a second and a half: one tick
  const auto& state = screen->state();
  ASSERT_TRUE(state->timerAllProcess.timer) << "manual mode counts from the set-up";
  EXPECT_TRUE(screen->timeRemainingLabel->isHidden());
  ASSERT_EQ(state->timerAllProcess.timeout, 76);
  advance(1);
  ASSERT_TRUE(screen->timeRemainingLabel->attributedText());
  const AttributedString text = *screen->timeRemainingLabel->attributedText();
  EXPECT_EQ(text.string, "[osl_time_remaining] 01:15");
  EXPECT_EQ(text.foregroundColorAt(0), Color::black());
  EXPECT_EQ(text.foregroundColorAt(text.string.size() - 1), colorFromHex(currentAppearance()->mainColor));

  advance(74);
  EXPECT_TRUE(eventsNamed("LIVENESS_TIMEOUT").empty());
  advance(1);
  EXPECT_EQ(screen->timeRemainingLabel->attributedText()->string, "[osl_time_remaining] 00:00");
  auto timeouts = eventsNamed("LIVENESS_TIMEOUT");
  ASSERT_EQ(timeouts.size(), 1u);
  EXPECT_EQ(timeouts[0].data["log_messages"], JSON(Strings{"TIMEOUT_77_SECONDS"}));
  EXPECT_FALSE(frontCamera()->isStreaming());
  EXPECT_FALSE(screen->retryButton->isHidden());
  EXPECT_TRUE(screen->cameraView->isHidden());
  EXPECT_TRUE(screen->captureButton->isHidden());
  EXPECT_EQ(screen->guideLabel->text(), "[liveness_error_timeout]");
  EXPECT_EQ(screen->guideLabel->textColor(), colorFromHex("#EC2A2A"));
  advance(10);
  EXPECT_EQ(eventsNamed("LIVENESS_TIMEOUT").size(), 1u) << "reported once, then stopped";
}

TEST_F(FaceScreenTest, ACountdownWithoutCameraStopsAtZeroAndReportsOnce) {
  // Manual mode counts from the set-up even while the user has not answered the permission.
  authorization->setStatus(AuthorizationStatus::notDetermined);
  config->livenessTimeoutSeconds = 0;
  open(Version::passive, true);
  advance(5);
  EXPECT_EQ(authorization->requestCount(), 1) << "set-up asks once, appearing asks nothing";
  EXPECT_EQ(eventsNamed("LIVENESS_TIMEOUT").size(), 1u);
  EXPECT_EQ(faceLog(), (Strings{"TIMEOUT_0_SECONDS"}));
  EXPECT_FALSE(screen->state()->timerAllProcess.timer);
  authorization->answerPending(true);
  advance(1);
  EXPECT_EQ(eventsNamed("LIVENESS_START").size(), 1u) << "granted: set up, then started";
}

TEST_F(FaceScreenTest, TimeOutsStopTheirCountdownsByVersion) {
  struct Row {
    Version version;
    bool perActionExpires;
    bool perActionStops;
  };
  for (const Row& row : {Row{Version::passive, false, false}, Row{Version::active, false, true},
                         Row{Version::passive, true, true}, Row{Version::active, true, true}}) {
    SCOPED_TRACE(::testing::Message() << static_cast<int>(row.version) << row.perActionExpires);
    open(row.version);
    auto state = screen->state();
    state->timerAllProcess.timeout = row.perActionExpires ? 30 : 1;
    state->timerPerAction.timeout = row.perActionExpires ? 1 : 30;
    screen->restartCountdown(false);
    screen->restartCountdown(true);
    // A pending automatic capture never outlives the time-out.
    state->confidence = 100;
    state->timerAutoCapture = Timer::scheduledTimer<OSLFaceVC>(
        1.5, false, screen, [](OSLFaceVC& s, Timer&) { s._autoCaptureNormal(); });
    advance(1);
    EXPECT_FALSE(state->timerAutoCapture);
    EXPECT_FALSE(state->timerAllProcess.timer);
    EXPECT_EQ(state->timerPerAction.timer == nullptr, row.perActionStops);
    EXPECT_EQ(faceLog().back(), row.perActionExpires ? "TIMEOUT_10_SECONDS" : "TIMEOUT_60_SECONDS");
    advance(2);
    EXPECT_TRUE(frontCamera()->photoRequests().empty());
    Ostrel::shared()->close(true);
    advance(1);
  }
}

TEST_F(FaceScreenTest, TimeAwayIsDeductedFromTheRunningCountdownOnly) {
  open(Version::passive, true);
  auto state = screen->state();
  advance(10);
  const int left = state->timerAllProcess.timeout;
  ASSERT_GT(left, 40);
  Application::shared().setScreenBrightness(0.4);
  setApplicationActive(false);
  EXPECT_TRUE(sharedDefaults()->date(defaults_keys::kTimerAllProcessBackgroundDate));
  EXPECT_FALSE(sharedDefaults()->date(defaults_keys::kTimerPerActionBackgroundDate))
      << "no per-action countdown ran";
  advance(2.9);
  setApplicationActive(true);
  EXPECT_EQ(state->timerAllProcess.timeout, left - 2);
  EXPECT_FALSE(state->timerPerAction.timer) << "a countdown that did not run stays stopped";
  EXPECT_FALSE(sharedDefaults()->date(defaults_keys::kTimerAllProcessBackgroundDate));
  EXPECT_EQ(Application::shared().screenBrightness(), 1.0);
  // A second return without leaving keeps the brightness to give back.
  screen->_didBecomeActiveNotification();
  setApplicationActive(false);
  EXPECT_EQ(Application::shared().screenBrightness(), 0.4);
  EXPECT_EQ(faceLog(), (Strings{"LIVENESS_WILL_RESIGN_ACTIVE", "LIVENESS_WILL_RESIGN_ACTIVE"}));
  EXPECT_EQ(eventsNamed("LIVENESS_INTERRUPTED").size(), 2u);
  // Away longer than the time left: time-out one tick after the return.
  advance(100);
  setApplicationActive(true);
  EXPECT_TRUE(eventsNamed("LIVENESS_TIMEOUT").empty());
  advance(1);
  EXPECT_EQ(eventsNamed("LIVENESS_TIMEOUT").size(), 1u);

  // With the attempt over, a return restarts no camera and keeps the log.
  const Strings before = faceLog();
  setApplicationActive(false);
  setApplicationActive(true);
  advance(1);
  EXPECT_FALSE(frontCamera()->isStreaming());
  Strings expected = before;
  expected.push_back("LIVENESS_WILL_RESIGN_ACTIVE");
  expected.push_back("LIVENESS_DID_BECOME_ACTIVE");
  EXPECT_EQ(faceLog(), expected);
  EXPECT_FALSE(state->timerAllProcess.timer);
  EXPECT_FALSE(sharedDefaults()->date(defaults_keys::kTimerAllProcessBackgroundDate))
      << "resigning without a countdown stores nothing";
}

TEST_F(FaceScreenTest, StaleOrFutureBackgroundDatesNeverCutAFreshAttempt) {
  auto defaults = sharedDefaults();
  const Date now = Runtime::current().now();
  defaults->setDate(defaults_keys::kTimerAllProcessBackgroundDate, now.addingTimeInterval(-86400));
  defaults->setDate(defaults_keys::kTimerPerActionBackgroundDate, now.addingTimeInterval(-86400));
  open(Version::passive, true);
  EXPECT_FALSE(defaults->date(defaults_keys::kTimerAllProcessBackgroundDate));
  EXPECT_FALSE(defaults->date(defaults_keys::kTimerPerActionBackgroundDate));
  const int left = screen->state()->timerAllProcess.timeout;
  setApplicationActive(false);
  // The clock was set back meanwhile: the stored date lies ahead.
  defaults->setDate(defaults_keys::kTimerAllProcessBackgroundDate, now.addingTimeInterval(3600));
  defaults->setDate(defaults_keys::kTimerPerActionBackgroundDate, now.addingTimeInterval(-30));
  setApplicationActive(true);
  EXPECT_EQ(screen->state()->timerAllProcess.timeout, left) << "no time added";
  EXPECT_FALSE(screen->state()->timerPerAction.timer) << "not running at resign";
  EXPECT_EQ(screen->state()->timerPerAction.timeout, 10);
  EXPECT_FALSE(defaults->date(defaults_keys::kTimerPerActionBackgroundDate));
}


// ------------------------------------------------------------------------------ screen

TEST_F(FaceScreenTest, TheCloseConfirmationCarriesTheLogBeforeItsOwnEntry) {
  open(Version::passive, true);
  captureByHand();
  user().tap(screen->closeButton);
  advance(1);
  ASSERT_TRUE(alert());
  EXPECT_EQ(alert()->alert, OSLAlertVC::TypeOfAlert::exitConfirmation);
  EXPECT_EQ(faceLog(), (Strings{"LIVENESS_CAPTURE_SUCCESS", "TAP_EXIT"}));
  answerAlert(false);
  EXPECT_EQ(eventsNamed("EXIT_TAP_NO").size(), 1u);
  user().tap(screen->closeButton);
  advance(1);
  answerAlert(true);
  advance(1);
  auto yes = eventsNamed("EXIT_TAP_YES");
  ASSERT_EQ(yes.size(), 1u);
  EXPECT_EQ(yes[0].data["log_messages"],
            JSON(Strings{"LIVENESS_CAPTURE_SUCCESS", "TAP_EXIT"}));
  EXPECT_EQ(eventsNamed("TAP_EXIT").size(), 2u);
  EXPECT_EQ(eventNames().back(), "EXIT_TAP_YES");
}

TEST_F(FaceScreenTest, ARefusedCameraShowsOneAlertAndOpensTheSettingsAfterTheClose) {
  authorization->setStatus(AuthorizationStatus::notDetermined);
  open(Version::passive);
  EXPECT_EQ(authorization->requestCount(), 1);
  authorization->answerPending(false);
  advance(1);
  ASSERT_TRUE(alert());
  EXPECT_EQ(alert()->alert, OSLAlertVC::TypeOfAlert::customConfirmation);
  EXPECT_EQ(alert()->message, "[check_permission_camera]");
  const int before = Application::shared().openSettingsRequests();
  answerAlert(true);
  advance(1);
  EXPECT_EQ(Application::shared().openSettingsRequests(), before + 1);
  EXPECT_EQ(eventsNamed("event 0").size(), 1u) << "the session closed as cancelled";
  EXPECT_TRUE(eventsNamed("LIVENESS_START").empty());
}

TEST_F(FaceScreenTest, APermissionAnswerForAGoneScreenShowsNothing) {
  authorization->setStatus(AuthorizationStatus::notDetermined);
  open(Version::passive);
  Ostrel::shared()->close(true);
  std::weak_ptr<OSLFaceVC> gone = screen;
  screen.reset();
  advance(1);
  authorization->answerPending(false);
  advance(1);
  EXPECT_TRUE(gone.expired());
  EXPECT_FALSE(alert());
  EXPECT_EQ(eventsNamed("event 0").size(), 1u) << "one cancel report";
}

TEST_F(FaceScreenTest, ACameraThatCannotBeSetUpEndsTheStepAsCancelled) {
  camera = ImageFileCamera::install();  // no cameras at all
  screen = OSLFaceVC::create(Version::active, true);
  startSession(screen);
  settle();
  ASSERT_TRUE(alert());
  EXPECT_EQ(alert()->message, "[error_create_camera]");
  auto errors = eventsNamed("LIVENESS_ERROR");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].data["error"], "CREATE_CAMERA_ERROR");
  EXPECT_EQ(errors[0].level, OSLLogLevel::error);
  answerAlert(true);
  EXPECT_EQ(eventsNamed("event 0").size(), 1u);
  EXPECT_TRUE(eventsNamed("LIVENESS_START").empty());
}

TEST_F(FaceScreenTest, TopSpaceFollowsTheScreenHeight) {
  config->appearance = nullptr;  // read as the default appearance
  for (auto [height, space] : {std::pair{699.0, 30.0}, {700.0, 40.0}, {750.0, 40.0},
                               {751.0, 50.0}}) {
    SCOPED_TRACE(height);
    Screen::main().setBounds({0, 0, 390, height});
    auto face = OSLFaceVC::create(Version::passive, true);
    face->loadViewIfNeeded();
    EXPECT_EQ(face->topTargetViewLowCT->constant, space);
    EXPECT_EQ(face->view()->backgroundColor(),
              std::optional(colorFromHex(OSLAppearance::create()->backgroundColor)));
  }
}

TEST_F(FaceScreenTest, TheOutlineChangesColourOnlyToAnotherColour) {
  open(Version::passive);
  auto outline = screen->state()->maskShapeLayer;
  ASSERT_TRUE(outline);
  EXPECT_EQ(outline->lineWidth, 3);
  EXPECT_TRUE(outline->animation("fadeIn"));
  const Color main = colorFromHex(currentAppearance()->mainColor);
  EXPECT_EQ(outline->strokeColor, main);
  screen->changeFaceGuideColor(main, 0.3);
  EXPECT_FALSE(outline->animation("colorChange"));
  const Color red = colorFromHex("#EC2A2A");
  screen->changeFaceGuideColor(red, 0.5);
  auto group = std::dynamic_pointer_cast<AnimationGroup>(outline->animation("colorChange"));
  ASSERT_TRUE(group);
  EXPECT_EQ(group->duration, 0.5);
  ASSERT_EQ(group->animations.size(), 2u);
  auto stroke = std::dynamic_pointer_cast<BasicAnimation>(group->animations[1]);
  ASSERT_TRUE(stroke);
  EXPECT_EQ(stroke->keyPath, "strokeColor");
  EXPECT_EQ(stroke->fromColor, main);
  EXPECT_EQ(stroke->toColor, red);
  EXPECT_EQ(outline->fillColor, red.withAlphaComponent(0.2));
}

TEST_F(FaceScreenTest, TheStepsReachTheRealScreenAndARestartShowsItAfresh) {
  {
    testing::ScriptedScreens scripted;
    EXPECT_FALSE(std::dynamic_pointer_cast<OSLFaceVC>(
        ScreenFactories::shared().face(Version::active).controller));
  }
  auto made = ScreenFactories::shared().face(Version::active);
  ASSERT_TRUE(std::dynamic_pointer_cast<OSLFaceVC>(made.controller))
      << "the entry is back after the scripted scope";

  sharedDefaults()->setBool(defaults_keys::kIsManualLivenessCaptureEnabled, true);
  config->withFaceStep(Version::passive, nullptr);
  ASSERT_EQ(config->steps.size(), 1u);
  auto face = std::dynamic_pointer_cast<OSLFaceVC>(config->steps[0].controller);
  ASSERT_TRUE(face);
  host = make<ViewController>();
  show(host);
  Ostrel::shared()->run(config, host, true);
  settle(2);
  EXPECT_TRUE(face->isViewLoaded());
  captureByHandOn(face);
  EXPECT_FALSE(face->retryButton->isHidden());
  setApplicationActive(false);
  setApplicationActive(true);
  ASSERT_FALSE(face->state()->logMessage.empty());
  const auto timer = face->state()->timerAllProcess.timer;

  sharedDefaults()->setBool(defaults_keys::kIsManualLivenessCaptureEnabled, false);
  Ostrel::shared()->restart();
  settle(2);
  EXPECT_EQ(Ostrel::shared()->naviViewController()->viewControllers().front(), face)
      << "the same screen object";
  auto state = face->state();
  EXPECT_TRUE(state->logMessage.empty());
  EXPECT_FALSE(state->isManualLivenessCaptureEnabled) << "the flag is read again";
  EXPECT_FALSE(state->faceImage);
  EXPECT_TRUE(face->retryButton->isHidden());
  EXPECT_TRUE(face->continueButton->isHidden());
  EXPECT_FALSE(face->cameraView->isHidden());
  EXPECT_TRUE(face->captureButton->isHidden());
  EXPECT_FALSE(face->previewImageView->image());
  EXPECT_TRUE(!timer || !timer->isValid());
  EXPECT_TRUE(frontCamera()->isStreaming());
  EXPECT_EQ(face->guideLabel->text(), "[liveness_message_default]");
}

TEST_F(FaceScreenTest, TheChipScreensLivenessContinuationRunsTheFaceStep) {
  config->livenessVersion = Version::active;
  host = make<ViewController>();
  show(host);
  auto root = make<ViewController>();
  startSession(root);
  bool continued = false;
  FlowLauncher::startLiveness([&] { continued = true; });
  advance(1);
  auto face = std::dynamic_pointer_cast<OSLFaceVC>(
      Ostrel::shared()->naviViewController()->topViewController());
  ASSERT_TRUE(face);
  EXPECT_EQ(face->state()->livenessVersion, Version::active);
  face->onNext();
  advance(1);
  EXPECT_TRUE(continued);
}


TEST_F(FaceScreenTest, AQuickFailureKeepsItsGuideLineOverThePostCaptureAnimation) {
  auto processor = std::make_shared<ScriptedRawDataProcessor>();
  processor->setDefaultAnswer(
      ScriptedRawDataProcessor::Answer::failure(OstrelError{500, "[down]"}));
  config->rawDataProcessor = processor;
  config->showErrorAlertHandler = [](const std::string&, int, std::shared_ptr<ViewController>) {};
  open(Version::passive, true);
  frontCamera()->queuePhoto(ScriptedPhoto::ofUprightScene(scene, CaptureDevicePosition::front));
  user().tap(screen->captureButton);
  advance(0.1);
  ASSERT_FALSE(screen->continueButton->isHidden());
  user().tap(screen->continueButton);
  advance(1);
  EXPECT_EQ(processor->callCount(), 1);
  ASSERT_TRUE(screen->guideLabel->superview());
  EXPECT_FALSE(screen->guideLabel->superview()->isHidden());
  EXPECT_EQ(screen->guideLabel->superview()->alpha(), 1);
  EXPECT_EQ(screen->guideLabel->text(), "[liveness_result_fail]");
}

// ------------------------------------------------------------------------------ face checks

TEST_F(FaceScreenTest, FramesAreJudgedThrottledScoredAndCapturedAutomatically) {
  open(Version::passive);
  auto s = screen->state();
  // Five faceless frames within a second: one message and one entry, the score stays at 0.
  for (int i = 0; i < 5; ++i) judge(faces({}));
  EXPECT_EQ(screen->guideLabel->text(), "[liveness_message_noface]");
  EXPECT_EQ(faceLog(), (Strings{"NO_FACE"}));
  EXPECT_EQ(s->confidence, 0);
  EXPECT_TRUE(s->timerAllProcess.timer) << "the first judged frame starts the countdown";
  EXPECT_FALSE(s->timerAutoCapture) << "no sizeable face yet";
  EXPECT_EQ(s->maskShapeLayer->strokeColor, (Color{1, 0, 0, 1}));
  advance(1);  // the message hold ends

  // Good frames add 15 each; four slightly small faces: one entry, four steps of 10.
  judgeGoodFrames(8);
  EXPECT_EQ(s->confidence, 120);
  EXPECT_TRUE(s->timerAutoCapture);
  EXPECT_EQ(screen->guideLabel->text(), "[liveness_message_default]");
  EXPECT_EQ(s->maskShapeLayer->strokeColor, colorFromHex(currentAppearance()->mainColor));
  for (int i = 0; i < 4; ++i) judge(faces({faceIn(0.31)}));
  EXPECT_EQ(s->confidence, 80);
  EXPECT_EQ(faceLog(), (Strings{"NO_FACE", "TOO_SMALL"}));
  EXPECT_EQ(screen->guideLabel->text(), "[liveness_message_too_far]");
  judgeGoodFrames(1);
  EXPECT_EQ(s->confidence, 95);
  // The tick of that window finds less than a hundred: nothing is taken.
  advance(1);
  EXPECT_FALSE(s->timerAutoCapture);
  EXPECT_TRUE(frontCamera()->photoRequests().empty());
  EXPECT_EQ(s->confidence, 95);

  // No face resets the score; an off-centre face (its message held back) opens the next
  // window, and seven good frames inside it are enough.
  judge(faces({}));
  EXPECT_EQ(s->confidence, 0);
  judge(faces({faceIn(0.45, 40)}));
  EXPECT_TRUE(s->timerAutoCapture);
  EXPECT_EQ(screen->guideLabel->text(), "[liveness_message_noface]");
  judgeGoodFrames(6);
  EXPECT_EQ(s->confidence, 90);
  judgeGoodFrames(1);
  advance(1);
  EXPECT_EQ(frontCamera()->photoRequests().size(), 1u);
  EXPECT_EQ(faceLog(), (Strings{"NO_FACE", "TOO_SMALL", "NO_FACE", "LIVENESS_CAPTURE_SUCCESS"}));
  // The picture handed on is the latest judged frame's.
  EXPECT_TRUE(looksAlike(s->faceImage,
                         Helpers::cropImage(std::make_shared<Image>(scene), crop(),
                                            screen->cameraMarkView->bounds().size)));
  EXPECT_FALSE(s->timerAllProcess.timer);
  EXPECT_FALSE(frontCamera()->isStreaming());
}

TEST_F(FaceScreenTest, EachCheckShowsItsMessageAndRecordsItsStatus) {
  open(Version::passive);
  auto s = screen->state();
  struct Row {
    const char* name;
    std::vector<FaceObservationPtr> found;
    const char* text;
    const char* entry;  // null: nothing recorded
    int confidence;     // after the frame, from 50
  };
  const std::vector<Row> rows{
      {"no face", {}, "[liveness_message_noface]", "NO_FACE", 0},
      {"only a small face", {faceIn(0.2)}, "[liveness_message_too_far]", "TOO_SMALL", 40},
      {"two faces", {faceIn(0.4, -40), faceIn(0.4, 40)}, "[liveness_message_many_faces]",
       "TOO_MANY_FACES", 0},
      {"one face and a small one", {faceIn(), faceIn(0.2, 60)}, "[liveness_message_default]",
       nullptr, 65},
      {"too close", {faceIn(0.7)}, "[liveness_message_too_close]", "TOO_LARGE", 40},
      {"turned", {faceIn(0.45, 0, 0, 0.6f, 0)}, "[liveness_message_angle]", "ANGLE_NOT_CORRECT",
       40},
      {"chin down", {faceIn(0.45, 0, 0.3f, 0, 0)}, "[liveness_message_angle]",
       "ANGLE_NOT_CORRECT", 40},
      {"off centre", {faceIn(0.45, 40)}, "[liveness_message_center]", "OFF_CENTER", 40},
      {"a non-finite box", {FaceObservation::make({NAN, 0.3, 0.4, 0.4})},
       "[liveness_message_too_far]", "TOO_SMALL", 40},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::size_t before = faceLog().size();
    s->confidence = 50;
    judge(row.found);
    EXPECT_EQ(screen->guideLabel->text(), row.text);
    EXPECT_EQ(s->confidence, row.confidence);
    if (row.entry) {
      ASSERT_EQ(faceLog().size(), before + 1);
      EXPECT_EQ(faceLog().back(), row.entry);
    } else {
      EXPECT_EQ(faceLog().size(), before);
    }
    EXPECT_TRUE(s->semaphore->isOpen()) << "every judgement gives the frame gate back";
    advance(1);
  }
  EXPECT_TRUE(frontCamera()->photoRequests().empty());
}

TEST_F(FaceScreenTest, ManualModeAndAMaskWithoutItsCircleJudgeNothing) {
  open(Version::passive, true);
  advance(2);
  EXPECT_EQ(detector->framesSeen(), 0) << "no detection at all in manual mode";
  EXPECT_FALSE(screen->state()->imageRequest);

  // A frame before the layout has given the mask its circle is let through unjudged.
  sharedDefaults()->setBool(defaults_keys::kIsManualLivenessCaptureEnabled, false);
  auto early = OSLFaceVC::create(Version::passive, true);
  early->loadViewIfNeeded();
  ASSERT_TRUE(early->cameraMarkView->cropFrame.isEmpty());
  auto s = early->state();
  ASSERT_TRUE(s->semaphore->tryAcquire());
  early->processFaceObservations({});
  EXPECT_TRUE(s->semaphore->isOpen());
  EXPECT_TRUE(s->logMessage.empty());
  EXPECT_FALSE(s->timerAllProcess.timer);
}

TEST_F(FaceScreenTest, AMissingLandmarkModelIsReportedAsACameraFailure) {
  installedDetector.reset();
  ::setenv("OSTREL_FACE_LANDMARK_MODEL", "/nonexistent/landmarks.dat", 1);
  open(Version::passive, true);
  advance(1);
  EXPECT_FALSE(alert()) << "manual mode does not need the detector";
  sharedDefaults()->setBool(defaults_keys::kIsManualLivenessCaptureEnabled, false);
  screen->resetForNewRun();
  advance(1);
  ::unsetenv("OSTREL_FACE_LANDMARK_MODEL");
  ASSERT_TRUE(alert());
  EXPECT_EQ(alert()->message, "[error_create_camera]");
  auto errors = eventsNamed("LIVENESS_ERROR");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].data["error"], "CREATE_CAMERA_ERROR");
}

TEST_F(FaceScreenTest, ALandmarkModelThatFailsWhileJudgingIsReportedAsACameraFailure) {
  detector->push(PlatformError{kVisionErrorDomain, 15, "the model cannot be read", ""});
  open(Version::passive);
  advance(1);
  ASSERT_TRUE(alert());
  EXPECT_EQ(alert()->message, "[error_create_camera]");
  auto errors = eventsNamed("LIVENESS_ERROR");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].data["error"], "CREATE_CAMERA_ERROR");
  const int seen = detector->framesSeen();
  advance(1);
  EXPECT_EQ(detector->framesSeen(), seen) << "no frame is judged any more";
}

// The head-movement ring segments on the mask, by their start angles.
std::vector<double> ringSegmentStarts(const std::shared_ptr<OSLFaceVC>& screen) {
  std::vector<double> starts;
  for (const auto& layer : screen->cameraMarkView->layer()->sublayers()) {
    auto shape = std::dynamic_pointer_cast<ShapeLayer>(layer);
    if (!shape || shape->lineWidth != 10 || !shape->path || shape->path->elements.empty()) continue;
    starts.push_back(shape->path->elements[0].startAngle);
  }
  return starts;
}

TEST_F(FaceScreenTest, HeadMovementsFillTheRingByThirdsThenEndTheAttempt) {
  open(Version::active);
  auto s = screen->state();
  // Every draw at its maximum: each shuffle step swaps with the last place.
  crypto::setRandomSource([](std::size_t n) { return Bytes(n, 0xFF); });
  judgeGoodFrames(7);
  advance(1);
  crypto::setRandomSource(nullptr);
  ASSERT_EQ(frontCamera()->photoRequests().size(), 1u);
  EXPECT_EQ(faceLog(),
            (Strings{"LIVENESS_VERSION_ACTIVE_ALL_ACTIONS_ORDERED_TILTRIGHT_TURNUP_TURNDOWN"}));
  ASSERT_EQ(s->faceActions.size(), 3u);
  EXPECT_EQ(s->faceActions[2].index, 3);
  EXPECT_TRUE(frontCamera()->isStreaming());
  EXPECT_FALSE(s->timerAllProcess.timer);

  // A frame that does not complete the movement shows it and starts its countdown.
  judge(faces({faceIn(0.45, 0, 0, 0, -0.3f)}));
  EXPECT_EQ(s->faceActions.size(), 3u);
  ASSERT_TRUE(s->timerPerAction.timer);
  advance(3.5);
  EXPECT_EQ(s->timerPerAction.timeout, 7);
  // Distance and centring do not count while movements are pending.
  judge(faces({faceIn(0.33, 50, 0, 0, -0.45f)}));
  EXPECT_EQ(faceLog().back(), "LIVENESS_VERSION_ACTIVE_DONE_ACTION_TILTRIGHT");
  EXPECT_EQ(s->timerPerAction.timeout, 10);
  EXPECT_FALSE(s->timerPerAction.timer);
  constexpr double pi = std::numbers::pi;
  EXPECT_EQ(ringSegmentStarts(screen).size(), 1u);

  // Two faces: no score, the movement stays.
  s->confidence = 40;
  judge(faces({faceIn(0.4, -40), faceIn(0.4, 40)}));
  EXPECT_EQ(s->confidence, 0);
  EXPECT_EQ(screen->guideLabel->text(), "[liveness_message_many_faces]");
  EXPECT_EQ(s->faceActions.size(), 2u);
  judge(faces({faceIn(0.45, 0, -0.52f, 0, 0)}));
  EXPECT_EQ(s->faceActions.size(), 2u) << "29.8 degrees up is not enough";
  EXPECT_EQ(screen->guideLabel->text(), "[liveness_message_turn_up]");
  judge(faces({faceIn(0.45, 0, -0.53f, 0, 0)}));
  EXPECT_EQ(faceLog().back(), "LIVENESS_VERSION_ACTIVE_DONE_ACTION_TURNUP");
  // Whatever restarted the whole-process countdown meanwhile, the last movement ends it.
  screen->restartCountdown(false);
  judge(faces({faceIn(0.45, 0, 0.27f, 0, 0)}));
  EXPECT_EQ(faceLog().back(), "LIVENESS_VERSION_ACTIVE_AUTO_CAPTURE_SUCCESS");
  EXPECT_EQ(faceLog()[faceLog().size() - 2], "LIVENESS_VERSION_ACTIVE_DONE_ACTION_TURNDOWN");
  const auto starts = ringSegmentStarts(screen);
  ASSERT_EQ(starts.size(), 3u);
  EXPECT_NEAR(starts[0], -pi / 2, 1e-12);
  EXPECT_NEAR(starts[1], pi / 6, 1e-12);
  EXPECT_NEAR(starts[2], 5 * pi / 6, 1e-12);
  EXPECT_FALSE(frontCamera()->isStreaming());
  EXPECT_FALSE(s->isCaptureRunning);
  EXPECT_TRUE(screen->cameraView->isHidden());
  EXPECT_TRUE(screen->guideLabel->superview()->isHidden());
  EXPECT_FALSE(screen->retryButton->isHidden());
  EXPECT_FALSE(screen->continueButton->isHidden());
  EXPECT_FALSE(s->timerPerAction.timer);
  EXPECT_FALSE(s->timerAutoCapture);
  // Nothing times the finished attempt out behind its buttons.
  EXPECT_FALSE(s->timerAllProcess.timer);
  advance(70);
  EXPECT_TRUE(eventsNamed("LIVENESS_TIMEOUT").empty());

  // The next attempt: its movements time out while still pending. On "iOS" 14 no pitch
  // movement is asked for.
  DeviceInfo::override(DeviceInfo{"iPhone12,1", "iOS", "14.8"});
  user().tap(screen->retryButton);
  advance(1);
  s = screen->state();
  judgeGoodFrames(7);
  advance(1);
  ASSERT_EQ(s->faceActions.size(), 3u);
  for (const auto& pending : s->faceActions) {
    EXPECT_NE(pending.action, OSLFaceAction::turnUp);
    EXPECT_NE(pending.action, OSLFaceAction::turnDown);
  }
  judge(faces({faceIn(0.45, 0, std::nullopt, std::nullopt, std::nullopt)}));
  advance(10.5);
  DeviceInfo::override(std::nullopt);
  EXPECT_EQ(faceLog().back(), "TIMEOUT_10_SECONDS");
  EXPECT_EQ(eventsNamed("LIVENESS_TIMEOUT").size(), 1u);
  EXPECT_EQ(s->faceActions.size(), 3u);
  EXPECT_FALSE(frontCamera()->isStreaming());
}

TEST_F(FaceScreenTest, NoSecondPhotoIsTakenWhileOneIsOnItsWay) {
  open(Version::active);
  auto s = screen->state();
  s->confidence = 100;
  screen->_autoCaptureNormal();
  ASSERT_TRUE(s->isCaptureInFlight);
  // A frame judged before the photo answers changes nothing and starts nothing.
  ASSERT_TRUE(s->semaphore->tryAcquire());
  screen->processFaceObservations({faceIn()});
  EXPECT_TRUE(s->semaphore->isOpen());
  EXPECT_EQ(s->confidence, 0);
  EXPECT_FALSE(s->timerAllProcess.timer);
  EXPECT_FALSE(s->timerAutoCapture);
  s->confidence = 100;
  screen->_autoCaptureNormal();
  EXPECT_EQ(frontCamera()->photoRequests().size(), 1u);
  advance(1);
  EXPECT_FALSE(s->isCaptureInFlight);
  ASSERT_EQ(s->faceActions.size(), 3u);
  EXPECT_EQ(faceLog().size(), 1u) << "the movements are chosen once";
  // With movements pending the tick takes nothing either.
  s->confidence = 100;
  screen->_autoCaptureNormal();
  advance(1);
  EXPECT_EQ(frontCamera()->photoRequests().size(), 1u);

  // A failed photo clears the way for the next one.
  screen->onRetryPressed();
  advance(1);
  s = screen->state();
  frontCamera()->queuePhoto(ScriptedPhoto::failure(PlatformError{"Camera", 3, "lost", ""}));
  s->confidence = 100;
  screen->_autoCaptureNormal();
  advance(1);
  EXPECT_FALSE(s->isCaptureInFlight);
  s->confidence = 100;
  screen->_autoCaptureNormal();
  advance(1);
  EXPECT_EQ(frontCamera()->photoRequests().size(), 3u);
}

TEST_F(FaceScreenTest, TheFrameGateHoldsOnePermitAndNeverStrandsTheCameraQueue) {
  open(Version::passive);
  auto s = screen->state();
  // Ticks and retries give the permit back on top of the frames: still one frame at a time.
  screen->_autoCaptureNormal();
  screen->_autoCaptureNormal();
  screen->onRetryPressed();
  EXPECT_TRUE(s->semaphore->tryAcquire());
  EXPECT_FALSE(s->semaphore->tryAcquire());
  s->semaphore->release();

  // With movements pending but capture over, the action check still gives the frame back.
  s->faceActions = {{1, OSLFaceAction::turnLeft}};
  s->isCaptureRunning = false;
  ASSERT_TRUE(s->semaphore->tryAcquire());
  screen->processFaceObservations({faceIn()});
  EXPECT_TRUE(s->semaphore->isOpen());
  s->faceActions.clear();

  // A camera thread waiting at the gate while the screen goes away returns.
  runUntilIdle();
  const int seen = detector->framesSeen();
  ASSERT_TRUE(s->semaphore->tryAcquire());  // a judgement in flight
  auto buffer = testing::transposedCameraBuffer(scene);
  std::atomic<bool> returned{false};
  std::thread camera([&, keep = screen] {
    OSLVideoCapture& capture = *keep->state()->videoCapture;
    keep->videoCapture(capture, buffer, nullptr, CMTime());
    returned = true;
    DispatchQueue::main()->async([] {});  // wakes the waiting test thread
  });
  screen->viewWillDisappear(false);
  EXPECT_TRUE(waitUntil([&] { return returned.load(); }));
  camera.join();
  EXPECT_EQ(detector->framesSeen(), seen) << "the frame was dropped, not judged";
  // Back on screen the gate opens again.
  screen->viewWillAppear(false);
  EXPECT_TRUE(s->semaphore->isOpen());
}

TEST_F(FaceScreenTest, ANewRunStartsWithOpenGateNoHoldNoMovementsAndNoPhotoOnItsWay) {
  open(Version::passive);
  auto old = screen->state();
  judge(faces({}));  // a message: its one-second hold starts
  advance(0.5);
  old->faceActions = {{1, OSLFaceAction::turnLeft}};
  old->isCaptureInFlight = true;
  ASSERT_TRUE(old->semaphore->tryAcquire());
  screen->resetForNewRun();
  auto s = screen->state();
  EXPECT_TRUE(s->shouldUpdateUI);
  EXPECT_FALSE(s->isCaptureInFlight);
  EXPECT_TRUE(s->faceActions.empty());
  EXPECT_EQ(s->semaphore, old->semaphore) << "the camera queue keeps the one gate";
  EXPECT_TRUE(s->semaphore->isOpen());
  // A message at once; the earlier run's hold ending later does not cut this one short.
  judge(faces({}));
  advance(0.6);
  judge(faces({faceIn(0.2)}));
  EXPECT_EQ(faceLog(), (Strings{"NO_FACE"}));
  EXPECT_EQ(screen->guideLabel->text(), "[liveness_message_noface]");
  // A frame without a picture is let through without judgement.
  runUntilIdle();
  const int seen = detector->framesSeen();
  screen->videoCapture(*s->videoCapture, nullptr, nullptr, CMTime());
  EXPECT_TRUE(s->semaphore->isOpen());
  EXPECT_EQ(detector->framesSeen(), seen);
}

// ------------------------------------------------------------------------------ real detector

TEST_F(FaceScreenTest, TheLandmarkDetectorCapturesTheDebianPortraitAutomatically) {
  installedDetector.reset();
  // Where the circle lies in the preview, from a screen laid out as the real one will be.
  auto probe = OSLFaceVC::create(Version::passive, true);
  probe->loadViewIfNeeded();
  probe->view()->layoutIfNeeded();
  const Rect c = probe->cameraMarkView->cropFrame;
  const Rect r = probe->cameraView->bounds();
  probe.reset();
  ASSERT_FALSE(c.isEmpty());
  const cv::Mat frame = testing::portraitFrameFor(c, r);
  installCameras(frame);

  // The journey's user has nothing to script: the camera shows the face.
  config->rawDataProcessor = std::make_shared<ScriptedRawDataProcessor>();
  Strings said;
  testing::UserJourney journey([&said](const std::string& line) { said.push_back(line); });
  journey.addCooperativeSteps();
  open(Version::passive);
  for (int i = 0; i < 120 && nextCalls == 0; ++i) {
    journey.look();
    advance(0.1);
  }
  EXPECT_EQ(frontCamera()->photoRequests().size(), 1u);
  ASSERT_FALSE(faceLog().empty());
  EXPECT_EQ(faceLog().front(), "LIVENESS_CAPTURE_SUCCESS") << "no face message on the way";
  EXPECT_TRUE(screen->state()->faceImage);
  EXPECT_EQ(said, (Strings{"continues with the face picture"}));
  EXPECT_EQ(nextCalls, 1);
}

// ------------------------------------------------------------------------------ journey

TEST_F(FaceScreenTest, TheJourneyUserGetsThroughEveryKindOfFaceStep) {
  auto processor = std::make_shared<ScriptedRawDataProcessor>();
  const Strings movements{"raises the chin",     "lowers the chin",     "turns the head left",
                          "turns the head right", "tilts the head left", "tilts the head right"};
  struct Row {
    Version version;
    bool manual;
    const char* first;  // what the user is seen doing first
    int movementsMade;
  };
  for (const Row& row :
       {Row{Version::passive, false, "shows the face and holds still", 0},
        Row{Version::active, false, "shows the face and holds still", 3},
        Row{Version::passive, true, "takes the face picture", 0}}) {
    SCOPED_TRACE(::testing::Message() << static_cast<int>(row.version) << row.manual);
    currentConfig()->rawDataProcessor = processor;
    detector->setFallback(PlatformError{kVisionErrorDomain, 9, "nobody in front", ""});
    nextCalls = 0;
    Strings said;
    testing::UserJourney journey([&said](const std::string& line) { said.push_back(line); });
    journey.addCooperativeSteps();
    testing::addFaceSteps(journey, detector);
    open(row.version, row.manual);
    for (int i = 0; i < 600 && nextCalls == 0; ++i) {
      journey.look();
      advance(0.05);
    }
    EXPECT_EQ(nextCalls, 1);
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.front(), row.first) << ::testing::PrintToString(said);
    EXPECT_EQ(said.back(), "continues with the face picture");
    const auto made = std::count_if(said.begin(), said.end(), [&](const std::string& line) {
      return std::find(movements.begin(), movements.end(), line) != movements.end();
    });
    EXPECT_EQ(made, row.movementsMade);
    Ostrel::shared()->close(true);
    advance(1);
  }
  EXPECT_EQ(processor->callCount(), 3);
}

}  // namespace
}  // namespace ostrel
