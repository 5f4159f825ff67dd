#include "platform/runtime/Application.hpp"

#include <algorithm>

#include "platform/runtime/NotificationCenter.hpp"

namespace ostrel::platform {

Application& Application::shared() {
  static Application application;
  return application;
}

ApplicationState Application::applicationState() const {
  std::lock_guard lock(mutex_);
  return state_;
}

void Application::setApplicationState(ApplicationState state) {
  ApplicationState from;
  {
    std::lock_guard lock(mutex_);
    from = state_;
    state_ = state;
  }
  if (from == state) return;
  auto& center = NotificationCenter::defaultCenter();
  if (from == ApplicationState::active) center.post(ApplicationWillResignActiveNotification);
  if (state == ApplicationState::background) center.post(ApplicationDidEnterBackgroundNotification);
  if (from == ApplicationState::background) {
    center.post(ApplicationWillEnterForegroundNotification);
  }
  if (state == ApplicationState::active) center.post(ApplicationDidBecomeActiveNotification);
}

void Application::openSettings() {
  std::lock_guard lock(mutex_);
  ++openSettingsRequests_;
}

int Application::openSettingsRequests() const {
  std::lock_guard lock(mutex_);
  return openSettingsRequests_;
}

void Application::recordFeedback(std::string kind) {
  std::lock_guard lock(mutex_);
  feedback_.push_back(std::move(kind));
}

std::vector<std::string> Application::feedbackLog() const {
  std::lock_guard lock(mutex_);
  return feedback_;
}

double Application::screenBrightness() const {
  std::lock_guard lock(mutex_);
  return brightness_;
}

void Application::setScreenBrightness(double value) {
  std::lock_guard lock(mutex_);
  brightness_ = std::clamp(value, 0.0, 1.0);
}

void Application::resetForTesting() {
  std::lock_guard lock(mutex_);
  state_ = ApplicationState::active;
  openSettingsRequests_ = 0;
  feedback_.clear();
  brightness_ = 0.5;
}

}  // namespace ostrel::platform
