#include "platform/runtime/Timer.hpp"

#include <algorithm>

#include "platform/runtime/DispatchQueue.hpp"
#include "platform/runtime/Runtime.hpp"

namespace ostrel::platform {

Timer::Timer(TimeInterval interval, bool repeats, Block block)
    : interval_(std::max(interval, 0.0001)), repeats_(repeats), block_(std::move(block)) {}

std::shared_ptr<Timer> Timer::scheduledTimer(TimeInterval interval, bool repeats, Block block) {
  auto timer = std::make_shared<Timer>(interval, repeats, std::move(block));
  timer->start_ = Runtime::currentShared()->uptime();
  timer->scheduleNext();
  return timer;
}

void Timer::scheduleNext() {
  auto runtimeHold = Runtime::currentShared();
  auto& runtime = *runtimeHold;
  TimeInterval due = start_ + interval_ * static_cast<double>(firings_ + 1);
  TimeInterval delay = std::max(0.0, due - runtime.uptime());
  // The pending block holds the timer: a scheduled timer lives until it is done.
  runtime.mainQueue()->asyncAfter(delay, [self = shared_from_this()] {
    if (!self->valid_) return;
    ++self->firings_;
    self->block_(*self);
    if (!self->repeats_) {
      self->valid_ = false;
    } else if (self->valid_) {
      self->scheduleNext();
    }
  });
}

void Timer::fire() {
  if (!valid_) return;
  block_(*this);
  if (!repeats_) valid_ = false;
}

}  // namespace ostrel::platform
