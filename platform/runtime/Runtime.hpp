#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Date.hpp"

namespace ostrel::platform {

class DispatchQueue;

// The clock and the queues everything runs on. The library never sleeps and never reads
// the wall clock itself: it asks the installed runtime. Production installs nothing and gets
// the live runtime (threads and the steady clock); tests install a deterministic one whose
// clock only moves when the test says so.
class Runtime {
 public:
  virtual ~Runtime() = default;

  // The installed runtime; the live one unless a test installed another. The reference is only
  // safe on the thread that installs runtimes; other threads hold `currentShared()`.
  static Runtime& current();
  static std::shared_ptr<Runtime> currentShared();
  // Installs `runtime` for the whole process; nullptr goes back to a fresh live runtime.
  static void install(std::shared_ptr<Runtime> runtime);

  // Monotonic seconds, for delays, time-outs and durations.
  virtual TimeInterval uptime() const = 0;
  // Wall-clock time, for timestamps and for what is stored across launches.
  virtual Date now() const = 0;

  virtual std::shared_ptr<DispatchQueue> mainQueue() = 0;
  virtual std::shared_ptr<DispatchQueue> globalQueue() = 0;
  virtual std::shared_ptr<DispatchQueue> makeSerialQueue(std::string label) = 0;

  // Whether the calling code runs as part of the main queue.
  virtual bool isMainQueue() const = 0;

  // Deterministic runtimes cannot block the only thread they have; when a wait would block,
  // they run other queued work instead. Runs at most one piece of work that is due (moving the
  // virtual clock forward up to `deadline` when nothing is due yet) and returns whether it made
  // progress. The live runtime returns false: its waits block for real.
  virtual bool runPendingWorkWhileWaiting(std::optional<TimeInterval> deadline) {
    (void)deadline;
    return false;
  }
  virtual bool isDeterministic() const { return false; }
  // Tells a waiter inside `runPendingWorkWhileWaiting` that something it may wait for changed
  // without any work being posted (a semaphore signalled from another thread).
  virtual void wakeWaiters() {}
};

}  // namespace ostrel::platform
