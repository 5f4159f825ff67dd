#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unicode/locid.h>

#include "core/ScreenFactories.hpp"
#include "liveness/OSLGuideLivenessAdvanceVC.hpp"
#include "platform/runtime/Application.hpp"
#include "testing/ScriptedCameraAuthorization.hpp"
#include "testing/ScriptedLivenessVendor.hpp"
#include "testing/ScriptedScreens.hpp"
#include "testing/VerificationServer.hpp"
#include "tests/uikit/UIKitTest.hpp"
#include "ui/ImageExtensions.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel::uikit_test {
namespace {

using platform::AuthorizationStatus;
using platform::LivenessVendor;
using platform::LivenessVendorError;
using testing::ScriptedLivenessVendor;
using testing::ScriptedReply;
using Kind = OSLAlertVC::TypeOfAlert;
using Strings = std::vector<std::string>;

constexpr const char* kTokenPath = "/api/liveness/ipr/token";
constexpr const char* kValidatePath = "/api/liveness/ipr/validate";
constexpr const char* kImagePath = "/api/data/image";

LivenessVendor::Status failure(int reason) {
  return LivenessVendor::failure{{reason}};
}
LivenessVendor::Status vendorError(LivenessVendorError error) {
  return LivenessVendor::error{std::move(error)};
}
LivenessVendor::Status processing(std::string message) {
  return LivenessVendor::processing{0.5, std::move(message)};
}

// A configured-steps session whose one step is the semi-active liveness screen, against the
// local verification server, with the scripted vendor and camera permission. Every text the
// screen shows reads "[key]".
class VendorLivenessTest : public UIKitTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.isRunning());
    config->withBaseUrl(server.baseUrl());
    server.setExpectedAuthorization("token");
    vendor = ScriptedLivenessVendor::install();
    camera = testing::ScriptedCameraAuthorization::install();
    JSON dictionary = languageDictionary();
    for (const char* key :
         {"liveness_title", "nfc_button_start", "guide_liveness_reject_4", "button_no",
          "button_yes", "check_permission_camera_title", "check_permission_camera",
          "liveness_error_too_many_attempts", "liveness_common_error", "error_network",
          "error_service_temporary_down", "error_capture_already_active", "liveness_error_timeout",
          "error_device_unsupported", "error_consent_required"}) {
      dictionary[key] = std::string("[") + key + "]";
    }
    for (int n = 0; n <= 10; ++n) {
      auto reason = OSLGuideLivenessAdvanceVC::failureReason(n);
      dictionary[reason.titleKey] = std::string("[") + reason.titleKey + "]";
      dictionary[reason.messageKey] = std::string("[") + reason.messageKey + "]";
    }
    setLanguageDictionary(dictionary);
    config->withEventHandler([log = logged](OSLConfig::Event event) {
      log->push_back({OSLLogLevel::info, "event " + std::to_string(static_cast<int>(event)), "",
                      JSON::object()});
    });
  }

  void TearDown() override { LivenessVendor::install(nullptr); }

  // Runs the configured semi-active face step and returns its screen.
  std::shared_ptr<OSLGuideLivenessAdvanceVC> runFaceStep() {
    config->withFaceStep(OSLFaceLivenessVersion::semiActive, {});
    host = make<ViewController>();
    show(host);
    Ostrel::shared()->run(config, host, false);
    advance(1);
    auto navi = Ostrel::shared()->naviViewController();
    if (!navi || navi->viewControllers().empty()) return nullptr;
    auto screen =
        std::dynamic_pointer_cast<OSLGuideLivenessAdvanceVC>(navi->viewControllers().front());
    if (screen) {
      screen->onNext = [this] { ++nextCalls; };
    }
    return screen;
  }

  // The alert on top of everything, if one is shown.
  std::shared_ptr<OSLAlertVC> alert() const {
    // The alert is the child of the popup holder on top.
    auto alert = std::dynamic_pointer_cast<OSLAlertVC>(
        topMostViewController(window()->rootViewController()));
    return alert && !alert->isEnding() ? alert : nullptr;
  }
  // Waits (for the server, where one is involved) until an alert is up and fully shown.
  std::shared_ptr<OSLAlertVC> awaitAlert() {
    EXPECT_TRUE(waitUntil([&] { return alert() != nullptr; })) << "no alert came up";
    advance(1);
    return alert();
  }
  void answer(bool confirm) {
    auto shown = alert();
    ASSERT_TRUE(shown) << "no alert to answer";
    user().tap(confirm ? shown->btnConfirm : shown->btnCancel);
    advance(1);
  }

  void tapStart() { user().tap(screen->verifyButton); }
  // Taps start and waits for the vendor's next launch.
  void startVendor() {
    auto before = vendor->launchCount();
    tapStart();
    ASSERT_TRUE(waitUntil([&] { return vendor->launchCount() > before; }))
        << "the vendor was not launched";
  }
  std::size_t requestsTo(const char* path) const { return server.requests(path).size(); }
  bool hudVisible() const { return OSLProgressHUD::shared()->alpha() > 0.5; }

  testing::VerificationServer server;
  std::shared_ptr<ScriptedLivenessVendor> vendor;
  std::shared_ptr<testing::ScriptedCameraAuthorization> camera;
  std::shared_ptr<OSLGuideLivenessAdvanceVC> screen;
  int nextCalls = 0;
};

