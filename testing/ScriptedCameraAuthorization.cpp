#include "testing/ScriptedCameraAuthorization.hpp"

#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel::testing {

using platform::AuthorizationStatus;

ScriptedCameraAuthorization::ScriptedCameraAuthorization(AuthorizationStatus status)
    : status_(status) {}

std::shared_ptr<ScriptedCameraAuthorization> ScriptedCameraAuthorization::install(
    AuthorizationStatus status) {
  auto scripted = std::make_shared<ScriptedCameraAuthorization>(status);
  platform::CameraAuthorization::install(scripted);
  return scripted;
}

void ScriptedCameraAuthorization::setStatus(AuthorizationStatus status) {
  std::lock_guard<std::mutex> guard(lock_);
  status_ = status;
}

void ScriptedCameraAuthorization::queueAnswer(bool granted) {
  std::lock_guard<std::mutex> guard(lock_);
  answers_.push_back(granted);
}

int ScriptedCameraAuthorization::answerPending(bool granted) {
  std::deque<std::function<void(bool)>> waiting;
  {
    std::lock_guard<std::mutex> guard(lock_);
    waiting.swap(waiting_);
  }
  for (auto& answer : waiting) deliver(std::move(answer), granted);
  return int(waiting.size());
}

int ScriptedCameraAuthorization::requestCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

AuthorizationStatus ScriptedCameraAuthorization::status(platform::MediaType) {
  std::lock_guard<std::mutex> guard(lock_);
  return status_;
}

void ScriptedCameraAuthorization::requestAccess(platform::MediaType,
                                                std::function<void(bool granted)> answer) {
  std::optional<bool> granted;
  {
    std::lock_guard<std::mutex> guard(lock_);
    ++requests_;
    if (!answers_.empty()) {
      granted = answers_.front();
      answers_.pop_front();
    } else {
      waiting_.push_back(std::move(answer));
      return;
    }
  }
  deliver(std::move(answer), *granted);
}

void ScriptedCameraAuthorization::deliver(std::function<void(bool)> answer, bool granted) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    status_ = granted ? AuthorizationStatus::authorized : AuthorizationStatus::denied;
  }
  platform::DispatchQueue::global()->async([answer = std::move(answer), granted] {
    if (answer) answer(granted);
  });
}

}  // namespace ostrel::testing
