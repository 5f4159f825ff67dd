#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>

#include "platform/foundation/Date.hpp"

namespace ostrel::platform {

// A counting semaphore. Under the deterministic runtime a wait that would block runs other
// queued work (and moves the virtual clock up to the time-out) instead, so a test thread that
// plays every queue never deadlocks on itself.
class DispatchSemaphore {
 public:
  explicit DispatchSemaphore(long value) : count_(value) {}

  void signal();
  // Returns false when `timeout` seconds passed first; no time-out waits for ever.
  bool wait(std::optional<TimeInterval> timeout = std::nullopt);

 private:
  bool tryTake();

  std::mutex mutex_;
  std::condition_variable cv_;
  long count_;
};

}  // namespace ostrel::platform
