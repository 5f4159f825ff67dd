#include "testing/DeterministicRuntime.hpp"

#include <algorithm>
#include <chrono>
#include <limits>
#include <utility>

#include <time.h>

namespace ostrel::testing {
namespace {

double threadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class VirtualQueue : public platform::DispatchQueue {
 public:
  VirtualQueue(std::string label, std::weak_ptr<DeterministicRuntime> runtime)
      : DispatchQueue(std::move(label)), runtime_(std::move(runtime)) {}

  void asyncAfter(TimeInterval delay, std::function<void()> work) override {
    // Work posted to a queue of a runtime that has been torn down is dropped.
    if (auto runtime = runtime_.lock()) {
      runtime->post(shared_from_this(), delay, std::move(work));
    }
  }

 private:
  std::weak_ptr<DeterministicRuntime> runtime_;
};

}  // namespace

DeterministicRuntime::DeterministicRuntime() : owner_(std::this_thread::get_id()) {}

DeterministicRuntime::~DeterministicRuntime() = default;

TimeInterval DeterministicRuntime::uptime() const {
  std::lock_guard lock(mutex_);
  return now_;
}

Date DeterministicRuntime::now() const {
  std::lock_guard lock(mutex_);
  return Date{wallStart_ + now_};
}

void DeterministicRuntime::setWallClock(Date date) {
  std::lock_guard lock(mutex_);
  wallStart_ = date.timeIntervalSince1970 - now_;
}

std::shared_ptr<platform::DispatchQueue> DeterministicRuntime::mainQueue() {
  std::lock_guard lock(mutex_);
  if (!main_) main_ = std::make_shared<VirtualQueue>("com.ostrel.main", weak_from_this());
  return main_;
}

std::shared_ptr<platform::DispatchQueue> DeterministicRuntime::globalQueue() {
  std::lock_guard lock(mutex_);
  if (!global_) global_ = std::make_shared<VirtualQueue>("com.ostrel.global", weak_from_this());
  return global_;
}

std::shared_ptr<platform::DispatchQueue> DeterministicRuntime::makeSerialQueue(std::string label) {
  return std::make_shared<VirtualQueue>(std::move(label), weak_from_this());
}

bool DeterministicRuntime::isMainQueue() const {
  const auto& stack = platform::DispatchQueue::runningStack();
  std::lock_guard lock(mutex_);
  if (!stack.empty()) return main_ && stack.back() == main_.get();
  // The test body itself plays the main thread.
  return std::this_thread::get_id() == owner_;
}

void DeterministicRuntime::post(const std::shared_ptr<platform::DispatchQueue>& queue,
                                TimeInterval delay, std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    Key key{now_ + std::max(0.0, delay), nextSequence_++};
    tasks_.emplace(key, Task{queue, std::move(work)});
  }
  posted_.notify_all();
}

std::optional<std::pair<DeterministicRuntime::Key, DeterministicRuntime::Task>>
DeterministicRuntime::takeRunnable(TimeInterval limit) {
  const auto& stack = platform::DispatchQueue::runningStack();
  std::lock_guard lock(mutex_);
  for (auto it = tasks_.begin(); it != tasks_.end() && it->first.due <= limit; ++it) {
    // A queue that is already running (this is a nested wait) keeps its blocks in order.
    if (std::find(stack.begin(), stack.end(), it->second.queue.get()) != stack.end()) continue;
    auto node = tasks_.extract(it);
    if (node.key().due > now_) now_ = node.key().due;
    return std::make_pair(node.key(), std::move(node.mapped()));
  }
  return std::nullopt;
}

void DeterministicRuntime::run(Task& task) {
  platform::DispatchQueue::Running running(task.queue.get());
  if (!observer_) {
    task.work();
    return;
  }
  const double outerNested = std::exchange(nestedCpu_, 0.0);
  const double start = threadCpuSeconds();
  task.work();
  const double spent = threadCpuSeconds() - start;
  const double own = spent - nestedCpu_;
  nestedCpu_ = outerNested + spent;
  if (observer_) observer_(*task.queue, own);
}

std::size_t DeterministicRuntime::runUntilIdle() {
  std::size_t count = 0;
  while (auto next = takeRunnable(uptime())) {
    run(next->second);
    ++count;
  }
  return count;
}

void DeterministicRuntime::advance(TimeInterval seconds) {
  const TimeInterval target = uptime() + std::max(0.0, seconds);
  while (auto next = takeRunnable(target)) run(next->second);
  std::lock_guard lock(mutex_);
  now_ = std::max(now_, target);
}

bool DeterministicRuntime::waitUntil(const std::function<bool()>& done, double realSeconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(realSeconds);
  while (true) {
    runUntilIdle();
    if (done()) return true;
    std::unique_lock lock(mutex_);
    auto hasDue = [&] { return !tasks_.empty() && tasks_.begin()->first.due <= now_; };
    if (!hasDue() && !posted_.wait_until(lock, deadline, hasDue)) {
      lock.unlock();
      runUntilIdle();
      return done();
    }
  }
}

bool DeterministicRuntime::runPendingWorkWhileWaiting(std::optional<TimeInterval> deadline) {
  const TimeInterval limit = deadline ? *deadline : std::numeric_limits<double>::infinity();
  if (auto next = takeRunnable(limit)) {
    run(next->second);
    return true;
  }
  // Nothing of ours can run: give other threads a bounded chance to post.
  {
    std::unique_lock lock(mutex_);
    const auto before = nextSequence_;
    const auto wakesBefore = wakes_;
    posted_.wait_for(lock, std::chrono::milliseconds(deadline ? 50 : 2000),
                     [&] { return nextSequence_ != before || wakes_ != wakesBefore; });
    // The waiter checks what it waits for before the clock moves on.
    if (wakes_ != wakesBefore) return true;
  }
  if (auto next = takeRunnable(limit)) {
    run(next->second);
    return true;
  }
  if (deadline) {
    std::lock_guard lock(mutex_);
    now_ = std::max(now_, *deadline);
  }
  return false;
}

void DeterministicRuntime::wakeWaiters() {
  {
    std::lock_guard lock(mutex_);
    ++wakes_;
  }
  posted_.notify_all();
}

std::optional<TimeInterval> DeterministicRuntime::nextDueTime() const {
  std::lock_guard lock(mutex_);
  if (tasks_.empty()) return std::nullopt;
  return tasks_.begin()->first.due;
}

std::size_t DeterministicRuntime::pendingCount() const {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}

}  // namespace ostrel::testing
