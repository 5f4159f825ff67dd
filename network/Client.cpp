#include "network/Client.hpp"

#include <charconv>
#include <climits>

#include "core/Localization.hpp"
#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel {
namespace {

using platform::HttpResponse;
using platform::JSON;

// A code as a number or as decimal text ("401"); a server that quotes its codes still means them.
std::int64_t replyCodeValue(const JSON& dictionary) {
  auto it = dictionary.find("code");
  if (it == dictionary.end()) return 0;
  if (it->is_string()) {
    const auto& text = it->get_ref<const std::string&>();
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() ? value : 0;
  }
  return intValue("code", dictionary, 0);
}

const JSON* objectMember(const JSON& dictionary, const char* key) {
  auto it = dictionary.find(key);
  return it != dictionary.end() && it->is_object() ? &*it : nullptr;
}

// The server's code and message; its own text wins over the library's, except for an expired
// session, which always reads the same to the user.
OstrelError serverError(std::int64_t code, const std::string& message) {
  if (code < INT_MIN || code > INT_MAX) return OstrelError::fromCode(OstrelError::kServiceDown);
  const int c = static_cast<int>(code);
  if (c == OstrelError::kSessionExpired || message.empty()) return OstrelError::fromCode(c);
  return OstrelError(c, message);
}

}  // namespace

std::shared_ptr<Client> Client::shared() {
  static const std::shared_ptr<Client> client = std::make_shared<Client>();
  return client;
}

Client::Client(std::shared_ptr<platform::HttpTransport> transport)
    : transport_(std::move(transport)) {}

std::shared_ptr<platform::HttpTransport> Client::transport() const {
  return transport_ ? transport_ : platform::HttpTransport::shared();
}

platform::TimeInterval Client::timeoutInterval() const {
  std::lock_guard lock(mutex_);
  return timeout_;
}

void Client::setTimeoutInterval(platform::TimeInterval seconds) {
  std::lock_guard lock(mutex_);
  timeout_ = seconds > 0 ? seconds : 60;
}

std::string Client::percentEncode(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0f];
    }
  }
  return out;
}

std::string Client::encodeQuery(const QueryItems& query) {
  std::string out;
  for (const auto& [name, value] : query) {
    if (!out.empty()) out += '&';
    out += percentEncode(name) + "=" + percentEncode(value);
  }
  return out;
}

std::string Client::url(const std::string& base, const std::string& path, const QueryItems& query) {
  std::string out = base;
  while (!out.empty() && out.back() == '/') out.pop_back();
  out += path;
  if (!query.empty()) {
    out += out.find('?') == std::string::npos ? '?' : '&';
    out += encodeQuery(query);
  }
  return out;
}

platform::HttpRequest Client::get(const std::string& url, platform::HttpHeaders headers) const {
  platform::HttpRequest request;
  request.method = "GET";
  request.url = url;
  request.headers = std::move(headers);
  request.timeout = timeoutInterval();
  return request;
}

platform::HttpRequest Client::postJSON(const std::string& url, const JSON& body,
                                       platform::HttpHeaders headers) const {
  platform::HttpRequest request = get(url, std::move(headers));
  request.method = "POST";
  request.headers.emplace_back("Content-Type", "application/json");
  auto text = body.dump(-1, ' ', false, JSON::error_handler_t::replace);
  request.body.assign(text.begin(), text.end());
  return request;
}

platform::HttpRequest Client::postMultipart(const std::string& url, const MultipartFormData& form,
                                            platform::HttpHeaders headers) const {
  platform::HttpRequest request = get(url, std::move(headers));
  request.method = "POST";
  request.headers.emplace_back("Content-Type", form.contentType());
  request.body = form.body();
  return request;
}

platform::HttpRequest Client::postText(const std::string& url, const std::string& body,
                                       platform::HttpHeaders headers) const {
  platform::HttpRequest request = get(url, std::move(headers));
  request.method = "POST";
  request.headers.emplace_back("Content-Type", "text/plain");
  request.body.assign(body.begin(), body.end());
  return request;
}

