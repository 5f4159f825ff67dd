#include "platform/runtime/Runtime.hpp"

#include <mutex>

#include "platform/runtime/LiveRuntime.hpp"

namespace ostrel::platform {
namespace {

std::mutex& installMutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<Runtime>& installed() {
  static std::shared_ptr<Runtime> runtime;
  return runtime;
}

}  // namespace

std::shared_ptr<Runtime> Runtime::currentShared() {
  std::lock_guard lock(installMutex());
  if (!installed()) installed() = std::make_shared<LiveRuntime>();
  return installed();
}

Runtime& Runtime::current() {
  return *currentShared();
}

void Runtime::install(std::shared_ptr<Runtime> runtime) {
  std::shared_ptr<Runtime> previous;
  {
    std::lock_guard lock(installMutex());
    previous = std::move(installed());
    installed() = std::move(runtime);
  }
  // `previous` is released outside the lock: tearing down a runtime joins its threads.
}

}  // namespace ostrel::platform
