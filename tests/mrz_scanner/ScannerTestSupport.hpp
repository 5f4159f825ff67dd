#pragma once

// The scanner screens on the deterministic runtime: an image-file back camera, the scripted
// recogniser and permission answerer, a navigation stack to push the scanner on, the texts as
// "[key]" and the tracking events the host would receive.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "core/CurrentConfig.hpp"
#include "core/Localization.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/ui/NavigationController.hpp"
#include "scanner/OSLScanMRZVC.hpp"
#include "testing/ImageFileCamera.hpp"
#include "testing/MRZPictureRenderer.hpp"
#include "testing/ScriptedCameraAuthorization.hpp"
#include "testing/ScriptedTextRecognizer.hpp"
#include "testing/ScriptedUser.hpp"
#include "testing/TestHelpers.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OSLPopupHolderViewController.hpp"

namespace ostrel::scanner_test {

using namespace ostrel::platform;
using testing::ImageFileCamera;
using testing::ScriptedCameraAuthorization;
using testing::ScriptedCameraDevice;
using testing::ScriptedFrame;
using testing::ScriptedTextRecognizer;

struct TrackedEvent {
  OSLLogLevel level;
  std::string event;
  std::string screen;
  JSON data;
};

class ScannerTest : public testing::UITest {
 protected:
  ScannerTest() {
    setLanguageDictionary(testing::bracketedDictionary(
        {"mrz_scan_note", "mrz_scan_title", "error_create_camera", "check_permission_camera_title",
         "check_permission_camera", "button_no", "button_yes", "error_flash"}));
    currentConfig()->withLogHandler(
        [this](OSLLogLevel level, const std::string& event, const std::string& screen, const JSON& data,
               const JSON&) { events.push_back({level, event, screen, data}); });
  }
  ~ScannerTest() override {
    setCurrentConfig(nullptr);
    setLanguageDictionary(JSON::object());
  }

  // A small upright grey card picture: 16/9 like the 1920x1080 preset, so the preview maps it
  // as it maps a full-size frame.
  static cv::Mat smallCardPicture() { return cv::Mat(192, 108, CV_8UC4, cv::Scalar(200, 200, 200, 255)); }
  // The same card as one camera buffer, for the per-frame reader.
  static PixelBufferPtr cardBuffer() {
    return testing::cameraBufferFromUpright(cv::Mat(192, 108, CV_8UC1, cv::Scalar(200)));
  }

  static ScriptedCameraDevice backCamera(std::vector<ScriptedFrame> frames = {}) {
    if (frames.empty()) frames.push_back(ScriptedFrame::picture(smallCardPicture()));
    auto script = ScriptedCameraDevice::make(CaptureDevicePosition::back, std::move(frames));
    script.description.hasTorch = true;
    script.description.torchAvailable = true;
    script.description.maxVideoZoomFactor = 4;
    script.description.autoFocusRangeRestrictionSupported = true;
    return script;
  }

  // Pushes a new scanner on a navigation stack shown in the window (as the chip screen does)
  // and lays it out; nothing is pumped.
  std::shared_ptr<OSLScanMRZVC> pushScanner(bool animated = false) {
    if (!navigation) {
      navigation = NavigationController::withRoot(make<ViewController>());
      show(navigation);
    }
    auto scanner = make<OSLScanMRZVC>();
    scanner->completionHandler = [this](std::string text) { completions.push_back(std::move(text)); };
    navigation->pushViewController(scanner, animated);
    runDisplayPass();
    return scanner;
  }

  // Starts over on a new camera (the given one) and a new navigation stack with a scanner pushed
  // and set up, the recorded events cleared.
  std::shared_ptr<OSLScanMRZVC> restartWith(ScriptedCameraDevice script) {
    camera = ImageFileCamera::install();
    camera->addDevice(std::move(script));
    events.clear();
    completions.clear();
    navigation = nullptr;
    auto scanner = pushScanner();
    runUntilIdle();
    return scanner;
  }

  // Plays `count` camera frames (the camera runs at 30 a second) and everything they queue.
  void playFrames(int count) {
    for (int i = 0; i < count; ++i) {
      advance(1.0 / 30);
      runUntilIdle();
    }
  }

  // The alert on screen, if any.
  std::shared_ptr<OSLAlertVC> shownAlert() const {
    auto presenter = window()->rootViewController();
    std::shared_ptr<OSLAlertVC> alert;
    for (auto shown = presenter ? presenter->presentedViewController() : nullptr; shown;
         shown = shown->presentedViewController()) {
      if (auto holder = std::dynamic_pointer_cast<OSLPopupHolderViewController>(shown))
        if (auto found = std::dynamic_pointer_cast<OSLAlertVC>(holder->mainPopVC)) alert = found;
    }
    return alert;
  }

  static bool samePicture(const ImagePtr& a, const ImagePtr& b) {
    if (!a || !b || a->bitmap().size() != b->bitmap().size()) return false;
    return cv::norm(a->bitmap(), b->bitmap(), cv::NORM_INF) == 0;
  }

  // Recognised lines for the scripted recogniser, one box per line down the region.
  static ScriptedTextRecognizer::Lines linesOf(const std::vector<std::string>& texts) {
    ScriptedTextRecognizer::Lines lines;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      const double height = 1.0 / double(texts.size() + 1);
      lines.push_back({texts[i], 0.9f, Rect{0.05, 1 - height * double(i + 1), 0.9, height * 0.8}});
    }
    return lines;
  }

  std::shared_ptr<ImageFileCamera> camera = ImageFileCamera::install();
  std::shared_ptr<ScriptedTextRecognizer> recognizer = ScriptedTextRecognizer::install();
  std::shared_ptr<ScriptedCameraAuthorization> authorization = ScriptedCameraAuthorization::install();
  std::shared_ptr<NavigationController> navigation;
  std::vector<std::string> completions;
  std::vector<TrackedEvent> events;
};

}  // namespace ostrel::scanner_test
