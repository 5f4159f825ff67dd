#pragma once

#include <functional>
#include <future>
#include <optional>
#include <string>

#include "core/Outcome.hpp"
#include "network/Client.hpp"
#include "platform/foundation/JSON.hpp"
#include "platform/media/Image.hpp"

namespace ostrel {

// One method per server call. Base URL, session token and language are read from the facade's
// current configuration at the moment of the call ("lang" is the appearance's language); the
// token goes as the raw "Authorization" value (none when it is empty). Completion forms run
// their completion exactly once, on the main queue; the asynchronous forms (the language,
// version and model calls) take their base URL and complete on a transport thread.
class OstrelClient {
 public:
  using JSONCompletion = std::function<void(Outcome<platform::JSON>)>;
  using JSONSuccess = std::function<void(const platform::JSON&)>;
  using Failure = std::function<void(const OstrelError&)>;

  // Paths the screens pass.
  static constexpr const char* kScanFrontPath = "/api/kyc/app/scan-front";
  static constexpr const char* kScanBackPath = "/api/kyc/app/scan-back";
  static constexpr const char* kConfirmPath = "/api/kyc/confirm";
  static constexpr const char* kGetResultPath = "/api/kyc/get-result";

  enum class ImageType : int { front = 0, back = 1, selfie = 2 };

  // Multipart upload of a card image ("image", JPEG) with its "signature"; the reply's data.
  // The flow's records are built from the data of this call, of `verifyNfc` and of `confirm`:
  // for these three a success reply without a "data" object is the service fault (500).
  static void scanCard(const std::string& path, const platform::ImagePtr& image,
                       JSONCompletion completion);
  static void scanCard(const std::string& path, const platform::ImagePtr& image,
                       JSONSuccess success, Failure failure);
  // Multipart upload of the face picture with "passive_liveness_check" and "lang".
  static void checkSelfie(const platform::ImagePtr& image, JSONCompletion completion);
  static void checkSelfie(const platform::ImagePtr& image, JSONSuccess success, Failure failure);
  // The liveness vendor's token. A reply without a token is a failure (500).
  static void getLivenessToken(std::function<void(Outcome<std::string>)> completion);
  static void validateLiveness(const std::string& token, JSONCompletion completion);
  // A picture the server kept; success without an image when the reply has none or it does
  // not decode.
  static void getImage(ImageType type, std::function<void(Outcome<platform::ImagePtr>)> completion);
  static void submitQRCode(const std::string& decodedText, JSONCompletion completion);
  static void getMrzData(JSONCompletion completion);
  // The chip data, encrypted; the only encrypted body.
  static void verifyNfc(const platform::JSON& body, JSONCompletion completion);
  // The confirmation; without a body an empty JSON object is sent.
  static void confirm(const std::string& path, bool getFullResult,
                      const std::optional<platform::JSON>& body, JSONCompletion completion);
  static void confirm(const std::string& path, bool getFullResult, const std::string& birthday,
                      const std::string& gender, const std::string& idNumber,
                      const std::string& name, const std::string& poi, const std::string& resident,
                      const std::string& doe, const std::string& home, const std::string& features,
                      JSONSuccess success, Failure failure);
  static void getResult(const std::string& path, JSONCompletion completion);
  // The whole reply of any 2xx JSON object, so the caller can read its "error" too.
  static void getNfcLocation(const std::string& model, JSONCompletion completion);

  // The three sync calls send `session` when given (a configuration being built is not the
  // current one yet), else the current configuration's token.
  // {model name: version} from "/api/configuration/versions".
  static std::future<Outcome<platform::JSON>> getConfigVersions(
      const std::string& baseUrl, std::optional<std::string> session = std::nullopt);
  // The latest language version from "/lang/versions"; a reply without one is a failure.
  static std::future<Outcome<std::string>> getLastestLanguageVersion(
      const std::string& baseUrl, const std::string& language, const std::string& customer,
      std::optional<std::string> session = std::nullopt);
  // The language dictionary from "/lang/get".
  static std::future<Outcome<platform::JSON>> getLanguage(
      const std::string& baseUrl, const std::string& language, const std::string& customer,
      std::optional<std::string> session = std::nullopt);
  // A model file from "/api/sdk-model/download", sent without credentials.
  static std::future<Outcome<platform::Bytes>> downloadSdk(const std::string& baseUrl,
                                                           const std::string& modelName);
  // The same with a completion run on the transport's thread.
  static void downloadSdk(const std::string& baseUrl, const std::string& modelName,
                          std::function<void(Outcome<platform::Bytes>)> completion);
  // The model file handed to `sink` as it arrives; the completion (on the transport's thread)
  // gets the number of bytes. Past kMaxModelBytes the download fails as a network error (-1).
  static void downloadSdk(const std::string& baseUrl, const std::string& modelName,
                          std::function<bool(std::span<const std::uint8_t>)> sink,
                          std::function<void(Outcome<std::uint64_t>)> completion);
  // Larger than any model the detection layer loads.
  static constexpr std::size_t kMaxModelBytes = std::size_t{100} << 20;

  // The bytes an image is uploaded as: JPEG at 0.9, else 0.95, else 1.0, else PNG, else none.
  static platform::Bytes uploadData(const platform::ImagePtr& image);
  // The transport used by every call.
  static Client& client();
};

}  // namespace ostrel
