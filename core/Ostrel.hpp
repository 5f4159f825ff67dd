#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "core/OSLConfig.hpp"
#include "core/OSLFlowType.hpp"

namespace ostrel::platform {
class NavigationController;
}

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

  // The library's navigation controller while a session is on screen; null otherwise. For the
  // library's screens, not for the host.
  std::shared_ptr<platform::NavigationController> naviViewController() const;
  // Used by the flow launcher when it starts a session.
  void setNaviViewController(std::shared_ptr<platform::NavigationController> navi);

  // Ends the session: dismisses what the navigation controller presents, then the navigation
  // controller itself (both animated), and forgets it. Once the dismissal is done: when
  // `isCancel`, the host hears of the cancel (event handler with `cancelled`, else the
  // cancel-session handler); then `completion` runs, still seeing the session's handlers; then
  // the configuration is replaced by a fresh default one, unless the completion started a new
  // session. Without a navigation controller nothing happens and `completion` does not run.
  // Called from another queue, it moves to the main queue first.
  void close(bool isCancel, std::function<void()> completion = {});

 private:
  void finishClose(bool isCancel, std::function<void()> completion);

  mutable std::mutex mutex_;
  std::shared_ptr<platform::NavigationController> navi_;
  // Bumped by every session start, so a close can tell whether its completion started one.
  std::uint64_t sessionGeneration_ = 0;
  std::shared_ptr<OSLConfig> config_ = OSLConfig::Builder("");
  OSLFlowType flowType_ = OSLFlowType::ekyc();
};

// Closes the shared facade's session as cancelled.
void closeSessionCancelled(std::function<void()> completion = {});

}  // namespace ostrel
