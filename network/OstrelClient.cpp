#include "network/OstrelClient.hpp"

#include <memory>

#include "core/CurrentConfig.hpp"
#include "core/DeviceMetadata.hpp"
#include "core/Localization.hpp"
#include "network/OSLCrypto.hpp"
#include "platform/foundation/Base64.hpp"
#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel {
namespace {

using platform::JSON;

// What every call reads from the configuration, taken once at the call.
struct CallContext {
  std::string baseUrl;
  std::string session;
  std::string language;
  OSLFaceLivenessVersion livenessVersion = OSLFaceLivenessVersion::passive;
};

CallContext context() {
  auto config = currentConfig();
  CallContext c;
  c.baseUrl = config->baseUrl.empty() ? OSLConfig::defaultBaseUrl() : config->baseUrl;
  c.session = config->session;
  c.language = currentAppearance()->language;
  c.livenessVersion = config->livenessVersion;
  return c;
}

platform::HttpHeaders headers(const std::string& session) {
  platform::HttpHeaders h;
  if (!session.empty()) h.emplace_back("Authorization", session);
  h.emplace_back(deviceMetadataHeaderName(), deviceMetadataHeaderValue());
  return h;
}

std::string base(const std::string& baseUrl) {
  return baseUrl.empty() ? OSLConfig::defaultBaseUrl() : baseUrl;
}

// Completion forms are asked for on the main queue; a call that fails before it is sent still
// answers there, and later than the call returns.
template <class T>
void failOnMain(std::function<void(Outcome<T>)> completion, OstrelError error) {
  platform::DispatchQueue::main()->async([completion = std::move(completion), error] {
    if (completion) completion(error);
  });
}

OstrelClient::JSONCompletion split(OstrelClient::JSONSuccess success,
                                   OstrelClient::Failure failure) {
  return [success = std::move(success), failure = std::move(failure)](Outcome<JSON> outcome) {
    if (outcome.isSuccess()) {
      if (success) success(outcome.value());
    } else if (failure) {
      failure(outcome.error());
    }
  };
}

template <class T>
std::future<Outcome<T>> asyncCall(
    const std::function<void(std::function<void(Outcome<T>)>)>& start) {
  auto promise = std::make_shared<std::promise<Outcome<T>>>();
  auto future = promise->get_future();
  start([promise](Outcome<T> outcome) { promise->set_value(std::move(outcome)); });
  return future;
}

std::string boolText(bool value) {
  return value ? "true" : "false";
}

}  // namespace

Client& OstrelClient::client() {
  return *Client::shared();
}

platform::Bytes OstrelClient::uploadData(const platform::ImagePtr& image) {
  if (!image) return {};
  for (double quality : {0.9, 0.95, 1.0}) {
    if (auto jpeg = image->jpegData(quality); jpeg && !jpeg->empty()) return *jpeg;
  }
  if (auto png = image->pngData(); png && !png->empty()) return *png;
  return {};
}

void OstrelClient::scanCard(const std::string& path, const platform::ImagePtr& image,
                            JSONCompletion completion) {
  const auto c = context();
  const auto data = uploadData(image);
  MultipartFormData form;
  form.addFile("image", "image.jpg", "image/jpeg", data);
  form.addText("signature", Signatures::cardImage(data));
  auto url = Client::url(c.baseUrl, path, {{"lang", c.language}});
  // The card's result is built from the data; a reply without it is no result.
  client().requestJSON(client().postMultipart(url, form, headers(c.session)),
                       Client::ReplyMode::requiredData, std::move(completion));
}

void OstrelClient::scanCard(const std::string& path, const platform::ImagePtr& image,
                            JSONSuccess success, Failure failure) {
  scanCard(path, image, split(std::move(success), std::move(failure)));
}

void OstrelClient::checkSelfie(const platform::ImagePtr& image, JSONCompletion completion) {
  const auto c = context();
  MultipartFormData form;
  form.addFile("image", "image.jpg", "image/jpeg", uploadData(image));
  form.addText("passive_liveness_check",
               boolText(c.livenessVersion == OSLFaceLivenessVersion::passive));
  form.addText("lang", c.language);
  auto url = Client::url(c.baseUrl, "/api/kyc/check-selfie");
  client().requestJSON(client().postMultipart(url, form, headers(c.session)),
                       Client::ReplyMode::data, std::move(completion));
}

