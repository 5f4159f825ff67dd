#include "platform/runtime/LiveRuntime.hpp"

#include <atomic>
#include <condition_variable>
#include <queue>
#include <vector>

#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel::platform {
namespace {

using Clock = std::chrono::steady_clock;

struct Task {
  Clock::time_point due;
  std::uint64_t sequence;
  std::function<void()> work;
};

struct TaskOrder {
  bool operator()(const Task& a, const Task& b) const {
    if (a.due != b.due) return a.due > b.due;
    return a.sequence > b.sequence;
  }
};

// A queue of timed tasks drained by worker threads, or by a caller for the main queue.
class LiveQueue : public DispatchQueue {
 public:
  LiveQueue(std::string label, int workers) : DispatchQueue(std::move(label)) {
    for (int i = 0; i < workers; ++i) {
      workers_.emplace_back([this] { workerLoop(); });
    }
  }

  ~LiveQueue() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    cv_.notify_all();
    for (auto& t : workers_) {
      if (t.get_id() == std::this_thread::get_id()) {
        // Released by its own work: that worker must leave without touching the queue again.
        t.detach();
        releasedByOwnWorker() = true;
      } else {
        t.join();
      }
    }
  }

  void asyncAfter(TimeInterval delay, std::function<void()> work) override {
    auto due = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(delay > 0 ? delay : 0));
    {
      std::lock_guard lock(mutex_);
      tasks_.push(Task{due, nextSequence_++, std::move(work)});
    }
    cv_.notify_one();
  }

  bool isCurrent() const override {
    const auto& stack = runningStack();
    if (!stack.empty()) return stack.back() == this;
    return false;
  }

  // Runs due tasks on the calling thread. Returns true when `until` held or the loop was
  // stopped, false when the deadline passed.
  bool drain(const std::function<bool()>& until, std::optional<Clock::time_point> deadline) {
    stopRequested_ = false;
    while (true) {
      if (until && until()) return true;
      std::unique_lock lock(mutex_);
      if (stopRequested_) return true;
      if (deadline && Clock::now() >= *deadline) return false;
      if (tasks_.empty() || tasks_.top().due > Clock::now()) {
        auto wake =
            tasks_.empty() ? Clock::now() + std::chrono::milliseconds(50) : tasks_.top().due;
        if (deadline && *deadline < wake) wake = *deadline;
        cv_.wait_until(lock, wake);
        continue;
      }
      Task task = std::move(const_cast<Task&>(tasks_.top()));
      tasks_.pop();
      lock.unlock();
      Running running(this);
      task.work();
    }
  }

  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopRequested_ = true;
    }
    cv_.notify_all();
  }

 private:
  void workerLoop() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      if (tasks_.empty()) {
        cv_.wait(lock);
        continue;
      }
      if (tasks_.top().due > Clock::now()) {
        // A copy: the wait reads its deadline again after waking, and a post made meanwhile
        // may have moved the queue's storage.
        const auto due = tasks_.top().due;
        cv_.wait_until(lock, due);
        continue;
      }
      Task task = std::move(const_cast<Task&>(tasks_.top()));
      tasks_.pop();
      lock.unlock();
      {
        Running running(this);
        task.work();
        // What the block captured goes unlocked: it may post here or hold the last reference.
        task.work = nullptr;
      }
      if (releasedByOwnWorker()) return;
      lock.lock();
    }
  }

  static bool& releasedByOwnWorker() {
    thread_local bool released = false;
    return released;
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::priority_queue<Task, std::vector<Task>, TaskOrder> tasks_;
  std::uint64_t nextSequence_ = 0;
  bool stopping_ = false;
  bool stopRequested_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace

LiveRuntime::LiveRuntime()
    : start_(Clock::now()),
      mainThread_(std::this_thread::get_id()),
      main_(std::make_shared<LiveQueue>("com.ostrel.main", 0)),
      global_(std::make_shared<LiveQueue>("com.ostrel.global", 4)) {}

LiveRuntime::~LiveRuntime() = default;

TimeInterval LiveRuntime::uptime() const {
  return std::chrono::duration<double>(Clock::now() - start_).count();
}

Date LiveRuntime::now() const {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  return Date{std::chrono::duration<double>(since).count()};
}

std::shared_ptr<DispatchQueue> LiveRuntime::mainQueue() {
  return main_;
}
std::shared_ptr<DispatchQueue> LiveRuntime::globalQueue() {
  return global_;
}

std::shared_ptr<DispatchQueue> LiveRuntime::makeSerialQueue(std::string label) {
  return std::make_shared<LiveQueue>(std::move(label), 1);
}

bool LiveRuntime::isMainQueue() const {
  const auto& stack = DispatchQueue::runningStack();
  if (!stack.empty()) return stack.back() == main_.get();
  return std::this_thread::get_id() == mainThread_;
}

bool LiveRuntime::runMainLoop(std::function<bool()> until, std::optional<TimeInterval> timeout) {
  mainThread_ = std::this_thread::get_id();
  std::optional<Clock::time_point> deadline;
  if (timeout) {
    deadline = Clock::now() +
               std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*timeout));
  }
  return static_cast<LiveQueue&>(*main_).drain(until, deadline);
}

void LiveRuntime::stopMainLoop() {
  static_cast<LiveQueue&>(*main_).stop();
}

}  // namespace ostrel::platform
