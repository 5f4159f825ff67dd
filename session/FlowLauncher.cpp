#include "session/FlowLauncher.hpp"

#include "core/CurrentConfig.hpp"
#include "core/Localization.hpp"
#include "core/OSLConfig.hpp"
#include "model/OSLBackResult.hpp"
#include "model/OSLConfirmResult.hpp"
#include "model/OSLFrontResult.hpp"
#include "model/OstrelResult.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/Text.hpp"
#include "session/Ostrel.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {
namespace {

using platform::NavigationController;
using platform::ViewController;

ScreenFactories& factories() {
  return ScreenFactories::shared();
}

// Readies a step for this run: out of a navigation controller an earlier session left behind
// (a controller with a parent cannot be pushed again), then back to a fresh screen's state.
// Done before its continuations are set, so the reset cannot clear them.
void prepareForRun(const StepScreen& step) {
  if (!step) return;
  if (auto parent = step.controller->parent()) {
    if (auto old = std::dynamic_pointer_cast<NavigationController>(parent)) {
      auto kept = old->viewControllers();
      std::erase(kept, step.controller);
      old->setViewControllers(std::move(kept), false);
    }
    step.controller->removeFromParent();
  }
  if (step.resetForNewRun) step.resetForNewRun();
}

void wireLiveness(StepScreen& step) {
  if (step.setOnNeedLiveness) step.setOnNeedLiveness(FlowLauncher::livenessStarter());
}

StepScreen idCaptureStep(bool isFrontId) {
  return factories().idCapture ? factories().idCapture(isFrontId) : StepScreen{};
}

StepScreen chipStep(const OSLFlowType& flow) {
  auto step = factories().nfc ? factories().nfc(flow) : StepScreen{};
  wireLiveness(step);
  return step;
}

StepScreen qrStep() {
  return factories().qrScanner ? factories().qrScanner(FlowLauncher::qrConfiguration())
                               : StepScreen{};
}

// The session ends without a result: closed as cancelled, then the result handler hears that
// there is none.
void endWithoutResult(std::function<void()> afterwards) {
  Ostrel::shared()->close(true, [afterwards = std::move(afterwards)] {
    if (auto handler = currentConfig()->resultHandler) handler(nullptr);
    if (afterwards) afterwards();
  });
}

void showConfirm() {
  FlowLauncher::push(factories().confirm ? factories().confirm() : StepScreen{}, {});
}

void showFace(std::function<void()> next) {
  FlowLauncher::push(FlowLauncher::makeFaceStep(currentConfig()->livenessVersion), std::move(next));
}

void showFaceThenConfirm() {
  showFace(showConfirm);
}

// The QR step when the configuration enables it, then `next`.
void showQRThen(std::function<void()> next) {
  if (!currentConfig()->isQRCodeScanEnabled) {
    next();
    return;
  }
  FlowLauncher::push(qrStep(), std::move(next));
}

bool isChipCard(const std::shared_ptr<OSLBackResult>& back) {
  if (!back || !back->cardType) return false;
  const std::string type = platform::lowercased(*back->cardType);
  return type == "eid24_back" || type == "eid_back";
}

// In the chip flow a card with a chip is read before the face step, with the MRZ the server
// read from the back.
void showChipIfCardHasOne() {
  auto back = currentConfig()->backResult;
  if (!isChipCard(back)) {
    showFaceThenConfirm();
    return;
  }
  std::optional<std::string> mrz;
  if (back->mrz) mrz = back->mrz->raw_mrz;
  FlowLauncher::push(chipStep(OSLFlowType::nfc_ekyc(std::move(mrz))), showFaceThenConfirm);
}

void showPassportResult() {
  auto result = std::make_shared<OstrelResult>(
      platform::JSON::object(), std::make_shared<OSLFrontResult>(),
      std::make_shared<OSLBackResult>(), std::make_shared<OSLConfirmResult>());
  FlowLauncher::pushResultScreen(std::move(result), factories().ekycResult);
}

void showIdBack(bool chipFlow) {
  FlowLauncher::push(idCaptureStep(false), [chipFlow] {
    showQRThen(chipFlow ? std::function<void()>(showChipIfCardHasOne)
                        : std::function<void()>(showFaceThenConfirm));
  });
}

// The flow's first screen, its continuations set.
StepScreen firstStep(const OSLFlowType& flow) {
  StepScreen first;
  std::function<void()> next;
  switch (flow.kind) {
    case OSLFlowType::Kind::ekyc:
    case OSLFlowType::Kind::nfc_ekyc: {
      const bool chipFlow = flow.kind == OSLFlowType::Kind::nfc_ekyc;
      first = idCaptureStep(true);
      next = [chipFlow] { showIdBack(chipFlow); };
      break;
    }
    case OSLFlowType::Kind::passport:
      first = idCaptureStep(true);
      next = [] { showFace(showPassportResult); };
      break;
    case OSLFlowType::Kind::nfc_only: {
      // The chip screen confirms and ends the flow itself; reaching its `onNext` means the
      // host's chip-data handler accepted the data, which ends the session like configured
      // steps do.
      auto chipNext = [] { endWithoutResult({}); };
      if (currentConfig()->isQRCodeScanEnabled) {
        first = qrStep();
        next = [flow, chipNext] { FlowLauncher::push(chipStep(flow), chipNext); };
      } else {
        first = chipStep(flow);
        next = chipNext;
      }
      break;
    }
  }
  prepareForRun(first);
  if (first && first.setOnNext) first.setOnNext(std::move(next));
  return first;
}

// The top-most controller the key window's root presents.
std::shared_ptr<ViewController> topMostPresented() {
  auto window = currentKeyWindow();
  auto top = window ? window->rootViewController() : nullptr;
  while (top && top->presentedViewController()) top = top->presentedViewController();
  return top;
}

bool presentSession(const StepScreen& first, std::shared_ptr<ViewController> from, bool animated) {
  if (Ostrel::shared()->naviViewController()) {
    platform::debugLog("run: a session is already on screen");
    return false;
  }
  if (!from) from = topMostPresented();
  if (!from) {
    platform::debugLog("run: no key window to present the session on");
    return false;
  }
  auto navi = NavigationController::withRoot(first.controller);
  navi->modalPresentationStyle = platform::ModalPresentationStyle::fullScreen;
  // Kept before presenting: the first screen may look for it as it appears.
  Ostrel::shared()->setNaviViewController(navi);
  if (!from->present(navi, animated)) {
    Ostrel::shared()->setNaviViewController(nullptr);
    return false;
  }
  return true;
}

void configuredStepDone(const std::weak_ptr<OSLConfig>& weakConfig, std::size_t index,
                        const std::shared_ptr<std::function<void()>>& completion);

std::function<void()> configuredNext(const std::weak_ptr<OSLConfig>& weakConfig, std::size_t index,
                                     const std::shared_ptr<std::function<void()>>& completion) {
  return [weakConfig, index, completion] { configuredStepDone(weakConfig, index, completion); };
}

void configuredStepDone(const std::weak_ptr<OSLConfig>& weakConfig, std::size_t index,
                        const std::shared_ptr<std::function<void()>>& completion) {
  auto config = weakConfig.lock();
  if (config && index + 1 < config->steps.size()) {
    // The steps are read from the configuration that owns them, so no screen owns another.
    auto next = config->steps[index + 1];
    FlowLauncher::push(std::move(next), configuredNext(weakConfig, index + 1, completion));
    return;
  }
  endWithoutResult([completion] {
    if (*completion) (*completion)();
  });
}

}  // namespace

