#include "results/ResultScreen.hpp"

#include "core/CurrentConfig.hpp"
#include "platform/ui/NavigationController.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

void ResultScreen::viewDidLoad() {
  ViewController::viewDidLoad();
  view()->setBackgroundColor(colorFromHex(currentAppearance()->backgroundColor));
}

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
