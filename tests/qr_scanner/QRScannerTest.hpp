#pragma once

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/CurrentConfig.hpp"
#include "platform/camera/CaptureMetadataOutput.hpp"
#include "platform/ui/AlertController.hpp"
#include "scanner/OSLQRCodeScannerController.hpp"
#include "testing/ImageFileCamera.hpp"
#include "testing/QRPictures.hpp"
#include "testing/ScriptedBarcodeReader.hpp"
#include "testing/ScriptedPhotoLibrary.hpp"
#include "testing/VerificationServer.hpp"
#include "tests/uikit/UIKitTest.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OSLPopupHolderViewController.hpp"

namespace ostrel::qr_test {

using namespace platform;
using testing::ScriptedReply;

inline constexpr const char* kSubmit = "/api/kyc/qr-code/submit";

// A UI test with a back camera (with a torch) and a front camera playing a plain picture, the
// local verification server, host loading and cancel handlers that write into `heard`, and a
// dictionary mapping the screen's keys to "[key]".
class QRScannerTest : public uikit_test::UIKitTest {
 protected:
  QRScannerTest() {
    config->withBaseUrl(server.baseUrl());
    server.setExpectedAuthorization("token");
    auto keys = testing::uiKitLocalizationKeys();
    for (const char* key :
         {"failed_to_add_input_camera", "failed_to_add_output_camera", "invalid_qr_code_title",
          "invalid_qr_code", "check_permission_camera_title", "check_permission_camera",
          "button_no", "button_yes", "button_capture", "settings_flow_upgrade_data_face_upload",
          "button_cancel"})
      keys.push_back(key);
    setLanguageDictionary(testing::bracketedDictionary(keys));
    auto log = heard;
    config->showLoadingHandler = [log](auto) { log->push_back("show loading"); };
    config->hideLoadingHandler = [log] { log->push_back("hide loading"); };
    config->withCancelSessionHandler([log] { log->push_back("cancelled"); });
    backScript.description.hasTorch = true;
    backScript.description.torchAvailable = true;
  }

  // Adds the cameras (after a test changed their scripts).
  void addCameras(bool back = true, bool front = true) {
    if (back) backCamera = camera->addDevice(backScript);
    if (front) frontCamera = camera->addDevice(frontScript);
  }

  // The scanner pushed in a running session, as the flow launcher shows it.
  std::shared_ptr<OSLQRCodeScannerController> open(QRScannerConfiguration configuration = {}) {
    if (!backCamera && !frontCamera) addCameras();
    auto screen = OSLQRCodeScannerController::create(configuration);
    screen->onNext = [log = heard] { log->push_back("next"); };
    push(screen);
    return screen;
  }
  void push(const std::shared_ptr<ViewController>& screen) {
    Ostrel::shared()->setConfig(config);  // a close before put a fresh one in its place
    auto navi = startSession(make<ViewController>());
    navi->pushViewController(screen, false);
    advance(1);
    runUntilIdle();
  }
  // Runs queued work and moves the clock on in small steps, up to two virtual seconds, until
  // `done`; then waits for real threads as `waitUntil` does.
  bool settle(const std::function<bool()>& done) {
    for (int step = 0; step < 40; ++step) {
      runUntilIdle();
      if (done()) return true;
      advance(0.05);
    }
    return waitUntil(done);
  }

  // A code on the layer rectangle `onScreen` (view points), as the metadata output reports it.
  static MetadataObjects codeAt(OSLQRCodeScannerController& screen, Rect onScreen,
                                std::optional<std::string> text,
                                MachineReadableCodeType type = MachineReadableCodeType::qr) {
    auto code = std::make_shared<MachineReadableCodeObject>();
    code->type = type;
    code->stringValue = std::move(text);
    code->bounds = screen.videoPreviewLayer()->metadataOutputRectOfInterestForRect(onScreen);
    const Rect& b = code->bounds;
    code->corners = {Point{b.minX(), b.minY()}, Point{b.maxX(), b.minY()},
                     Point{b.maxX(), b.maxY()}, Point{b.minX(), b.maxY()}};
    return {code};
  }
  // Reports `objects` `times` times, as that many camera callbacks would.
  static void detect(OSLQRCodeScannerController& screen, const MetadataObjects& objects, int times) {
    for (int i = 0; i < times; ++i) screen.handleMetadataObjects(objects);
  }
  // A code in the middle of the screen seen eleven times: accepted, submitted 800 ms later.
  void scanAndSubmit(OSLQRCodeScannerController& screen, const std::string& text) {
    detect(screen, codeAt(screen, {100, 300, 150, 150}, text), 11);
    advance(0.8);
    runUntilIdle();
  }

  int count(const std::string& what) const {
    return static_cast<int>(std::count(heard->begin(), heard->end(), what));
  }
  // Waits until the host heard `what` `times` times, then runs what that queued.
  void await(const std::string& what, int times = 1) {
    EXPECT_TRUE(waitUntil([&] { return count(what) >= times; })) << "never heard " << what;
    runUntilIdle();
  }

  // The library's alert on top, if any.
  std::shared_ptr<OSLAlertVC> shownAlert() const {
    auto holder = std::dynamic_pointer_cast<OSLPopupHolderViewController>(topPresented());
    return holder ? std::dynamic_pointer_cast<OSLAlertVC>(holder->mainPopVC) : nullptr;
  }

  std::shared_ptr<testing::ImageFileCamera> camera = testing::ImageFileCamera::install();
  testing::ScriptedCameraDevice backScript = testing::ScriptedCameraDevice::make(
      CaptureDevicePosition::back, {testing::ScriptedFrame::picture(cv::Mat(1280, 720, CV_8UC4, cv::Scalar(200, 200, 200, 255)))});
  testing::ScriptedCameraDevice frontScript = testing::ScriptedCameraDevice::make(
      CaptureDevicePosition::front, {testing::ScriptedFrame::picture(cv::Mat(1280, 720, CV_8UC4, cv::Scalar(90, 90, 90, 255)))});
  CaptureDevicePtr backCamera;
  CaptureDevicePtr frontCamera;
  testing::VerificationServer server;
  std::shared_ptr<std::vector<std::string>> heard = std::make_shared<std::vector<std::string>>();
};

}  // namespace ostrel::qr_test
