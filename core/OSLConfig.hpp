#pragma once

#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/OSLAppearance.hpp"
#include "core/OSLFaceLivenessVersion.hpp"
#include "core/OSLLogLevel.hpp"
#include "core/OstrelError.hpp"
#include "core/OstrelScanNFCError.hpp"
#include "core/StepScreen.hpp"
#include "platform/foundation/JSON.hpp"
#include "platform/media/Image.hpp"

namespace ostrel {

class OSLRawDataProcessor;
class OSLFrontResult;
class OSLBackResult;
class OSLPassport;
class OSLQRCodeModel;
class OstrelResult;

// One run's configuration: what the host gives (token, server, appearance, flags, handlers)
// and what the run gathers (recognised records and captured pictures). Screens read it through
// the facade at the moment they need it. Each `with...` setter sets one value and returns the
// same configuration.
class OSLConfig {
 public:
  // Session-ending events handed to the host's event handler.
  enum class Event : int { cancelled = 0, expired = 1, reserved = 2 };
  enum class ResultType : int { success = 0, failure = 1 };
  // Why a configuration cannot be built.
  enum class ErrorKind : int { invalidSession, invalidBaseUrl, invalidLanguage };

  // The outcome of one step's data hand-off to the host.
  struct Result {
    ResultType type = ResultType::success;
    std::optional<OstrelError> error;
    std::optional<platform::JSON> dataResponse;

    static Result success(std::optional<platform::JSON> data = std::nullopt) {
      return {ResultType::success, std::nullopt, std::move(data)};
    }
    static Result failure(OstrelError error) {
      return {ResultType::failure, std::move(error), std::nullopt};
    }
  };
  using ResultCompletion = std::function<void(Result)>;

  using IDDataHandler = std::function<void(const platform::Bytes& imageData,
                                           const std::string& base64, ResultCompletion)>;
  using FaceDataHandler =
      std::function<void(const platform::Bytes& imageData, const std::string& base64,
                         const std::string& variant, ResultCompletion)>;
  using NFCDataHandler = std::function<void(const platform::JSON& dataGroups, ResultCompletion)>;
  using LogHandler =
      std::function<void(OSLLogLevel level, const std::string& event, const std::string& screen,
                         const platform::JSON& data, const platform::JSON& metadata)>;
  using EventHandler = std::function<void(Event)>;
  using ResultHandler = std::function<void(std::shared_ptr<OstrelResult>)>;
  using ErrorScanNFCHandler =
      std::function<void(OstrelScanNFCError, std::optional<std::string> message,
                         std::function<void()> action, std::function<void()> retry)>;
  using VoidHandler = std::function<void()>;
  using ShowErrorAlertHandler = std::function<void(
      const std::string& message, int code, std::shared_ptr<platform::ViewController> screen)>;
  using ShowLoadingHandler = std::function<void(std::shared_ptr<platform::ViewController> screen)>;

  // A new configuration holding `session`, everything else at its default.
  static std::shared_ptr<OSLConfig> Builder(std::string session);
  // The server used when the host names none.
  static std::string defaultBaseUrl();

  // ---------------------------------------------------------------- given by the host
  std::string session;
  std::string baseUrl = defaultBaseUrl();
  std::string customer;  // the customer the language dictionary is fetched for
  std::shared_ptr<OSLAppearance> appearance = OSLAppearance::create();
  OSLFaceLivenessVersion livenessVersion = OSLFaceLivenessVersion::passive;
  int livenessTimeoutSeconds = 60;
  int scanNFCTimeoutSeconds = 60;
  bool getFullResult = false;
  bool showResultScreen = false;
  bool isOnlyShowReasonInResultVC = false;
  bool isQRCodeScanEnabled = false;
  std::optional<std::string> mrz;
  std::optional<std::string> faceDataBase64;

  std::shared_ptr<OSLRawDataProcessor> rawDataProcessor;
  IDDataHandler idFrontDataHandler;
  IDDataHandler idBackDataHandler;
  FaceDataHandler faceDataHandler;
  NFCDataHandler nfcDataHandler;
  LogHandler logHandler;
  EventHandler eventHandler;
  ResultHandler resultHandler;
  ErrorScanNFCHandler errorScanNFCHandler;
  ShowErrorAlertHandler showErrorAlertHandler;
  ShowLoadingHandler showLoadingHandler;
  VoidHandler hideLoadingHandler;
  VoidHandler expiredHandler;
  VoidHandler cancelSessionHandler;

  // The host's own sequence of steps, run by `Ostrel::run(config, from, ...)`, in order.
  std::vector<StepScreen> steps;

