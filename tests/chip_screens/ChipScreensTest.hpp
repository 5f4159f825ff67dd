#pragma once

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/CurrentConfig.hpp"
#include "core/Localization.hpp"
#include "platform/foundation/Make.hpp"
#include "model/OstrelResult.hpp"
#include "nfcscan/OSLNFCAntennaVC.hpp"
#include "nfcscan/OSLResultNFCVC.hpp"
#include "nfcscan/OSLScanNFCVC.hpp"
#include "platform/nfc/NFCReaderBackend.hpp"
#include "platform/ui/NavigationController.hpp"
#include "session/Ostrel.hpp"
#include "testing/SamplePerson.hpp"
#include "testing/ScreenTest.hpp"
#include "testing/SimulatedChip.hpp"
#include "testing/SimulatedNFCBackend.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel::chip_screens_test {

using namespace platform;
using testing::ScriptedReply;

// The keys the chip screens look up; the dictionary maps each to "[key]".
inline const std::vector<std::string>& chipScreenKeys() {
  static const std::vector<std::string> keys{
      "nfc_title", "nfc_not_support", "guide_note", "nfc_button_start", "nfc_skip",
      "guide_nfc_1", "guide_nfc_2", "guide_nfc_3", "guide_nfc_4", "nfc_button_nfc_location",
      "nfc_refresh", "error_unknown", "nfc_error_invalid_qrcode_title",
      "nfc_error_invalid_qrcode_message", "button_retry", "button_cancel",
      "nfc_reading_message_1", "nfc_reading_message_2", "nfc_location_title",
      "results_title_1", "button_confirm", "results_title_chip", "results_chip_image",
      "results_title_2_success", "results_decision_manual", "results_decision_rejected",
      "results_info_id", "results_info_name", "results_info_dob", "results_info_gender",
      "results_info_home", "results_info_res", "results_info_doi", "results_info_doe",
      "results_info_features", "results_info_father", "results_info_mother",
      "results_info_spouse"};
  return keys;
}

// A chip-screen test: the local verification server, the simulated field holding the sample
// person's ID card, and host handlers (loading, events, results, chip errors) that write what
// they hear into `heard`.
class ChipScreenTest : public testing::ScreenTest {
 public:
  // Reached by the table rows' closures.
  using testing::ScreenTest::advance;
  using testing::ScreenTest::user;

 protected:
  ChipScreenTest() {
    addBracketedKeys(chipScreenKeys());
    chip = testing::SimulatedChip::idCard();
    backend = std::make_shared<testing::SimulatedNFCBackend>();
    backend->setTags(testing::SimulatedNFCBackend::chips({chip}));
    NFCReaderBackend::install(backend);
    auto log = heard;
    config->showLoadingHandler = [log](auto) { log->push_back("show loading"); };
    config->hideLoadingHandler = [log] { log->push_back("hide loading"); };
    config->eventHandler = [log](OSLConfig::Event e) {
      log->push_back("event " + std::to_string(static_cast<int>(e)));
    };
    auto kept = results;
    config->resultHandler = [log, kept](std::shared_ptr<OstrelResult> r) {
      log->push_back(r ? "result" : "no result");
      kept->push_back(r);
    };
  }
  ~ChipScreenTest() override {
    Ostrel::shared()->close(true, {});
    runUntilIdle();
    NFCReaderBackend::install(nullptr);
    Ostrel::shared()->setFlowType(OSLFlowType::ekyc());
  }

  // The chip screen as the root of a running session of its flow.
  // A closed session resets the facade's configuration; each new one puts the test's back.
  std::shared_ptr<OSLScanNFCVC> open(const OSLFlowType& flow) {
    Ostrel::shared()->setConfig(config);
    Ostrel::shared()->setFlowType(flow);
    auto screen = OSLScanNFCVC::create(flow);
    startSession(screen);
    return screen;
  }

  int count(const std::string& what) const {
    return static_cast<int>(std::count(heard->begin(), heard->end(), what));
  }
  // Waits for the host to have heard `what` `times` times: real time for the server's threads,
  // and the virtual clock moved on a little at a time for the animations in between.
  void await(const std::string& what, int times = 1) {
    for (int i = 0; i < 100 && count(what) < times; ++i) {
      waitUntil([&] { return count(what) >= times; }, 0.05);
      advance(0.25);
    }
    EXPECT_GE(count(what), times) << "never heard " << what;
    runUntilIdle();
  }
  // Waits for the server to have seen `n` requests on `path`.
  void awaitRequests(const std::string& path, std::size_t n = 1) {
    EXPECT_TRUE(waitUntil([&] { return server.requests(path).size() >= n; }))
        << "no request on " << path;
    runUntilIdle();
  }
  int countEvents(const std::string& name) const {
    auto names = eventNames();
    return static_cast<int>(std::count(names.begin(), names.end(), name));
  }
  std::optional<testing::LoggedEvent> lastEvent(const std::string& name) const {
    for (auto it = logged->rbegin(); it != logged->rend(); ++it) {
      if (it->event == name) return *it;
    }
    return std::nullopt;
  }
  // Closes the session as the user would and lets the dismissal finish.
  void endSession() {
    Ostrel::shared()->close(true, {});
    advance(1);
    runUntilIdle();
  }

  // Taps scan and lets the card enter the field and the read run to its end.
  void tapScanAndRead(const std::shared_ptr<OSLScanNFCVC>& screen) {
    user().tap(screen->btnScanNFC);
    advance(1);
    runUntilIdle();
  }

 public:
  std::shared_ptr<testing::SimulatedChip> chip;
  std::shared_ptr<testing::SimulatedNFCBackend> backend;

 protected:
  std::shared_ptr<std::vector<std::string>> heard = std::make_shared<std::vector<std::string>>();
  std::shared_ptr<std::vector<std::shared_ptr<OstrelResult>>> results =
      std::make_shared<std::vector<std::shared_ptr<OstrelResult>>>();
};

}  // namespace ostrel::chip_screens_test
