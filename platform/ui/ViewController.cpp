#include "platform/ui/ViewController.hpp"

#include <algorithm>

#include "platform/foundation/Debug.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/runtime/Runtime.hpp"
#include "platform/ui/Bars.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/Nib.hpp"
#include "platform/ui/Window.hpp"

namespace ostrel::platform {
namespace {

std::function<void(const PresentationEvent&)>& presentationObserver() {
  static std::function<void(const PresentationEvent&)> observer;
  return observer;
}

std::string nameOf(const ViewController* controller) {
  return controller ? controller->className() : std::string();
}

}  // namespace

TransitionContext::TransitionContext(std::shared_ptr<View> container,
                                     std::shared_ptr<ViewController> from,
                                     std::shared_ptr<ViewController> to, bool animated,
                                     std::function<void(bool)> onComplete)
    : container_(std::move(container)),
      from_(std::move(from)),
      to_(std::move(to)),
      animated_(animated),
      onComplete_(std::move(onComplete)) {}

void TransitionContext::completeTransition(bool didComplete) {
  if (completed_) return;
  completed_ = true;
  auto done = std::move(onComplete_);
  onComplete_ = nullptr;
  if (done) done(didComplete);
}

ViewController::ViewController() = default;
ViewController::~ViewController() = default;

void ViewController::setNib(std::optional<std::string> nibName, std::shared_ptr<Bundle> bundle) {
  nibName_ = std::move(nibName);
  nibBundle_ = std::move(bundle);
}

std::shared_ptr<View> ViewController::view() {
  if (!view_) {
    auto self = shared<ViewController>();
    loadView();
    if (!view_) setView(make<View>(Screen::main().bounds()));
    viewDidLoad();
  }
  return view_;
}

void ViewController::setView(std::shared_ptr<View> view) {
  if (view_) view_->setOwningViewController({});
  view_ = std::move(view);
  if (view_) view_->setOwningViewController(weak<ViewController>());
}

void ViewController::loadView() {
  if (nibName_) {
    auto nib = Nib::load(*nibName_, nibBundle_);
    if (nib) {
      auto objects = nib->instantiate(shared<Object>());
      if (!view_) {
        for (const auto& o : objects) {
          if (auto v = std::dynamic_pointer_cast<View>(o)) {
            setView(v);
            break;
          }
        }
      }
    } else {
      debugLog("nib \"" + *nibName_ + "\" is not registered; " + className() +
               " gets an empty view");
    }
  }
  if (!view_) setView(make<View>(Screen::main().bounds()));
}

void ViewController::addChild(const std::shared_ptr<ViewController>& child) {
  if (!child || child.get() == this) return;
  if (child->parent().get() == this) return;
  child->removeFromParent();
  child->willMoveToParent(shared<ViewController>());
  child->parent_ = weak<ViewController>();
  children_.push_back(child);
}

void ViewController::removeFromParent() {
  auto p = parent();
  if (!p) return;
  auto self = shared<ViewController>();
  std::erase(p->children_, self);
  parent_.reset();
  didMoveToParent(nullptr);
}

std::shared_ptr<NavigationController> ViewController::navigationController() const {
  for (auto p = parent(); p; p = p->parent()) {
    if (auto nav = std::dynamic_pointer_cast<NavigationController>(p)) return nav;
  }
  return nullptr;
}

std::shared_ptr<TabBarController> ViewController::tabBarController() const {
  for (auto p = parent(); p; p = p->parent()) {
    if (auto tab = std::dynamic_pointer_cast<TabBarController>(p)) return tab;
  }
  return nullptr;
}

const std::shared_ptr<NavigationItem>& ViewController::navigationItem() {
  if (!navigationItem_) navigationItem_ = std::make_shared<NavigationItem>();
  return navigationItem_;
}

std::vector<std::shared_ptr<ViewController>> ViewController::childrenForAppearanceForwarding()
    const {
  std::vector<std::shared_ptr<ViewController>> forwarded;
  if (!view_) return forwarded;
  for (const auto& c : children_) {
    if (c->view_ && c->view_->isDescendantOf(view_.get())) forwarded.push_back(c);
  }
  return forwarded;
}

void ViewController::sendAppearance(bool appearing, bool animated, bool will) {
  auto self = shared<ViewController>();
  if (appearing) {
    if (will) {
      if (appearance_ == Appearance::appearing || appearance_ == Appearance::appeared) return;
      loadViewIfNeeded();
      appearance_ = Appearance::appearing;
      viewWillAppear(animated);
    } else {
      if (appearance_ != Appearance::appearing) return;
      appearance_ = Appearance::appeared;
      viewDidAppear(animated);
    }
  } else {
    if (will) {
      if (appearance_ == Appearance::disappearing || appearance_ == Appearance::disappeared) return;
      appearance_ = Appearance::disappearing;
      viewWillDisappear(animated);
    } else {
      if (appearance_ != Appearance::disappearing) return;
      appearance_ = Appearance::disappeared;
      viewDidDisappear(animated);
    }
  }
  for (const auto& child : childrenForAppearanceForwarding())
    child->sendAppearance(appearing, animated, will);
}

void ViewController::setPresentationObserver(
    std::function<void(const PresentationEvent&)> observer) {
  presentationObserver() = std::move(observer);
}

void ViewController::notify(PresentationEvent::Kind kind, const ViewController* presenter,
                            const std::shared_ptr<ViewController>& presented, bool animated) {
  auto& observer = presentationObserver();
  if (!observer) return;
  PresentationEvent event{
      kind,
      nameOf(presenter),
      nameOf(presented.get()),
      presented,
      presented ? presented->modalPresentationStyle : ModalPresentationStyle::automatic,
      animated,
      Runtime::current().uptime()};
  observer(event);
}

void ViewController::afterTransition(bool animated, std::function<void()> done) {
  if (!animated) {
    done();
    return;
  }
  DispatchQueue::main()->asyncAfter(kDefaultTransitionDuration, std::move(done));
}

std::shared_ptr<ViewController> ViewController::presentationHost() {
  auto host = shared<ViewController>();
  while (auto p = host->parent()) host = p;
  return host;
}

bool ViewController::keepsPresenterView() const {
  return modalPresentationStyle != ModalPresentationStyle::fullScreen;
}

std::shared_ptr<ViewController> ViewController::presentedViewController() const {
  for (auto c = std::const_pointer_cast<ViewController>(
           std::static_pointer_cast<const ViewController>(shared_from_this()));
       c; c = c->parent()) {
    if (c->presented_) return c->presented_;
  }
  return nullptr;
}

std::shared_ptr<ViewController> ViewController::presentingViewController() const {
  for (auto c = std::const_pointer_cast<ViewController>(
           std::static_pointer_cast<const ViewController>(shared_from_this()));
       c; c = c->parent()) {
    if (auto p = c->presenting_.lock()) return p;
  }
  return nullptr;
}

bool ViewController::present(const std::shared_ptr<ViewController>& controller, bool animated,
                             std::function<void()> completion) {
  auto host = presentationHost();
  auto window = host->isViewLoaded() ? host->view()->window() : nullptr;
  if (!controller || controller == host || controller->parent() ||
      !controller->presenting_.expired() || !window || host->presented_ || host->transitioning_) {
    debugLog("present " + nameOf(controller.get()) + " from " + className() +
             " refused: not in a window, already presenting or in a transition");
    notify(PresentationEvent::Kind::refusedPresent, host.get(), controller, animated);
    return false;
  }
  const bool keeps = controller->keepsPresenterView();
  host->presented_ = controller;
  controller->presenting_ = host;
  auto container = make<View>(window->bounds());
  window->addSubview(container);
  controller->container_ = container;
  controller->loadViewIfNeeded();
  host->transitioning_ = controller->transitioning_ = true;

  controller->sendAppearance(true, animated, true);
  if (!keeps) host->sendAppearance(false, animated, true);

  std::weak_ptr<ViewController> weakHost = host;
  auto finish = [weakHost, controller, keeps, animated,
                 completion = std::move(completion)](bool completed) {
    auto host = weakHost.lock();
    controller->transitioning_ = false;
    if (host) host->transitioning_ = false;
    if (!completed || !host) {
      // The animator gave up: undo the presentation.
      controller->sendAppearance(false, animated, true);
      if (host && !keeps) host->sendAppearance(true, animated, true);
      if (controller->container_) controller->container_->removeFromSuperview();
      controller->container_.reset();
      controller->presenting_.reset();
      if (host) host->presented_.reset();
      controller->sendAppearance(false, animated, false);
      if (host && !keeps) host->sendAppearance(true, animated, false);
      return;
    }
    if (!keeps) {
      auto hostView = host->view();
      if (auto parent = hostView->superview()) {
        auto& siblings = parent->subviews();
        host->hiddenViewIndex_ = static_cast<std::size_t>(
            std::find(siblings.begin(), siblings.end(), hostView) - siblings.begin());
        host->hiddenViewParent_ = parent;
        hostView->removeFromSuperview();
      }
    }
    controller->sendAppearance(true, animated, false);
    if (!keeps) host->sendAppearance(false, animated, false);
    notify(PresentationEvent::Kind::presented, host.get(), controller, animated);
    if (completion) completion();
  };

  std::shared_ptr<ViewControllerAnimatedTransitioning> animator;
  if (animated) {
    if (auto delegate = controller->transitioningDelegate.lock()) {
      animator =
          delegate->animationControllerForPresented(controller, host, shared<ViewController>());
    }
  }
  if (animator) {
    auto context =
        std::make_shared<TransitionContext>(container, host, controller, true, std::move(finish));
    animator->animateTransition(context);
    return true;
  }
  auto presentedView = controller->view();
  presentedView->setFrame(container->bounds());
  container->addSubview(presentedView);
  if (animated) {
    DispatchQueue::main()->asyncAfter(kDefaultTransitionDuration, [finish] { finish(true); });
  } else {
    finish(true);
  }
  return true;
}

bool ViewController::dismiss(bool animated, std::function<void()> completion) {
  auto host = presentationHost();
  std::shared_ptr<ViewController> presenter;
  if (host->presented_) {
    presenter = host;
  } else if (auto p = host->presenting_.lock()) {
    presenter = p;
  }
  if (!presenter) {
    notify(PresentationEvent::Kind::refusedDismiss, host.get(), nullptr, animated);
    return false;
  }
  for (auto c = presenter; c; c = c->presented_) {
    if (c->transitioning_) {
      debugLog("dismiss from " + className() + " refused: a transition is running");
      notify(PresentationEvent::Kind::refusedDismiss, presenter.get(), presenter->presented_,
             animated);
      return false;
    }
  }
  finishDismissal(presenter, animated, std::move(completion));
  return true;
}

void ViewController::finishDismissal(const std::shared_ptr<ViewController>& presenter,
                                     bool animated, std::function<void()> completion) {
  auto top = presenter->presented_;
  while (top->presented_) top = top->presented_;
  auto revealed = top->presenting_.lock();
  const bool keeps = top->keepsPresenterView();
  top->transitioning_ = true;
  if (revealed) revealed->transitioning_ = true;

  top->sendAppearance(false, animated, true);
  if (!keeps && revealed) {
    if (auto parent = revealed->hiddenViewParent_.lock()) {
      parent->insertSubview(revealed->view(), revealed->hiddenViewIndex_);
    }
    revealed->hiddenViewParent_.reset();
    revealed->sendAppearance(true, animated, true);
  }

  std::weak_ptr<ViewController> weakPresenter = presenter;
  auto finish = [top, revealed, keeps, animated, weakPresenter,
                 completion = std::move(completion)](bool) mutable {
    top->transitioning_ = false;
    if (revealed) revealed->transitioning_ = false;
    if (top->container_) top->container_->removeFromSuperview();
    top->container_.reset();
    top->presenting_.reset();
    if (revealed) revealed->presented_.reset();
    top->sendAppearance(false, animated, false);
    if (!keeps && revealed) revealed->sendAppearance(true, animated, false);
    notify(PresentationEvent::Kind::dismissed, revealed.get(), top, animated);
    auto presenter = weakPresenter.lock();
    if (presenter && revealed && revealed != presenter && presenter->presented_) {
      // Presentations stacked above the one asked for go too, without animation.
      revealed->finishDismissal(presenter, false, std::move(completion));
      return;
    }
    if (completion) completion();
  };

  std::shared_ptr<ViewControllerAnimatedTransitioning> animator;
  if (animated) {
    if (auto delegate = top->transitioningDelegate.lock())
      animator = delegate->animationControllerForDismissed(top);
  }
  if (animator) {
    auto context = std::make_shared<TransitionContext>(top->container_, top, revealed, true,
                                                       std::move(finish));
    animator->animateTransition(context);
  } else if (animated) {
    DispatchQueue::main()->asyncAfter(kDefaultTransitionDuration,
                                      [finish]() mutable { finish(true); });
  } else {
    finish(true);
  }
}

std::shared_ptr<PresentationController> ViewController::presentationController() {
  std::shared_ptr<ViewController> outermost =
      std::static_pointer_cast<ViewController>(shared_from_this());
  while (auto up = outermost->parent()) outermost = up;
  if (!outermost->presentationController_)
    outermost->presentationController_ = std::make_shared<PresentationController>(outermost);
  return outermost->presentationController_;
}

}  // namespace ostrel::platform
