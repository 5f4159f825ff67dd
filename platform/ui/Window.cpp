#include "platform/ui/Window.hpp"

#include <algorithm>

#include "platform/ui/ViewController.hpp"

namespace ostrel::platform {
namespace {

std::weak_ptr<Window>& keyWindowSlot() {
  static std::weak_ptr<Window> slot;
  return slot;
}

std::vector<std::shared_ptr<WindowScene>>& scenes() {
  static std::vector<std::shared_ptr<WindowScene>> list;
  return list;
}

}  // namespace

Window::Window(Rect frame) : View(frame) {}

std::shared_ptr<Window> Window::window() const {
  return std::const_pointer_cast<Window>(
      std::static_pointer_cast<const Window>(shared_from_this()));
}

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
  if (root_ == controller) return;
  auto old = root_;
  if (old && old->isViewLoaded()) {
    if (!isHidden()) old->sendAppearance(false, false, true);
    old->view()->removeFromSuperview();
    if (!isHidden()) old->sendAppearance(false, false, false);
  }
  root_ = std::move(controller);
  if (!root_) return;
  auto view = root_->view();
  view->setFrame(bounds());
  addSubview(view);
  if (!isHidden() && isKeyWindow()) {
    root_->sendAppearance(true, false, true);
    root_->sendAppearance(true, false, false);
  }
}

void Window::makeKeyAndVisible() {
  bool wasShown = !isHidden() && isKeyWindow();
  setHidden(false);
  makeKey();
  if (!wasShown && root_ && !root_->isAppeared()) {
    root_->sendAppearance(true, false, true);
    root_->sendAppearance(true, false, false);
  }
}

void Window::makeKey() {
  keyWindowSlot() = std::static_pointer_cast<Window>(shared<View>());
}

bool Window::isKeyWindow() const {
  auto key = keyWindowSlot().lock();
  return key && key.get() == this;
}

std::shared_ptr<Window> Window::keyWindow() {
  return keyWindowSlot().lock();
}

void WindowScene::addWindow(const std::shared_ptr<Window>& window) {
  if (!window || std::find(windows_.begin(), windows_.end(), window) != windows_.end()) return;
  window->scene_ = shared<WindowScene>();
  windows_.push_back(window);
}

void WindowScene::removeWindow(const Window* window) {
  std::erase_if(windows_, [window](const auto& w) { return w.get() == window; });
}

std::vector<std::shared_ptr<WindowScene>> WindowScene::connectedScenes() {
  return scenes();
}

void WindowScene::connect(const std::shared_ptr<WindowScene>& scene) {
  if (scene && std::find(scenes().begin(), scenes().end(), scene) == scenes().end())
    scenes().push_back(scene);
}

void WindowScene::disconnectAll() {
  scenes().clear();
  keyWindowSlot().reset();
}

std::vector<std::shared_ptr<Window>> WindowScene::allWindows() {
  std::vector<std::shared_ptr<Window>> all;
  for (const auto& s : scenes()) all.insert(all.end(), s->windows().begin(), s->windows().end());
  return all;
}

Screen& Screen::main() {
  static Screen screen;
  return screen;
}

void Screen::setTraitStyle(UserInterfaceStyle style) {
  std::vector<std::pair<std::shared_ptr<View>, UserInterfaceStyle>> before;
  for (const auto& w : WindowScene::allWindows()) {
    w->forEachInHierarchy([&](View& v) { before.emplace_back(v.shared<View>(), v.traitStyle()); });
  }
  style_ = style;
  for (auto& [view, previous] : before) {
    if (view->traitStyle() != previous) view->traitCollectionDidChange(previous);
  }
}

void Screen::resetForTesting() {
  bounds_ = {0, 0, 390, 844};
  scale_ = 3;
  style_ = UserInterfaceStyle::light;
}

}  // namespace ostrel::platform
