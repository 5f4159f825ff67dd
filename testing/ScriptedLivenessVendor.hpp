#pragma once

#include <cstddef>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/vendor/LivenessVendor.hpp"

namespace ostrel::testing {

// A liveness vendor for tests. It records every launch, keeps every session alive (as the real
// vendor does) and reports statuses when the test says so: a script played on the main queue on
// the virtual clock, or single statuses emitted by hand on the test thread or on another thread.
class ScriptedLivenessVendor : public platform::LivenessVendorBackend {
 public:
  using Status = platform::LivenessVendor::Status;

  struct Launch {
    std::string streamingURL;
    std::string token;
    // The folder of the strings bundle handed over, if any.
    std::optional<std::filesystem::path> stringsBundlePath;
  };

  // Installs a fresh one process-wide and returns it (`LivenessVendor::install(nullptr)` takes
  // it away again).
  static std::shared_ptr<ScriptedLivenessVendor> install();

  // The statuses the next launch plays on the main queue, one every `stepSeconds` of virtual
  // time from the launch. Each launch takes one script; a launch without one stays silent.
  void scriptNextLaunch(std::vector<Status> statuses, double stepSeconds = 0.5);

  std::vector<Launch> launches() const;
  std::size_t launchCount() const;

  // Reports `status` to the callback of launch `index` (the last launch when absent) on the
  // calling thread, or on a thread of its own that has finished when this returns.
  enum class Thread { caller, other };
  void emit(const Status& status, Thread thread = Thread::caller,
            std::optional<std::size_t> index = std::nullopt);
  // Every status in turn, from one other thread.
  void emitAllFromOtherThread(const std::vector<Status>& statuses,
                              std::optional<std::size_t> index = std::nullopt);

  std::shared_ptr<platform::LivenessVendor::Session> launch(
      const std::string& streamingURL, const std::string& token,
      platform::LivenessVendor::Options options,
      platform::LivenessVendor::Callback callback) override;

 private:
  struct ScriptedSession;
  std::shared_ptr<ScriptedSession> session(std::optional<std::size_t> index) const;

  mutable std::mutex mutex_;
  std::vector<Launch> launches_;
  std::vector<std::shared_ptr<ScriptedSession>> sessions_;
  struct Script {
    std::vector<Status> statuses;
    double stepSeconds;
  };
  std::deque<Script> scripts_;
};

}  // namespace ostrel::testing
