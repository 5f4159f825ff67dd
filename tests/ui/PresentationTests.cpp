#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/Make.hpp"
#include "platform/ui/NavigationController.hpp"
#include "testing/ScriptedUser.hpp"

namespace ostrel {
namespace {

using namespace platform;

std::vector<std::string>* journal = nullptr;

class Screen_ : public ViewController {
 public:
  explicit Screen_(std::string name = "") : name_(std::move(name)) {}
  void viewDidLoad() override { log("didLoad"); }
  void viewWillAppear(bool) override { log("willAppear"); }
  void viewDidAppear(bool) override { log("didAppear"); }
  void viewWillDisappear(bool) override { log("willDisappear"); }
  void viewDidDisappear(bool) override { log("didDisappear"); }
  void log(const std::string& what) {
    if (journal) journal->push_back(name_ + "." + what);
  }

 private:
  std::string name_;
};

// Animates over its own 0.5 s and reports the container it was given.
class SlowAnimator : public ViewControllerAnimatedTransitioning,
                     public ViewControllerTransitioningDelegate,
                     public std::enable_shared_from_this<SlowAnimator> {
 public:
  std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForPresented(
      const std::shared_ptr<ViewController>&, const std::shared_ptr<ViewController>&,
      const std::shared_ptr<ViewController>&) override {
    presenting = true;
    return shared_from_this();
  }
  std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForDismissed(
      const std::shared_ptr<ViewController>&) override {
    presenting = false;
    return shared_from_this();
  }
  double transitionDuration(const std::shared_ptr<TransitionContext>&) override { return 0.5; }
  void animateTransition(const std::shared_ptr<TransitionContext>& context) override {
    container = context->containerView()->bounds();
    if (presenting) context->containerView()->addSubview(context->toViewController()->view());
    View::animate(
        0.5, [] {}, [context](bool finished) { context->completeTransition(finished); });
  }
  bool presenting = false;
  Rect container;
};

class PresentationTest : public testing::UITest {
 protected:
  PresentationTest() { journal = &log; }
  ~PresentationTest() override { journal = nullptr; }
  std::vector<std::string> take() { return std::exchange(log, {}); }
  std::vector<std::string> log;
};

TEST_F(PresentationTest, FullScreenPresentationSendsBothSidesTheirCallbacks) {
  auto root = make<Screen_>("root");
  show(root);
  take();
  auto modal = make<Screen_>("modal");
  modal->modalPresentationStyle = ModalPresentationStyle::fullScreen;
  bool done = false;
  ASSERT_TRUE(root->present(modal, true, [&] { done = true; }));
  EXPECT_EQ(take(),
            (std::vector<std::string>{"modal.didLoad", "modal.willAppear", "root.willDisappear"}));
  advance(0.29);
  EXPECT_FALSE(done);
  advance(0.01);
  EXPECT_TRUE(done);
  EXPECT_EQ(take(), (std::vector<std::string>{"modal.didAppear", "root.didDisappear"}));
  EXPECT_FALSE(root->view()->window());
  EXPECT_EQ(root->presentedViewController(), modal);
  EXPECT_EQ(modal->presentingViewController(), root);

  done = false;
  ASSERT_TRUE(modal->dismiss(true, [&] { done = true; }));
  EXPECT_EQ(take(), (std::vector<std::string>{"modal.willDisappear", "root.willAppear"}));
  advance(0.3);
  EXPECT_TRUE(done);
  EXPECT_EQ(take(), (std::vector<std::string>{"modal.didDisappear", "root.didAppear"}));
  EXPECT_TRUE(root->view()->window());
  EXPECT_FALSE(root->presentedViewController());
}

TEST_F(PresentationTest, OverFullScreenAndSheetsKeepThePresenter) {
  for (auto style : {ModalPresentationStyle::overFullScreen, ModalPresentationStyle::formSheet}) {
    SCOPED_TRACE(static_cast<int>(style));
    auto root = make<Screen_>("root");
    show(root);
    take();
    auto sheet = make<Screen_>("sheet");
    sheet->modalPresentationStyle = style;
    ASSERT_TRUE(root->present(sheet, true));
    advance(0.3);
    EXPECT_EQ(take(),
              (std::vector<std::string>{"sheet.didLoad", "sheet.willAppear", "sheet.didAppear"}));
    EXPECT_TRUE(root->view()->window());
    EXPECT_TRUE(root->isAppeared());
    ASSERT_TRUE(root->dismiss(false));
    EXPECT_EQ(take(), (std::vector<std::string>{"sheet.willDisappear", "sheet.didDisappear"}));
  }
}

TEST_F(PresentationTest, DismissThroughAChildDismissesTheHolder) {
  auto root = make<Screen_>("root");
  show(root);
  auto holder = make<Screen_>("holder");
  holder->modalPresentationStyle = ModalPresentationStyle::overFullScreen;
  auto child = make<Screen_>("child");
  holder->addChild(child);
  holder->view()->addSubview(child->view());
  ASSERT_TRUE(root->present(holder, false));
  take();
  bool done = false;
  ASSERT_TRUE(child->dismiss(true, [&] { done = true; }));
  EXPECT_EQ(take(), (std::vector<std::string>{"holder.willDisappear", "child.willDisappear"}));
  advance(0.3);
  EXPECT_TRUE(done);
  EXPECT_EQ(take(), (std::vector<std::string>{"holder.didDisappear", "child.didDisappear"}));
  EXPECT_FALSE(root->presentedViewController());
  EXPECT_FALSE(holder->view()->window());
}

TEST_F(PresentationTest, RefusesWhenDetachedAlreadyPresentingOrInTransition) {
  testing::PresentationRecorder recorder;
  auto detached = make<Screen_>("detached");
  bool ran = false;
  EXPECT_FALSE(detached->present(make<Screen_>("a"), true, [&] { ran = true; }));
  advance(1);
  EXPECT_FALSE(ran);

  auto root = make<Screen_>("root");
  show(root);
  const double presentedAt = runtime().uptime();
  ASSERT_TRUE(root->present(make<Screen_>("first"), true));
  EXPECT_FALSE(root->present(make<Screen_>("second"), false, [&] { ran = true; }));
  EXPECT_FALSE(root->dismiss(false));  // the presentation is still running
  advance(0.3);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(root->dismiss(false));
  EXPECT_FALSE(make<Screen_>("lonely")->dismiss(false));

  ASSERT_GE(recorder.events().size(), 4u);
  EXPECT_EQ(recorder.events()[0].kind, PresentationEvent::Kind::refusedPresent);
  EXPECT_EQ(recorder.events()[1].kind, PresentationEvent::Kind::refusedPresent);
  EXPECT_EQ(recorder.events()[2].kind, PresentationEvent::Kind::refusedDismiss);
  EXPECT_EQ(recorder.events()[3].kind, PresentationEvent::Kind::presented);
  EXPECT_NEAR(recorder.events()[3].time, presentedAt + 0.3, 1e-9);
}

TEST_F(PresentationTest, CustomAnimatorDecidesTheTiming) {
  auto root = make<Screen_>("root");
  show(root);
  auto animator = std::make_shared<SlowAnimator>();
  auto popup = make<Screen_>("popup");
  popup->modalPresentationStyle = ModalPresentationStyle::overFullScreen;
  popup->transitioningDelegate = animator;
  bool done = false;
  ASSERT_TRUE(root->present(popup, true, [&] { done = true; }));
  EXPECT_EQ(animator->container, window()->bounds());
  advance(0.3);
  EXPECT_FALSE(done);
  advance(0.2);
  EXPECT_TRUE(done);
  EXPECT_TRUE(popup->view()->window());
  done = false;
  ASSERT_TRUE(popup->dismiss(true, [&] { done = true; }));
  advance(0.49);
  EXPECT_FALSE(done);
  advance(0.01);
  EXPECT_TRUE(done);
  EXPECT_FALSE(popup->view()->window());
}

TEST_F(PresentationTest, PushAndPopSendAppearanceAroundTheTransition) {
  auto first = make<Screen_>("first");
  auto nav = NavigationController::withRoot(first);
  show(nav);
  EXPECT_EQ(take(),
            (std::vector<std::string>{"first.didLoad", "first.willAppear", "first.didAppear"}));
  auto second = make<Screen_>("second");
  nav->pushViewController(second, true);
  EXPECT_EQ(take(), (std::vector<std::string>{"second.didLoad", "first.willDisappear",
                                              "second.willAppear"}));
  advance(0.3);
  EXPECT_EQ(take(), (std::vector<std::string>{"first.didDisappear", "second.didAppear"}));
  EXPECT_EQ(second->navigationController(), nav);
  EXPECT_EQ(nav->popViewController(false), second);
  EXPECT_EQ(take(), (std::vector<std::string>{"second.willDisappear", "first.willAppear",
                                              "second.didDisappear", "first.didAppear"}));
  EXPECT_FALSE(second->parent());
  EXPECT_FALSE(nav->popViewController(false));
}

}  // namespace
}  // namespace ostrel
