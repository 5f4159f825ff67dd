#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/Helpers.hpp"
#include "core/StepScreen.hpp"
#include "model/OSLQRCodeModel.hpp"
#include "platform/media/GraphicsContext.hpp"
#include "platform/ui/Device.hpp"
#include "platform/ui/PangoText.hpp"
#include "platform/ui/Renderer.hpp"
#include "platform/ui/Window.hpp"
#include "testing/PixelProbe.hpp"
#include "testing/SamplePerson.hpp"
#include "testing/ScriptedCameraAuthorization.hpp"
#include "tests/qr_scanner/QRScannerTest.hpp"

namespace ostrel::qr_test {
namespace {

using Scan = OSLQRCodeScannerController::ScanState;

// The window moves recorded for the scan window, in order.
std::vector<Rect> windowMoves(const std::vector<std::shared_ptr<AnimationRecord>>& log,
                              const View* frameView) {
  std::vector<Rect> moves;
  for (const auto& record : log) {
    if (auto change = record->change(frameView, "frame")) {
      EXPECT_DOUBLE_EQ(record->duration, 0.5);
      EXPECT_EQ(record->options.curve, TimingFunction::easeOut);
      moves.push_back(std::get<Rect>(change->to));
    }
  }
  return moves;
}

// Only codes wholly on screen count (anywhere, not only inside the scan window); the first ten
// are ignored, the eleventh with text is submitted 800 ms later, once, whatever else arrives:
// the rest of its batch, batches queued after the stop, a trip to the background.
TEST_F(QRScannerTest, OneCodePerScanningPeriodFromTheEleventhVisibleDetection) {
  auto screen = open();
  EXPECT_EQ(screen->scanState(), Scan::scanning);
  ASSERT_TRUE(settle([&] { return screen->captureSession->isRunning(); }));
  const Rect window = screen->originQRFrameView;
  EXPECT_EQ(window, (Rect{80, 226, 230, 230}));

  // Cut by the screen's edge (still inside the camera buffer): never counts.
  detect(*screen, codeAt(*screen, {-20, 300, 120, 120}, "cut"), 20);
  EXPECT_EQ(screen->_delayCount, 0);
  // Outside the scan window but wholly visible, once without text: counts.
  detect(*screen, codeAt(*screen, {10, 40, 60, 60}, std::nullopt), 1);
  detect(*screen, codeAt(*screen, {10, 40, 60, 60}, "early"), 9);
  EXPECT_EQ(screen->_delayCount, 10);
  EXPECT_EQ(screen->scanState(), Scan::scanning);
  // The eleventh without text counts but is passed over.
  detect(*screen, codeAt(*screen, {10, 40, 60, 60}, std::nullopt), 1);
  EXPECT_EQ(screen->scanState(), Scan::scanning);

  // A batch of two: only the first is acted on.
  auto batch = codeAt(*screen, {100, 600, 120, 120}, "first");
  auto second = codeAt(*screen, {20, 100, 100, 100}, "second");
  batch.push_back(second.front());
  screen->handleMetadataObjects(batch);
  EXPECT_EQ(screen->scanState(), Scan::accepted);
  EXPECT_FALSE(screen->captureSession->isRunning()) << "stopped at once, on the main queue";
  auto moves = windowMoves(animations(), screen->qrFrameView.get());
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_NEAR(moves[0].minX(), 100, 1e-9);
  EXPECT_NEAR(moves[0].minY(), 600, 1e-9);
  EXPECT_NEAR(moves[0].width(), 120, 1e-9);

  // Batches already queued, and a background/foreground cycle, before the submission.
  detect(*screen, codeAt(*screen, {100, 300, 100, 100}, "queued"), 3);
  setApplicationActive(false);
  setApplicationActive(true);
  runUntilIdle();
  EXPECT_FALSE(screen->captureSession->isRunning()) << "a code is accepted: the camera stays off";
  advance(0.79);
  EXPECT_TRUE(server.requests(kSubmit).empty());
  advance(0.01);
  await("next");
  detect(*screen, codeAt(*screen, {100, 300, 100, 100}, "late"), 3);
  setApplicationActive(false);
  setApplicationActive(true);
  advance(1);
  runUntilIdle();

  const auto requests = server.requests(kSubmit);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].jsonBody()->value("decoded_text", ""), "first");
  EXPECT_TRUE(requests[0].jsonBody()->contains("lang"));
  EXPECT_EQ(count("next"), 1);
  EXPECT_EQ(count("show loading"), 1);
  EXPECT_EQ(count("hide loading"), 1);
  EXPECT_FALSE(screen->captureSession->isRunning());
}

