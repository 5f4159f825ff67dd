#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ScreenFactories.hpp"
#include "model/OSLQRCodeModel.hpp"
#include "platform/vision/BarcodeReader.hpp"
#include "scanner/PhotoPicker.hpp"
#include "testing/SamplePerson.hpp"
#include "testing/ScriptedScreens.hpp"
#include "tests/qr_scanner/QRScannerTest.hpp"

namespace ostrel::qr_test {
namespace {

using Scan = OSLQRCodeScannerController::ScanState;

// A portrait camera picture with one code in its middle.
cv::Mat uprightFrameWith(const std::string& text) {
  testing::QRScene scene;
  scene.size = {720, 1280};
  return scene.render({{testing::qrCodeModules(text, 6), {testing::centerOf(scene.size), 0, 1}}});
}

// A frame from the camera holding the Vietnamese payload goes through the metadata output and
// zxing to the server with its exact text; a blank camera gives no batch at all.
TEST_F(QRScannerTest, CameraFrameToSubmissionThroughZXing) {
  backScript.frames = {testing::ScriptedFrame::picture(uprightFrameWith(testing::kCitizenIdPayload))};
  auto screen = open();  // the camera runs for a second: the code is accepted meanwhile
  EXPECT_EQ(screen->dataOutput->metadataObjectTypes(), offeredMachineReadableCodeTypes());
  EXPECT_NE(screen->scanState(), Scan::scanning);
  EXPECT_EQ(screen->_delayCount, 11);
  advance(0.8);
  await("next");
  const auto requests = server.requests(kSubmit);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].jsonBody()->value("decoded_text", ""), testing::kCitizenIdPayload);
  // The window went to where the code is on screen: around the middle of the view.
  auto frame = screen->qrFrameView->frame();
  EXPECT_NEAR(frame.midX(), 195, 4);
  EXPECT_NEAR(frame.midY(), 422, 4);
}

TEST_F(QRScannerTest, BlankFramesGiveNoBatch) {
  auto screen = open();
  ASSERT_TRUE(settle([&] { return screen->captureSession->isRunning(); }));
  advance(1);
  runUntilIdle();
  EXPECT_EQ(screen->_delayCount, 0);
  EXPECT_EQ(screen->scanState(), Scan::scanning);
  // The same through a scripted reader: frames are read, none has a code, nothing reaches the
  // screen; a scripted barcode of another type is submitted like a QR code.
  auto scripted = testing::ScriptedBarcodeReader::install();
  advance(0.5);
  runUntilIdle();
  EXPECT_GT(scripted->framesRead(), 0);
  EXPECT_EQ(screen->_delayCount, 0);
  for (int i = 0; i < 11; ++i) {
    auto code = testing::ScriptedBarcodeReader::qr("4006381333931", 400, 300, 200);
    code.type = MachineReadableCodeType::ean13;
    scripted->pushFrame({code});
  }
  for (int i = 0; i < 40 && screen->scanState() == Scan::scanning; ++i) {
    advance(1.0 / 30);
    runUntilIdle();
  }
  advance(0.8);
  await("next");
  ASSERT_EQ(server.requests(kSubmit).size(), 1u);
  EXPECT_EQ(server.requests(kSubmit)[0].jsonBody()->value("decoded_text", ""), "4006381333931");
}

// The same code in a still photo, turned a quarter and blurred, and two codes in one photo
// (the first in the reader's order); pictures without pixels give nothing.
TEST(QRStillDetection, TurnedBlurredAndSeveralCodes) {
  testing::QRScene scene;
  scene.size = {1600, 1200};
  scene.blurSigma = 1.2;
  auto turned = scene.render({{testing::qrCodeModules(testing::kCitizenIdPayload, 7), {{800, 600}, 90, 1}}});
  EXPECT_EQ(detectQRCode(std::make_shared<Image>(turned)), testing::kCitizenIdPayload);

  scene.blurSigma = 0;
  auto two = scene.render({{testing::qrCodeModules("one", 8), {{400, 600}, 0, 1}},
                           {testing::qrCodeModules("two", 8), {{1200, 600}, 0, 1}}});
  auto features = qrCodeFeatures(Image(two));
  ASSERT_EQ(features.size(), 2u);
  EXPECT_EQ(detectQRCode(std::make_shared<Image>(two)), features[0].messageString);

  auto longText = scene.render({{testing::qrCodeModules(testing::longQRPayload(), 3), {{800, 600}, 0, 1}}});
  EXPECT_EQ(detectQRCode(std::make_shared<Image>(longText)), testing::longQRPayload());
  EXPECT_FALSE(detectQRCode(std::make_shared<Image>(Size{100, 100})));
  EXPECT_FALSE(detectQRCode(nullptr));
}

