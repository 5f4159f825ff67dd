#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/OSLFaceLivenessVersion.hpp"
#include "core/OSLFlowType.hpp"
#include "core/ScreenFactories.hpp"
#include "core/StepScreen.hpp"
#include "platform/ui/ViewController.hpp"
#include "scan/QRScannerConfiguration.hpp"

namespace ostrel::testing {

// A stand-in for any flow screen: it records what it was made with and finishes its step when
// the test says so, as a real screen calls `onNext` when its step is done.
class ScriptedStepScreen : public platform::ViewController {
 public:
  // "id-front", "id-back", "face-p", "face-a", "vendor", "qr", "nfc", "confirm",
  // "result-ekyc", "result-nfc", "result-simple".
  std::string kind;
  std::optional<OSLFlowType> flowType;
  std::optional<QRScannerConfiguration> qrConfiguration;
  std::shared_ptr<OstrelResult> result;

  std::function<void()> onNext;
  LivenessStarter onNeedLiveness;
  // How often the launcher took the screen back to a fresh state, and the steps it finished
  // since (a fresh screen has finished none).
  int resets = 0;
  int finishedSinceReset = 0;

  void resetForNewRun() {
    ++resets;
    finishedSinceReset = 0;
  }
  // The step is done.
  void finish() {
    ++finishedSinceReset;
    if (onNext) onNext();
  }
};

// Registers stand-ins for every screen factory while alive, puts back the entries it replaced
// when it goes, and keeps every screen made, in order.
class ScriptedScreens {
 public:
  ScriptedScreens();
  ~ScriptedScreens();
  ScriptedScreens(const ScriptedScreens&) = delete;
  ScriptedScreens& operator=(const ScriptedScreens&) = delete;

  const std::vector<std::shared_ptr<ScriptedStepScreen>>& created() const { return created_; }
  std::vector<std::string> kinds() const;
  // The last screen of a kind, or null.
  std::shared_ptr<ScriptedStepScreen> last(const std::string& kind) const;
  // Runs for each screen as it is made (tests put data on the configuration here).
  std::function<void(ScriptedStepScreen&)> onCreate;

  // The screen on top of the facade's navigation controller, when it is a stand-in.
  static std::shared_ptr<ScriptedStepScreen> top();

 private:
  std::shared_ptr<ScriptedStepScreen> make(std::string kind);
  std::vector<std::shared_ptr<ScriptedStepScreen>> created_;
  ScreenFactories replaced_;
};

}  // namespace ostrel::testing
