#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/camera/CameraAuthorization.hpp"

namespace ostrel::testing {

// A permission answerer for tests: a settable status, and questions answered on the global
// queue (off the main queue, as the platform does) with the next queued answer. Without a
// queued answer the question waits until `answerPending` is called; a granted answer moves
// the status to authorised, a refusal to denied.
class ScriptedCameraAuthorization : public platform::CameraAuthorizationBackend {
 public:
  explicit ScriptedCameraAuthorization(
      platform::AuthorizationStatus status = platform::AuthorizationStatus::authorized);

  // Installs a fresh one process-wide and returns it.
  static std::shared_ptr<ScriptedCameraAuthorization> install(
      platform::AuthorizationStatus status = platform::AuthorizationStatus::authorized);

  void setStatus(platform::AuthorizationStatus status);
  // The answer to the next question (consumed by it).
  void queueAnswer(bool granted);
  // Answers every question still waiting; returns how many there were.
  int answerPending(bool granted);
  int requestCount() const;

  platform::AuthorizationStatus status(platform::MediaType type) override;
  void requestAccess(platform::MediaType type, std::function<void(bool granted)> answer) override;

 private:
  void deliver(std::function<void(bool)> answer, bool granted);

  mutable std::mutex lock_;
  platform::AuthorizationStatus status_;
  std::deque<bool> answers_;
  std::deque<std::function<void(bool)>> waiting_;
  int requests_ = 0;
};

}  // namespace ostrel::testing
