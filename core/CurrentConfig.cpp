#include "core/CurrentConfig.hpp"

#include <mutex>
#include <utility>

namespace ostrel {
namespace {

struct Slot {
  std::mutex mutex;
  std::shared_ptr<OSLConfig> config = OSLConfig::Builder("");
};

Slot& slot() {
  static Slot instance;
  return instance;
}

}  // namespace

std::shared_ptr<OSLConfig> currentConfig() {
  auto& s = slot();
  std::lock_guard lock(s.mutex);
  return s.config;
}

std::shared_ptr<OSLAppearance> currentAppearance() {
  auto config = currentConfig();
  if (config->appearance) return config->appearance;
  return OSLAppearance::create();
}

std::shared_ptr<OSLConfig> setCurrentConfig(std::shared_ptr<OSLConfig> config) {
  if (!config) config = OSLConfig::Builder("");
  auto& s = slot();
  std::lock_guard lock(s.mutex);
  return std::exchange(s.config, std::move(config));
}

}  // namespace ostrel
