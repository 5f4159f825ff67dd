#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/Outcome.hpp"
#include "network/MultipartFormData.hpp"
#include "platform/foundation/JSON.hpp"
#include "platform/net/HttpTransport.hpp"

namespace ostrel {

using QueryItems = std::vector<std::pair<std::string, std::string>>;

// The HTTP side of the server client: builds requests (query, JSON, multipart, plain text),
// sends them through the transport with the time-out, and turns replies into the reply's data
// or an `OstrelError`. It adds no credentials itself; `OstrelClient` does.
class Client {
 public:
  // How a reply is handed on.
  enum class ReplyMode {
    data,          // the "data" object ({} when absent or not an object)
    requiredData,  // the "data" object; a 2xx reply without one is the service fault (500)
    wholeReply,    // any 2xx JSON object whole, "error" member included
  };

  static std::shared_ptr<Client> shared();
  explicit Client(std::shared_ptr<platform::HttpTransport> transport = nullptr);

  // 60 seconds unless changed (tests shorten it).
  platform::TimeInterval timeoutInterval() const;
  void setTimeoutInterval(platform::TimeInterval seconds);

  // "base" + "path" + "?" + the encoded query (no "?" without items). A trailing "/" of base is
  // dropped.
  static std::string url(const std::string& base, const std::string& path,
                         const QueryItems& query = {});
  // RFC 3986 unreserved characters stay, every other byte is %XX.
  static std::string percentEncode(const std::string& text);
  static std::string encodeQuery(const QueryItems& query);

  platform::HttpRequest get(const std::string& url, platform::HttpHeaders headers) const;
  platform::HttpRequest postJSON(const std::string& url, const platform::JSON& body,
                                 platform::HttpHeaders headers) const;
  platform::HttpRequest postMultipart(const std::string& url, const MultipartFormData& form,
                                      platform::HttpHeaders headers) const;
  platform::HttpRequest postText(const std::string& url, const std::string& body,
                                 platform::HttpHeaders headers) const;

  // Sends and hands the classified reply to `completion` once, on the main queue of the
  // runtime that was current at the call.
  void requestJSON(platform::HttpRequest request, ReplyMode mode,
                   std::function<void(Outcome<platform::JSON>)> completion) const;
  // The same on the transport's thread, for the asynchronous forms.
  void requestJSONOffMain(platform::HttpRequest request, ReplyMode mode,
                          std::function<void(Outcome<platform::JSON>)> completion) const;
  // A file: the body of a 2xx reply; otherwise the error the reply carries. A body past the
  // request's size limit is a network error (-1), as a body cut short is. Runs `completion`
  // on the transport's thread.
  void download(platform::HttpRequest request,
                std::function<void(Outcome<platform::Bytes>)> completion) const;
  // The same, the body handed to `sink` as it arrives (see `HttpRequest::bodySink`); the
  // completion gets the number of bytes the sink took. An empty body is the service fault.
  void download(platform::HttpRequest request,
                std::function<bool(std::span<const std::uint8_t>)> sink,
                std::function<void(Outcome<std::uint64_t>)> completion) const;

  // The reply classification, in this order: transport failure or time-out -1; HTTP 401 401;
  // HTTP 5xx 500; a body that is not a JSON object (too large, or nested too deep to read) 500;
  // an "error" object with a non-zero code (a number or decimal text): that code and message;
  // another non-2xx status: the body's code and message when it has them, else the status;
  // in `requiredData` mode a reply without a "data" object 500; otherwise success.
  static Outcome<platform::JSON> classify(const platform::HttpResponse& response, ReplyMode mode);

 private:
  std::shared_ptr<platform::HttpTransport> transport() const;

  std::shared_ptr<platform::HttpTransport> transport_;
  mutable std::mutex mutex_;
  platform::TimeInterval timeout_ = 60;
};

}  // namespace ostrel
