#include "results/ResultScreen.hpp"

#include "platform/ui/NavigationController.hpp"

namespace ostrel {

void ResultScreen::viewWillAppear(bool animated) {
  ViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(true, false);
  reloadTables();
}

void ResultScreen::viewDidAppear(bool animated) {
  ViewController::viewDidAppear(animated);
  reloadTables();
}

void ResultScreen::viewWillDisappear(bool animated) {
  ViewController::viewWillDisappear(animated);
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(false, false);
}

}  // namespace ostrel
