#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/Debug.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/runtime/Application.hpp"
#include "platform/runtime/NotificationCenter.hpp"
#include "platform/ui/Button.hpp"
#include "platform/ui/Keyboard.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/ScrollView.hpp"
#include "testing/ScriptedUser.hpp"
#include "ui/OstrelBaseViews.hpp"

namespace ostrel {
namespace {

using namespace platform;

class ViewTest : public testing::UITest {};

TEST_F(ViewTest, HitTestingSkipsHiddenTransparentAndNonInteractiveViewsAndPrefersTheTop) {
  auto base = make<View>(Rect{0, 0, 200, 200});
  window()->addSubview(base);
  auto below = make<View>(Rect{10, 10, 100, 100});
  auto above = make<View>(Rect{10, 10, 100, 100});
  base->addSubview(below);
  base->addSubview(above);
  EXPECT_EQ(window()->hitTest({50, 50}), above);

  struct Case {
    const char* name;
    std::function<void()> change;
  };
  const Case cases[] = {{"hidden", [&] { above->setHidden(true); }},
                        {"nearly transparent", [&] { above->setAlpha(0.009); }},
                        {"no interaction", [&] { above->setUserInteractionEnabled(false); }}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    above->setHidden(false);
    above->setAlpha(1);
    above->setUserInteractionEnabled(true);
    c.change();
    EXPECT_EQ(window()->hitTest({50, 50}), below);
  }
  above->setUserInteractionEnabled(true);
  above->setAlpha(0.01);
  EXPECT_EQ(window()->hitTest({50, 50}), above);
  base->bringSubviewToFront(below);
  EXPECT_EQ(window()->hitTest({50, 50}), below);
  EXPECT_EQ(window()->hitTest({150, 150}), base);
}

TEST_F(ViewTest, ConvertsThroughNestedViewsAndScrollOffsets) {
  auto scroll = make<ScrollView>(Rect{20, 100, 300, 400});
  window()->addSubview(scroll);
  auto content = make<View>(Rect{10, 500, 200, 50});
  scroll->addSubview(content);
  auto field = make<View>(Rect{5, 5, 50, 20});
  content->addSubview(field);
  EXPECT_EQ(field->convertPointTo({0, 0}, nullptr), (Point{35, 605}));
  scroll->setContentOffset({0, 300});
  EXPECT_EQ(field->convertPointTo({0, 0}, nullptr), (Point{35, 305}));
  EXPECT_EQ(field->convertRectTo(field->bounds(), scroll.get()), (Rect{15, 505, 50, 20}));
  EXPECT_EQ(scroll->convertPointFrom({35, 305}, nullptr), (Point{15, 505}));
  EXPECT_EQ(window()->hitTest({40, 310}), field);
}

TEST_F(ViewTest, AnimationsApplyAtOnceRecordAndCompleteOnTheClock) {
  auto view = make<View>(Rect{0, 0, 10, 10});
  bool finished = false;
  View::animate(
      0.3, 0.1, AnimationOptions{true, false, TimingFunction::easeIn},
      [&] {
        view->setAlpha(0.5);
        view->setFrame({5, 5, 10, 10});
      },
      [&](bool f) { finished = f; });
  EXPECT_EQ(view->alpha(), 0.5);
  ASSERT_EQ(animations().size(), 1u);
  const auto& record = *animations().front();
  EXPECT_EQ(record.duration, 0.3);
  EXPECT_EQ(record.delay, 0.1);
  EXPECT_TRUE(record.options.allowUserInteraction);
  ASSERT_TRUE(record.change(view.get(), "alpha"));
  EXPECT_EQ(std::get<double>(record.change(view.get(), "alpha")->from), 1.0);
  EXPECT_EQ(std::get<Rect>(record.change(view.get(), "frame")->to), (Rect{5, 5, 10, 10}));
  advance(0.39);
  EXPECT_FALSE(finished);
  advance(0.01);
  EXPECT_TRUE(finished);
  EXPECT_TRUE(record.completed);

  View::animate(0.3, 0, 0.75, 3.0, {},
                [&] { View::performWithoutAnimation([&] { view->setAlpha(1); }); });
  ASSERT_EQ(animations().size(), 2u);
  EXPECT_TRUE(animations().back()->changes.empty());
  EXPECT_EQ(animations().back()->spring->dampingRatio, 0.75);
  view->setAlpha(0.2);  // outside any block: not recorded
  EXPECT_EQ(animations().size(), 2u);
}

TEST_F(ViewTest, NotificationsReachAScreenOnlyWhileRegistered) {
  struct Watcher : ViewController {
    int count = 0;
    void viewWillAppear(bool) override {
      std::weak_ptr<Watcher> self = shared<Watcher>();
      NotificationCenter::defaultCenter().addObserver(
          shared<Watcher>(), ApplicationDidBecomeActiveNotification, [self](const Notification&) {
            if (auto s = self.lock()) ++s->count;
          });
    }
    void viewWillDisappear(bool) override {
      NotificationCenter::defaultCenter().removeObserver(this);
    }
  };
  auto watcher = make<Watcher>();
  auto nav = NavigationController::withRoot(watcher);
  show(nav);
  setApplicationActive(false);
  setApplicationActive(true);
  EXPECT_EQ(watcher->count, 1);
  nav->pushViewController(make<ViewController>(), false);
  setApplicationActive(false);
  setApplicationActive(true);
  EXPECT_EQ(watcher->count, 1);
  nav->popViewController(false);
  setApplicationActive(false);
  setApplicationActive(true);
  EXPECT_EQ(watcher->count, 2);
}

TEST_F(ViewTest, TapOnAControlWithATapRecognizerFiresTheRecognizerAndCancelsTracking) {
  auto button = make<Button>(Rect{10, 10, 100, 40});
  window()->addSubview(button);
  auto owner = std::make_shared<int>(0);
  std::vector<std::string> seen;
  button->addTarget(
      std::weak_ptr<const void>(owner), [&](Control&) { seen.push_back("up"); },
      ControlEvent::touchUpInside);
  button->addTarget(
      std::weak_ptr<const void>(owner), [&](Control&) { seen.push_back("cancel"); },
      ControlEvent::touchCancel);
  user().tap(button);
  EXPECT_EQ(seen, (std::vector<std::string>{"up"}));
  EXPECT_FALSE(button->isHighlighted());

  auto tap = make<TapGestureRecognizer>();
  tap->addTarget(std::weak_ptr<const void>(owner),
                 [&](GestureRecognizer&) { seen.push_back("tap"); });
  button->addGestureRecognizer(tap);
  seen.clear();
  user().tap(button);
  EXPECT_EQ(seen, (std::vector<std::string>{"tap", "cancel"}));

  auto cover = make<View>(Rect{0, 0, 390, 844});
  window()->addSubview(cover);
  seen.clear();
  user().tap(button);
  EXPECT_TRUE(seen.empty());
  owner.reset();
}

TEST_F(ViewTest, TopMostViewControllerWalksPresentationsAndContainers) {
  EXPECT_FALSE(topMostViewController(nullptr)->isViewLoaded());
  auto leaf = make<ViewController>();
  auto nav = NavigationController::withRoot(leaf);
  auto tabs = make<TabBarController>();
  auto other = make<ViewController>();
  tabs->setViewControllers({other, nav});
  tabs->setSelectedIndex(1);
  EXPECT_EQ(topMostViewController(tabs), leaf);
  auto split = make<SplitViewController>();
  split->setViewControllers({make<ViewController>(), tabs});
  EXPECT_EQ(topMostViewController(split), leaf);
  auto parent = make<ViewController>();
  auto child = make<ViewController>();
  parent->addChild(child);
  EXPECT_EQ(topMostViewController(parent), child);

  show(split);
  auto presented = make<ViewController>();
  ASSERT_TRUE(leaf->present(presented, false));
  EXPECT_EQ(topMostViewController(split), presented);
}

TEST_F(ViewTest, CurrentKeyWindowNeedsAForegroundActiveScene) {
  EXPECT_EQ(currentKeyWindow(), window());
  scene()->activationState = WindowScene::ActivationState::background;
  EXPECT_FALSE(currentKeyWindow());
  scene()->activationState = WindowScene::ActivationState::foregroundActive;
  WindowScene::disconnectAll();
  EXPECT_FALSE(currentKeyWindow());
}

TEST_F(ViewTest, PinEdgesMakesFourEqualityConstraints) {
  auto container = make<View>(Rect{0, 0, 100, 100});
  auto sub = make<View>();
  container->addSubview(sub);
  auto constraints = pinEdges(sub, container, true, EdgeInsets{1, 2, 3, 4});
  ASSERT_EQ(constraints.size(), 4u);
  const LayoutAttribute attributes[] = {LayoutAttribute::leading, LayoutAttribute::top,
                                        LayoutAttribute::trailing, LayoutAttribute::bottom};
  const double constants[] = {2, 1, -4, -3};
  for (int i = 0; i < 4; ++i) {
    const auto& c = *constraints[static_cast<std::size_t>(i)];
    EXPECT_TRUE(c.isActive());
    EXPECT_EQ(c.relation, LayoutRelation::equal);
    EXPECT_EQ(c.firstItem.lock(), sub);
    EXPECT_EQ(c.firstAttribute, attributes[i]);
    EXPECT_EQ(c.secondItem.lock(), container->safeAreaLayoutGuide());
    EXPECT_EQ(c.secondAttribute, attributes[i]);
    EXPECT_EQ(c.constant, constants[i]);
  }
  EXPECT_FALSE(sub->translatesAutoresizingMaskIntoConstraints);
  EXPECT_EQ(container->constraints().size(), 4u);
  EXPECT_EQ(sub->constraintsAffecting().size(), 4u);
  auto plain = pinEdges(sub, container);
  EXPECT_EQ(plain[0]->secondItem.lock(), container);
}

TEST_F(ViewTest, LayerPropertiesFromNibs) {
  auto view = make<View>();
  setCornerRadius(*view, 8);
  EXPECT_TRUE(view->clipsToBounds());
  setCornerRadius(*view, 0);
  EXPECT_FALSE(view->clipsToBounds());
  setBorderColors(*view, Color::white());
  EXPECT_EQ(borderColors(*view), Color::white());
  setBorderColors(*view, std::nullopt);
  EXPECT_FALSE(borderColors(*view));
  dropShadow(*view, 4, {0, 2});
  EXPECT_FALSE(view->clipsToBounds());
  EXPECT_EQ(view->layer()->shadowOpacity, 0.25);
  EXPECT_EQ(view->layer()->rasterizationScale, Screen::main().scale());
}

// Nib-loaded views for the nib rules.
class CountingNibView : public OstrelBaseNibView {
 public:
  using OstrelBaseNibView::OstrelBaseNibView;
  void setupView() override {
    ++setups;
    addSubview(make<View>(Rect{0, 0, 5, 5}));
  }
  std::weak_ptr<Label> title;
  int setups = 0;
};
class DerivedNibView : public CountingNibView {
 public:
  using CountingNibView::CountingNibView;
};
class NotAViewNibView : public CountingNibView {
 public:
  using CountingNibView::CountingNibView;
};
class EmptyNibView : public CountingNibView {
 public:
  using CountingNibView::CountingNibView;
};

const LibraryNibRegistration counting{"CountingNibView",
                                      [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
                                        auto root = nib.makeView<View>(Rect{0, 0, 50, 50});
                                        auto label = nib.makeView<Label>(Rect{0, 0, 50, 20});
                                        root->addSubview(label);
                                        if (auto owner = nib.owner<CountingNibView>())
                                          owner->title = label;
                                        return {root};
                                      }};
const LibraryNibRegistration derived{"DerivedNibView",
                                     [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
                                       return {nib.makeView<Button>(Rect{0, 0, 10, 10})};
                                     }};
const LibraryNibRegistration notAView{"NotAViewNibView",
                                      [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
                                        auto label = nib.makeView<Label>(Rect{});
                                        if (auto owner = nib.owner<CountingNibView>())
                                          owner->title = label;
                                        return {nib.makeObject<TapGestureRecognizer>(), label};
                                      }};
const LibraryNibRegistration empty{
    "EmptyNibView", [](NibLoader&) -> std::vector<std::shared_ptr<Object>> { return {}; }};

TEST_F(ViewTest, NibViewsLoadTheirOwnNibBehindTheHookOnce) {
  auto view = make<CountingNibView>(Rect{0, 0, 80, 80});
  EXPECT_EQ(view->setups, 1);
  ASSERT_EQ(view->subviews().size(), 2u);
  EXPECT_EQ(view->subviews()[0]->frame(), (Rect{0, 0, 80, 80}));
  EXPECT_TRUE(view->title.lock());
  EXPECT_EQ(view->constraints().size(), 4u);

  auto sub = make<DerivedNibView>();
  EXPECT_EQ(sub->setups, 1);
  EXPECT_TRUE(std::dynamic_pointer_cast<Button>(sub->subviews()[0]));

  auto odd = make<NotAViewNibView>();
  EXPECT_EQ(odd->setups, 1);
  EXPECT_EQ(odd->subviews().size(), 1u);      // only the hook's view
  EXPECT_TRUE(odd->title.lock() == nullptr);  // outlets are weak: the label was not kept by anyone

  auto none = make<EmptyNibView>();
  EXPECT_EQ(none->setups, 1);
  EXPECT_EQ(none->subviews().size(), 1u);
}

namespace outer {
struct GuideLikeVC : ViewController {
  void viewDidLoad() override { ++loads; }
  int loads = 0;
};
}  // namespace outer

const LibraryNibRegistration guideLike{"GuideLikeVC",
                                       [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
                                         return {nib.makeView<Label>(Rect{0, 0, 390, 844})};
                                       }};

TEST_F(ViewTest, LoadFromNibUsesTheClassNameWithoutNamespaces) {
  EXPECT_EQ(typeNameWithoutModule<outer::GuideLikeVC>(), "GuideLikeVC");
  auto controller = loadFromNib<outer::GuideLikeVC>();
  EXPECT_EQ(controller->nibName(), "GuideLikeVC");
  EXPECT_FALSE(controller->isViewLoaded());
  EXPECT_TRUE(std::dynamic_pointer_cast<Label>(controller->view()));
  controller->view();
  EXPECT_EQ(controller->loads, 1);

  std::vector<std::string> logged;
  setDebugSink([&](std::string_view line) { logged.emplace_back(line); });
  auto missing = loadFromNib<ViewController>();
  EXPECT_TRUE(missing->view());
  EXPECT_TRUE(missing->view()->subviews().empty());
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_NE(logged[0].find("ViewController"), std::string::npos);
}

TEST_F(ViewTest, ScriptedUserTypesThroughTheDelegateAndDragsControls) {
  struct Digits : TextFieldDelegate {
    bool textFieldShouldChangeCharacters(TextField&, TextRange, const std::string& s) override {
      return s.find_first_not_of("0123456789") == std::string::npos;
    }
  };
  auto field = make<TextField>(Rect{0, 0, 100, 30});
  window()->addSubview(field);
  auto delegate = std::make_shared<Digits>();
  field->delegate = delegate;
  user().typeText(field, "1a2");
  EXPECT_EQ(field->text(), "12");
  EXPECT_TRUE(field->isFirstResponder());
  EXPECT_TRUE(window()->endEditing(true));
  EXPECT_FALSE(field->isFirstResponder());
  field->delegate.reset();
  user().typeText(field, "ữ");
  EXPECT_TRUE(field->deleteBackward());
  EXPECT_EQ(field->text(), "12");

  struct Tracker : Control {
    using Control::Control;
    bool continueTracking(const Touch& t) override {
      moves.push_back(t.location(this).x - t.previousLocation(this).x);
      return true;
    }
    std::vector<double> moves;
  };
  auto tracker = make<Tracker>(Rect{0, 100, 60, 30});
  window()->addSubview(tracker);
  user().drag(tracker, {5, -3});
  EXPECT_EQ(tracker->moves, (std::vector<double>{5, -3}));
}

TEST_F(ViewTest, KeyboardDriverPostsFramesAndHostViews) {
  std::vector<Rect> frames;
  auto token = std::make_shared<int>();
  NotificationCenter::defaultCenter().addObserver(
      token, KeyboardWillShowNotification, [&](const Notification& n) {
        frames.push_back(*rectFromJSON(n.userInfo[KeyboardFrameEndUserInfoKey]));
      });
  showKeyboard({0, 544, 390, 300});
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], (Rect{0, 544, 390, 300}));
  auto windows = WindowScene::allWindows();
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(typeNameWithoutModule(*windows[1]->subviews()[0]), "UIInputSetContainerView");
  hideKeyboard();
  EXPECT_EQ(WindowScene::allWindows().size(), 1u);
  EXPECT_FALSE(rectFromJSON(JSON{{"x", 1}}));
}

TEST_F(ViewTest, TraitChangesReachViewsWhoseAppearanceChanged) {
  struct Watching : View {
    using View::View;
    void traitCollectionDidChange(UserInterfaceStyle previous) override {
      seen.push_back(previous);
    }
    std::vector<UserInterfaceStyle> seen;
  };
  auto view = make<Watching>();
  window()->addSubview(view);
  setTraitStyle(UserInterfaceStyle::dark);
  setTraitStyle(UserInterfaceStyle::dark);
  EXPECT_EQ(view->seen, (std::vector<UserInterfaceStyle>{UserInterfaceStyle::light}));
  EXPECT_EQ(view->traitStyle(), UserInterfaceStyle::dark);
}

TEST_F(ViewTest, HapticsAreRecorded) {
  ImpactFeedbackGenerator(ImpactFeedbackGenerator::Style::heavy).impactOccurred();
  EXPECT_EQ(haptics(), (std::vector<std::string>{"impact.heavy"}));
}

}  // namespace
}  // namespace ostrel
