#include "testing/ScriptedLivenessVendor.hpp"

#include <stdexcept>
#include <thread>

#include "platform/foundation/Bundle.hpp"
#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel::testing {

using platform::LivenessVendor;

struct ScriptedLivenessVendor::ScriptedSession : LivenessVendor::Session {
  LivenessVendor::Callback callback;

  void report(const Status& status) const {
    if (callback) callback(status);
  }
};

std::shared_ptr<ScriptedLivenessVendor> ScriptedLivenessVendor::install() {
  auto vendor = std::make_shared<ScriptedLivenessVendor>();
  LivenessVendor::install(vendor);
  return vendor;
}

void ScriptedLivenessVendor::scriptNextLaunch(std::vector<Status> statuses, double stepSeconds) {
  std::lock_guard lock(mutex_);
  scripts_.push_back({std::move(statuses), stepSeconds});
}

std::vector<ScriptedLivenessVendor::Launch> ScriptedLivenessVendor::launches() const {
  std::lock_guard lock(mutex_);
  return launches_;
}

std::size_t ScriptedLivenessVendor::launchCount() const {
  std::lock_guard lock(mutex_);
  return launches_.size();
}

std::shared_ptr<ScriptedLivenessVendor::ScriptedSession> ScriptedLivenessVendor::session(
    std::optional<std::size_t> index) const {
  std::lock_guard lock(mutex_);
  if (sessions_.empty()) throw std::logic_error("no liveness vendor session was launched");
  std::size_t at = index.value_or(sessions_.size() - 1);
  if (at >= sessions_.size()) throw std::out_of_range("no liveness vendor session at that index");
  return sessions_[at];
}

void ScriptedLivenessVendor::emit(const Status& status, Thread thread,
                                  std::optional<std::size_t> index) {
  auto target = session(index);
  if (thread == Thread::caller) {
    target->report(status);
    return;
  }
  std::thread other([target, status] { target->report(status); });
  other.join();
}

void ScriptedLivenessVendor::emitAllFromOtherThread(const std::vector<Status>& statuses,
                                                    std::optional<std::size_t> index) {
  auto target = session(index);
  std::thread other([target, statuses] {
    for (const auto& status : statuses) target->report(status);
  });
  other.join();
}

std::shared_ptr<LivenessVendor::Session> ScriptedLivenessVendor::launch(
    const std::string& streamingURL, const std::string& token, LivenessVendor::Options options,
    LivenessVendor::Callback callback) {
  auto created = std::make_shared<ScriptedSession>();
  created->callback = std::move(callback);
  std::optional<Script> script;
  {
    std::lock_guard lock(mutex_);
    std::optional<std::filesystem::path> bundlePath;
    if (options.stringsBundle) bundlePath = options.stringsBundle->bundlePath();
    launches_.push_back({streamingURL, token, std::move(bundlePath)});
    sessions_.push_back(created);
    if (!scripts_.empty()) {
      script = std::move(scripts_.front());
      scripts_.pop_front();
    }
  }
  if (script) {
    double at = 0;
    for (auto& status : script->statuses) {
      at += script->stepSeconds;
      platform::DispatchQueue::main()->asyncAfter(
          at, [created, status = std::move(status)] { created->report(status); });
    }
  }
  return created;
}

}  // namespace ostrel::testing
