#pragma once

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "core/Localization.hpp"
#include "session/Ostrel.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/media/Image.hpp"
#include "platform/runtime/Application.hpp"
#include "platform/ui/NavigationController.hpp"
#include "testing/ScriptedUser.hpp"
#include "testing/TestHelpers.hpp"
#include "ui/OSLProgressHUD.hpp"
#include "ui/ResourceBundle.hpp"

namespace ostrel::uikit_test {

using namespace platform;

using testing::LoggedEvent;

// A UI test with a fresh facade configuration whose log handler records, a language dictionary
// mapping each key the kit uses to "[key]", and a fresh loading indicator.
class UIKitTest : public testing::UITest {
 protected:
  UIKitTest() {
    OSLProgressHUD::resetForTesting();
    Ostrel::shared()->setNaviViewController(nullptr);
    config = OSLConfig::Builder("token");
    logged = testing::recordLog(*config);
    Ostrel::shared()->setConfig(config);
    setLanguageDictionary(testing::bracketedDictionary(testing::uiKitLocalizationKeys()));
  }
  ~UIKitTest() override {
    OSLProgressHUD::resetForTesting();
    Ostrel::shared()->setNaviViewController(nullptr);
    Ostrel::shared()->setConfig(nullptr);
    setLanguageDictionary(JSON::object());
  }

  // A host screen in the window with the library's navigation controller (holding `root`)
  // presented over it and registered with the facade, as a running session leaves things.
  std::shared_ptr<NavigationController> startSession(const std::shared_ptr<ViewController>& root) {
    host = make<ViewController>();
    show(host);
    auto navi = NavigationController::withRoot(root);
    navi->modalPresentationStyle = ModalPresentationStyle::fullScreen;
    host->present(navi, true);
    advance(1);
    Ostrel::shared()->setNaviViewController(navi);
    return navi;
  }

  std::vector<std::string> eventNames() const { return testing::eventNames(logged); }

  static ImagePtr bundleImage(const std::string& name) {
    return Image::named(name, *resourceBundle());
  }
  static bool samePixels(const ImagePtr& a, const ImagePtr& b) {
    if (!a || !b || a->bitmap().size() != b->bitmap().size()) return false;
    const cv::Mat& x = a->bitmap();
    const cv::Mat& y = b->bitmap();
    return x.isContinuous() && y.isContinuous() && std::equal(x.datastart, x.dataend, y.datastart);
  }

  std::shared_ptr<OSLConfig> config;
  testing::LogRecord logged;
  std::shared_ptr<ViewController> host;
};

}  // namespace ostrel::uikit_test
