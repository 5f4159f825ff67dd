#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture/IDCaptureVC.hpp"
#include "core/Localization.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/runtime/Application.hpp"
#include "session/Ostrel.hpp"
#include "testing/ScreenTest.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OSLProgressHUD.hpp"

namespace ostrel::id_capture_test {

using namespace platform;
using Strings = std::vector<std::string>;

// The server paths of the two card sides.
inline constexpr const char* kFront = "/api/kyc/app/scan-front";
inline constexpr const char* kBack = "/api/kyc/app/scan-back";

// The capture screen in a session of its own (the root of the library's navigation
// controller), with every text it shows reading "[key]". The cameras play a coordinate
// picture with the window's aspect ratio at twice its size, so crops can be checked pixel by
// pixel.
class IDCaptureTest : public testing::ScreenTest {
 protected:
  IDCaptureTest() {
    addBracketedKeys({"id_capture_note", "passport_capture_subtitle", "id_capture_title",
                      "title_passport", "id_capture_subtitle", "id_capture_subtitle_front",
                      "id_capture_subtitle_back", "passport_capture_note", "id_capture_ac",
                      "id_capture_ac_success", "button_retry", "button_continue",
                      "error_create_camera", "check_permission_camera_title",
                      "check_permission_camera", "button_no", "button_yes", "error_unknown",
                      "error_invalid_data", "error_timeout"});
    installCameras(testing::coordinatePicture(780, 1688));
    Ostrel::shared()->setFlowType(OSLFlowType::ekyc());
  }
  ~IDCaptureTest() override { Ostrel::shared()->setFlowType(OSLFlowType::ekyc()); }

  // Opens a capture screen as a session's first screen and lets it appear and lay out.
  std::shared_ptr<IDCaptureVC> open(bool isFrontId, bool passport = false) {
    Ostrel::shared()->setFlowType(passport ? OSLFlowType::passport() : OSLFlowType::ekyc());
    screen = IDCaptureVC::create(isFrontId);
    screen->onNext = [this] {
      ++nextCalls;
      if (!platform::isMainQueue()) ++nextCallsOffMain;
    };
    startSession(screen);
    settle();
    return screen;
  }

  // Events the screen sent since the last `clearLog`, by name.
  Strings events() const { return eventNames(); }
  void clearLog() { logged->clear(); }
  const testing::LoggedEvent* lastEvent(const std::string& name) const {
    for (auto it = logged->rbegin(); it != logged->rend(); ++it) {
      if (it->event == name) return &*it;
    }
    return nullptr;
  }

  void tapCapture() {
    user().tap(screen->captureButton);
    settle();
  }
  void tapRetake() {
    user().tap(screen->btnRetake);
    settle();
  }
  void tapContinue() { user().tap(screen->btnConfirm); }

  // Whether the screen is live: camera shown and running, capture button offered, no preview.
  bool isLive() const {
    const auto& session = screen->viewCamera->videoCapture()->captureSession();
    return !screen->viewCamera->isHidden() && session && session->isRunning() &&
           !screen->captureButton->superview()->isHidden() && screen->cardImageView->isHidden() &&
           !screen->cardImageView->image() && screen->btnConfirm->isHidden() &&
           screen->btnRetake->isHidden() && !screen->isPreviewShown();
  }
  // Whether the preview is offered with both buttons.
  bool isPreview() const {
    return screen->isPreviewShown() && !screen->cardImageView->isHidden() &&
           screen->cardImageView->image() && screen->viewCamera->isHidden() &&
           !screen->btnConfirm->isHidden() && !screen->btnRetake->isHidden() &&
           screen->btnConfirm->alpha() == 1 && screen->captureButton->superview()->isHidden();
  }
  int thumbnails() const {
    int n = 0;
    for (const auto& v : screen->cameraMarkView->subviews()) n += v->tag() == IDCaptureVC::kThumbnailTag;
    return n;
  }

  std::shared_ptr<IDCaptureVC> screen;
  int nextCalls = 0;
  int nextCallsOffMain = 0;
};

}  // namespace ostrel::id_capture_test