// The server's reading becomes the session's QR result: the submitted text as decoded_text and
// the expiry derived from birth and issue dates, unless the derivation fails, when the server's
// own expiry stays. A reply without a usable reading leaves no QR result; the flow goes on.
TEST_F(QRScannerTest, RepliesDecideTheQRResult) {
  const auto& person = testing::samplePerson();
  struct Row {
    const char* name;
    std::optional<ScriptedReply> reply;  // the server's default (the sample person) when absent
    bool hasResult;
    std::optional<std::string> idNumber;
    std::optional<std::string> doe;
  };
  const std::vector<Row> rows = {
      {"the sample person", std::nullopt, true, person.idNumber,
       Helpers::idCardExpiryDate(person.birthday, person.issueDate)},
      {"server's own doe replaced by the derived one",
       ScriptedReply::data({{"fields", {{"birthday", "01/01/1990"}, {"doi", "01/01/2021"}, {"doe", "02/02/2022"}}}}),
       true, std::nullopt, "01/01/2030"},
      {"issued at 58 or later: does not expire",
       ScriptedReply::data({{"fields", {{"birthday", "01/01/1950"}, {"doi", "01/06/2010"}, {"doe", "02/02/2022"}}}}),
       true, std::nullopt, ""},
      {"dates that do not parse keep the server's doe",
       ScriptedReply::data({{"fields", {{"id_number", "1"}, {"birthday", "1990"}, {"doe", "02/02/2030"}}}}),
       true, "1", "02/02/2030"},
      {"no dates and no doe",
       ScriptedReply::data({{"fields", {{"id_number", "2"}}}}), true, "2", std::nullopt},
      {"no fields", ScriptedReply::data({{"card", "x"}}), false, std::nullopt, std::nullopt},
      {"fields not an object", ScriptedReply::data({{"fields", "x"}}), false, std::nullopt, std::nullopt},
      {"fields empty", ScriptedReply::data({{"fields", JSON::object()}}), false, std::nullopt, std::nullopt},
      {"member of another type", ScriptedReply::data({{"fields", {{"id_number", 12}}}}), false, std::nullopt, std::nullopt},
      {"data not an object", ScriptedReply::data(JSON::array({1})), false, std::nullopt, std::nullopt},
      {"no data", ScriptedReply::json({{"status", "ok"}}), false, std::nullopt, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    heard->clear();
    if (row.reply) server.setReply(kSubmit, *row.reply);
    currentConfig()->qrCodeResult = std::make_shared<OSLQRCodeModel>();  // a stale one
    auto screen = open();
    scanAndSubmit(*screen, person.qrText());
    await("next");
    auto result = currentConfig()->qrCodeResult;
    ASSERT_EQ(result != nullptr, row.hasResult);
    if (result) {
      EXPECT_EQ(result->decoded_text, person.qrText());
      EXPECT_EQ(result->id_number, row.idNumber);
      EXPECT_EQ(result->doe, row.doe);
    }
    EXPECT_EQ(screen->scanState(), Scan::done);
    Ostrel::shared()->setNaviViewController(nullptr);
    server.setReply(kSubmit, testing::VerificationServer::defaultReplies().at(kSubmit));
  }
  EXPECT_EQ(server.requests(kSubmit).back().jsonBody()->value("decoded_text", ""), person.qrText());
}

// 401 ends in the time-out alert alone, scanning stopped. Any other failure shows the
// invalid-code alert, whose confirm restarts scanning and moves the window back; the next
// qualifying detection is then submitted at once (the count is not reset).
TEST_F(QRScannerTest, FailedSubmissionsAlertAndRestart) {
  struct Row {
    const char* name;
    ScriptedReply reply;
    bool refused;  // no server at all
  };
  ScriptedReply cut = ScriptedReply::data({{"fields", {{"id_number", "1"}}}});
  cut.fault = ScriptedReply::Fault::truncated;
  // Submits a code against `reply` and returns the screen with the alert it ended on.
  auto submitAgainst = [&](const ScriptedReply& reply, const std::string& baseUrl) {
    heard->clear();
    server.setReply(kSubmit, reply);
    config->withBaseUrl(baseUrl);
    auto screen = open();
    scanAndSubmit(*screen, "code");
    await("hide loading");
    advance(1);
    return std::make_pair(screen, shownAlert());
  };
  const std::vector<Row> rows = {
      {"server error", ScriptedReply::error(500, "down", 500), false},
      {"cut-short body", cut, false},
      {"refused connection", ScriptedReply::error(500, "unused", 500), true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    AnimationLog::shared().clear();
    auto submitted = submitAgainst(row.reply, row.refused ? "http://127.0.0.1:1" : server.baseUrl());
    auto screen = submitted.first;
    auto alert = submitted.second;
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->alert, OSLAlertVC::TypeOfAlert::networkError);
    EXPECT_TRUE(testing::samePixels(alert->titleIcon, bundleImage("qirta_scan_qrcode_error")));
    EXPECT_EQ(alert->titleAlert, "[invalid_qr_code_title]");
    EXPECT_EQ(alert->message, "[invalid_qr_code]");
    EXPECT_EQ(screen->scanState(), Scan::rejected);
    detect(*screen, codeAt(*screen, {100, 300, 100, 100}, "ignored"), 2);
    EXPECT_EQ(screen->scanState(), Scan::rejected);

    user().tap(alert->btnConfirm);
    advance(1);
    runUntilIdle();
    EXPECT_EQ(screen->scanState(), Scan::scanning);
    EXPECT_TRUE(settle([&] { return screen->captureSession->isRunning(); }));
    auto moves = windowMoves(animations(), screen->qrFrameView.get());
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[1], screen->originQRFrameView);
    screen->handleMetadataObjects(codeAt(*screen, {100, 300, 100, 100}, "again"));
    EXPECT_EQ(screen->scanState(), Scan::accepted);
    EXPECT_EQ(count("next"), 0);
    Ostrel::shared()->setNaviViewController(nullptr);
  }

  auto submitted = submitAgainst(ScriptedReply::error(401, "expired", 401), server.baseUrl());
  auto screen = submitted.first;
  auto alert = submitted.second;
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->alert, OSLAlertVC::TypeOfAlert::timeout);
  EXPECT_EQ(screen->scanState(), Scan::expired);
  setApplicationActive(false);
  setApplicationActive(true);
  runUntilIdle();
  EXPECT_FALSE(screen->captureSession->isRunning());
  EXPECT_EQ(count("next"), 0);
}

