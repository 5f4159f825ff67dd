#pragma once

#include "platform/ui/ViewController.hpp"

namespace ostrel {

// What the result screens do alike as they come and go: they show without the navigation bar,
// which comes back when they leave, and fill their tables again as they appear and once they
// are on show (rows laid out before the first layout pass are measured again).
class ResultScreen : public platform::ViewController {
 public:
  // The screen is opaque: the appearance's background fills it.
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

 protected:
  virtual void reloadTables() = 0;
};

}  // namespace ostrel
