#include "ui/OSLPopupViewController.hpp"

#include "platform/foundation/Make.hpp"
#include "platform/ui/Animation.hpp"
#include "platform/ui/GestureRecognizer.hpp"

namespace ostrel {

using namespace platform;

OSLPopupViewController::OSLPopupViewController()
    : visualEffectBlurView(make<VisualEffectView>(std::nullopt)) {}

void OSLPopupViewController::viewDidLoad() {
  ViewController::viewDidLoad();
  modalPresentationCapturesStatusBarAppearance = true;
  auto root = view();
  backdrop_ = make<View>(root->bounds());
  auto tap = make<TapGestureRecognizer>();
  tap->numberOfTapsRequired = 1;
  tap->addTarget<OSLPopupViewController>(
      shared<OSLPopupViewController>(),
      [](OSLPopupViewController& self, GestureRecognizer&) { self.dissmissThisPopup(); });
  backdrop_->addGestureRecognizer(tap);
  root->insertSubview(backdrop_, 0);
}

void OSLPopupViewController::viewDidLayoutSubviews() {
  ViewController::viewDidLayoutSubviews();
  // The root view is sized by the presentation, after the backdrop was made: follow it so the
  // whole backdrop takes taps on any window size.
  if (backdrop_ && isViewLoaded()) backdrop_->setFrame(view()->bounds());
}

void OSLPopupViewController::dissmissThisPopup() {
  view()->endEditing(true);
  if (canDismissOnTap) dismiss(true);
}

void OSLPopupViewController::viewWillDisappear(bool animated) {
  ViewController::viewWillDisappear(animated);
  if (onDismiss) onDismiss(hasChange);
}

std::shared_ptr<ViewControllerAnimatedTransitioning>
OSLPopupViewController::animationControllerForPresented(const std::shared_ptr<ViewController>&,
                                                        const std::shared_ptr<ViewController>&,
                                                        const std::shared_ptr<ViewController>&) {
  isPresenting = true;
  return std::dynamic_pointer_cast<ViewControllerAnimatedTransitioning>(
      shared<OSLPopupViewController>());
}

std::shared_ptr<ViewControllerAnimatedTransitioning>
OSLPopupViewController::animationControllerForDismissed(const std::shared_ptr<ViewController>&) {
  isPresenting = false;
  return std::dynamic_pointer_cast<ViewControllerAnimatedTransitioning>(
      shared<OSLPopupViewController>());
}

double OSLPopupViewController::transitionDuration(const std::shared_ptr<TransitionContext>&) {
  return kTransitionDuration;
}

void OSLPopupViewController::animateTransition(const std::shared_ptr<TransitionContext>& context) {
  if (isPresenting) {
    animatePresentation(context);
  } else {
    animateDismissal(context);
  }
}

void OSLPopupViewController::animatePresentation(
    const std::shared_ptr<TransitionContext>& context) {
  auto to = context->toViewController();
  if (!to) return;
  auto container = context->containerView();
  auto toView = to->view();
  toView->setAlpha(0);
  toView->setFrame(container->bounds());
  container->addSubview(toView);
  toView->layoutIfNeeded();

  auto blur = visualEffectBlurView;
  blur->setFrame(container->bounds());
  blur->setAlpha(1);
  container->insertSubview(blur, 0);
  blur->translatesAutoresizingMaskIntoConstraints = false;
  LayoutConstraint::activate(
      {blur->bottomAnchor().constraintEqualTo(container->bottomAnchor()),
       blur->topAnchor().constraintEqualTo(container->topAnchor()),
       blur->leadingAnchor().constraintEqualTo(container->leadingAnchor()),
       blur->trailingAnchor().constraintEqualTo(container->trailingAnchor())});

  for (const auto& v : popViews) {
    v->setAlpha(0);
    v->setTransform(AffineTransform::scale(kCardScale, kCardScale));
  }
  auto views = popViews;
  AnimationOptions options;
  options.allowUserInteraction = true;
  View::animate(
      transitionDuration(context), 0, 1.0, 0, options,
      [toView, views] {
        toView->setAlpha(1);
        for (const auto& v : views) {
          v->setAlpha(1);
          v->setTransform(AffineTransform::identity());
        }
      },
      [context](bool finished) { context->completeTransition(finished); });
}

void OSLPopupViewController::animateDismissal(const std::shared_ptr<TransitionContext>& context) {
  auto from = context->fromViewController();
  if (!from) return;
  auto fromView = from->view();
  auto blur = visualEffectBlurView;
  auto views = popViews;
  AnimationOptions options;
  options.allowUserInteraction = true;
  View::animate(
      transitionDuration(context), 0, 2.0, 0, options,
      [fromView, blur, views] {
        fromView->setAlpha(0);
        blur->setAlpha(0);
        for (const auto& v : views) v->setTransform(AffineTransform::scale(kCardScale, kCardScale));
      },
      [context, blur](bool finished) {
        blur->effect.reset();
        blur->removeFromSuperview();
        context->completeTransition(finished);
      });
}

}  // namespace ostrel