// The delayed submission does not keep a screen that left alive; a reply for a screen that
// left still hides the loading indicator.
TEST_F(QRScannerTest, ScreenGoneBeforeSubmissionOrReply) {
  {
    auto screen = open();
    detect(*screen, codeAt(*screen, {100, 300, 100, 100}, "gone"), 11);
    Ostrel::shared()->setNaviViewController(nullptr);
    host->dismiss(false);
    show(make<ViewController>());
  }
  advance(1);
  runUntilIdle();
  EXPECT_TRUE(server.requests(kSubmit).empty());

  std::weak_ptr<OSLQRCodeScannerController> weakScreen;
  {
    auto screen = open();
    weakScreen = screen;
    scanAndSubmit(*screen, "left");
    Ostrel::shared()->setNaviViewController(nullptr);
    host->dismiss(false);
    show(make<ViewController>());
  }
  runUntilIdle();
  await("hide loading");
  EXPECT_TRUE(weakScreen.expired());
  EXPECT_EQ(count("next"), 0);
}

// Camera set-up: refused access gives the permission alert (no: cancelled session, yes: the
// settings); a session that refuses the input or the output reports through the result channel
// and alerts; no camera at all runs without input and reports nothing.
TEST_F(QRScannerTest, CameraSetUpFailures) {
  {
    SCOPED_TRACE("access denied");
    testing::ScriptedCameraAuthorization::install(AuthorizationStatus::notDetermined)->queueAnswer(false);
    auto screen = open();
    advance(1);
    auto alert = shownAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->alert, OSLAlertVC::TypeOfAlert::customConfirmation);
    EXPECT_EQ(alert->titleAlert, "[check_permission_camera_title]");
    EXPECT_EQ(alert->titleConfirm, "[button_yes]");
    user().tap(alert->btnConfirm);
    advance(1);
    EXPECT_EQ(Application::shared().openSettingsRequests(), 1);
    EXPECT_EQ(count("cancelled"), 0);
    Ostrel::shared()->setNaviViewController(nullptr);
  }
  {
    SCOPED_TRACE("access denied, no");
    heard->clear();
    testing::ScriptedCameraAuthorization::install(AuthorizationStatus::notDetermined)->queueAnswer(false);
    auto screen = open();
    advance(1);
    auto alert = shownAlert();
    ASSERT_TRUE(alert);
    user().tap(alert->btnCancel);
    advance(2);
    runUntilIdle();
    EXPECT_EQ(count("cancelled"), 1);
  }
  testing::ScriptedCameraAuthorization::install(AuthorizationStatus::authorized);

  struct Row {
    const char* name;
    bool refuseInput;
    QRCodeError error;
    const char* messageKey;
  };
  for (const Row& row : {Row{"input refused", true, QRCodeError::inputFailed, "[failed_to_add_input_camera]"},
                         Row{"output refused", false, QRCodeError::outputFailed, "[failed_to_add_output_camera]"}}) {
    SCOPED_TRACE(row.name);
    heard->clear();
    camera = testing::ImageFileCamera::install();
    backCamera = frontCamera = nullptr;
    backScript.description.sessionAcceptsInput = !row.refuseInput;
    backScript.description.sessionAcceptsMetadataOutput = row.refuseInput;
    addCameras();
    std::vector<QRScannerCodeResponseType> responses;
    auto screen = OSLQRCodeScannerController::create();
    screen->onScannedHandle = [&](const QRScannerCodeResponseType& r) { responses.push_back(r); };
    push(screen);
    ASSERT_EQ(responses.size(), 1u);
    EXPECT_EQ(responses[0], (QRScannerCodeResponseType{QRScannerCodeResponseType::didFailWithError{row.error}}));
    EXPECT_EQ(row.error.errorDescription(), row.messageKey);
    auto alert = shownAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->alert, OSLAlertVC::TypeOfAlert::networkError);
    EXPECT_EQ(alert->message, row.messageKey);
    user().tap(alert->btnConfirm);
    advance(2);
    runUntilIdle();
    EXPECT_EQ(count("cancelled"), 1);
    EXPECT_NE(screen->scanState(), Scan::scanning);
  }
  backScript.description.sessionAcceptsInput = true;
  backScript.description.sessionAcceptsMetadataOutput = true;

  {
    SCOPED_TRACE("no camera");
    camera = testing::ImageFileCamera::install();
    std::vector<QRScannerCodeResponseType> responses;
    auto screen = OSLQRCodeScannerController::create();
    screen->onScannedHandle = [&](const QRScannerCodeResponseType& r) { responses.push_back(r); };
    push(screen);
    EXPECT_TRUE(responses.empty());
    EXPECT_FALSE(shownAlert());
    EXPECT_TRUE(screen->captureSession->inputs().empty());
    EXPECT_TRUE(settle([&] { return screen->captureSession->isRunning(); }));
    EXPECT_TRUE(screen->dataOutput->metadataObjectTypes().empty());
  }
}

