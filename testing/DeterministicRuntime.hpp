#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>

#include "platform/runtime/DispatchQueue.hpp"
#include "platform/runtime/Runtime.hpp"

namespace ostrel::testing {

using platform::Date;
using platform::TimeInterval;

// Every queue is played on the test's thread, in due-time order (posting order among equals),
// on a virtual clock that moves only when the test advances it. Real threads (HTTP, PC/SC) may
// post from anywhere; their work waits until the test pumps.
class DeterministicRuntime : public platform::Runtime,
                             public std::enable_shared_from_this<DeterministicRuntime> {
 public:
  // The virtual clock starts at uptime 0 and at this wall-clock date (2026-01-01T00:00:00Z).
  static constexpr double kDefaultStartDate = 1767225600;

  DeterministicRuntime();
  ~DeterministicRuntime() override;

  TimeInterval uptime() const override;
  Date now() const override;
  std::shared_ptr<platform::DispatchQueue> mainQueue() override;
  std::shared_ptr<platform::DispatchQueue> globalQueue() override;
  std::shared_ptr<platform::DispatchQueue> makeSerialQueue(std::string label) override;
  bool isMainQueue() const override;
  bool runPendingWorkWhileWaiting(std::optional<TimeInterval> deadline) override;
  bool isDeterministic() const override { return true; }
  void wakeWaiters() override;

  // Runs everything that is due now, including what that work posts for now; returns the
  // number of blocks run.
  std::size_t runUntilIdle();
  // Moves the clock forward by `seconds`, running each block at its due time, in order.
  void advance(TimeInterval seconds);
  // Runs due work and waits (in real time, at most `realSeconds`) for other threads to post
  // more, until `done` holds. Never moves the virtual clock. Returns whether `done` held.
  bool waitUntil(const std::function<bool()>& done, double realSeconds = 10);
  // Due time of the next scheduled block, if any.
  std::optional<TimeInterval> nextDueTime() const;
  std::size_t pendingCount() const;
  void setWallClock(Date date);

  // Told after each block with its queue and the CPU time the block took on this thread, less
  // the blocks run inside it while it waited (those are told on their own), so the times add up
  // to the thread's. For benchmarks that split a run's cost by queue; none by default.
  using BlockObserver =
      std::function<void(const platform::DispatchQueue& queue, double cpuSeconds)>;
  void setBlockObserver(BlockObserver observer) { observer_ = std::move(observer); }

  // Used by the queues.
  void post(const std::shared_ptr<platform::DispatchQueue>& queue, TimeInterval delay,
            std::function<void()> work);

 private:
  struct Key {
    TimeInterval due;
    std::uint64_t sequence;
    auto operator<=>(const Key&) const = default;
  };
  struct Task {
    std::shared_ptr<platform::DispatchQueue> queue;
    std::function<void()> work;
  };

  // Takes the first task due by `limit` whose queue is not running further up this stack.
  std::optional<std::pair<Key, Task>> takeRunnable(TimeInterval limit);
  void run(Task& task);

  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::map<Key, Task> tasks_;
  std::uint64_t nextSequence_ = 0;
  std::uint64_t wakes_ = 0;
  TimeInterval now_ = 0;
  double wallStart_ = kDefaultStartDate;
  std::thread::id owner_;
  std::shared_ptr<platform::DispatchQueue> main_;
  std::shared_ptr<platform::DispatchQueue> global_;
  BlockObserver observer_;
  // CPU time of the blocks finished inside the block running now.
  double nestedCpu_ = 0;
};

}  // namespace ostrel::testing
