#pragma once

#include <memory>
#include <vector>

#include "platform/ui/Bars.hpp"
#include "platform/ui/GestureRecognizer.hpp"
#include "platform/ui/ViewController.hpp"

namespace ostrel::platform {

// A stack of controllers; the top one's view fills the navigation controller's view. Push and
// pop send the appearance callbacks (when the stack is on screen) around a 0.3 s transition,
// or at once without animation.
class NavigationController : public ViewController {
 public:
  NavigationController() = default;
  void didMake() override;

  static std::shared_ptr<NavigationController> withRoot(
      const std::shared_ptr<ViewController>& root);

  const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return stack_; }
  void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated);
  std::shared_ptr<ViewController> topViewController() const {
    return stack_.empty() ? nullptr : stack_.back();
  }
  // The top controller, or what it presents.
  std::shared_ptr<ViewController> visibleViewController() const;

  void pushViewController(const std::shared_ptr<ViewController>& controller, bool animated);
  std::shared_ptr<ViewController> popViewController(bool animated);
  std::vector<std::shared_ptr<ViewController>> popToRootViewController(bool animated);

  const std::shared_ptr<NavigationBar>& navigationBar() const { return bar_; }
  bool isNavigationBarHidden() const { return barHidden_; }
  void setNavigationBarHidden(bool hidden, bool animated);
  const std::shared_ptr<PanGestureRecognizer>& interactivePopGestureRecognizer() const {
    return popGesture_;
  }

  void viewDidLoad() override;
  void viewDidLayoutSubviews() override;
  std::vector<std::shared_ptr<ViewController>> childrenForAppearanceForwarding() const override;

 private:
  // Shows the top controller's navigation item in the bar (nothing while the bar is hidden).
  void updateBar();
  void show(const std::shared_ptr<ViewController>& incoming,
            const std::shared_ptr<ViewController>& outgoing, bool animated,
            std::function<void()> afterwards);
  std::vector<std::shared_ptr<ViewController>> stack_;
  std::shared_ptr<NavigationBar> bar_;
  std::shared_ptr<PanGestureRecognizer> popGesture_;
  bool barHidden_ = false;
};

class TabBarController : public ViewController {
 public:
  void didMake() override;
  const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return tabs_; }
  void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers);
  std::shared_ptr<ViewController> selectedViewController() const;
  int selectedIndex() const { return selected_; }
  void setSelectedIndex(int index);
  const std::shared_ptr<NavigationController>& moreNavigationController() const { return more_; }
  std::vector<std::shared_ptr<ViewController>> childrenForAppearanceForwarding() const override;

 private:
  std::vector<std::shared_ptr<ViewController>> tabs_;
  int selected_ = 0;
  std::shared_ptr<NavigationController> more_;
};

class SplitViewController : public ViewController {
 public:
  const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return columns_; }
  void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers);

 private:
  std::vector<std::shared_ptr<ViewController>> columns_;
};

}  // namespace ostrel::platform