// The QR step of an ID flow with the real screen among the stand-ins: the server's reading of
// the sample card becomes the session's QR result and the flow goes on; a fresh table's entry
// makes the real screen.
TEST_F(QRScannerTest, EkycFlowKeepsTheServersReading) {
  addCameras();
  ScreenFactories fresh;
  installLibraryScreens(fresh);
  ASSERT_TRUE(fresh.qrScanner);
  auto made = fresh.qrScanner(QRScannerConfiguration{});
  EXPECT_TRUE(std::dynamic_pointer_cast<OSLQRCodeScannerController>(made.controller));
  EXPECT_TRUE(made.resetForNewRun);

  testing::ScriptedScreens screens;
  ScreenFactories::shared().qrScanner = fresh.qrScanner;
  host = make<ViewController>();
  show(host);
  config->withIsQRCodeScanEnabled(true);
  Ostrel::shared()->run("ekyc", config);
  advance(1);
  for (const char* kind : {"id-front", "id-back"}) {
    auto top = testing::ScriptedScreens::top();
    ASSERT_TRUE(top);
    ASSERT_EQ(top->kind, kind);
    top->finish();
    advance(1);
  }
  auto navi = Ostrel::shared()->naviViewController();
  ASSERT_TRUE(navi);
  auto screen = std::dynamic_pointer_cast<OSLQRCodeScannerController>(navi->viewControllers().back());
  ASSERT_TRUE(screen);
  const auto& person = testing::samplePerson();
  scanAndSubmit(*screen, person.qrText());
  EXPECT_TRUE(settle([&] {
    return testing::ScriptedScreens::top() && testing::ScriptedScreens::top()->kind == "face-p";
  }));
  auto result = currentConfig()->qrCodeResult;
  ASSERT_TRUE(result);
  EXPECT_EQ(result->id_number, person.idNumber);
  EXPECT_EQ(result->birthday, person.birthday);
  EXPECT_EQ(result->doi, person.issueDate);
  EXPECT_EQ(result->decoded_text, person.qrText());
  EXPECT_EQ(server.requests(kSubmit).size(), 1u);
  Ostrel::shared()->close(false);
  advance(1);
}

// Reset after an accepted code, and again during a submission: the screen scans from a zero
// count, its window back in place and the torch off, and submits once.
TEST_F(QRScannerTest, ResetForNewRunScansAfresh) {
  QRScannerConfiguration configuration;
  configuration.flashOnImage = bundleImage("ic_flash_off");
  auto screen = open(configuration);
  user().tap(screen->flashButton);
  ASSERT_EQ(backCamera->torchMode(), TorchMode::on);
  detect(*screen, codeAt(*screen, {100, 300, 100, 100}, "stale"), 11);
  ASSERT_EQ(screen->scanState(), Scan::accepted);
  screen->resetForNewRun();
  EXPECT_EQ(screen->_delayCount, 0);
  EXPECT_EQ(screen->scanState(), Scan::scanning);
  EXPECT_EQ(screen->qrFrameView->frame(), screen->originQRFrameView);
  EXPECT_EQ(backCamera->torchMode(), TorchMode::off);
  advance(1);
  runUntilIdle();
  EXPECT_TRUE(server.requests(kSubmit).empty()) << "the delayed submission was dropped";

  // During a submission: the reply that comes back for the old run is not acted on.
  server.setReply(kSubmit, [] {
    auto reply = ScriptedReply::data({{"fields", {{"id_number", "old"}}}});
    reply.delaySeconds = 0.3;
    return reply;
  }());
  scanAndSubmit(*screen, "old run");
  ASSERT_EQ(screen->scanState(), Scan::submitting);
  screen->resetForNewRun();
  await("hide loading");
  EXPECT_EQ(count("next"), 0);
  EXPECT_EQ(screen->scanState(), Scan::scanning);

  // The appearance after a reset starts the camera again.
  // Covered and shown again, as when the launcher shows the screen for the new run.
  screen->sendAppearance(false, false, true);
  screen->sendAppearance(false, false, false);
  screen->sendAppearance(true, false, true);
  screen->sendAppearance(true, false, false);
  EXPECT_TRUE(settle([&] { return screen->captureSession->isRunning(); }));
  server.setReply(kSubmit, ScriptedReply::data({{"fields", {{"id_number", "new"}}}}));
  detect(*screen, codeAt(*screen, {100, 300, 100, 100}, "new run"), 10);
  EXPECT_EQ(screen->scanState(), Scan::scanning);
  scanAndSubmit(*screen, "new run");
  await("next");
  EXPECT_EQ(count("next"), 1);
  ASSERT_EQ(server.requests(kSubmit).size(), 2u);
  EXPECT_EQ(server.requests(kSubmit)[1].jsonBody()->value("decoded_text", ""), "new run");
}

}  // namespace
}  // namespace ostrel::qr_test
