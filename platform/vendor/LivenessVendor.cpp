#include "platform/vendor/LivenessVendor.hpp"

#include <mutex>

#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel::platform {

namespace {

std::mutex& backendMutex() {
  static std::mutex mutex;
  return mutex;
}

std::shared_ptr<LivenessVendorBackend>& installedVendorBackend() {
  static std::shared_ptr<LivenessVendorBackend> backend;
  return backend;
}

}  // namespace

std::shared_ptr<LivenessVendor::Session> LivenessVendor::launch(const std::string& streamingURL,
                                                                const std::string& token,
                                                                Options options,
                                                                Callback callback) {
  if (auto backend = current()) {
    if (auto session =
            backend->launch(streamingURL, token, std::move(options), std::move(callback))) {
      return session;
    }
    return std::make_shared<Session>();
  }
  // Without a vendor the capture cannot run; say so the way a vendor would, later and once,
  // so that the caller's own state is settled before it hears back.
  if (callback) {
    DispatchQueue::main()->async(
        [callback = std::move(callback)] { callback(error{LivenessVendorError::notSupported()}); });
  }
  return std::make_shared<Session>();
}

std::shared_ptr<LivenessVendorBackend> LivenessVendor::current() {
  std::lock_guard lock(backendMutex());
  return installedVendorBackend();
}

void LivenessVendor::install(std::shared_ptr<LivenessVendorBackend> backend) {
  std::lock_guard lock(backendMutex());
  installedVendorBackend() = std::move(backend);
}

}  // namespace ostrel::platform
