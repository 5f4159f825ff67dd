#include "core/OSLConfig.hpp"

#include "core/OSLRawDataProcessor.hpp"
#include "model/OSLBackResult.hpp"
#include "model/OSLFrontResult.hpp"
#include "model/OSLPassport.hpp"
#include "model/OSLQRCodeModel.hpp"
#include "model/OstrelResult.hpp"

#ifndef OSTREL_DEFAULT_BASE_URL
#define OSTREL_DEFAULT_BASE_URL "https://verification.invalid"
#endif

namespace ostrel {

std::shared_ptr<OSLConfig> OSLConfig::Builder(std::string session) {
  auto config = std::make_shared<OSLConfig>();
  config->session = std::move(session);
  return config;
}

std::string OSLConfig::defaultBaseUrl() {
  return OSTREL_DEFAULT_BASE_URL;
}

OSLConfig& OSLConfig::withBaseUrl(std::string value) {
  baseUrl = value.empty() ? defaultBaseUrl() : std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withAppearance(std::shared_ptr<OSLAppearance> value) {
  appearance = value ? std::move(value) : OSLAppearance::create();
  return *this;
}

OSLConfig& OSLConfig::withSession(std::string value) {
  session = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withCustomer(std::string value) {
  customer = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withLivenessVersion(OSLFaceLivenessVersion value) {
  livenessVersion = value;
  return *this;
}

OSLConfig& OSLConfig::withLivenessTimeoutSeconds(int value) {
  livenessTimeoutSeconds = value;
  return *this;
}

OSLConfig& OSLConfig::withScanNFCTimeoutSeconds(int value) {
  scanNFCTimeoutSeconds = value;
  return *this;
}

OSLConfig& OSLConfig::withGetFullResult(bool value) {
  getFullResult = value;
  return *this;
}

OSLConfig& OSLConfig::withShowResultScreen(bool value) {
  showResultScreen = value;
  return *this;
}

OSLConfig& OSLConfig::withIsOnlyShowReasonInResultVC(bool value) {
  isOnlyShowReasonInResultVC = value;
  return *this;
}

OSLConfig& OSLConfig::withIsQRCodeScanEnabled(bool value) {
  isQRCodeScanEnabled = value;
  return *this;
}

OSLConfig& OSLConfig::withMrz(std::optional<std::string> value) {
  mrz = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withFaceDataBase64(std::optional<std::string> value) {
  faceDataBase64 = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withRawDataProcessor(std::shared_ptr<OSLRawDataProcessor> value) {
  rawDataProcessor = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withIdFrontDataHandler(IDDataHandler value) {
  idFrontDataHandler = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withIdBackDataHandler(IDDataHandler value) {
  idBackDataHandler = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withFaceDataHandler(FaceDataHandler value) {
  faceDataHandler = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withNfcDataHandler(NFCDataHandler value) {
  nfcDataHandler = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withLogHandler(LogHandler value) {
  logHandler = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withEventHandler(EventHandler value) {
  eventHandler = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withResultHandler(ResultHandler value) {
  resultHandler = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withErrorScanNFCHandler(ErrorScanNFCHandler value) {
  errorScanNFCHandler = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withHideLoadingHandler(VoidHandler value) {
  hideLoadingHandler = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withExpiredHandler(VoidHandler value) {
  expiredHandler = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withCancelSessionHandler(VoidHandler value) {
  cancelSessionHandler = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withFrontImage(platform::ImagePtr value) {
  frontImage = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withBackImage(platform::ImagePtr value) {
  backImage = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withFaceData(platform::ImagePtr value) {
  faceData = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withFrontResult(std::shared_ptr<OSLFrontResult> value) {
  frontResult = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withBackResult(std::shared_ptr<OSLBackResult> value) {
  backResult = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withPassport(std::shared_ptr<OSLPassport> value) {
  passport = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withQrCodeResult(std::shared_ptr<OSLQRCodeModel> value) {
  qrCodeResult = std::move(value);
  return *this;
}

}  // namespace ostrel
