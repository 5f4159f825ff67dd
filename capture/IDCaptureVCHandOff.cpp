#include "capture/IDCaptureVC.hpp"

#include <utility>

#include "core/CurrentConfig.hpp"
#include "core/Localization.hpp"
#include "core/OnMain.hpp"
#include "core/OSLRawDataProcessor.hpp"
#include "model/OSLBackResult.hpp"
#include "model/OSLFrontResult.hpp"
#include "model/OSLPassport.hpp"
#include "network/ImageUpload.hpp"
#include "network/OstrelClient.hpp"
#include "session/HelpersAlerts.hpp"
#include "session/Ostrel.hpp"
#include "ui/OSLAlertVC.hpp"

namespace ostrel {

using namespace platform;

// ------------------------------------------------------------------------------ hand-off

void IDCaptureVC::sendCardImage(const ImagePtr& image) {
  handOffInFlight_ = true;
  auto config = currentConfig();
  const bool front = isFrontId();
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  const int generation = generation_;
  Helpers::showLoading(shared<IDCaptureVC>(), std::nullopt, std::nullopt, false);

  // Every reply first takes the loading indicator away, then reaches the screen on the main
  // queue, once, and only while it still shows the run that asked.
  auto reply = [weakSelf, generation, image](Road road) {
    std::function<void(OSLConfig::Result)> onScreen =
        [weakSelf, generation, image, road](OSLConfig::Result result) {
          auto self = weakSelf.lock();
          if (!self || self->generation_ != generation) return;
          self->handleReply(road, result, image);
        };
    auto main = onMain(std::move(onScreen));
    return firstCallOnly<OSLConfig::Result>([main](OSLConfig::Result result) {
      Ostrel::shared()->hideLoading();
      main(std::move(result));
    });
  };

  if (auto processor = config->rawDataProcessor) {
    const UploadImage upload = jpegDataForUpload(image);
    processor->processCaptureData(front, upload.data, upload.base64, reply(Road::processor));
    return;
  }
  const auto& handler = front ? config->idFrontDataHandler : config->idBackDataHandler;
  if (handler) {
    const UploadImage upload = jpegDataForUpload(image);
    handler(upload.data, upload.base64, reply(Road::handler));
    return;
  }
  auto done = reply(Road::library);
  OstrelClient::scanCard(
      front ? OstrelClient::kScanFrontPath : OstrelClient::kScanBackPath, image,
      [done](const JSON& data) { done(OSLConfig::Result::success(data)); },
      [done](const OstrelError& error) { done(OSLConfig::Result::failure(error)); });
}

void IDCaptureVC::handleReply(Road road, const OSLConfig::Result& result, const ImagePtr& image) {
  handOffInFlight_ = false;
  switch (result.type) {
    case OSLConfig::ResultType::success: {
      const JSON data = result.dataResponse && result.dataResponse->is_object()
                            ? *result.dataResponse
                            : JSON::object();
      succeed(road, data, image);
      return;
    }
    case OSLConfig::ResultType::failure:
      break;
  }
  // A failure, or a result type the host made up: a failure either way.
  fail(road, result.error);
}

void IDCaptureVC::succeed(Road road, const JSON& data, const ImagePtr& image) {
  // The host's handler keeps what it recognised itself.
  if (road != Road::handler) {
    auto config = currentConfig();
    if (isPassportMode()) {
      config->frontImage = image;
      config->passport = OSLPassport::fromDictionary(data);
    } else if (state().isFrontId) {
      config->frontImage = image;
      config->frontResult = OSLFrontResult::fromDictionary(data);
    } else {
      config->backImage = image;
      config->backResult = OSLBackResult::fromDictionary(data);
    }
  }
  btnConfirm->setHidden(true);
  btnRetake->setHidden(true);
  if (onNext) onNext();
  track(OSLTrackingEvent::CAPTURE_SUCCESS);
}

void IDCaptureVC::fail(Road road, const std::optional<OstrelError>& error) {
  const std::string message = error ? error->message : osl_localize("error_unknown");
  const int hostCode = error ? error->code : 200;
  btnConfirm->setHidden(true);
  btnRetake->setHidden(false);
  if (road != Road::processor) {
    guideDescLabel->setTextColor(Color::systemRed());
    guideDescLabel->setText(message);
  }
  auto sendEvent = [this, &message] {
    track(OSLTrackingEvent::CAPTURE_FAIL, {{"error", message}}, OSLLogLevel::error);
  };
  auto showAlert = [&] {
    auto config = currentConfig();
    if (config->showErrorAlertHandler) {
      config->showErrorAlertHandler(message, hostCode, shared<IDCaptureVC>());
      return;
    }
    if (road == Road::processor) {
      Helpers::showErrorAlert(std::nullopt, message, {}, nullptr);
    } else {
      const int alertCode = error ? error->code : -1;
      Helpers::showAlert(static_cast<int>(OSLAlertVC::TypeOfAlert::networkError), alertCode,
                         nullptr, std::nullopt, message, std::nullopt, std::nullopt, {}, {},
                         nullptr);
    }
  };
  const bool timedOut = error && error->code == 401 && road != Road::handler;
  if (road == Road::handler) {
    showAlert();
    sendEvent();
    return;
  }
  sendEvent();
  if (timedOut) {
    Helpers::showTimeoutAlert(nullptr);
    return;
  }
  showAlert();
}

}  // namespace ostrel
