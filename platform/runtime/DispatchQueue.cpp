#include "platform/runtime/DispatchQueue.hpp"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/runtime/Runtime.hpp"

namespace ostrel::platform {

std::shared_ptr<DispatchQueue> DispatchQueue::main() {
  return Runtime::currentShared()->mainQueue();
}

std::shared_ptr<DispatchQueue> DispatchQueue::global() {
  return Runtime::currentShared()->globalQueue();
}

std::shared_ptr<DispatchQueue> DispatchQueue::make(std::string label) {
  return Runtime::currentShared()->makeSerialQueue(std::move(label));
}

std::vector<const DispatchQueue*>& DispatchQueue::runningStack() {
  thread_local std::vector<const DispatchQueue*> stack;
  return stack;
}

bool DispatchQueue::isCurrent() const {
  const auto& stack = runningStack();
  return !stack.empty() && stack.back() == this;
}

void DispatchQueue::sync(const std::function<void()>& work) {
  if (isCurrent()) {
    work();
    return;
  }
  // Held for the whole wait: a test may install another runtime meanwhile.
  auto runtimeHold = Runtime::currentShared();
  auto& runtime = *runtimeHold;
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  async([&] {
    work();
    std::lock_guard lock(m);
    done = true;
    cv.notify_all();
  });
  if (runtime.isDeterministic()) {
    while (true) {
      {
        std::lock_guard lock(m);
        if (done) return;
      }
      if (!runtime.runPendingWorkWhileWaiting(std::nullopt)) {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return done; });
        return;
      }
    }
  }
  std::unique_lock lock(m);
  cv.wait(lock, [&] { return done; });
}

bool isMainQueue() {
  return Runtime::currentShared()->isMainQueue();
}

void failOffQueue(const DispatchQueue& queue, const char* where) {
  std::fprintf(stderr, "%s must run on the queue \"%s\"\n", where, queue.label().c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace ostrel::platform