TEST_F(VendorLivenessTest, SemiActiveFaceStepShowsTheGuidePageWithoutNavigationBar) {
  screen = runFaceStep();
  ASSERT_TRUE(screen) << "the semi-active face step is not the vendor liveness screen";
  EXPECT_TRUE(Ostrel::shared()->naviViewController()->isNavigationBarHidden());
  EXPECT_EQ(screen->titleLabel->text(), "[liveness_title]");
  ASSERT_GE(screen->checkListLabel.size(), 4u);
  for (int n = 1; n <= 4; ++n) {
    EXPECT_EQ(screen->checkListLabel[n - 1]->text(), "[guide_liveness_" + std::to_string(n) + "]");
  }
  // The third example of what to avoid has its own caption key.
  Strings captions;
  for (const auto& label : screen->rejectSubTitles) captions.push_back(label->text().value_or(""));
  EXPECT_EQ(captions, (Strings{"[guide_liveness_reject_1]", "[guide_liveness_reject_2]",
                               "[guide_liveness_reject_4]"}));
  const char* pictures[] = {"liveness_too_dark", "liveness_face_cover", "liveness_hold_still"};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(pictures[i]);
    ASSERT_TRUE(bundleImage(pictures[i]));
    EXPECT_TRUE(samePixels(screen->rejectImages[i]->image(), bundleImage(pictures[i])));
  }
  auto tick = tinted(bundleImage("icon_check_list"), colorFromHex(config->appearance->mainColor));
  for (const auto& icon : screen->checkmarkIcons) EXPECT_TRUE(samePixels(icon->image(), tick));
  EXPECT_EQ(screen->verifyButton->title(platform::ControlState::normal), "[nfc_button_start]");
}

// One attempt after another, walking the vendor's statuses: the connection statuses change
// nothing, progress shows the vendor's text, a cancel only takes the indicator down, an error
// offers a retry with its message, and the retry starts a whole new attempt.
TEST_F(VendorLivenessTest, StatusesDriveTheIndicatorAndTheRetryAlert) {
  screen = runFaceStep();
  ASSERT_TRUE(screen);
  startVendor();
  advance(1);
  EXPECT_TRUE(hudVisible()) << "the loading indicator shown before the token request";
  auto launch = vendor->launches().back();
  EXPECT_EQ(launch.token, "vendor-token-1");
  EXPECT_EQ(launch.streamingURL, OSTREL_LIVENESS_VENDOR_URL);
  EXPECT_EQ(launch.streamingURL.rfind("wss://", 0), 0u);

  for (auto status : {LivenessVendor::Status{LivenessVendor::connecting{}},
                      LivenessVendor::Status{LivenessVendor::connected{}}}) {
    vendor->emit(status);
    advance(1);
    EXPECT_TRUE(hudVisible());
    EXPECT_FALSE(alert());
  }
  vendor->emit(processing("Giữ yên"));
  advance(1);
  EXPECT_TRUE(hudVisible());
  EXPECT_EQ(OSLProgressHUD::shared()->labelStatus->text(), "Giữ yên");

  vendor->emit(LivenessVendor::canceled{});
  advance(1);
  EXPECT_FALSE(hudVisible());
  EXPECT_FALSE(alert());
  EXPECT_FALSE(screen->isAttemptInFlight());
  EXPECT_EQ(screen->countFailure, 0);

  startVendor();
  vendor->emit(vendorError(LivenessVendorError::networkError("socket closed")));
  auto shown = awaitAlert();
  ASSERT_TRUE(shown);
  EXPECT_FALSE(hudVisible());
  EXPECT_EQ(shown->alert, Kind::customConfirmation);
  EXPECT_EQ(shown->lblMessage->text(), "[error_network]");
  EXPECT_EQ(shown->btnCancel->title(platform::ControlState::normal), "[button_cancel]");
  EXPECT_EQ(shown->btnConfirm->title(platform::ControlState::normal), "[button_retry]");
  EXPECT_EQ(requestsTo(kValidatePath), 0u) << "an error is not a failed attempt";

  answer(true);
  ASSERT_TRUE(waitUntil([&] { return vendor->launchCount() == 3; }));
  EXPECT_EQ(requestsTo(kTokenPath), 3u);
  EXPECT_TRUE(server.problems().empty());
}