Outcome<JSON> Client::classify(const HttpResponse& response, ReplyMode mode) {
  if (response.failure == HttpResponse::Failure::tooLarge) {
    return OstrelError::fromCode(OstrelError::kServiceDown);
  }
  if (!response.completed()) return OstrelError::fromCode(OstrelError::kNetworkError);
  if (response.status == 401) return OstrelError::fromCode(OstrelError::kSessionExpired);
  if (response.status >= 500) return OstrelError::fromCode(OstrelError::kServiceDown);
  auto body = platform::parseJSONObject(response.body);
  if (!body) return OstrelError::fromCode(OstrelError::kServiceDown);

  const bool ok = response.status >= 200 && response.status < 300;
  if (ok && mode == ReplyMode::wholeReply) return std::move(*body);

  const JSON* error = objectMember(*body, "error");
  const std::int64_t errorCode = error ? replyCodeValue(*error) : 0;
  if (errorCode != 0) return serverError(errorCode, stringValue("message", *error));
  if (!ok) {
    std::int64_t code = replyCodeValue(*body);
    std::string message = error ? stringValue("message", *error) : stringValue("message", *body);
    return serverError(code != 0 ? code : response.status, message);
  }
  // Moved out, not copied: the reply is dropped right after.
  auto data = body->find("data");
  if (data != body->end() && data->is_object()) return std::move(*data);
  if (mode == ReplyMode::requiredData) return OstrelError::fromCode(OstrelError::kServiceDown);
  return JSON::object();
}

void Client::requestJSON(platform::HttpRequest request, ReplyMode mode,
                         std::function<void(Outcome<JSON>)> completion) const {
  auto main = platform::DispatchQueue::main();
  transport()->send(std::move(request),
                    [main, mode, completion = std::move(completion)](HttpResponse response) {
                      auto outcome = classify(response, mode);
                      main->async([completion, outcome = std::move(outcome)]() mutable {
                        if (completion) completion(std::move(outcome));
                      });
                    });
}

void Client::requestJSONOffMain(platform::HttpRequest request, ReplyMode mode,
                                std::function<void(Outcome<JSON>)> completion) const {
  transport()->send(std::move(request),
                    [mode, completion = std::move(completion)](HttpResponse response) {
                      if (completion) completion(classify(response, mode));
                    });
}

namespace {

// Why a file download failed. Past the size limit the reply is as useless as one cut short.
OstrelError downloadError(const HttpResponse& response) {
  if (response.failure == HttpResponse::Failure::tooLarge) {
    return OstrelError::fromCode(OstrelError::kNetworkError);
  }
  auto outcome = Client::classify(response, Client::ReplyMode::data);
  return outcome.isSuccess() ? OstrelError::fromCode(response.status) : outcome.error();
}

bool isFileDelivered(const HttpResponse& response) {
  return response.completed() && response.status >= 200 && response.status < 300;
}

}  // namespace

void Client::download(platform::HttpRequest request,
                      std::function<void(Outcome<platform::Bytes>)> completion) const {
  transport()->send(
      std::move(request), [completion = std::move(completion)](HttpResponse response) {
        if (!completion) return;
        if (!isFileDelivered(response)) return completion(downloadError(response));
        if (response.body.empty()) {
          return completion(OstrelError::fromCode(OstrelError::kServiceDown));
        }
        completion(std::move(response.body));
      });
}

void Client::download(platform::HttpRequest request,
                      std::function<bool(std::span<const std::uint8_t>)> sink,
                      std::function<void(Outcome<std::uint64_t>)> completion) const {
  auto taken = std::make_shared<std::uint64_t>(0);
  request.bodySink = [taken, sink = std::move(sink)](std::span<const std::uint8_t> bytes) {
    if (sink && !sink(bytes)) return false;
    *taken += bytes.size();
    return true;
  };
  transport()->send(std::move(request), [taken, completion = std::move(completion)](
                                            HttpResponse response) {
    if (!completion) return;
    if (!isFileDelivered(response)) return completion(downloadError(response));
    if (*taken == 0) return completion(OstrelError::fromCode(OstrelError::kServiceDown));
    completion(*taken);
  });
}

}  // namespace ostrel
