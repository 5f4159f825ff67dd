#include "nfcscan/OSLScanNFCVC.hpp"

#include "core/CurrentConfig.hpp"
#include "core/Helpers.hpp"
#include "core/Localization.hpp"
#include "core/OstrelScanNFCError.hpp"
#include "nfcscan/OSLNFCAntennaVC.hpp"
#include "nfcscan/OSLScanNFCVCSupport.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/ui/NavigationController.hpp"
#include "session/HelpersAlerts.hpp"
#include "session/Ostrel.hpp"
#include "ui/OstrelBaseViews.hpp"
#include "ui/OstrelToast.hpp"

namespace ostrel {

using namespace platform;
using namespace scan_nfc_vc_support;

// ------------------------------------------------------------------------------ actions

void OSLScanNFCVC::btnScanClicked() { handleScanTap(); }

void OSLScanNFCVC::btnSkipClicked() { continueAfterVerification(true); }

void OSLScanNFCVC::handleScanTap() { startChipReading(); }

void OSLScanNFCVC::showRefreshToast() {
  auto toast = make<OstrelToast>(osl_localize("nfc_refresh"));
  toast->show(view());
  toast->setTransform(AffineTransform::scale(0.9, 0.9).translatedBy(0, -100));
  std::weak_ptr<OstrelToast> weakToast = toast;
  AnimationOptions options;
  options.allowUserInteraction = true;
  options.curve = TimingFunction::easeOut;
  View::animate(
      0.2, 0, options,
      [weakToast] {
        if (auto t = weakToast.lock()) t->setTransform(AffineTransform::identity());
      },
      [weakToast](bool) {
        if (auto t = weakToast.lock()) t->hide(2.5);
      });
}

void OSLScanNFCVC::closeTapped() {
  Helpers::showAlert(
      2, -1, nullptr, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
      [] { report(OSLLogLevel::info, OSLTrackingEvent::EXIT_TAP_NO); },
      [] {
        Ostrel::shared()->close(true,
                                [] { report(OSLLogLevel::info, OSLTrackingEvent::EXIT_TAP_YES); });
      },
      topPresenter());
  report(OSLLogLevel::info, OSLTrackingEvent::TAP_EXIT);
}

void OSLScanNFCVC::showTutorial() {
  auto sheet = loadFromNib<OSLNFCAntennaVC>();
  sheet->modalPresentationStyle = ModalPresentationStyle::formSheet;
  present(sheet, true);
  report(OSLLogLevel::info, OSLTrackingEvent::NFC_TAP_LOCATION);
}

std::shared_ptr<ViewController> OSLScanNFCVC::topPresenter() {
  std::shared_ptr<ViewController> top = shared<ViewController>();
  while (auto presented = top->presentedViewController()) top = presented;
  return top;
}

bool OSLScanNFCVC::sessionEnded() const {
  auto navigation = navigationController();
  return !navigation || navigation != Ostrel::shared()->naviViewController();
}

void OSLScanNFCVC::endOpenRead() {
  if (state.isClosedPopup) return;
  // The outcome of the ended read belongs to an old attempt and is only reported.
  ++attempt_;
  state.isClosedPopup = true;
  if (state.nfcReader) state.nfcReader->endOpenRead();
}

// ------------------------------------------------------------------------------ errors

void OSLScanNFCVC::handleError(const std::string& message, int code, bool isServerError) {
  if (code == 401 && isServerError) {
    Helpers::showTimeoutAlert(nullptr);
    return;
  }
  auto config = currentConfig();
  std::weak_ptr<OSLScanNFCVC> weakSelf = weak<OSLScanNFCVC>();
  if (auto handler = config->errorScanNFCHandler) {
    std::function<void()> action;
    if (code == 401 && !isServerError) {
      action = [weakSelf] {
        if (auto self = weakSelf.lock()) {
          self->startCountdown();
          self->startChipReading();
        }
      };
    }
    std::function<void()> retry = [weakSelf] {
      if (auto self = weakSelf.lock()) self->startCountdown();
    };
    handler(scanNFCErrorFromCode(code), message, std::move(action), std::move(retry));
    return;
  }
  if (auto handler = config->showErrorAlertHandler) {
    handler(message, code, shared<OSLScanNFCVC>());
    return;
  }
  Helpers::showAlert(1, code, nullptr, std::nullopt, message, std::nullopt, std::nullopt, nullptr,
                     nullptr, nullptr);
}

}  // namespace ostrel