TEST_F(VendorLivenessTest, FailureReasonsPickPictureTitleAndMessage) {
  screen = runFaceStep();
  ASSERT_TRUE(screen);
  struct Row {
    int reason;
    const char* picture;
    const char* title;
    const char* message;
  };
  const Row rows[] = {
      {0, "liveness_fail", "error_unknown", "liveness_common_error"},
      {1, "liveness_hold_still", "failure_too_much_movement", "liveness_error_too_much_movement"},
      {2, "liveness_too_bright", "failure_too_bright", "liveness_error_too_bright"},
      {3, "liveness_too_dark", "failure_too_dark", "liveness_error_too_dark"},
      {4, "liveness_angle", "failure_misaligned_face", "liveness_error_angle"},
      {5, "liveness_eye_closed", "failure_eyes_closed", "liveness_error_eyes_closed"},
      {6, "liveness_too_far", "failure_face_too_far", "liveness_message_too_far"},
      {7, "liveness_too_close", "failure_face_too_close", "liveness_message_too_close"},
      {8, "liveness_sun_glasses", "failure_sunglasses", "liveness_message_sunglasses"},
      {9, "liveness_face_cover", "failure_obscured_face", "liveness_message_obscured_face"},
      {10, "liveness_multiple_faces", "failure_multiple_faces", "liveness_message_many_faces"},
      {11, "liveness_fail", "error_unknown", "liveness_common_error"},
      {-1, "liveness_fail", "error_unknown", "liveness_common_error"},
      {1 << 30, "liveness_fail", "error_unknown", "liveness_common_error"},
  };
  std::size_t validations = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE("reason " + std::to_string(row.reason));
    screen->countFailure = 0;
    startVendor();
    vendor->emit(failure(row.reason));
    auto shown = awaitAlert();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->alert, Kind::customConfirmation);
    ASSERT_TRUE(bundleImage(row.picture)) << "missing picture";
    EXPECT_TRUE(samePixels(shown->imgIcon->image(), bundleImage(row.picture)));
    EXPECT_EQ(shown->lblTitle->text(), std::string("[") + row.title + "]");
    EXPECT_EQ(shown->lblMessage->text(), std::string("[") + row.message + "]");
    EXPECT_EQ(screen->countFailure, 1);
    // Each failure tells the server once, with the attempt's token.
    ++validations;
    ASSERT_TRUE(waitUntil([&] { return requestsTo(kValidatePath) >= validations; }));
    EXPECT_EQ(requestsTo(kValidatePath), validations);
    auto body = server.lastRequest(kValidatePath)->jsonBody();
    ASSERT_TRUE(body);
    EXPECT_EQ(*body, (JSON{{"token", "vendor-token-1"}}));
    answer(false);
    EXPECT_FALSE(alert());
  }
}

TEST_F(VendorLivenessTest, VendorErrorsMapToTheirMessages) {
  screen = runFaceStep();
  ASSERT_TRUE(screen);
  const std::pair<LivenessVendorError, const char*> rows[] = {
      {LivenessVendorError::networkError(), "[error_network]"},
      {LivenessVendorError::networkError("timeout"), "[error_network]"},
      {LivenessVendorError::serverError("bad gateway"), "[error_service_temporary_down]"},
      {LivenessVendorError::captureAlreadyActive(), "[error_capture_already_active]"},
      {LivenessVendorError::cameraPermissionDenied(), "[check_permission_camera]"},
      {LivenessVendorError::userTimeout(), "[liveness_error_timeout]"},
      {LivenessVendorError::notSupported(), "[error_device_unsupported]"},
      {LivenessVendorError::consentRequired(), "[error_consent_required]"},
      {LivenessVendorError::internalError(), "[liveness_common_error]"},
      {LivenessVendorError{static_cast<LivenessVendorError::Kind>(77), "?"},
       "[liveness_common_error]"},
  };
  for (const auto& [error, message] : rows) {
    SCOPED_TRACE(message);
    startVendor();
    vendor->emit(vendorError(error));
    auto shown = awaitAlert();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->lblMessage->text(), message);
    answer(false);
  }
  EXPECT_EQ(screen->countFailure, 0);
  EXPECT_EQ(requestsTo(kValidatePath), 0u);
}

