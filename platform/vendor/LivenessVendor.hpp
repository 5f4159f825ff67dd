#pragma once

// The outside liveness vendor's framework as the library sees it: a static `launch` that starts
// the vendor's streaming face capture with a token from the verification server, and a callback
// that reports how the capture goes. No real vendor session is built into this library; a
// vendor integration (or a test) installs a backend, and without one every launch ends at once
// with `notSupported`.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace ostrel::platform {

class Bundle;

// Why the vendor could not run the capture.
struct LivenessVendorError {
  enum class Kind {
    networkError,
    serverError,
    captureAlreadyActive,
    cameraPermissionDenied,
    userTimeout,
    notSupported,
    consentRequired,
    // Anything the vendor reports that the cases above do not name.
    internalError,
  };

  Kind kind = Kind::internalError;
  // Only the network and server cases carry a text.
  std::optional<std::string> text;

  static LivenessVendorError networkError(std::optional<std::string> text = std::nullopt) {
    return {Kind::networkError, std::move(text)};
  }
  static LivenessVendorError serverError(std::optional<std::string> text = std::nullopt) {
    return {Kind::serverError, std::move(text)};
  }
  static LivenessVendorError captureAlreadyActive() { return {Kind::captureAlreadyActive, {}}; }
  static LivenessVendorError cameraPermissionDenied() { return {Kind::cameraPermissionDenied, {}}; }
  static LivenessVendorError userTimeout() { return {Kind::userTimeout, {}}; }
  static LivenessVendorError notSupported() { return {Kind::notSupported, {}}; }
  static LivenessVendorError consentRequired() { return {Kind::consentRequired, {}}; }
  static LivenessVendorError internalError() { return {Kind::internalError, {}}; }
};

class LivenessVendorBackend;

class LivenessVendor {
 public:
  struct Options {
    // The vendor's texts are read from this bundle's string tables; null means its own.
    std::shared_ptr<Bundle> stringsBundle;
  };

  // One capture. The vendor keeps its sessions alive until they end, so a caller may drop it.
  class Session {
   public:
    virtual ~Session() = default;
  };

  struct SuccessResult {};
  struct FailureResult {
    // The vendor's failure reason by case index. The vendor numbers 0 to 10; a newer vendor may
    // send more, so any integer can arrive.
    int reason = 0;
  };
  struct Canceler {};

  // The statuses a capture reports, in the order a capture usually goes through them.
  struct connecting {};
  struct connected {};
  struct processing {
    double progress = 0;
    std::string message;
  };
  struct success {
    SuccessResult result;
  };
  struct failure {
    FailureResult result;
  };
  struct canceled {
    Canceler canceler;
  };
  struct error {
    LivenessVendorError value;
  };
  using Status = std::variant<connecting, connected, processing, success, failure, canceled, error>;
  // Called on whatever thread the vendor chooses, possibly several times with the same status.
  using Callback = std::function<void(Status)>;

  // Starts a capture against `streamingURL` with `token`. Never returns null.
  static std::shared_ptr<Session> launch(const std::string& streamingURL, const std::string& token,
                                         Options options, Callback callback);

  // The installed backend, null when there is none.
  static std::shared_ptr<LivenessVendorBackend> current();
  // Null removes the backend.
  static void install(std::shared_ptr<LivenessVendorBackend> backend);
};

class LivenessVendorBackend {
 public:
  virtual ~LivenessVendorBackend() = default;
  virtual std::shared_ptr<LivenessVendor::Session> launch(const std::string& streamingURL,
                                                          const std::string& token,
                                                          LivenessVendor::Options options,
                                                          LivenessVendor::Callback callback) = 0;
};

}  // namespace ostrel::platform
