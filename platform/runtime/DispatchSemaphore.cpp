#include "platform/runtime/DispatchSemaphore.hpp"

#include <chrono>

#include "platform/runtime/Runtime.hpp"

namespace ostrel::platform {

void DispatchSemaphore::signal() {
  {
    std::lock_guard lock(mutex_);
    ++count_;
  }
  cv_.notify_one();
  Runtime::currentShared()->wakeWaiters();
}

bool DispatchSemaphore::tryTake() {
  std::lock_guard lock(mutex_);
  if (count_ > 0) {
    --count_;
    return true;
  }
  return false;
}

bool DispatchSemaphore::wait(std::optional<TimeInterval> timeout) {
  // Held for the whole wait: a test may install another runtime meanwhile.
  auto runtimeHold = Runtime::currentShared();
  auto& runtime = *runtimeHold;
  if (runtime.isDeterministic()) {
    std::optional<TimeInterval> deadline;
    if (timeout) deadline = runtime.uptime() + *timeout;
    while (!tryTake()) {
      // Without a time-out the wait goes on: the signal may come from another thread later.
      if (!runtime.runPendingWorkWhileWaiting(deadline) && timeout) return tryTake();
    }
    return true;
  }
  std::unique_lock lock(mutex_);
  auto ready = [this] { return count_ > 0; };
  if (timeout) {
    if (!cv_.wait_for(lock, std::chrono::duration<double>(*timeout), ready)) return false;
  } else {
    cv_.wait(lock, ready);
  }
  --count_;
  return true;
}

}  // namespace ostrel::platform
