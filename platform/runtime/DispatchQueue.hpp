#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Date.hpp"

namespace ostrel::platform {

class Runtime;

// A queue of work. Serial queues run one block at a time in posting order (delayed blocks in
// due order); the global queue may run blocks side by side. Posting is safe from any thread.
class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
 public:
  virtual ~DispatchQueue() = default;

  static std::shared_ptr<DispatchQueue> main();
  static std::shared_ptr<DispatchQueue> global();
  static std::shared_ptr<DispatchQueue> make(std::string label);

  const std::string& label() const { return label_; }

  void async(std::function<void()> work) { asyncAfter(0, std::move(work)); }
  virtual void asyncAfter(TimeInterval delay, std::function<void()> work) = 0;

  // Runs `work` on this queue and returns when it is done. Runs inline when called from
  // this queue already.
  void sync(const std::function<void()>& work);

  // Whether the calling code runs on this queue.
  virtual bool isCurrent() const;

  // The queues the calling thread is running, innermost last (maintained by the runtimes).
  static std::vector<const DispatchQueue*>& runningStack();

  // RAII marker a runtime puts around each block it runs.
  class Running {
   public:
    explicit Running(const DispatchQueue* queue) { runningStack().push_back(queue); }
    ~Running() { runningStack().pop_back(); }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
  };

 protected:
  explicit DispatchQueue(std::string label) : label_(std::move(label)) {}

 private:
  std::string label_;
};

// True when the calling code runs on the main queue.
bool isMainQueue();

// Whether `assertOnQueue` checks: in debug builds, and wherever OSTREL_QUEUE_CHECKS is defined
// (the sanitizer build), off in release builds.
#if !defined(NDEBUG) || defined(OSTREL_QUEUE_CHECKS)
inline constexpr bool kQueueChecks = true;
#else
inline constexpr bool kQueueChecks = false;
#endif

// Placed at the entry of a method that must run on one queue (the main queue for screen work,
// a session queue for the chip protocol): when checks are on and the caller is elsewhere, the
// process stops with a message naming `where` and the queue. The main queue counts as current
// wherever `isMainQueue()` holds (the test body plays the main thread).
void failOffQueue(const DispatchQueue& queue, const char* where);
inline void assertOnQueue(const std::shared_ptr<DispatchQueue>& queue,
                          const char* where = __builtin_FUNCTION()) {
  if constexpr (kQueueChecks) {
    if (!queue) return;
    const bool onIt = queue == DispatchQueue::main() ? isMainQueue() : queue->isCurrent();
    if (!onIt) failOffQueue(*queue, where);
  }
}

}  // namespace ostrel::platform
