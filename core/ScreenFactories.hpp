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

// How the flow launcher makes each screen. `installLibraryScreens` fills the entries of the
// library's own screens (tests replace them with scripted stand-ins); the launcher knows no
// screen class. An empty entry, or one that returns no controller, means the screen is not
// available: the step is skipped with a diagnostic rather than crashing the flow. Read and
// written on the main queue.
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

  // The table the library uses, filled by `installLibraryScreens` when first used (so a host
  // that builds its configuration's steps before anything else still finds the screens).
  static ScreenFactories& shared();
  // Back to the library's own screens, as `installLibraryScreens` fills them.
  static void reset();
};

// Fills the entry of every screen the library has. Defined in the one file above all screen
// folders (`screens/InstallLibraryScreens.cpp`); `ScreenFactories::shared()` calls it, which
// also keeps the static library's linker from dropping any screen.
void installLibraryScreens(ScreenFactories& factories);

}  // namespace ostrel
