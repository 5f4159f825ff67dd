#pragma once

#include <memory>
#include <mutex>

#include "core/OSLConfig.hpp"
#include "core/OSLFlowType.hpp"

namespace ostrel {

// The library's one shared instance. Screens, the server client and the tracking emitter read
// the current configuration and flow through it at the moment they need them and keep no copy.
// The configuration is swapped under a lock, so a reader on another queue gets either the old
// or the new one, whole.
class Ostrel {
 public:
  static std::shared_ptr<Ostrel> shared();

  Ostrel() = default;
  Ostrel(const Ostrel&) = delete;
  Ostrel& operator=(const Ostrel&) = delete;

  // Never null: a default configuration until the host sets one.
  std::shared_ptr<OSLConfig> config() const;
  // A null configuration puts a fresh default one in its place.
  void setConfig(std::shared_ptr<OSLConfig> config);

  OSLFlowType flowType() const;
  void setFlowType(OSLFlowType flowType);

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<OSLConfig> config_ = OSLConfig::Builder("");
  OSLFlowType flowType_ = OSLFlowType::ekyc();
};

}  // namespace ostrel