// The torch works only on the back camera with a torch; the camera switch swaps inputs in one
// configuration; buttons exist only with their images; closing asks first and reports the
// exit events; a swiped-away sheet reports a cancel; portrait is asked for either way.
TEST_F(QRScannerTest, ControlsCloseAndOrientation) {
  QRScannerConfiguration configuration;
  configuration.flashOnImage = bundleImage("ic_flash_off");
  configuration.cameraImage = bundleImage("ic_flash_on");
  auto screen = open(configuration);
  ASSERT_TRUE(screen->flashButton);
  ASSERT_TRUE(screen->cameraButton);
  EXPECT_EQ(screen->flashButton->frame(), (Rect{32, 744, 50, 50}));
  EXPECT_EQ(screen->cameraButton->frame(), (Rect{308, 744, 50, 50}));
  EXPECT_EQ(scene()->geometryRequests(), std::vector<unsigned>{InterfaceOrientationMask::portrait});
  EXPECT_FALSE(screen->shouldAutorotate());

  user().tap(screen->flashButton);
  EXPECT_EQ(backCamera->torchMode(), TorchMode::on);
  EXPECT_TRUE(testing::samePixels(screen->flashButton->image(ControlState::normal), bundleImage("ic_flash_on")));
  EXPECT_EQ(screen->flashButton->backgroundColor(), (Color{1, 1, 1, 0.3}));
  user().tap(screen->flashButton);
  EXPECT_EQ(backCamera->torchMode(), TorchMode::off);
  EXPECT_EQ(screen->flashButton->backgroundColor(), (Color{0, 0, 0, 0.5}));

  user().tap(screen->cameraButton);
  ASSERT_EQ(screen->captureSession->inputs().size(), 1u);
  EXPECT_EQ(screen->captureSession->inputs()[0]->device(), frontCamera);
  EXPECT_FALSE(screen->captureSession->isConfiguring());
  user().tap(screen->flashButton);
  EXPECT_EQ(backCamera->torchMode(), TorchMode::off) << "no torch from the front camera";
  user().tap(screen->cameraButton);
  EXPECT_EQ(screen->captureSession->inputs()[0]->device(), backCamera);

  user().tap(screen->closeButton);
  advance(1);
  auto alert = shownAlert();
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->alert, OSLAlertVC::TypeOfAlert::exitConfirmation);
  user().tap(alert->btnCancel);
  advance(1);
  user().tap(screen->closeButton);
  advance(1);
  user().tap(shownAlert()->btnConfirm);
  advance(2);
  runUntilIdle();
  EXPECT_EQ(eventNames(), (std::vector<std::string>{"TAP_EXIT", "EXIT_TAP_NO", "TAP_EXIT", "EXIT_TAP_YES"}));
  for (const auto& event : *logged) EXPECT_EQ(event.screen, "OSLQRCodeScannerController");
  EXPECT_EQ(count("cancelled"), 1);

  // A host presenting the scanner in a sheet hears of its swipe-away; the legacy orientation
  // request stands in where scene requests are not offered.
  Device::current().setSupportsSceneGeometryRequests(false);
  std::vector<QRScannerCodeResponseType> responses;
  auto sheet = OSLQRCodeScannerController::create();
  sheet->onScannedHandle = [&](const QRScannerCodeResponseType& r) { responses.push_back(r); };
  auto presenter = make<ViewController>();
  show(presenter);
  sheet->modalPresentationStyle = ModalPresentationStyle::pageSheet;
  presenter->present(sheet, false);
  runUntilIdle();
  EXPECT_EQ(Device::current().legacyOrientationValues(), std::vector<int>{1});
  ASSERT_TRUE(swipeAwaySheet(sheet));
  advance(1);
  EXPECT_EQ(responses, std::vector<QRScannerCodeResponseType>{{QRScannerCodeResponseType::didCancel{}}});
  EXPECT_FALSE(swipeAwaySheet(screen)) << "full-screen presentations cannot be swiped away";
}

