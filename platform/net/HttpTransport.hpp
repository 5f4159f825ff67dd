#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Bytes.hpp"
#include "platform/foundation/Date.hpp"

namespace ostrel::platform {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
  std::string method = "GET";
  std::string url;
  HttpHeaders headers;
  Bytes body;
  // Whole-request limit, connection included.
  TimeInterval timeout = 60;
  // A reply body beyond this is not read; the request fails as `tooLarge`.
  std::size_t maxResponseBytes = 32u << 20;
  // When set, the body of a 2xx reply goes here as it arrives (after any content decoding)
  // instead of into the response, so a large file never sits in memory; returning false stops
  // the transfer, which fails as `other`. Bodies of other replies stay in the response.
  std::function<bool(std::span<const std::uint8_t>)> bodySink;
};

struct HttpResponse {
  enum class Failure {
    none,
    timedOut,
    cannotConnect,  // refused, unreachable, name not resolved
    tooLarge,
    cancelled,  // the transport shut down first
    other,      // TLS, protocol, a body cut short, ...
  };

  Failure failure = Failure::none;
  int status = 0;
  HttpHeaders headers;  // names in lower case
  Bytes body;

  bool completed() const { return failure == Failure::none; }
  std::optional<std::string> header(const std::string& lowerCaseName) const;
};

// Moves requests over the network on its own threads. Every request gets exactly one
// completion, on one of those threads.
class HttpTransport {
 public:
  virtual ~HttpTransport() = default;
  virtual void send(HttpRequest request, std::function<void(HttpResponse)> completion) = 0;

  // The transport the library uses: libcurl unless a test installed another.
  static std::shared_ptr<HttpTransport> shared();
  static void setShared(std::shared_ptr<HttpTransport> transport);
};

// libcurl, TLS peer and host verification on, a few worker threads. A request with a line break
// in a header (name or value) is not sent; it fails as `other`. A request that starts on
// https follows redirects to https only; one towards plain http fails as `other`. Destroying it
// cancels what is in flight and joins the threads.
class CurlTransport : public HttpTransport {
 public:
  explicit CurlTransport(std::size_t threads = 4);
  ~CurlTransport() override;
  CurlTransport(const CurlTransport&) = delete;
  CurlTransport& operator=(const CurlTransport&) = delete;

  void send(HttpRequest request, std::function<void(HttpResponse)> completion) override;

  // Trusts only these PEM certificates (instead of the system's) for later requests, so that
  // tests can talk TLS to a local server with a certificate of their own.
  void trustCertificatesForTesting(std::string pem);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace ostrel::platform
