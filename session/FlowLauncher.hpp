#pragma once

#include <functional>
#include <memory>

#include "core/OSLFaceLivenessVersion.hpp"
#include "core/OSLFlowType.hpp"
#include "core/ScreenFactories.hpp"
#include "core/StepScreen.hpp"
#include "scan/QRScannerConfiguration.hpp"

namespace ostrel {

class OSLConfig;
class OstrelResult;

// Chains the steps of every flow. Each step screen calls its `onNext` when done; the launcher
// set that continuation, so only it knows the order. Screens come from `ScreenFactories` and
// everything runs on the main queue. Every step after the first is pushed, animated, on the
// facade's navigation controller as it is at that moment (nothing happens without one).
class FlowLauncher {
 public:
  // Makes the flow's first screen the root of a new navigation controller kept by the facade,
  // and presents that animated and full-screen over the top-most presented controller of the
  // key window. False when nothing could be started (no first screen, nothing to present on).
  static bool start(const OSLFlowType& flow);

  // Chains the configuration's own steps and presents the first, in a navigation controller
  // kept by the facade, from `from` (the top-most controller of the key window when null).
  // After the last step the session closes as cancelled, the result handler gets no result,
  // then `completion` runs. False when there is nothing to run or nothing to present on.
  static bool startConfiguredSteps(const std::shared_ptr<OSLConfig>& config,
                                   std::shared_ptr<platform::ViewController> from, bool animated,
                                   std::function<void()> completion);

  // The face step for a liveness version: the vendor's screen for semi-active, else the
  // in-house one.
  static StepScreen makeFaceStep(OSLFaceLivenessVersion version);
  // Pushes the face step of the configuration's liveness version; when it is done it is popped
  // and `continuation` (when set) runs. Given to the chip screen as `onNeedLiveness`. Returns
  // whether the face step was pushed (the continuation never runs otherwise).
  static bool startLiveness(std::function<void()> continuation);
  static LivenessStarter livenessStarter();

  // The QR step's configuration: localised texts, the library's images and the main colour.
  static QRScannerConfiguration qrConfiguration();

  // Builds the result screen (the reasons-only one when the configuration asks for it,
  // otherwise `creator`'s) and pushes it; dropped without a navigation controller.
  static void pushResultScreen(std::shared_ptr<OstrelResult> result,
                               const ScreenFactories::ResultFactory& creator);

  // Pushes a step whose `onNext` is `next`; false when the screen is not available.
  static bool push(StepScreen step, std::function<void()> next);
};

}  // namespace ostrel