void OstrelClient::checkSelfie(const platform::ImagePtr& image, JSONSuccess success,
                               Failure failure) {
  checkSelfie(image, split(std::move(success), std::move(failure)));
}

void OstrelClient::getLivenessToken(std::function<void(Outcome<std::string>)> completion) {
  const auto c = context();
  auto url = Client::url(c.baseUrl, "/api/liveness/ipr/token");
  client().requestJSON(
      client().postJSON(url, JSON::object(), headers(c.session)), Client::ReplyMode::data,
      [completion = std::move(completion)](Outcome<JSON> outcome) {
        if (!completion) return;
        if (!outcome) return completion(outcome.error());
        // Launching the vendor session with an empty token only fails later
        // and less clearly, so a reply without one is a failure here.
        const auto& data = outcome.value();
        auto it = data.find("access_token");
        std::string token = it != data.end() && it->is_string() ? it->get<std::string>() : "";
        if (token.empty()) {
          return completion(OstrelError::fromCode(OstrelError::kServiceDown));
        }
        completion(std::move(token));
      });
}

void OstrelClient::validateLiveness(const std::string& token, JSONCompletion completion) {
  const auto c = context();
  auto url = Client::url(c.baseUrl, "/api/liveness/ipr/validate");
  client().requestJSON(client().postJSON(url, {{"token", token}}, headers(c.session)),
                       Client::ReplyMode::data, std::move(completion));
}

void OstrelClient::getImage(ImageType type,
                            std::function<void(Outcome<platform::ImagePtr>)> completion) {
  const auto c = context();
  const char* kind = type == ImageType::front  ? "FRONT"
                     : type == ImageType::back ? "BACK"
                                               : "SELFIE";
  auto url = Client::url(c.baseUrl, "/api/data/image", {{"type", kind}, {"lang", c.language}});
  client().requestJSON(client().get(url, headers(c.session)), Client::ReplyMode::data,
                       [completion = std::move(completion)](Outcome<JSON> outcome) {
                         if (!completion) return;
                         if (!outcome) return completion(outcome.error());
                         platform::ImagePtr image;
                         auto text = stringValue("image", outcome.value());
                         if (auto bytes = platform::base64Decode(text)) {
                           image = platform::Image::decode(*bytes);
                         }
                         completion(std::move(image));
                       });
}

void OstrelClient::submitQRCode(const std::string& decodedText, JSONCompletion completion) {
  const auto c = context();
  auto url = Client::url(c.baseUrl, "/api/kyc/qr-code/submit");
  JSON body = {{"decoded_text", decodedText}, {"lang", c.language}};
  client().requestJSON(client().postJSON(url, body, headers(c.session)), Client::ReplyMode::data,
                       std::move(completion));
}

void OstrelClient::getMrzData(JSONCompletion completion) {
  const auto c = context();
  auto url = Client::url(c.baseUrl, "/api/data/get", {{"type", "MRZ"}, {"lang", c.language}});
  client().requestJSON(client().get(url, headers(c.session)), Client::ReplyMode::data,
                       std::move(completion));
}

void OstrelClient::verifyNfc(const JSON& body, JSONCompletion completion) {
  const auto c = context();
  // Keys come out sorted, so the same chip data always gives the same cipher text.
  auto cipher = OSLCrypto::encrypt(body.dump(-1, ' ', false, JSON::error_handler_t::replace));
  if (cipher.empty()) {
    return failOnMain(std::move(completion), OstrelError::fromCode(OstrelError::kServiceDown));
  }
  auto url = Client::url(c.baseUrl, "/api/nfc/verify");
  client().requestJSON(client().postText(url, cipher, headers(c.session)),
                       Client::ReplyMode::requiredData, std::move(completion));
}

void OstrelClient::confirm(const std::string& path, bool getFullResult,
                           const std::optional<JSON>& body, JSONCompletion completion) {
  const auto c = context();
  auto url = Client::url(c.baseUrl, path,
                         {{"get_full_result", boolText(getFullResult)}, {"lang", c.language}});
  // The session's result is built from the data; a reply without it is no result.
  client().requestJSON(client().postJSON(url, body && body->is_object() ? *body : JSON::object(),
                                         headers(c.session)),
                       Client::ReplyMode::requiredData, std::move(completion));
}

