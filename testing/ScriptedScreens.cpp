#include "testing/ScriptedScreens.hpp"

#include "session/Ostrel.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/ui/NavigationController.hpp"

namespace ostrel::testing {

ScriptedScreens::ScriptedScreens() : replaced_(ScreenFactories::shared()) {
  auto& f = ScreenFactories::shared();
  f.idCapture = [this](bool isFrontId) {
    return StepScreen::of(make(isFrontId ? "id-front" : "id-back"));
  };
  f.face = [this](OSLFaceLivenessVersion version) {
    return StepScreen::of(make(std::string("face-") + variantKey(version)));
  };
  f.vendorLiveness = [this] { return StepScreen::of(make("vendor")); };
  f.qrScanner = [this](const QRScannerConfiguration& configuration) {
    auto screen = make("qr");
    screen->qrConfiguration = configuration;
    return StepScreen::of(screen);
  };
  f.nfc = [this](const OSLFlowType& flow) {
    auto screen = make("nfc");
    screen->flowType = flow;
    return StepScreen::of(screen);
  };
  f.confirm = [this] { return StepScreen::of(make("confirm")); };
  auto resultFactory = [this](const char* kind) {
    return [this, kind](std::shared_ptr<OstrelResult> result) {
      auto screen = make(kind);
      screen->result = std::move(result);
      return std::static_pointer_cast<platform::ViewController>(screen);
    };
  };
  f.ekycResult = resultFactory("result-ekyc");
  f.nfcResult = resultFactory("result-nfc");
  f.simpleResult = resultFactory("result-simple");
}

ScriptedScreens::~ScriptedScreens() {
  ScreenFactories::shared() = std::move(replaced_);
}

std::shared_ptr<ScriptedStepScreen> ScriptedScreens::make(std::string kind) {
  auto screen = platform::make<ScriptedStepScreen>();
  screen->kind = std::move(kind);
  created_.push_back(screen);
  if (onCreate) onCreate(*screen);
  return screen;
}

std::vector<std::string> ScriptedScreens::kinds() const {
  std::vector<std::string> kinds;
  for (const auto& s : created_) kinds.push_back(s->kind);
  return kinds;
}

std::shared_ptr<ScriptedStepScreen> ScriptedScreens::last(const std::string& kind) const {
  for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
    if ((*it)->kind == kind) return *it;
  }
  return nullptr;
}

std::shared_ptr<ScriptedStepScreen> ScriptedScreens::top() {
  auto navi = Ostrel::shared()->naviViewController();
  if (!navi) return nullptr;
  return std::dynamic_pointer_cast<ScriptedStepScreen>(navi->topViewController());
}

}  // namespace ostrel::testing
