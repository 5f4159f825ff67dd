// The one place that names the library's screen classes: everything below the screen folders
// reaches them only through `ScreenFactories`.
#include "capture/IDCaptureVC.hpp"
#include "core/ScreenFactories.hpp"
#include "liveness/OSLFaceVC.hpp"
#include "liveness/OSLGuideLivenessAdvanceVC.hpp"
#include "nfcscan/OSLResultNFCVC.hpp"
#include "nfcscan/OSLScanNFCVC.hpp"
#include "results/ConfirmViewController.hpp"
#include "results/OSLResulteKYCVC.hpp"
#include "results/OSLSimpleResultVC.hpp"
#include "scanner/OSLQRCodeScannerController.hpp"
#include "ui/OstrelBaseViews.hpp"

namespace ostrel {

void installLibraryScreens(ScreenFactories& factories) {
  // One line per screen, each screen adding its own as it lands. An entry left empty skips its
  // step with a diagnostic.
  factories.vendorLiveness = [] {
    return StepScreen::of(loadFromNib<OSLGuideLivenessAdvanceVC>());
  };
  factories.confirm = [] { return StepScreen::of(loadFromNib<ConfirmViewController>()); };
  factories.ekycResult = OSLResulteKYCVC::create;
  factories.simpleResult = OSLSimpleResultVC::create;
  factories.nfc = [](const OSLFlowType& flow) {
    return StepScreen::of(OSLScanNFCVC::create(flow));
  };
  factories.nfcResult = OSLResultNFCVC::create;
  factories.idCapture = [](bool isFrontId) {
    return StepScreen::of(IDCaptureVC::create(isFrontId));
  };
  factories.face = [](OSLFaceLivenessVersion version) {
    return StepScreen::of(OSLFaceVC::create(version, true));
  };
  factories.qrScanner = [](const QRScannerConfiguration& configuration) {
    return StepScreen::of(OSLQRCodeScannerController::create(configuration));
  };
}

}  // namespace ostrel