bool FlowLauncher::start(const OSLFlowType& flow) {
  platform::assertOnQueue(platform::DispatchQueue::main());
  auto first = firstStep(flow);
  if (!first) {
    platform::debugLog(std::string("run: no first screen for the flow ") + flow.key());
    return false;
  }
  return presentSession(first, nullptr, true);
}

bool FlowLauncher::startConfiguredSteps(const std::shared_ptr<OSLConfig>& config,
                                        std::shared_ptr<ViewController> from, bool animated,
                                        std::function<void()> completion) {
  platform::assertOnQueue(platform::DispatchQueue::main());
  if (!config || config->steps.empty()) {
    platform::debugLog("run: the configuration has no steps");
    return false;
  }
  auto shared = std::make_shared<std::function<void()>>(std::move(completion));
  auto first = config->steps.front();
  prepareForRun(first);
  if (first.setOnNext) first.setOnNext(configuredNext(config, 0, shared));
  return presentSession(first, std::move(from), animated);
}

StepScreen FlowLauncher::makeFaceStep(OSLFaceLivenessVersion version) {
  if (version == OSLFaceLivenessVersion::semiActive) {
    return factories().vendorLiveness ? factories().vendorLiveness() : StepScreen{};
  }
  return factories().face ? factories().face(version) : StepScreen{};
}