// Two failures offer a retry; the third ends the session as cancelled and only then reports
// the attempts ran out.
TEST_F(VendorLivenessTest, ThirdFailureEndsTheSessionThenReportsTooManyAttempts) {
  screen = runFaceStep();
  ASSERT_TRUE(screen);
  startVendor();
  for (int n = 1; n <= 2; ++n) {
    SCOPED_TRACE("failure " + std::to_string(n));
    vendor->emit(failure(3));
    auto shown = awaitAlert();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->alert, Kind::customConfirmation);
    answer(true);  // retry
    ASSERT_TRUE(waitUntil([&] { return vendor->launchCount() == std::size_t(n) + 1; }));
  }
  vendor->emit(failure(3));
  auto shown = awaitAlert();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->alert, Kind::networkError);
  EXPECT_EQ(shown->lblMessage->text(), "[liveness_error_too_many_attempts]");
  EXPECT_EQ(screen->countFailure, 3);
  ASSERT_TRUE(waitUntil([&] { return requestsTo(kValidatePath) == 3; }));
  logged->clear();
  answer(true);
  EXPECT_FALSE(Ostrel::shared()->naviViewController());
  EXPECT_EQ(eventNames(), (Strings{"event 0", "TOO_MANY_ATTEMPTS"}));
  ASSERT_EQ(logged->size(), 2u);
  EXPECT_EQ(logged->back().screen, "OSL_SCREEN_LIVENESS_ADVANCE");
  EXPECT_EQ(logged->back().level, OSLLogLevel::info);
  EXPECT_EQ(logged->back().data, JSON::object());
}

TEST_F(VendorLivenessTest, LanguageChoosesTheVendorStringsFolder) {
  screen = runFaceStep();
  ASSERT_TRUE(screen);
  struct Row {
    const char* language;
    const char* folder;
    const char* holdStill;
  };
  const Row rows[] = {
      {"VI", "vi.lproj", "Giữ yên khuôn mặt"},    {"vi", "vi.lproj", "Giữ yên khuôn mặt"},
      {"Vi", "vi.lproj", "Giữ yên khuôn mặt"},    {"en", "en.lproj", "Hold your face still"},
      {"ko", "en.lproj", "Hold your face still"}, {"vie", "en.lproj", "Hold your face still"},
      {"", "en.lproj", "Hold your face still"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string("language '") + row.language + "'");
    config->appearance->language = row.language;
    startVendor();
    auto launch = vendor->launches().back();
    ASSERT_TRUE(launch.stringsBundlePath);
    EXPECT_EQ(launch.stringsBundlePath->filename(), row.folder);
    auto bundle = platform::Bundle::open(*launch.stringsBundlePath);
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->localizedString("vendor_hold_still", "", "LivenessVendor"), row.holdStill);
    vendor->emit(LivenessVendor::canceled{});
    advance(1);
  }
  // "VI" stays Vietnamese where the process's own rules would lower-case I differently.
  icu::Locale previous = icu::Locale::getDefault();
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale::setDefault(icu::Locale("tr", "TR"), status);
  auto chosen = OSLGuideLivenessAdvanceVC::stringsBundle("VI", resourceBundle());
  icu::Locale::setDefault(previous, status);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->bundlePath().filename(), "vi.lproj");

  // Without the language folders the vendor gets the whole resource bundle.
  auto bare = dataDirectory() / "Bare.bundle";
  std::filesystem::create_directories(bare / "vi.lproj");
  auto resources = platform::Bundle::open(bare);
  for (const char* language : {"vi", "en", "ko"}) {
    SCOPED_TRACE(language);
    auto fallback = OSLGuideLivenessAdvanceVC::stringsBundle(language, resources);
    ASSERT_TRUE(fallback);
    EXPECT_EQ(fallback->bundlePath(), std::string(language) == "vi" ? bare / "vi.lproj" : bare);
  }
}

TEST_F(VendorLivenessTest, SuccessValidatesFetchesTheSelfieAndMovesOnOnce) {
  screen = runFaceStep();
  ASSERT_TRUE(screen);
  startVendor();
  vendor->emit(processing("Đang xử lý"));
  // The same success twice, then a late failure, all before the server answers.
  vendor->emit(LivenessVendor::success{});
  vendor->emit(LivenessVendor::success{});
  vendor->emit(failure(2));
  ASSERT_TRUE(waitUntil([&] { return nextCalls > 0; }));
  advance(1);
  EXPECT_EQ(nextCalls, 1);
  EXPECT_FALSE(hudVisible());
  EXPECT_FALSE(alert());
  EXPECT_EQ(screen->countFailure, 0);
  ASSERT_TRUE(config->faceData);
  EXPECT_GT(config->faceData->size().width, 0);
  EXPECT_EQ(requestsTo(kValidatePath), 1u);
  EXPECT_EQ(server.lastRequest(kValidatePath)->jsonBody(), (JSON{{"token", "vendor-token-1"}}));
  ASSERT_EQ(requestsTo(kImagePath), 1u);
  EXPECT_EQ(server.lastRequest(kImagePath)->queryValue("type"), "SELFIE");
  EXPECT_FALSE(screen->isAttemptInFlight());
  // Nothing of that session acts any more.
  vendor->emit(LivenessVendor::success{});
  vendor->emit(failure(1));
  advance(1);
  EXPECT_EQ(nextCalls, 1);
  EXPECT_EQ(screen->countFailure, 0);
  EXPECT_FALSE(waitUntil([&] { return requestsTo(kValidatePath) > 1; }, 0.3));
}

