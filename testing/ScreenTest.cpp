#include "testing/ScreenTest.hpp"

#include <algorithm>

#include "core/Localization.hpp"
#include "platform/foundation/Make.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OSLProgressHUD.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel::testing {

using namespace platform;

LibraryUITest::LibraryUITest() {
  OSLProgressHUD::resetForTesting();
  Ostrel::shared()->setNaviViewController(nullptr);
  config = OSLConfig::Builder("token");
  logged = recordLog(*config);
  Ostrel::shared()->setConfig(config);
  setLanguageDictionary(bracketedDictionary(uiKitLocalizationKeys()));
}

LibraryUITest::~LibraryUITest() {
  OSLProgressHUD::resetForTesting();
  Ostrel::shared()->setNaviViewController(nullptr);
  Ostrel::shared()->setConfig(nullptr);
  setLanguageDictionary(JSON::object());
}

std::shared_ptr<NavigationController> LibraryUITest::startSession(
    const std::shared_ptr<ViewController>& root) {
  host = make<ViewController>();
  show(host);
  auto navi = NavigationController::withRoot(root);
  navi->modalPresentationStyle = ModalPresentationStyle::fullScreen;
  host->present(navi, true);
  advance(1);
  Ostrel::shared()->setNaviViewController(navi);
  return navi;
}

void LibraryUITest::addBracketedKeys(const std::vector<std::string>& keys) {
  JSON dictionary = languageDictionary();
  for (const auto& key : keys) dictionary[key] = "[" + key + "]";
  setLanguageDictionary(dictionary);
}

ImagePtr LibraryUITest::bundleImage(const std::string& name) {
  return Image::named(name, *resourceBundle());
}

bool LibraryUITest::samePixels(const ImagePtr& a, const ImagePtr& b) {
  if (!a || !b || a->bitmap().size() != b->bitmap().size()) return false;
  const cv::Mat& x = a->bitmap();
  const cv::Mat& y = b->bitmap();
  return x.isContinuous() && y.isContinuous() && std::equal(x.datastart, x.dataend, y.datastart);
}

std::shared_ptr<OSLAlertVC> LibraryUITest::alert() const {
  auto shown =
      std::dynamic_pointer_cast<OSLAlertVC>(topMostViewController(window()->rootViewController()));
  return shown && !shown->isEnding() ? shown : nullptr;
}

void LibraryUITest::answerAlert(bool confirm) {
  auto shown = alert();
  ASSERT_TRUE(shown) << "no alert to answer";
  user().tap(confirm ? shown->btnConfirm : shown->btnCancel);
  advance(1);
}

ScreenTest::ScreenTest() {
  config->withBaseUrl(server.baseUrl());
  server.setExpectedAuthorization("token");
  authorization = ScriptedCameraAuthorization::install();
  installCameras(coordinatePicture(480, 640));
}

ScreenTest::~ScreenTest() {
  // Screens still on show stop their cameras while the backend is there.
  Ostrel::shared()->setNaviViewController(nullptr);
  runUntilIdle();
}

void ScreenTest::installCameras(const cv::Mat& upright) {
  camera = ImageFileCamera::install();
  camera->addDevice(
      ScriptedCameraDevice::make(CaptureDevicePosition::back, {ScriptedFrame::picture(upright)}));
  camera->addDevice(
      ScriptedCameraDevice::make(CaptureDevicePosition::front, {ScriptedFrame::picture(upright)}));
}

std::shared_ptr<ImageFileCameraDriver> ScreenTest::backCamera() const {
  return camera->driver(CaptureDevicePosition::back);
}

}  // namespace ostrel::testing