bool FlowLauncher::startLiveness(std::function<void()> continuation) {
  platform::assertOnQueue(platform::DispatchQueue::main());
  return push(makeFaceStep(currentConfig()->livenessVersion), [continuation = std::move(continuation)] {
    if (auto navi = Ostrel::shared()->naviViewController()) navi->popViewController(true);
    if (continuation) continuation();
  });
}

LivenessStarter FlowLauncher::livenessStarter() {
  return [](std::function<void()> continuation) { return startLiveness(std::move(continuation)); };
}

QRScannerConfiguration FlowLauncher::qrConfiguration() {
  auto bundle = resourceBundle();
  auto image = [&](const char* name) -> platform::ImagePtr {
    return bundle ? platform::Image::named(name, *bundle) : nullptr;
  };
  auto appearance = currentAppearance();
  QRScannerConfiguration c;
  c.title = osl_localize("scan_qr_code");
  c.hint = osl_localize("qr_code_scan_guide");
  c.invalidQRCodeAlertTitle = osl_localize("invalid_qr_code");
  c.invalidQRCodeAlertActionTitle = osl_localize("button_confirm");
  c.uploadFromPhotosTitle = osl_localize("upload_from_photos");
  c.cameraImage = image("ic_switch_camera");
  c.flashOnImage = image("ic_flash_off");
  c.galleryImage = image("ic_gallery");
  c.length = 20;
  c.color = colorFromHex(appearance->mainColor);
  c.radius = 16;
  c.thickness = 8;
  c.readQRFromPhotos = false;
  c.cancelButtonTitle = osl_localize("button_cancel");
  c.cancelButtonTintColor = std::nullopt;
  c.hideNavigationBar = true;
  c.regexValidResult = std::nullopt;
  return c;
}

void FlowLauncher::pushResultScreen(std::shared_ptr<OstrelResult> result,
                                    const ScreenFactories::ResultFactory& creator) {
  platform::assertOnQueue(platform::DispatchQueue::main());
  const auto& make =
      currentConfig()->isOnlyShowReasonInResultVC ? factories().simpleResult : creator;
  auto screen = make ? make(std::move(result)) : nullptr;
  auto navi = Ostrel::shared()->naviViewController();
  if (!screen || !navi) {
    platform::debugLog("result screen dropped: no screen or no navigation controller");
    return;
  }
  navi->pushViewController(screen, true);
}

bool FlowLauncher::push(StepScreen step, std::function<void()> next) {
  platform::assertOnQueue(platform::DispatchQueue::main());
  if (!step) {
    platform::debugLog("flow: a step screen is not available in this build");
    return false;
  }
  prepareForRun(step);
  if (step.setOnNext) step.setOnNext(std::move(next));
  auto navi = Ostrel::shared()->naviViewController();
  if (!navi) return false;
  navi->pushViewController(step.controller, true);
  return true;
}

}  // namespace ostrel
