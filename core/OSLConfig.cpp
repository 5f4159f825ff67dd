#include "core/OSLConfig.hpp"

#include <algorithm>

#include "core/OSLRawDataProcessor.hpp"
#include "core/ScreenFactories.hpp"
#include "model/OSLBackResult.hpp"
#include "model/OSLFrontResult.hpp"
#include "model/OSLPassport.hpp"
#include "model/OSLQRCodeModel.hpp"
#include "model/OstrelResult.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/ui/Text.hpp"

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

OSLConfig& OSLConfig::withShowErrorAlertHandler(ShowErrorAlertHandler value) {
  showErrorAlertHandler = std::move(value);
  return *this;
}

OSLConfig& OSLConfig::withShowLoadingHandler(ShowLoadingHandler value) {
  showLoadingHandler = std::move(value);
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

namespace {

void appendStep(std::vector<StepScreen>& steps, StepScreen step, const char* what) {
  if (!step) {
    platform::debugLog(std::string("configured steps: no ") + what + " screen in this build");
    return;
  }
  steps.push_back(std::move(step));
}

bool hasHttpScheme(const std::string& url) {
  const std::string lower = platform::lowercased(url);
  for (std::string scheme : {"http://", "https://"}) {
    if (lower.rfind(scheme, 0) == 0 && lower.size() > scheme.size()) return true;
  }
  return false;
}

bool configTextHasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
  });
}

// Paths are appended to the base URL, so a query or fragment in it would swallow every path
// ("https://host/?x=1" + "/api/kyc/confirm" asks for "/" with a query).
bool isUsableConfigBaseUrl(const std::string& url) {
  return hasHttpScheme(url) && url.find_first_of("?#") == std::string::npos &&
         !configTextHasControlCharacter(url);
}

}  // namespace

OSLConfig& OSLConfig::withIDStep(bool isFrontId, IDDataHandler idDataHandler) {
  (isFrontId ? idFrontDataHandler : idBackDataHandler) = std::move(idDataHandler);
  const auto& factory = ScreenFactories::shared().idCapture;
  appendStep(steps, factory ? factory(isFrontId) : StepScreen{}, "ID capture");
  return *this;
}

OSLConfig& OSLConfig::withNFCStep(std::optional<std::string> mrz, NFCDataHandler nfcDatahandler) {
  nfcDataHandler = std::move(nfcDatahandler);
  const auto& factory = ScreenFactories::shared().nfc;
  appendStep(steps,
             factory ? factory(OSLFlowType::nfc_only(std::move(mrz), std::nullopt)) : StepScreen{},
             "chip");
  return *this;
}

OSLConfig& OSLConfig::withFaceStep(OSLFaceLivenessVersion version,
                                   FaceDataHandler faceDataHandler) {
  livenessVersion = version;
  this->faceDataHandler = std::move(faceDataHandler);
  const auto& factories = ScreenFactories::shared();
  StepScreen step;
  if (version == OSLFaceLivenessVersion::semiActive) {
    if (factories.vendorLiveness) step = factories.vendorLiveness();
  } else if (factories.face) {
    step = factories.face(version);
  }
  appendStep(steps, std::move(step), "face");
  return *this;
}

std::optional<OSLConfig::ErrorKind> OSLConfig::validationError() const {
  if (session.empty() && steps.empty()) return ErrorKind::invalidSession;
  // The token goes out as the raw "Authorization" value: a line break in it would start a
  // header of the token holder's choosing.
  if (configTextHasControlCharacter(session)) return ErrorKind::invalidSession;
  if (!isUsableConfigBaseUrl(baseUrl)) return ErrorKind::invalidBaseUrl;
  if (!appearance || appearance->language.empty()) return ErrorKind::invalidLanguage;
  return std::nullopt;
}

const char* OSLConfigError::what() const noexcept {
  switch (kind) {
    case OSLConfig::ErrorKind::invalidSession:
      return "The configuration has no session token and no steps.";
    case OSLConfig::ErrorKind::invalidBaseUrl:
      return "The base URL is not an http or https address.";
    case OSLConfig::ErrorKind::invalidLanguage:
      return "The configuration has no language.";
  }
  return "Invalid configuration.";
}

}  // namespace ostrel
