#include "platform/nfc/NFCReaderBackend.hpp"

#include <mutex>

#include "platform/nfc/PCSCReaderBackend.hpp"

namespace ostrel::platform {

namespace {
std::mutex& backendMutex() {
  static std::mutex mutex;
  return mutex;
}
std::shared_ptr<NFCReaderBackend>& installedReaderBackend() {
  static std::shared_ptr<NFCReaderBackend> backend;
  return backend;
}
}  // namespace

std::shared_ptr<NFCReaderBackend> NFCReaderBackend::current() {
  std::lock_guard lock(backendMutex());
  auto& backend = installedReaderBackend();
  if (!backend) backend = std::make_shared<PCSCReaderBackend>();
  return backend;
}

void NFCReaderBackend::install(std::shared_ptr<NFCReaderBackend> backend) {
  std::lock_guard lock(backendMutex());
  installedReaderBackend() = std::move(backend);
}

bool NFCNDEFReaderSession::readingAvailable() {
  return NFCReaderBackend::current()->readingAvailable();
}

}  // namespace ostrel::platform