// Over a light camera picture: the close button trailing, 70 x 40 under the safe area's top,
// the title and the whole hint under it, all drawn and readable.
TEST_F(QRScannerTest, CloseButtonTitleAndHintAreLaidOutAndDrawn) {
  platform::PangoTextMeasurer::install();
  window()->setSafeAreaInsets(EdgeInsets{47, 0, 34, 0});
  QRScannerConfiguration configuration;
  configuration.title = "Scan the code";
  configuration.hint = "Hold the code on the back of the card inside the frame until it is read";
  auto screen = open(configuration);
  runDisplayPass();
  const double width = window()->bounds().width();
  EXPECT_EQ(screen->closeButton->frame(), (Rect{width - 70, 47, 70, 40}));
  const Rect stack = screen->stackView->frame();
  EXPECT_EQ(stack.minY(), 87);
  EXPECT_EQ(stack.minX(), 5);
  EXPECT_EQ(stack.width(), width - 10);
  const Rect title = screen->titleLabel->convertRectTo(screen->titleLabel->bounds(), nullptr);
  const Rect hint = screen->hintLabel->convertRectTo(screen->hintLabel->bounds(), nullptr);
  EXPECT_GT(title.height(), 20);
  EXPECT_GE(hint.minY(), title.maxY() + 10);
  const double oneLine = TextMeasurer::shared().boundingSize("Hold", Font::systemFont(15), {0, 0}, 1).height;
  EXPECT_GT(hint.height(), 1.5 * oneLine) << "the hint wraps instead of being cut";
  EXPECT_LE(hint.maxX(), width);

  auto picture = snapshot(*window(), 2);
  ASSERT_TRUE(picture);
  auto whiteIn = [&](Rect area) {
    int white = 0;
    for (double x = area.minX(); x < area.maxX(); x += 0.5)
      for (double y = area.minY(); y < area.maxY(); y += 0.5)
        if (testing::pixelAt(*picture, {x, y}).isApproximately(Color::white(), 0.1)) ++white;
    return white;
  };
  EXPECT_GT(whiteIn(title), 20) << "the title is drawn";
  EXPECT_GT(whiteIn(hint), 20) << "the hint is drawn";
  EXPECT_GT(whiteIn(screen->closeButton->frame()), 10) << "the close button is drawn";
  // Behind them the light picture is darkened, so white stands out.
  const Color behind = testing::pixelAt(*picture, {title.minX() + 2, title.minY() + 1});
  EXPECT_LT(behind.red, 0.6);
  platform::TextMeasurer::install(nullptr);
}

