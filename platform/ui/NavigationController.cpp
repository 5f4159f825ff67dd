#include "platform/ui/NavigationController.hpp"

#include <algorithm>

#include "platform/foundation/Make.hpp"
#include "platform/ui/Window.hpp"

namespace ostrel::platform {

void NavigationController::didMake() {
  ViewController::didMake();
  bar_ = make<NavigationBar>(Rect{0, 0, Screen::main().bounds().width(), 44});
  popGesture_ = make<PanGestureRecognizer>();
}

std::shared_ptr<NavigationController> NavigationController::withRoot(
    const std::shared_ptr<ViewController>& root) {
  auto nav = make<NavigationController>();
  if (root) nav->setViewControllers({root}, false);
  return nav;
}

void NavigationController::viewDidLoad() {
  ViewController::viewDidLoad();
  view()->addGestureRecognizer(popGesture_);
  if (auto top = topViewController()) {
    auto v = top->view();
    v->setFrame(view()->bounds());
    view()->insertSubview(v, 0);
  }
  view()->addSubview(bar_);
  bar_->setHidden(barHidden_);
  updateBar();
}

void NavigationController::viewDidLayoutSubviews() {
  ViewController::viewDidLayoutSubviews();
  // The bar sits under the status bar, as wide as the stack.
  Rect b = view()->bounds();
  bar_->setFrame({b.minX(), b.minY() + view()->safeAreaInsets().top, b.width(), 44});
  updateBar();
}

void NavigationController::updateBar() {
  auto top = topViewController();
  if (barHidden_ || !top) {
    bar_->showItem(nullptr, {}, nullptr);
    return;
  }
  std::function<void()> back;
  std::string backTitle;
  if (stack_.size() > 1) {
    std::weak_ptr<NavigationController> weakSelf = shared<NavigationController>();
    back = [weakSelf] {
      if (auto self = weakSelf.lock()) self->popViewController(true);
    };
    backTitle = stack_[stack_.size() - 2]->title;
  }
  bar_->showItem(top->navigationItem(), top->title, std::move(back), backTitle);
}

std::shared_ptr<ViewController> NavigationController::visibleViewController() const {
  auto top = topViewController();
  if (!top) return nullptr;
  auto presented = top->presentedViewController();
  return presented ? presented : top;
}

std::vector<std::shared_ptr<ViewController>> NavigationController::childrenForAppearanceForwarding()
    const {
  if (auto top = topViewController()) return {top};
  return {};
}

void NavigationController::show(const std::shared_ptr<ViewController>& incoming,
                                const std::shared_ptr<ViewController>& outgoing, bool animated,
                                std::function<void()> afterwards) {
  const bool visible = isAppeared();
  if (isViewLoaded() && incoming) {
    auto v = incoming->view();
    v->setFrame(view()->bounds());
    v->setHidden(false);
    view()->insertSubview(v, view()->subviews().empty() ? 0 : view()->subviews().size() - 1);
    // The incoming screen covers the outgoing one from the first frame of the transition:
    // whatever its background lets through, the screen it replaces never shows beneath it.
    if (outgoing && outgoing != incoming && outgoing->isViewLoaded()) {
      outgoing->view()->setHidden(true);
    }
  }
  if (visible) {
    if (outgoing) outgoing->sendAppearance(false, animated, true);
    if (incoming) incoming->sendAppearance(true, animated, true);
  }
  if (isViewLoaded()) updateBar();
  std::weak_ptr<NavigationController> weakSelf = shared<NavigationController>();
  afterTransition(animated, [weakSelf, incoming, outgoing, visible, animated,
                             afterwards = std::move(afterwards)] {
    auto self = weakSelf.lock();
    if (outgoing && outgoing->isViewLoaded() &&
        outgoing != (self ? self->topViewController() : nullptr)) {
      outgoing->view()->removeFromSuperview();
      outgoing->view()->setHidden(false);
    }
    if (visible) {
      if (outgoing) outgoing->sendAppearance(false, animated, false);
      if (incoming) incoming->sendAppearance(true, animated, false);
    }
    if (afterwards) afterwards();
    if (self && self->isViewLoaded()) self->updateBar();
  });
}

void NavigationController::setViewControllers(
    std::vector<std::shared_ptr<ViewController>> controllers, bool animated) {
  std::erase(controllers, nullptr);
  auto outgoing = topViewController();
  for (auto& c : stack_) {
    if (std::find(controllers.begin(), controllers.end(), c) == controllers.end())
      c->removeFromParent();
  }
  stack_ = controllers;
  for (auto& c : stack_) addChild(c);
  auto incoming = topViewController();
  if (incoming == outgoing) return;
  show(incoming, outgoing, animated, nullptr);
}

void NavigationController::pushViewController(const std::shared_ptr<ViewController>& controller,
                                              bool animated) {
  if (!controller || controller->parent() ||
      std::find(stack_.begin(), stack_.end(), controller) != stack_.end()) {
    return;
  }
  auto outgoing = topViewController();
  addChild(controller);
  stack_.push_back(controller);
  std::weak_ptr<ViewController> weakChild = controller;
  std::weak_ptr<NavigationController> weakSelf = shared<NavigationController>();
  show(controller, outgoing, animated, [weakChild, weakSelf] {
    if (auto c = weakChild.lock()) c->didMoveToParent(weakSelf.lock());
  });
}

std::shared_ptr<ViewController> NavigationController::popViewController(bool animated) {
  if (stack_.size() < 2) return nullptr;
  auto outgoing = stack_.back();
  stack_.pop_back();
  outgoing->willMoveToParent(nullptr);
  show(topViewController(), outgoing, animated, [outgoing] { outgoing->removeFromParent(); });
  return outgoing;
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToRootViewController(
    bool animated) {
  if (stack_.size() < 2) return {};
  std::vector<std::shared_ptr<ViewController>> popped(stack_.begin() + 1, stack_.end());
  auto outgoing = stack_.back();
  stack_.resize(1);
  for (auto& c : popped) c->willMoveToParent(nullptr);
  show(topViewController(), outgoing, animated, [popped] {
    for (auto& c : popped) c->removeFromParent();
  });
  return popped;
}

void NavigationController::setNavigationBarHidden(bool hidden, bool animated) {
  (void)animated;
  barHidden_ = hidden;
  bar_->setHidden(hidden);
  if (isViewLoaded()) updateBar();
}

void TabBarController::didMake() {
  ViewController::didMake();
  more_ = make<NavigationController>();
}

void TabBarController::setViewControllers(
    std::vector<std::shared_ptr<ViewController>> controllers) {
  for (auto& c : tabs_) c->removeFromParent();
  tabs_ = std::move(controllers);
  std::erase(tabs_, nullptr);
  for (auto& c : tabs_) addChild(c);
  selected_ = 0;
  if (isViewLoaded()) setSelectedIndex(0);
}

std::shared_ptr<ViewController> TabBarController::selectedViewController() const {
  if (selected_ < 0 || selected_ >= static_cast<int>(tabs_.size())) return nullptr;
  return tabs_[static_cast<std::size_t>(selected_)];
}

void TabBarController::setSelectedIndex(int index) {
  auto old = selectedViewController();
  selected_ = index;
  auto now = selectedViewController();
  if (!isViewLoaded()) return;
  if (old && old != now && old->isViewLoaded()) old->view()->removeFromSuperview();
  if (now) {
    now->view()->setFrame(view()->bounds());
    view()->addSubview(now->view());
  }
}

std::vector<std::shared_ptr<ViewController>> TabBarController::childrenForAppearanceForwarding()
    const {
  if (auto s = selectedViewController()) return {s};
  return {};
}

void SplitViewController::setViewControllers(
    std::vector<std::shared_ptr<ViewController>> controllers) {
  for (auto& c : columns_) c->removeFromParent();
  columns_ = std::move(controllers);
  std::erase(columns_, nullptr);
  for (auto& c : columns_) addChild(c);
}

}  // namespace ostrel::platform
