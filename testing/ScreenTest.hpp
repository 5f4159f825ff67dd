#pragma once

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/camera/CaptureDevice.hpp"
#include "platform/foundation/JSON.hpp"
#include "platform/media/Image.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/ViewController.hpp"
#include "session/Ostrel.hpp"
#include "testing/ImageFileCamera.hpp"
#include "testing/ScriptedCameraAuthorization.hpp"
#include "testing/ScriptedUser.hpp"
#include "testing/TestHelpers.hpp"
#include "testing/VerificationServer.hpp"

namespace ostrel {
class OSLAlertVC;
}

namespace ostrel::testing {

// A UI test of library screens: a fresh facade configuration (session "token") whose log
// handler records, a language dictionary mapping each key the UI kit uses to "[key]", and a
// fresh loading indicator. Everything is put back afterwards.
class LibraryUITest : public UITest {
 protected:
  LibraryUITest();
  ~LibraryUITest() override;

  // A host screen in the window with the library's navigation controller (holding `root`)
  // presented over it and registered with the facade, as a running session leaves things.
  std::shared_ptr<platform::NavigationController> startSession(
      const std::shared_ptr<platform::ViewController>& root);

  std::vector<std::string> eventNames() const { return testing::eventNames(logged); }
  // Adds "[key]" entries for `keys` to the language dictionary in use.
  static void addBracketedKeys(const std::vector<std::string>& keys);

  static platform::ImagePtr bundleImage(const std::string& name);
  static bool samePixels(const platform::ImagePtr& a, const platform::ImagePtr& b);

  // The alert on top of everything, when one is shown and not going away.
  std::shared_ptr<OSLAlertVC> alert() const;
  // Taps the shown alert's confirm or cancel button and lets it go.
  void answerAlert(bool confirm);

  std::shared_ptr<OSLConfig> config;
  LogRecord logged;
  std::shared_ptr<platform::ViewController> host;
};

// A library screen test with everything a step screen reaches out to: the configuration
// points at the local verification server (which expects "token"), the camera permission is
// scripted (authorised), and the image-file camera offers a back and a front camera playing
// `framePicture` (a coordinate picture 480 x 640 unless a test sets another before the camera
// starts). The facade's session is closed and replies are dropped afterwards.
class ScreenTest : public LibraryUITest {
 protected:
  ScreenTest();
  ~ScreenTest() override;

  // Puts the cameras in place with `upright` as every frame (call before a screen starts its
  // camera). Done with the default picture by the constructor.
  void installCameras(const cv::Mat& upright);
  std::shared_ptr<ImageFileCameraDriver> backCamera() const;

  // Lets queued work, animations and the display pass run.
  void settle(double seconds = 0.5) {
    advance(seconds);
    runDisplayPass();
    runUntilIdle();
  }

  VerificationServer server;
  std::shared_ptr<ScriptedCameraAuthorization> authorization;
  std::shared_ptr<ImageFileCamera> camera;
};

}  // namespace ostrel::testing
