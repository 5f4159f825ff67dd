#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "platform/foundation/Date.hpp"

namespace ostrel::platform {

// A one-shot or repeating timer on the main queue. The run loop keeps a scheduled timer alive
// until it is invalidated (or, for a one-shot timer, until it has fired); a repeating timer
// fires at start + n * interval, so late blocks do not make it drift.
class Timer : public std::enable_shared_from_this<Timer> {
 public:
  using Block = std::function<void(Timer&)>;

  static std::shared_ptr<Timer> scheduledTimer(TimeInterval interval, bool repeats, Block block);

  // The block runs only while `owner` is alive; once it is gone the timer invalidates itself.
  template <class Owner>
  static std::shared_ptr<Timer> scheduledTimer(TimeInterval interval, bool repeats,
                                               const std::shared_ptr<Owner>& owner,
                                               std::function<void(Owner&, Timer&)> block) {
    std::weak_ptr<Owner> weakOwner = owner;
    return scheduledTimer(interval, repeats, [weakOwner, block = std::move(block)](Timer& timer) {
      auto strong = weakOwner.lock();
      if (!strong) {
        timer.invalidate();
        return;
      }
      block(*strong, timer);
    });
  }

  void invalidate() { valid_ = false; }
  bool isValid() const { return valid_; }
  TimeInterval timeInterval() const { return interval_; }
  // Runs the block now, outside the schedule (a one-shot timer is then done).
  void fire();

  Timer(TimeInterval interval, bool repeats, Block block);

 private:
  void scheduleNext();

  TimeInterval interval_;
  bool repeats_;
  Block block_;
  std::atomic<bool> valid_{true};
  TimeInterval start_ = 0;
  long firings_ = 0;
};

}  // namespace ostrel::platform
