#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "model/OstrelResult.hpp"
#include "platform/ui/NavigationController.hpp"
#include "results/ConfirmViewController.hpp"
#include "results/OSLResulteKYCVC.hpp"
#include "results/OSLSimpleResultVC.hpp"
#include "testing/VerificationServer.hpp"
#include "tests/uikit/UIKitTest.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OSLPopupHolderViewController.hpp"
#include "ui/OstrelBaseViews.hpp"

namespace ostrel::results_test {

using namespace platform;
using testing::ScriptedReply;
using testing::samePixels;

// The keys these screens look up; the dictionary maps each to "[key]".
inline const std::vector<std::string>& screenKeys() {
  static const std::vector<std::string> keys{
      "confirm_title", "confirm_note", "results_info_name", "results_info_id",
      "results_info_dob", "results_info_doi", "results_info_res", "results_info_home",
      "results_info_doe", "results_info_gender", "confirm_gender_m", "confirm_gender_f",
      "osl_confirm_please_retry", "confirm_invalid_id", "confirm_invalid_dob",
      "confirm_invalid_doi", "confirm_invalid_doe", "confirm_invalid_hometown",
      "confirm_invalid_address", "confirm_warning", "results_info_poi",
      "results_info_features", "results_info_type", "results_info_nationality",
      "ekyc_passport", "results_info_father", "results_info_mother", "results_info_spouse",
      "results_title_1", "results_subtitle", "results_ocr_title", "results_title_chip",
      "results_chip_image", "results_decision_approved", "results_decision_manual",
      "results_decision_rejected"};
  return keys;
}

inline std::string bracketed(const std::string& key) {
  return "[" + key + "]";
}

// A UI test whose configuration talks to the local verification server, whose host handlers
// (loading, events, results) write what they hear into `heard`, and whose dictionary maps the
// screens' keys to "[key]".
class ResultsTest : public uikit_test::UIKitTest {
 protected:
  static constexpr const char* kGetResult = "/api/kyc/get-result";
  static constexpr const char* kConfirm = "/api/kyc/confirm";

  ResultsTest() {
    config->withBaseUrl(server.baseUrl());
    server.setExpectedAuthorization("token");
    auto keys = testing::uiKitLocalizationKeys();
    keys.insert(keys.end(), screenKeys().begin(), screenKeys().end());
    setLanguageDictionary(testing::bracketedDictionary(keys));
    auto log = heard;
    auto kept = results;
    config->eventHandler = [log](OSLConfig::Event e) {
      log->push_back("event " + std::to_string(static_cast<int>(e)));
    };
    config->resultHandler = [log, kept](std::shared_ptr<OstrelResult> r) {
      log->push_back(r ? "result" : "no result");
      kept->push_back(r);
    };
    useHostLoading(true);
  }
  ~ResultsTest() override { Ostrel::shared()->setFlowType(OSLFlowType::ekyc()); }

  // The host's loading handlers, or the library's indicator.
  void useHostLoading(bool host) {
    auto log = heard;
    config->showLoadingHandler = host ? OSLConfig::ShowLoadingHandler(
                                            [log](auto) { log->push_back("show loading"); })
                                      : nullptr;
    config->hideLoadingHandler =
        host ? OSLConfig::VoidHandler([log] { log->push_back("hide loading"); }) : nullptr;
  }

  int count(const std::string& what) const {
    return static_cast<int>(std::count(heard->begin(), heard->end(), what));
  }
  // Waits for the host to have heard `what` `times` times, then runs what that queued.
  void await(const std::string& what, int times = 1) {
    EXPECT_TRUE(waitUntil([&] { return count(what) >= times; })) << "never heard " << what;
    runUntilIdle();
  }

  // Replaces the field's text as the user would, then leaves the field (its check runs).
  void enter(const std::shared_ptr<OstrelTextField>& field, const std::string& text) {
    user().clearText(field);
    user().typeText(field, text);
    user().pressReturn(field);
  }
  // Taps confirm and waits until the reply has been handled.
  void confirmAndWait(const std::shared_ptr<ConfirmViewController>& screen) {
    const int hides = count("hide loading");
    user().tap(screen->confirmButton);
    await("hide loading", hides + 1);
  }

  // The confirmation screen as the root of a running session; its reading is requested.
  // Presented at once: an alert for a quick reply must not meet a presentation under way.
  std::shared_ptr<ConfirmViewController> openConfirm() {
    auto screen = loadFromNib<ConfirmViewController>();
    host = make<ViewController>();
    show(host);
    auto navi = NavigationController::withRoot(screen);
    navi->modalPresentationStyle = ModalPresentationStyle::fullScreen;
    Ostrel::shared()->setNaviViewController(navi);
    host->present(navi, false);
    return screen;
  }
  // Opens the confirmation screen on `fields` and waits until they are in.
  std::shared_ptr<ConfirmViewController> openConfirmWith(const JSON& fields) {
    server.setReply(kGetResult, ScriptedReply::data({{"fields", fields}}));
    const int hides = count("hide loading");
    auto screen = openConfirm();
    await("hide loading", hides + 1);
    return screen;
  }

  // Every field the screen requires, as the server reads a card.
  static JSON personFields() {
    return {{"name", "NGUYỄN VĂN A"}, {"id_number", "001099012345"}, {"birthday", "01/01/1990"},
            {"gender", "Nam"},        {"home", "Hà Nội"},            {"resident", "Hà Nội"},
            {"doi", "01/01/2021"},    {"doe", "01/01/2030"},         {"poi", "Cục Cảnh sát"},
            {"features", "Nốt ruồi"}, {"type", "eid24_front"}};
  }

  // The alert the library shows on top of everything, if any.
  std::shared_ptr<OSLAlertVC> shownAlert() const {
    std::shared_ptr<ViewController> top = window()->rootViewController();
    while (top && top->presentedViewController()) top = top->presentedViewController();
    auto holder = std::dynamic_pointer_cast<OSLPopupHolderViewController>(top);
    return holder ? std::dynamic_pointer_cast<OSLAlertVC>(holder->mainPopVC) : nullptr;
  }

  testing::VerificationServer server;
  std::shared_ptr<std::vector<std::string>> heard = std::make_shared<std::vector<std::string>>();
  std::shared_ptr<std::vector<std::shared_ptr<OstrelResult>>> results =
      std::make_shared<std::vector<std::shared_ptr<OstrelResult>>>();
};

}  // namespace ostrel::results_test