TEST_F(QRScannerTest, NoRoundButtonsWithoutImagesAndNoUploadButtonByDefault) {
  auto screen = open();
  EXPECT_FALSE(screen->flashButton);
  EXPECT_FALSE(screen->cameraButton);
  EXPECT_FALSE(screen->uploadButton);
  for (const auto& subview : screen->view()->subviews())
    EXPECT_FALSE(std::dynamic_pointer_cast<RoundButton>(subview));
}

// The frame's legs run from radius + length to twice the radius from each corner, as strokes
// of the configured thickness with round caps.
TEST_F(QRScannerTest, ScanFrameLegsFromTheDrawingLog) {
  struct Row {
    double radius, length, thickness;
    double from, to;  // distance of a leg's ends from its corner
  };
  for (const Row& row : {Row{16, 20, 8, 32, 36}, Row{10, 25, 5, 20, 35}}) {
    SCOPED_TRACE(row.radius);
    auto frame = make<QRScannerFrame>(Rect{0, 0, 200, 200});
    frame->setRadius(row.radius);
    frame->setLength(row.length);
    frame->setThickness(row.thickness);
    frame->setColor(Color::systemGreen());
    ASSERT_TRUE(frame->needsDisplay());
    beginImageContext({200, 200}, false, 1);
    frame->draw(frame->bounds());
    const auto ops = currentImageContext()->operations();
    const cv::Mat pixels = currentImageContext()->makeImage();
    endImageContext();
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_EQ(ops[0].kind, GraphicsOperation::Kind::strokePath);
    EXPECT_EQ(ops[0].lineCap, LineCap::round);
    EXPECT_DOUBLE_EQ(ops[0].lineWidth, row.thickness);
    const auto& e = ops[0].path.elements;
    ASSERT_EQ(e.size(), 16u);
    const double h = row.thickness / 2;
    // Top-left corner: down the left edge, then along the top.
    EXPECT_EQ(e[0].kind, PathElement::Kind::moveTo);
    EXPECT_DOUBLE_EQ(e[0].point.y - h, row.to);
    EXPECT_DOUBLE_EQ(e[1].point.y - h, row.from);
    EXPECT_EQ(e[2].kind, PathElement::Kind::quadCurveTo);
    EXPECT_EQ(e[2].control, (Point{h, h}));
    EXPECT_DOUBLE_EQ(e[3].point.x - h, row.to);
    // Bottom-right corner.
    EXPECT_DOUBLE_EQ(200 - h - e[12].point.y, row.to);
    EXPECT_DOUBLE_EQ(200 - h - e[13].point.y, row.from);
    EXPECT_DOUBLE_EQ(200 - h - e[15].point.x, row.to);
    // Stroked: the middle of the top-left leg is painted, the middle of the top edge is not.
    const int legMiddle = static_cast<int>((row.from + row.to) / 2 + h);
    EXPECT_GT(pixels.at<cv::Vec4b>(static_cast<int>(h), legMiddle)[3], 0);
    EXPECT_EQ(pixels.at<cv::Vec4b>(static_cast<int>(h), 100)[3], 0);
  }
}

}  // namespace
}  // namespace ostrel::qr_test