TEST_F(VendorLivenessTest, ServerErrorsAfterSuccess) {
  struct Row {
    const char* name;
    const char* path;
    ScriptedReply reply;
    bool hostHandler;
    // What the user or the host sees.
    std::optional<Kind> alertKind;
    std::optional<std::pair<std::string, int>> handled;
  };
  const Row rows[] = {
      {"validation 401 with handler", kValidatePath, ScriptedReply::error(401, "expired"), true,
       Kind::timeout, std::nullopt},
      {"image 401 with handler", kImagePath, ScriptedReply::error(401, "expired"), true,
       Kind::timeout, std::nullopt},
      {"validation 401", kValidatePath, ScriptedReply::error(401, "expired"), false, Kind::timeout,
       std::nullopt},
      {"validation 422 with handler", kValidatePath, ScriptedReply::error(422, "Không hợp lệ"),
       true, std::nullopt, std::pair<std::string, int>{"Không hợp lệ", 422}},
      {"image 422", kImagePath, ScriptedReply::error(422, "Không hợp lệ"), false,
       Kind::networkError, std::nullopt},
      {"image without picture", kImagePath, ScriptedReply::data(JSON::object()), false,
       Kind::networkError, std::nullopt},
      {"image not a picture", kImagePath, ScriptedReply::data({{"image", "bm90IGFuIGltYWdl"}}),
       true, std::nullopt, std::pair<std::string, int>{"[error_service_temporary_down]", 500}},
  };
  setLanguageDictionary([] {
    JSON d = languageDictionary();
    d["error_service_temporary_down"] = "[error_service_temporary_down]";
    return d;
  }());
  auto earlier = make<platform::Image>(platform::Size{4, 4});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    config = OSLConfig::Builder("token");
    config->withBaseUrl(server.baseUrl()).withFaceData(earlier);
    std::vector<std::pair<std::string, int>> handled;
    std::shared_ptr<ViewController> handledScreen;
    if (row.hostHandler) {
      config->withShowErrorAlertHandler(
          [&](const std::string& message, int code, std::shared_ptr<ViewController> from) {
            handled.emplace_back(message, code);
            handledScreen = from;
          });
    }
    server.resetReplies();
    server.pushOnceReply(row.path, row.reply);
    screen = runFaceStep();
    ASSERT_TRUE(screen);
    startVendor();
    vendor->emit(LivenessVendor::success{});
    if (row.alertKind) {
      auto shown = awaitAlert();
      ASSERT_TRUE(shown);
      EXPECT_EQ(shown->alert, *row.alertKind);
      if (*row.alertKind == Kind::networkError) {
        EXPECT_EQ(shown->lblTitle->text(), osl_localize("error_invalid_data"));
      }
      EXPECT_TRUE(handled.empty());
    } else {
      ASSERT_TRUE(waitUntil([&] { return !handled.empty(); }));
      advance(1);
      EXPECT_EQ(handled, (std::vector<std::pair<std::string, int>>{*row.handled}));
      EXPECT_EQ(handledScreen, screen);
      EXPECT_FALSE(alert());
    }
    EXPECT_FALSE(hudVisible());
    EXPECT_EQ(nextCalls, 0);
    EXPECT_EQ(config->faceData, earlier) << "the stored face picture was replaced";
    EXPECT_FALSE(screen->isAttemptInFlight());
    if (alert()) answer(false);
    Ostrel::shared()->close(true);
    advance(1);
    screen = nullptr;
    nextCalls = 0;
  }
}