  // ---------------------------------------------------------------- gathered by the run
  platform::ImagePtr frontImage;
  platform::ImagePtr backImage;
  platform::ImagePtr faceData;
  std::shared_ptr<OSLFrontResult> frontResult;
  std::shared_ptr<OSLBackResult> backResult;
  std::shared_ptr<OSLPassport> passport;
  std::shared_ptr<OSLQRCodeModel> qrCodeResult;

  // ---------------------------------------------------------------- setters
  OSLConfig& withSession(std::string value);
  // An empty text selects the default server.
  OSLConfig& withBaseUrl(std::string value);
  OSLConfig& withCustomer(std::string value);
  // A null appearance puts back the default one.
  OSLConfig& withAppearance(std::shared_ptr<OSLAppearance> value);
  OSLConfig& withLivenessVersion(OSLFaceLivenessVersion value);
  OSLConfig& withLivenessTimeoutSeconds(int value);
  OSLConfig& withScanNFCTimeoutSeconds(int value);
  OSLConfig& withGetFullResult(bool value);
  OSLConfig& withShowResultScreen(bool value);
  OSLConfig& withIsOnlyShowReasonInResultVC(bool value);
  OSLConfig& withIsQRCodeScanEnabled(bool value);
  OSLConfig& withMrz(std::optional<std::string> value);
  OSLConfig& withFaceDataBase64(std::optional<std::string> value);
  OSLConfig& withRawDataProcessor(std::shared_ptr<OSLRawDataProcessor> value);
  OSLConfig& withIdFrontDataHandler(IDDataHandler value);
  OSLConfig& withIdBackDataHandler(IDDataHandler value);
  OSLConfig& withFaceDataHandler(FaceDataHandler value);
  OSLConfig& withNfcDataHandler(NFCDataHandler value);
  OSLConfig& withLogHandler(LogHandler value);
  OSLConfig& withEventHandler(EventHandler value);
  OSLConfig& withResultHandler(ResultHandler value);
  OSLConfig& withErrorScanNFCHandler(ErrorScanNFCHandler value);
  OSLConfig& withShowErrorAlertHandler(ShowErrorAlertHandler value);
  OSLConfig& withShowLoadingHandler(ShowLoadingHandler value);
  OSLConfig& withHideLoadingHandler(VoidHandler value);
  OSLConfig& withExpiredHandler(VoidHandler value);
  OSLConfig& withCancelSessionHandler(VoidHandler value);
  OSLConfig& withFrontImage(platform::ImagePtr value);
  OSLConfig& withBackImage(platform::ImagePtr value);
  OSLConfig& withFaceData(platform::ImagePtr value);
  OSLConfig& withFrontResult(std::shared_ptr<OSLFrontResult> value);
  OSLConfig& withBackResult(std::shared_ptr<OSLBackResult> value);
  OSLConfig& withPassport(std::shared_ptr<OSLPassport> value);
  OSLConfig& withQrCodeResult(std::shared_ptr<OSLQRCodeModel> value);

  // ---------------------------------------------------------------- configured steps
  // Each appends one step screen and stores its data handler. A screen that is not available
  // in this build appends nothing.
  // The ID card capture of one side; the handler becomes the front or back handler.
  OSLConfig& withIDStep(bool isFrontId, IDDataHandler idDataHandler);
  // The chip read of the chip-only flow for `mrz`, without face data.
  OSLConfig& withNFCStep(std::optional<std::string> mrz, NFCDataHandler nfcDatahandler);
  // The face liveness step of `livenessVersion` (the vendor's screen for semi-active), which
  // also becomes the configuration's liveness version.
  OSLConfig& withFaceStep(OSLFaceLivenessVersion livenessVersion, FaceDataHandler faceDataHandler);

  // ---------------------------------------------------------------- build
  // Checks the configuration (throws `OSLConfigError`: no session token and no steps, or a
  // token holding control characters; a base URL that is not http(s) or has a query, fragment
  // or control characters; no language), then runs the language and configuration sync and
  // calls `completion` on the main queue when it is over. A failed sync does not fail the build.
  void build(std::function<void()> completion);
  // The same as a task: the future is ready after the sync, or holds the `OSLConfigError`.
  std::future<void> build();
  // The check alone: the first problem found, if any.
  std::optional<ErrorKind> validationError() const;
};

// Why `OSLConfig::build` refused a configuration.
struct OSLConfigError : std::exception {
  explicit OSLConfigError(OSLConfig::ErrorKind kind) : kind(kind) {}
  OSLConfig::ErrorKind kind;
  const char* what() const noexcept override;
};

}  // namespace ostrel
