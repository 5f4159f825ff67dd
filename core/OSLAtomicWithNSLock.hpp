#pragma once

#include <functional>
#include <mutex>
#include <utility>

namespace ostrel {

// One value shared between the main queue and a camera queue. Reading or replacing the value
// takes the lock for that moment only; `withValue` holds it for one read-modify-write.
template <class T>
class OSLAtomicWithNSLock {
 public:
  OSLAtomicWithNSLock() = default;
  explicit OSLAtomicWithNSLock(T value) : value_(std::move(value)) {}

  T value() const {
    std::lock_guard lock(mutex_);
    return value_;
  }

  void setValue(T value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
  }

  template <class F>
  auto withValue(F&& body) {
    std::lock_guard lock(mutex_);
    return std::forward<F>(body)(value_);
  }

 private:
  mutable std::mutex mutex_;
  T value_{};
};

}  // namespace ostrel
