#pragma once

#include <functional>
#include <memory>

#include "core/OSLFaceLivenessVersion.hpp"
#include "core/OSLFlowType.hpp"
#include "core/StepScreen.hpp"
#include "platform/ui/ViewController.hpp"
#include "scan/QRScannerConfiguration.hpp"

namespace ostrel {

class OstrelResult;

// How the flow launcher makes each screen. The subsystem that owns a screen fills its entry
// (tests fill them with scripted stand-ins); the launcher knows no screen class. An empty entry,
// or one that returns no controller, means the screen is not available: the step is skipped
// with a diagnostic rather than crashing the flow. Read and written on the main queue.
struct ScreenFactories {
  using ResultFactory =
      std::function<std::shared_ptr<platform::ViewController>(std::shared_ptr<OstrelResult>)>;

  // ID card capture, front or back; in the passport flow the screen reads the flow type.
  std::function<StepScreen(bool isFrontId)> idCapture;
  // The in-house face liveness screen for a version, mask on.
  std::function<StepScreen(OSLFaceLivenessVersion)> face;
  // The outside vendor's liveness screen (the semi-active version).
  std::function<StepScreen()> vendorLiveness;
  std::function<StepScreen(const QRScannerConfiguration&)> qrScanner;
  // The chip screen for a chip flow.
  std::function<StepScreen(const OSLFlowType&)> nfc;
  // The review-and-confirm screen that ends the ID flows.
  std::function<StepScreen()> confirm;
  ResultFactory ekycResult;
  ResultFactory nfcResult;
  ResultFactory simpleResult;

  static ScreenFactories& shared();
  // Back to all entries empty.
  static void reset();
};

}  // namespace ostrel
