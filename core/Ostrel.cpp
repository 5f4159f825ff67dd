#include "core/Ostrel.hpp"

#include <utility>

namespace ostrel {

std::shared_ptr<Ostrel> Ostrel::shared() {
  static const std::shared_ptr<Ostrel> instance = std::make_shared<Ostrel>();
  return instance;
}

std::shared_ptr<OSLConfig> Ostrel::config() const {
  std::lock_guard lock(mutex_);
  return config_;
}

void Ostrel::setConfig(std::shared_ptr<OSLConfig> config) {
  if (!config) config = OSLConfig::Builder("");
  std::shared_ptr<OSLConfig> previous;
  {
    std::lock_guard lock(mutex_);
    previous = std::exchange(config_, std::move(config));
  }
  // `previous` may hold the last reference to host handlers; they are released unlocked.
}

OSLFlowType Ostrel::flowType() const {
  std::lock_guard lock(mutex_);
  return flowType_;
}

void Ostrel::setFlowType(OSLFlowType flowType) {
  std::lock_guard lock(mutex_);
  flowType_ = std::move(flowType);
}

}  // namespace ostrel
