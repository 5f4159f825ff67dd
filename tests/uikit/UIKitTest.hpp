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
#include "ui/OSLProgressHUD.hpp"
#include "ui/ResourceBundle.hpp"

namespace ostrel::uikit_test {

using namespace platform;

// What the host's log handler heard.
struct LoggedEvent {
  OSLLogLevel level;
  std::string event;
  std::string screen;
  JSON data;
};

// A UI test with a fresh facade configuration whose log handler records, a language dictionary
// mapping each key the kit uses to "[key]", and a fresh loading indicator.
class UIKitTest : public testing::UITest {
 protected:
  UIKitTest() {
    OSLProgressHUD::reset();
    Ostrel::shared()->setNaviViewController(nullptr);
    config = OSLConfig::Builder("token");
    auto log = logged;
    config->logHandler = [log](OSLLogLevel level, const std::string& event,
                               const std::string& screen, const JSON& data, const JSON&) {
      log->push_back({level, event, screen, data});
    };
    Ostrel::shared()->setConfig(config);
    JSON dictionary = JSON::object();
    for (const char* key :
         {"error_unknown", "error_timeout", "button_retry", "error_network", "button_confirm",
          "exit_confirm_title", "exit_confirm_message", "button_cancel", "please_wait",
          "error_invalid_data", "guide_id_title", "guide_liveness_title", "guide_passport_title",
          "guide_note", "guide_reject_title", "guide_button_close", "guide_button_open"}) {
      dictionary[key] = std::string("[") + key + "]";
    }
    for (int n = 1; n <= 4; ++n) {
      for (const char* prefix :
           {"guide_id_", "guide_liveness_", "guide_id_reject_", "guide_liveness_reject_"}) {
        std::string key = prefix + std::to_string(n);
        dictionary[key] = "[" + key + "]";
      }
    }
    setLanguageDictionary(dictionary);
  }
  ~UIKitTest() override {
    OSLProgressHUD::reset();
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

  std::vector<std::string> eventNames() const {
    std::vector<std::string> names;
    for (const auto& e : *logged) names.push_back(e.event);
    return names;
  }

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
  std::shared_ptr<std::vector<LoggedEvent>> logged = std::make_shared<std::vector<LoggedEvent>>();
  std::shared_ptr<ViewController> host;
};

}  // namespace ostrel::uikit_test
