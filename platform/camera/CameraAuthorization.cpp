#include "platform/camera/CameraAuthorization.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>

#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel::platform {

namespace {

std::mutex& authorizationBackendLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<CameraAuthorizationBackend>& installedAuthorizationBackend() {
  static std::shared_ptr<CameraAuthorizationBackend> backend;
  return backend;
}

}  // namespace

AuthorizationStatus CameraAuthorization::authorizationStatus(MediaType type) {
  return current()->status(type);
}

void CameraAuthorization::requestAccess(MediaType type,
                                        std::function<void(bool granted)> completionHandler) {
  current()->requestAccess(type, std::move(completionHandler));
}

std::shared_ptr<CameraAuthorizationBackend> CameraAuthorization::current() {
  std::lock_guard<std::mutex> guard(authorizationBackendLock());
  auto& backend = installedAuthorizationBackend();
  if (!backend) backend = std::make_shared<DeviceNodeCameraAuthorization>();
  return backend;
}

void CameraAuthorization::install(std::shared_ptr<CameraAuthorizationBackend> backend) {
  std::lock_guard<std::mutex> guard(authorizationBackendLock());
  installedAuthorizationBackend() = std::move(backend);
}

AuthorizationStatus DeviceNodeCameraAuthorization::status(MediaType type) {
  if (type != MediaType::video) return AuthorizationStatus::authorized;
  std::error_code ec;
  bool sawDevice = false;
  for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
    auto name = entry.path().filename().string();
    if (name.rfind("video", 0) != 0) continue;
    sawDevice = true;
    int fd = ::open(entry.path().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      ::close(fd);
      return AuthorizationStatus::authorized;
    }
  }
  return sawDevice ? AuthorizationStatus::denied : AuthorizationStatus::authorized;
}

void DeviceNodeCameraAuthorization::requestAccess(MediaType type,
                                                  std::function<void(bool granted)> answer) {
  bool granted = status(type) == AuthorizationStatus::authorized;
  DispatchQueue::global()->async([answer = std::move(answer), granted] {
    if (answer) answer(granted);
  });
}

}  // namespace ostrel::platform
