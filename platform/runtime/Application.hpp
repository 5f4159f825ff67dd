#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace ostrel::platform {

inline constexpr const char* ApplicationDidBecomeActiveNotification =
    "ApplicationDidBecomeActiveNotification";
inline constexpr const char* ApplicationWillResignActiveNotification =
    "ApplicationWillResignActiveNotification";
inline constexpr const char* ApplicationDidEnterBackgroundNotification =
    "ApplicationDidEnterBackgroundNotification";
inline constexpr const char* ApplicationWillEnterForegroundNotification =
    "ApplicationWillEnterForegroundNotification";

enum class ApplicationState { active, inactive, background };

// The host application as the library sees it: its state, and the requests the library makes
// of the device (opening the settings page, haptics, vibration, screen brightness), which are
// recorded so that the demo can show them and tests can assert them.
class Application {
 public:
  static Application& shared();

  ApplicationState applicationState() const;
  // Moves to `state`, posting the notifications a real application would on the way
  // (resigning active before entering the background, and the reverse).
  void setApplicationState(ApplicationState state);

  void openSettings();
  int openSettingsRequests() const;

  // "impact.heavy", "notification.success", "vibrate", ... in the order they were asked for.
  void recordFeedback(std::string kind);
  std::vector<std::string> feedbackLog() const;

  double screenBrightness() const;
  void setScreenBrightness(double value);

  // Back to an active application with nothing recorded (between tests).
  void resetForTesting();

 private:
  mutable std::mutex mutex_;
  ApplicationState state_ = ApplicationState::active;
  int openSettingsRequests_ = 0;
  std::vector<std::string> feedback_;
  double brightness_ = 0.5;
};

}  // namespace ostrel::platform
