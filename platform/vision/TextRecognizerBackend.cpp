#include "platform/vision/TextRecognizerBackend.hpp"

#include <mutex>

#include "platform/vision/MRZLineRecognizer.hpp"

namespace ostrel::platform {

namespace {
std::mutex& backendMutex() {
  static std::mutex mutex;
  return mutex;
}
std::shared_ptr<TextRecognizerBackend>& installedRecognizerBackend() {
  static std::shared_ptr<TextRecognizerBackend> backend;
  return backend;
}
}  // namespace

std::shared_ptr<TextRecognizerBackend> TextRecognizerBackend::current() {
  std::lock_guard lock(backendMutex());
  auto& backend = installedRecognizerBackend();
  if (!backend) backend = std::make_shared<MRZLineRecognizer>();
  return backend;
}

void TextRecognizerBackend::install(std::shared_ptr<TextRecognizerBackend> backend) {
  std::lock_guard lock(backendMutex());
  installedRecognizerBackend() = std::move(backend);
}

}  // namespace ostrel::platform