TEST_F(VendorLivenessTest, TokenFailures) {
  screen = runFaceStep();
  ASSERT_TRUE(screen);
  // Another failure offers a retry with the error's text; the retry asks again.
  server.pushOnceReply(kTokenPath, ScriptedReply::error(503, "Bảo trì"));
  tapStart();
  auto shown = awaitAlert();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->alert, Kind::customConfirmation);
  EXPECT_EQ(shown->lblMessage->text(), "Bảo trì");
  EXPECT_FALSE(hudVisible());
  // A reply without a token is a failure too: nothing empty reaches the vendor.
  server.pushOnceReply(kTokenPath, ScriptedReply::data({{"access_token", ""}}));
  answer(true);
  shown = awaitAlert();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->alert, Kind::customConfirmation);
  EXPECT_EQ(requestsTo(kTokenPath), 2u);
  EXPECT_EQ(vendor->launchCount(), 0u);
  answer(false);
  // An expired session cannot be retried into working: it ends like any other expiry.
  server.pushOnceReply(kTokenPath, ScriptedReply::error(401, "expired"));
  tapStart();
  shown = awaitAlert();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->alert, Kind::timeout);
  EXPECT_EQ(vendor->launchCount(), 0u);
  logged->clear();
  answer(true);
  EXPECT_FALSE(Ostrel::shared()->naviViewController());
  EXPECT_EQ(eventNames(), (Strings{"event 0", "event 1"}));
}

TEST_F(VendorLivenessTest, CameraPermission) {
  // Already authorised: no question.
  screen = runFaceStep();
  ASSERT_TRUE(screen);
  startVendor();
  EXPECT_EQ(camera->requestCount(), 0);
  vendor->emit(LivenessVendor::canceled{});
  advance(1);
  // Not yet asked, then granted: the attempt goes on.
  camera->setStatus(AuthorizationStatus::notDetermined);
  camera->queueAnswer(true);
  startVendor();
  EXPECT_EQ(camera->requestCount(), 1);
  vendor->emit(LivenessVendor::canceled{});
  advance(1);
  Ostrel::shared()->close(true);
  advance(1);

  // Refused: the session ends either way; confirming also opens the settings, after the close.
  for (bool confirm : {false, true}) {
    SCOPED_TRACE(confirm ? "confirm" : "cancel");
    const int settingsBefore = platform::Application::shared().openSettingsRequests();
    screen = runFaceStep();
    ASSERT_TRUE(screen);
    camera->setStatus(AuthorizationStatus::denied);
    camera->queueAnswer(false);
    tapStart();
    auto shown = awaitAlert();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->alert, Kind::customConfirmation);
    EXPECT_EQ(shown->lblTitle->text(), "[check_permission_camera_title]");
    EXPECT_EQ(shown->lblMessage->text(), "[check_permission_camera]");
    EXPECT_EQ(shown->btnCancel->title(platform::ControlState::normal), "[button_no]");
    EXPECT_EQ(shown->btnConfirm->title(platform::ControlState::normal), "[button_yes]");
    EXPECT_EQ(requestsTo(kTokenPath), 2u) << "no token is asked for without the camera";
    logged->clear();
    user().tap(confirm ? shown->btnConfirm : shown->btnCancel);
    EXPECT_EQ(platform::Application::shared().openSettingsRequests(), settingsBefore);
    advance(1);
    EXPECT_FALSE(Ostrel::shared()->naviViewController());
    EXPECT_EQ(eventNames(), (Strings{"event 0"}));
    EXPECT_EQ(platform::Application::shared().openSettingsRequests(),
              settingsBefore + (confirm ? 1 : 0));
  }
}

TEST_F(VendorLivenessTest, CloseAsksFirstAndReportsUnderTheClassName) {
  screen = runFaceStep();
  ASSERT_TRUE(screen);
  logged->clear();
  user().tap(screen->closeButton);
  auto shown = awaitAlert();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->alert, Kind::exitConfirmation);
  answer(false);
  EXPECT_TRUE(Ostrel::shared()->naviViewController());
  user().tap(screen->closeButton);
  awaitAlert();
  answer(true);
  EXPECT_FALSE(Ostrel::shared()->naviViewController());
  EXPECT_EQ(eventNames(),
            (Strings{"TAP_EXIT", "EXIT_TAP_NO", "TAP_EXIT", "event 0", "EXIT_TAP_YES"}));
  for (const auto& event : *logged) {
    if (event.event.rfind("event", 0) == 0) continue;
    SCOPED_TRACE(event.event);
    EXPECT_EQ(event.screen, "OSLGuideLivenessAdvanceVC");
    EXPECT_EQ(event.level, OSLLogLevel::info);
    EXPECT_EQ(event.data, JSON::object());
  }
}

// Start is ignored while an attempt runs, whether the tap comes before the token arrives or
// while the vendor's session is open; once the attempt is over, start works again.
TEST_F(VendorLivenessTest, StartIsIgnoredWhileAnAttemptRuns) {
  config->withShowLoadingHandler([](std::shared_ptr<ViewController>) {});
  config->withHideLoadingHandler([] {});
  screen = runFaceStep();
  ASSERT_TRUE(screen);
  tapStart();
  tapStart();
  ASSERT_TRUE(waitUntil([&] { return vendor->launchCount() == 1; }));
  tapStart();
  screen->onTapVerify();
  EXPECT_FALSE(waitUntil([&] { return vendor->launchCount() > 1; }, 0.3));
  EXPECT_EQ(requestsTo(kTokenPath), 1u);
  EXPECT_TRUE(screen->isAttemptInFlight());
  vendor->emit(LivenessVendor::canceled{});
  EXPECT_FALSE(screen->isAttemptInFlight());
  advance(1);
  startVendor();
  EXPECT_EQ(vendor->launchCount(), 2u);
}

