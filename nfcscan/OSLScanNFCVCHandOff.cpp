#include "nfcscan/OSLScanNFCVC.hpp"

#include <utility>

#include "core/CurrentConfig.hpp"
#include "core/Helpers.hpp"
#include "core/Localization.hpp"
#include "core/OSLRawDataProcessor.hpp"
#include "core/OnMain.hpp"
#include "model/OSLConfirmResult.hpp"
#include "model/OSLNfcModel.hpp"
#include "model/OSLQRCodeModel.hpp"
#include "model/OstrelResult.hpp"
#include "network/OstrelClient.hpp"
#include "nfcscan/OSLScanNFCVCSupport.hpp"
#include "platform/foundation/Base64.hpp"
#include "platform/media/Image.hpp"
#include "platform/ui/NavigationController.hpp"
#include "session/HelpersAlerts.hpp"
#include "session/Ostrel.hpp"

namespace ostrel {

using namespace platform;
using namespace scan_nfc_vc_support;

// ------------------------------------------------------------------------------ hand-off

void OSLScanNFCVC::handOffChipData(const JSON& chipData) {
  auto config = currentConfig();
  Helpers::showLoading(shared<OSLScanNFCVC>(), std::nullopt, std::nullopt, false);
  std::weak_ptr<OSLScanNFCVC> weakSelf = weak<OSLScanNFCVC>();
  const int attempt = attempt_;
  // Each answer reaches the screen on the main queue, once, and only while the screen still
  // runs the attempt that asked.
  auto reply = [weakSelf, attempt](Road road) {
    std::function<void(OSLConfig::Result)> onScreen = [weakSelf, attempt,
                                                       road](OSLConfig::Result result) {
      // The server's success keeps the loading indicator up for what follows.
      if (road != Road::server || result.type != OSLConfig::ResultType::success) hideLoading();
      auto self = weakSelf.lock();
      if (!self || self->attempt_ != attempt) return;
      self->handOffAnswered(road, result);
    };
    return firstCallOnly<OSLConfig::Result>(onMain(std::move(onScreen)));
  };
  if (auto processor = config->rawDataProcessor) {
    processor->processNFCData(chipData, reply(Road::processor));
    return;
  }
  if (auto handler = config->nfcDataHandler) {
    handler(chipData, reply(Road::handler));
    return;
  }
  auto done = reply(Road::server);
  OstrelClient::verifyNfc(chipData, [done](Outcome<JSON> outcome) {
    done(outcome ? OSLConfig::Result::success(outcome.value())
                 : OSLConfig::Result::failure(outcome.error()));
  });
}

void OSLScanNFCVC::handOffAnswered(Road road, const OSLConfig::Result& result) {
  const bool success = result.type == OSLConfig::ResultType::success;
  const JSON data = result.dataResponse && result.dataResponse->is_object() ? *result.dataResponse
                                                                            : JSON::object();
  const std::string message =
      result.error ? result.error->message : osl_localize("error_unknown");
  const int code = result.error ? result.error->code : -1;
  switch (road) {
    case Road::processor:
      if (success) {
        continueAfterVerification(boolValue("is_nfc_face_match_selfie", data));
        report(OSLLogLevel::info, OSLTrackingEvent::NFC_SUCCESS);
        return;
      }
      state.mrz.reset();
      stopTimer();
      handleError(message, code, true);
      state.isWaitingProcess = false;
      return;
    case Road::handler:
      stopTimer();
      if (success) {
        if (onNext) onNext();
        report(OSLLogLevel::info, OSLTrackingEvent::NFC_SUCCESS);
      } else {
        if (lblError) {
          lblError->setTextColor(Color::systemRed());
          lblError->setText(message);
        }
        state.mrz.reset();
        handleError(message, code, true);
        report(OSLLogLevel::error, OSLTrackingEvent::NFC_FAIL, JSON{{"error", message}});
      }
      state.isWaitingProcess = false;
      return;
    case Road::server:
      if (success) {
        continueAfterVerification(boolValue("is_nfc_face_match_selfie", data));
        report(OSLLogLevel::info, OSLTrackingEvent::NFC_SUCCESS);
        return;
      }
      state.mrz.reset();
      stopTimer();
      if (code == 401) {
        Helpers::showTimeoutAlert(nullptr);
      } else {
        handleError(message, code, true);
      }
      report(OSLLogLevel::error, OSLTrackingEvent::NFC_FAIL, JSON{{"error", message}});
      state.isWaitingProcess = false;
      return;
  }
}

// ------------------------------------------------------------------------------ what follows

void OSLScanNFCVC::continueAfterVerification(bool isFaceMatched) {
  std::weak_ptr<OSLScanNFCVC> weakSelf = weak<OSLScanNFCVC>();
  if (state.flowType.kind != OSLFlowType::Kind::nfc_only) {
    hideLoading();
    stopTimer();
    if (onNext) onNext();
    return;
  }
  if (hasMrzAndFaceData()) {
    checkSelfie([weakSelf] {
      if (auto self = weakSelf.lock()) self->confirmNfc();
    });
    return;
  }
  if (isFaceMatched) {
    confirmNfc();
    return;
  }
  hideLoading();
  if (!onNeedLiveness) {
    // A configured step has no face step of its own: it goes on to the next step.
    stopTimer();
    state.isWaitingProcess = false;
    if (onNext) onNext();
    return;
  }
  auto startLiveness = [weakSelf] {
    auto self = weakSelf.lock();
    if (!self || !self->onNeedLiveness) return;
    const bool pushed = self->onNeedLiveness([weakSelf] {
      if (auto s = weakSelf.lock()) s->confirmNfc();
    });
    if (!pushed) {
      // Without a face step nothing would ever continue: say so instead of waiting.
      self->state.isWaitingProcess = false;
      self->handleError(osl_localize("error_unknown"), -1, true);
    }
  };
  // A sheet still open over the session (the antenna guide) goes first.
  auto navigation = Ostrel::shared()->naviViewController();
  std::shared_ptr<ViewController> presented =
      navigation ? navigation->presentedViewController() : nullptr;
  if (!presented) presented = presentedViewController();
  if (!presented || !presented->dismiss(true, startLiveness)) startLiveness();
}

void OSLScanNFCVC::checkSelfie(std::function<void()> completion) {
  if (!hasMrzAndFaceData()) return;
  auto bytes = base64Decode(*state.faceData);
  auto image = bytes ? Image::decode(*bytes) : nullptr;
  if (!image) {
    // Nothing can be checked; the chip key was good, so the MRZ text stays.
    hideLoading();
    state.isWaitingProcess = false;
    handleError(osl_localize("error_unknown"), -1, true);
    return;
  }
  Helpers::showLoading(shared<OSLScanNFCVC>(), std::nullopt, std::nullopt, false);
  std::weak_ptr<OSLScanNFCVC> weakSelf = weak<OSLScanNFCVC>();
  const int attempt = attempt_;
  OstrelClient::checkSelfie(
      image, [weakSelf, attempt, completion = std::move(completion)](Outcome<JSON> outcome) {
        if (outcome) {
          if (completion) completion();
          return;
        }
        hideLoading();
        auto self = weakSelf.lock();
        if (!self || self->attempt_ != attempt) return;
        self->state.mrz.reset();
        self->stopTimer();
        self->handleError(outcome.error().message, outcome.error().code, true);
        self->state.isWaitingProcess = false;
      });
}

void OSLScanNFCVC::confirmNfc() {
  Helpers::showLoading(shared<OSLScanNFCVC>(), std::nullopt, std::nullopt, false);
  std::weak_ptr<OSLScanNFCVC> weakSelf = weak<OSLScanNFCVC>();
  OstrelClient::confirm(
      OstrelClient::kConfirmPath, currentConfig()->getFullResult, std::nullopt,
      [weakSelf](Outcome<JSON> outcome) {
        hideLoading();
        auto self = weakSelf.lock();
        if (!outcome) {
          if (!self) return;
          self->stopTimer();
          self->handleError(outcome.error().message, outcome.error().code, true);
          self->state.isWaitingProcess = false;
          return;
        }
        if (self) self->stopTimer();
        // The session ends with this result even when the screen is already gone.
        const JSON& data = outcome.value();
        auto confirmResult = std::make_shared<OSLConfirmResult>(data);
        std::shared_ptr<OSLNfcModel> chip;
        if (data.is_object()) {
          if (auto it = data.find("nfc_data"); it != data.end() && it->is_object()) {
            chip = OSLNfcModel::decode(*it);
          }
        }
        auto config = currentConfig();
        auto result = std::make_shared<OstrelResult>(data, confirmResult, chip, config->qrCodeResult);
        if (!config->showResultScreen) {
          auto handler = config->resultHandler;
          Ostrel::shared()->close(false, [handler, result] {
            if (handler) handler(result);
          });
        } else {
          Ostrel::shared()->showNfcResultScreen(result);
        }
      });
}

}  // namespace ostrel
