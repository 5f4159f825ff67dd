#pragma once

#include <condition_variable>
#include <mutex>

namespace ostrel::platform {

// Lets one camera frame at a time through to judgement. Unlike a counting semaphore, releasing
// an open gate leaves it open with one permit, so extra releases (a timer's, a retry's) can
// never let two frames through at once. Shutting it down wakes every waiter and makes every
// later acquire fail at once, so a camera queue waiting at the gate can always finish when its
// screen goes away.
class FrameGate {
 public:
  explicit FrameGate(bool open = true) : open_(open) {}

  // Takes the permit, waiting as `DispatchSemaphore::wait` does (under the deterministic
  // runtime by running other queued work). Returns false, at once or when woken, once the gate
  // is shut down.
  bool acquire();
  // Takes the permit when it is there; never waits.
  bool tryAcquire();
  // Gives the permit back; a gate that is already open stays open with one permit. Does
  // nothing after a shutdown.
  void release();
  // Wakes every waiter with false and fails every later acquire until `reopen`.
  void shutdown();
  // Back to a fresh gate: open with one permit, not shut down.
  void reopen();

  bool isShutDown() const;
  bool isOpen() const;

 private:
  enum class Take { taken, closed, shutDown };
  Take tryTake();
  void notifyAll();

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool open_;
  bool shutDown_ = false;
};

}  // namespace ostrel::platform