// Statuses of an earlier session, and statuses after a session's outcome, change nothing.
TEST_F(VendorLivenessTest, OnlyTheCurrentSessionsFirstOutcomeCounts) {
  screen = runFaceStep();
  ASSERT_TRUE(screen);
  startVendor();
  vendor->emit(failure(4));
  vendor->emit(failure(4));
  vendor->emit(vendorError(LivenessVendorError::userTimeout()));
  auto shown = awaitAlert();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->lblMessage->text(), "[liveness_error_angle]");
  EXPECT_EQ(screen->countFailure, 1);
  answer(true);
  ASSERT_TRUE(waitUntil([&] { return vendor->launchCount() == 2; }));
  // The first session speaks again while the second runs.
  vendor->emit(failure(1), ScriptedLivenessVendor::Thread::caller, 0);
  vendor->emit(LivenessVendor::success{}, ScriptedLivenessVendor::Thread::caller, 0);
  vendor->emit(processing("stale"), ScriptedLivenessVendor::Thread::caller, 0);
  advance(1);
  EXPECT_EQ(screen->countFailure, 1);
  EXPECT_FALSE(alert());
  EXPECT_NE(OSLProgressHUD::shared()->labelStatus->text(), "stale");
  EXPECT_EQ(nextCalls, 0);
  EXPECT_TRUE(screen->isAttemptInFlight());
  ASSERT_TRUE(waitUntil([&] { return requestsTo(kValidatePath) == 1; }));
  EXPECT_FALSE(waitUntil([&] { return requestsTo(kValidatePath) > 1; }, 0.3));
}

// The vendor may call back from any thread; the screen acts on the main queue only.
TEST_F(VendorLivenessTest, StatusesFromAnotherThreadAreHandledOnTheMainQueue) {
  screen = runFaceStep();
  ASSERT_TRUE(screen);
  startVendor();
  runUntilIdle();
  vendor->emitAllFromOtherThread({processing("Nhìn thẳng"), failure(5)});
  EXPECT_EQ(screen->countFailure, 0) << "handled on the vendor's thread";
  EXPECT_FALSE(alert());
  auto shown = awaitAlert();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->lblMessage->text(), "[liveness_error_eyes_closed]");
  EXPECT_EQ(screen->countFailure, 1);
  EXPECT_FALSE(hudVisible());
}

// The library's own indicator (the vendor's progress, or the token request's when the host has
// no show handler) is taken down by the library even when the host hides its own.
TEST_F(VendorLivenessTest, BuiltInIndicatorIsTakenDownWhenTheHostHidesItsOwn) {
  for (bool hostShows : {true, false}) {
    SCOPED_TRACE(hostShows ? "host shows and hides" : "host only hides");
    int shows = 0;
    int hides = 0;
    config = OSLConfig::Builder("token");
    config->withBaseUrl(server.baseUrl()).withHideLoadingHandler([&] { ++hides; });
    if (hostShows)
      config->withShowLoadingHandler([&](std::shared_ptr<ViewController>) { ++shows; });
    screen = runFaceStep();
    ASSERT_TRUE(screen);
    for (auto outcome : {LivenessVendor::Status{LivenessVendor::canceled{}}, failure(2),
                         vendorError(LivenessVendorError::serverError())}) {
      SCOPED_TRACE(outcome.index());
      startVendor();
      advance(1);
      EXPECT_EQ(hudVisible(), !hostShows);
      vendor->emit(processing("Đang xử lý"));
      advance(1);
      EXPECT_TRUE(hudVisible());
      int hidesBefore = hides;
      vendor->emit(outcome);
      advance(1);
      EXPECT_EQ(hides, hidesBefore + 1);
      EXPECT_FALSE(hudVisible()) << "the library's indicator was left up";
      if (alert()) answer(false);
    }
    // A failed token request, before any vendor progress.
    server.pushOnceReply(kTokenPath, ScriptedReply::error(503, "Bảo trì"));
    tapStart();
    awaitAlert();
    EXPECT_FALSE(hudVisible()) << "the library's indicator was left up";
    answer(false);
    EXPECT_EQ(shows, hostShows ? 4 : 0);
    Ostrel::shared()->close(true);
    advance(1);
  }
}

