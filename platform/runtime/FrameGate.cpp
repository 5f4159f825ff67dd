#include "platform/runtime/FrameGate.hpp"

#include "platform/runtime/Runtime.hpp"

namespace ostrel::platform {

FrameGate::Take FrameGate::tryTake() {
  std::lock_guard lock(mutex_);
  if (shutDown_) return Take::shutDown;
  if (!open_) return Take::closed;
  open_ = false;
  return Take::taken;
}

bool FrameGate::tryAcquire() { return tryTake() == Take::taken; }

bool FrameGate::acquire() {
  // Held for the whole wait: a test may install another runtime meanwhile.
  auto runtimeHold = Runtime::currentShared();
  if (runtimeHold->isDeterministic()) {
    for (;;) {
      switch (tryTake()) {
        case Take::taken: return true;
        case Take::shutDown: return false;
        case Take::closed: break;
      }
      // The release may come from queued work or from another thread later; both wake us.
      runtimeHold->runPendingWorkWhileWaiting(std::nullopt);
    }
  }
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [this] { return open_ || shutDown_; });
  if (shutDown_) return false;
  open_ = false;
  return true;
}

void FrameGate::notifyAll() {
  cv_.notify_all();
  Runtime::currentShared()->wakeWaiters();
}

void FrameGate::release() {
  {
    std::lock_guard lock(mutex_);
    if (shutDown_ || open_) return;
    open_ = true;
  }
  notifyAll();
}

void FrameGate::shutdown() {
  {
    std::lock_guard lock(mutex_);
    shutDown_ = true;
  }
  notifyAll();
}

void FrameGate::reopen() {
  {
    std::lock_guard lock(mutex_);
    shutDown_ = false;
    open_ = true;
  }
  notifyAll();
}

bool FrameGate::isShutDown() const {
  std::lock_guard lock(mutex_);
  return shutDown_;
}

bool FrameGate::isOpen() const {
  std::lock_guard lock(mutex_);
  return open_ && !shutDown_;
}

}  // namespace ostrel::platform
