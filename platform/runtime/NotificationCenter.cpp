#include "platform/runtime/NotificationCenter.hpp"

#include <algorithm>

namespace ostrel::platform {

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter center;
  return center;
}

void NotificationCenter::addObserver(std::weak_ptr<const void> observer, std::string name,
                                     Block block) {
  const void* identity = observer.lock().get();
  if (identity == nullptr || !block) return;
  std::lock_guard lock(mutex_);
  registrations_.push_back({std::move(observer), identity, std::move(name), std::move(block)});
}

void NotificationCenter::removeObserver(const void* observer) {
  std::lock_guard lock(mutex_);
  std::erase_if(registrations_, [&](const Registration& r) { return r.identity == observer; });
}

void NotificationCenter::removeObserver(const void* observer, const std::string& name) {
  std::lock_guard lock(mutex_);
  std::erase_if(registrations_,
                [&](const Registration& r) { return r.identity == observer && r.name == name; });
}

void NotificationCenter::post(const std::string& name, JSON userInfo) {
  std::vector<std::pair<std::weak_ptr<const void>, Block>> targets;
  {
    std::lock_guard lock(mutex_);
    std::erase_if(registrations_, [](const Registration& r) { return r.observer.expired(); });
    for (const auto& r : registrations_) {
      if (r.name == name) targets.emplace_back(r.observer, r.block);
    }
  }
  const Notification notification{name, std::move(userInfo)};
  for (auto& [observer, block] : targets) {
    // Held for the call, so an observer released by an earlier block is skipped safely.
    if (auto alive = observer.lock()) block(notification);
  }
}

void NotificationCenter::resetForTesting() {
  std::lock_guard lock(mutex_);
  registrations_.clear();
}

}  // namespace ostrel::platform