void OstrelClient::confirm(const std::string& path, bool getFullResult, const std::string& birthday,
                           const std::string& gender, const std::string& idNumber,
                           const std::string& name, const std::string& poi,
                           const std::string& resident, const std::string& doe,
                           const std::string& home, const std::string& features,
                           JSONSuccess success, Failure failure) {
  JSON body = {{"birthday", birthday}, {"gender", gender}, {"id_number", idNumber},
               {"name", name},         {"poi", poi},       {"resident", resident},
               {"doe", doe},           {"home", home},     {"features", features}};
  confirm(path, getFullResult, body, split(std::move(success), std::move(failure)));
}

void OstrelClient::getResult(const std::string& path, JSONCompletion completion) {
  const auto c = context();
  auto url = Client::url(c.baseUrl, path, {{"lang", c.language}});
  client().requestJSON(client().get(url, headers(c.session)), Client::ReplyMode::data,
                       std::move(completion));
}

void OstrelClient::getNfcLocation(const std::string& model, JSONCompletion completion) {
  const auto c = context();
  MultipartFormData form;
  form.addText("model", model);
  form.addText("signature", Signatures::location(model));
  auto url = Client::url(c.baseUrl, "/api/nfc/location");
  client().requestJSON(client().postMultipart(url, form, headers(c.session)),
                       Client::ReplyMode::wholeReply, std::move(completion));
}

std::future<Outcome<JSON>> OstrelClient::getConfigVersions(const std::string& baseUrl,
                                                           std::optional<std::string> token) {
  const auto session = token ? *token : context().session;
  auto request =
      client().get(Client::url(base(baseUrl), "/api/configuration/versions"), headers(session));
  return asyncCall<JSON>([&](std::function<void(Outcome<JSON>)> done) {
    client().requestJSONOffMain(std::move(request), Client::ReplyMode::data, std::move(done));
  });
}

std::future<Outcome<std::string>> OstrelClient::getLastestLanguageVersion(
    const std::string& baseUrl, const std::string& language, const std::string& customer,
    std::optional<std::string> token) {
  const auto session = token ? *token : context().session;
  auto request = client().get(
      Client::url(base(baseUrl), "/lang/versions", {{"lang", language}, {"customer", customer}}),
      headers(session));
  return asyncCall<std::string>([&](std::function<void(Outcome<std::string>)> done) {
    client().requestJSONOffMain(std::move(request), Client::ReplyMode::data,
                                [done](Outcome<JSON> outcome) {
                                  if (!outcome) return done(outcome.error());
                                  auto version = stringValue("version", outcome.value());
                                  if (version.empty())
                                    return done(OstrelError::fromCode(OstrelError::kServiceDown));
                                  done(std::move(version));
                                });
  });
}

std::future<Outcome<JSON>> OstrelClient::getLanguage(const std::string& baseUrl,
                                                     const std::string& language,
                                                     const std::string& customer,
                                                     std::optional<std::string> token) {
  const auto session = token ? *token : context().session;
  auto request = client().get(
      Client::url(base(baseUrl), "/lang/get", {{"lang", language}, {"customer", customer}}),
      headers(session));
  return asyncCall<JSON>([&](std::function<void(Outcome<JSON>)> done) {
    client().requestJSONOffMain(std::move(request), Client::ReplyMode::data, std::move(done));
  });
}

std::future<Outcome<platform::Bytes>> OstrelClient::downloadSdk(const std::string& baseUrl,
                                                                const std::string& modelName) {
  return asyncCall<platform::Bytes>([&](std::function<void(Outcome<platform::Bytes>)> done) {
    downloadSdk(baseUrl, modelName, std::move(done));
  });
}

namespace {

platform::HttpRequest modelRequest(const std::string& baseUrl, const std::string& modelName) {
  // The model file is public: no token and no device description go with it.
  auto request = OstrelClient::client().get(
      Client::url(base(baseUrl), "/api/sdk-model/download", {{"name", modelName}}), {});
  request.maxResponseBytes = OstrelClient::kMaxModelBytes;
  return request;
}

}  // namespace

void OstrelClient::downloadSdk(const std::string& baseUrl, const std::string& modelName,
                               std::function<void(Outcome<platform::Bytes>)> completion) {
  client().download(modelRequest(baseUrl, modelName), std::move(completion));
}

void OstrelClient::downloadSdk(const std::string& baseUrl, const std::string& modelName,
                               std::function<bool(std::span<const std::uint8_t>)> sink,
                               std::function<void(Outcome<std::uint64_t>)> completion) {
  client().download(modelRequest(baseUrl, modelName), std::move(sink), std::move(completion));
}

}  // namespace ostrel