TEST_F(VendorLivenessTest, WithoutAVendorTheUserIsToldTheDeviceIsUnsupported) {
  LivenessVendor::install(nullptr);
  screen = runFaceStep();
  ASSERT_TRUE(screen);
  tapStart();
  auto shown = awaitAlert();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->lblMessage->text(), "[error_device_unsupported]");
  EXPECT_FALSE(hudVisible());
  answer(false);
  user().tap(screen->closeButton);
  awaitAlert();
  answer(true);
  EXPECT_FALSE(Ostrel::shared()->naviViewController());
}

// A session's statuses and the server's answers may come after the screen is gone.
TEST_F(VendorLivenessTest, LateAnswersAfterTheScreenIsGoneDoNothing) {
  auto made = ScreenFactories::shared().vendorLiveness();
  screen = std::dynamic_pointer_cast<OSLGuideLivenessAdvanceVC>(made.controller);
  ASSERT_TRUE(screen);
  made = {};
  startSession(screen);
  startVendor();
  std::weak_ptr<OSLGuideLivenessAdvanceVC> weakScreen = screen;
  Ostrel::shared()->close(true);
  advance(1);
  screen = nullptr;
  ASSERT_TRUE(weakScreen.expired());
  vendor->emit(processing("late"));
  vendor->emit(LivenessVendor::success{});
  vendor->emitAllFromOtherThread({failure(1)});
  advance(1);
  EXPECT_FALSE(alert());
  EXPECT_EQ(requestsTo(kValidatePath), 0u);
}

// The chip screen asks for the face step when the server wants it; in the semi-active version
// that is this screen, and its success hands back to the chip screen's continuation.
TEST_F(VendorLivenessTest, ChipScreensLivenessContinuationReachesThisScreen) {
  testing::ScriptedScreens scripted;
  // Every screen but this one is a stand-in.
  ScreenFactories library;
  installLibraryScreens(library);
  ScreenFactories::shared().vendorLiveness = library.vendorLiveness;
  config->withLivenessVersion(OSLFaceLivenessVersion::semiActive);
  host = make<ViewController>();
  show(host);
  Ostrel::shared()->run(OSLFlowType::nfc_only(), config);
  advance(1);
  auto chip = scripted.last("nfc");
  ASSERT_TRUE(chip);
  ASSERT_TRUE(chip->onNeedLiveness);
  int continued = 0;
  chip->onNeedLiveness([&] { ++continued; });
  advance(1);
  auto navi = Ostrel::shared()->naviViewController();
  ASSERT_TRUE(navi);
  screen = std::dynamic_pointer_cast<OSLGuideLivenessAdvanceVC>(navi->topViewController());
  ASSERT_TRUE(screen) << "the semi-active liveness step is not the vendor liveness screen";
  startVendor();
  vendor->emit(LivenessVendor::success{});
  ASSERT_TRUE(waitUntil([&] { return continued > 0; }));
  advance(1);
  EXPECT_EQ(continued, 1);
  EXPECT_TRUE(config->faceData);
  EXPECT_EQ(navi->topViewController(), chip);
}

// A configured step keeps its screen, and a restart shows the same screen in a new session:
// it starts with no failures, no attempt and nothing of the old vendor session.
TEST_F(VendorLivenessTest, RestartAfterTwoFailuresStartsAfresh) {
  screen = runFaceStep();
  ASSERT_TRUE(screen);
  for (int n = 0; n < 2; ++n) {
    startVendor();
    vendor->emit(failure(1));
    awaitAlert();
    answer(false);
  }
  EXPECT_EQ(screen->countFailure, 2);
  startVendor();
  vendor->emit(processing("old"));
  advance(1);
  screen->titleLabel->setText("changed");

  Ostrel::shared()->restart();
  advance(1);
  auto navi = Ostrel::shared()->naviViewController();
  ASSERT_TRUE(navi);
  ASSERT_EQ(navi->topViewController(), screen);
  EXPECT_EQ(screen->countFailure, 0);
  EXPECT_FALSE(screen->isAttemptInFlight());
  EXPECT_EQ(screen->titleLabel->text(), "[liveness_title]");
  EXPECT_FALSE(hudVisible()) << "the old run's indicator was left up";
  // The old session's outcome is not this run's.
  vendor->emit(failure(1));
  advance(1);
  EXPECT_EQ(screen->countFailure, 0);
  EXPECT_FALSE(alert());
  startVendor();
  vendor->emit(failure(1));
  auto shown = awaitAlert();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->alert, Kind::customConfirmation) << "the restart kept the old failures";
  EXPECT_EQ(screen->countFailure, 1);
}

}  // namespace
}  // namespace ostrel::uikit_test
