#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/OSLTrackingEvent.hpp"
#include "platform/ui/ViewController.hpp"

namespace ostrel {

// The base of every flow step screen. It carries the step's continuation `onNext` (set by the
// flow launcher, called by the concrete screen when its step is done; the base never calls it),
// gives the screen the library's navigation-bar look and a close button that asks before the
// session ends, and reports the application's moves to background and foreground for the
// screens that have a tracking name. `StepScreen::of(screen)` hands it to the flow launcher.
class BaseViewController : public platform::ViewController {
 public:
  std::function<void()> onNext;

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  // The screen's set-up, run once from `viewDidLoad`; overrides call the base first.
  virtual void setupUI();
  virtual void willResignActiveNotification();
  virtual void didBecomeActiveNotification();
  // Reports `event` at INFO with this screen's tracking name and no data; screens of any other
  // class than the three named ones (their subclasses included) report nothing.
  virtual void logScreenEvent(OSLTrackingEvent event);
  // Asks for confirmation in an exit alert; confirming closes the session as cancelled.
  virtual void closeTapped();

  // The tracking name of a screen class name, if it has one.
  static std::optional<std::string> screenName(const std::string& className);
};

}  // namespace ostrel
