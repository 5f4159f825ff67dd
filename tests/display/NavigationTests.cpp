#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/foundation/Make.hpp"
#include "platform/ui/Button.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/PangoText.hpp"
#include "platform/ui/Renderer.hpp"
#include "testing/PixelProbe.hpp"
#include "testing/ScriptedUser.hpp"

namespace ostrel::testing {
namespace {

using namespace platform;

class NavigationDrawingTest : public UITest {
 protected:
  NavigationDrawingTest() { PangoTextMeasurer::install(); }
  ~NavigationDrawingTest() override { TextMeasurer::install(nullptr); }

  static std::shared_ptr<ViewController> screen(std::optional<Color> background,
                                                std::string title = {}) {
    auto controller = make<ViewController>();
    controller->view()->setBackgroundColor(background);
    controller->title = std::move(title);
    return controller;
  }
  Color windowPixel(Point at) {
    runDisplayPass();
    auto picture = snapshot(*window(), 1);
    return picture ? pixelAt(*picture, at) : Color::clear();
  }
};

// A screen whose background lets light through (a camera screen without its picture, a
// dimmed scanner) must never show the screen it was pushed over.
TEST_F(NavigationDrawingTest, APushedScreenCoversTheOneBeneathInEveryFrame) {
  const Color red{1, 0, 0, 1};
  auto beneath = screen(red);
  auto navigation = NavigationController::withRoot(beneath);
  navigation->setNavigationBarHidden(true, false);
  show(navigation);
  const Point middle{195, 500};
  EXPECT_TRUE(windowPixel(middle).isApproximately(red, 0.03));

  auto dimmed = screen(Color{0, 0, 0, 0.5});
  navigation->pushViewController(dimmed, true);
  for (double step : {0.0, 0.1, 0.15, 1.0}) {
    SCOPED_TRACE(step);
    advance(step);
    Color seen = windowPixel(middle);
    EXPECT_LT(seen.red * seen.alpha, 0.1) << "the red screen shows through";
  }

  navigation->popViewController(true);
  advance(0.1);
  EXPECT_TRUE(windowPixel(middle).isApproximately(red, 0.03)) << "back on top at once";
  advance(1);
  EXPECT_TRUE(windowPixel(middle).isApproximately(red, 0.03));
  EXPECT_FALSE(dimmed->view()->isHidden()) << "a popped screen can be pushed again";
  navigation->pushViewController(dimmed, false);
  advance(1);
  Color seen = windowPixel(middle);
  EXPECT_LT(seen.red * seen.alpha, 0.1);
}

TEST_F(NavigationDrawingTest, TheBarDrawsTheTopItemAndItsItemsTakeTaps) {
  auto start = screen(Color::white(), "Start");
  auto navigation = NavigationController::withRoot(start);
  show(navigation);
  const auto& bar = navigation->navigationBar();

  // The scanner's kind of item: a custom back view on the left, a titled item on the right.
  auto scanner = screen(Color::white(), "Scanner");
  auto item = scanner->navigationItem();
  item->title = "Scan the zone";
  int backTaps = 0, torchTaps = 0;
  auto backView = make<Button>(Rect{0, 0, 40, 44});
  backView->setTitle("<", ControlState::normal);
  backView->setTitleColor(Color::black(), ControlState::normal);
  backView->addTarget(
      std::weak_ptr<const void>(backView), [&](Control&) { ++backTaps; },
      ControlEvent::touchUpInside);
  auto left = std::make_shared<BarButtonItem>(backView);
  item->leftBarButtonItems = {left};
  auto torch = std::make_shared<BarButtonItem>();
  torch->title = "Torch";
  torch->setAction(torch, [&](BarButtonItem&) { ++torchTaps; });
  item->setRightBarButtonItem(torch);
  navigation->pushViewController(scanner, false);
  advance(1);
  runDisplayPass();

  EXPECT_EQ(bar->titleLabel()->text(), "Scan the zone");
  EXPECT_FALSE(bar->backButton()) << "the left item takes the back button's place";
  ASSERT_TRUE(torch->shownView());
  EXPECT_EQ(left->shownView(), backView);
  const Rect barFrame = bar->frame();
  const Rect title = bar->titleLabel()->frame();
  const Rect leftFrame = backView->frame();
  const Rect rightFrame = torch->shownView()->frame();
  EXPECT_GT(title.width(), 0);
  EXPECT_NEAR(title.midX(), barFrame.width() / 2, 0.5) << "centred on the bar";
  EXPECT_LE(leftFrame.maxX(), title.minX());
  EXPECT_LE(title.maxX(), rightFrame.minX());
  EXPECT_NEAR(rightFrame.maxX(), barFrame.width() - 16, 0.5) << "trailing";

  // The title and both items are drawn in the bar.
  auto picture = snapshot(*bar, 2);
  ASSERT_TRUE(picture);
  const Color fill = pixelAt(*picture, {barFrame.width() / 2, 1});
  for (Rect area : {title, leftFrame, rightFrame}) {
    int inked = 0;
    for (double x = area.minX(); x < area.maxX(); x += 0.5) {
      for (double y = area.minY(); y < area.maxY(); y += 0.5) {
        if (!pixelAt(*picture, {x, y}).isApproximately(fill, 0.2)) ++inked;
      }
    }
    EXPECT_GT(inked, 10) << "nothing drawn at " << area.minX() << ", " << area.minY();
  }

  // The mouse and the scripted user tap what the bar shows.
  const Point torchCentre = torch->shownView()->convertPointTo(
      {rightFrame.width() / 2, rightFrame.height() / 2}, nullptr);
  user().tapAt(window(), torchCentre);
  user().tap(torch);
  user().tap(left);
  EXPECT_EQ(torchTaps, 2);
  EXPECT_EQ(backTaps, 1);

  // Without left items the bar offers the way back, titled with the screen it leads to.
  item->leftBarButtonItems.clear();
  auto plain = screen(Color::white(), "Plain");
  navigation->pushViewController(plain, false);
  advance(1);
  ASSERT_TRUE(bar->backButton());
  EXPECT_EQ(bar->backButton()->currentTitle(), "\u2039 Scanner");
  EXPECT_EQ(bar->titleLabel()->text(), "Plain");
  EXPECT_FALSE(torch->shownView()) << "the covered screen's items left the bar";
  user().tap(bar->backButton());
  advance(1);
  EXPECT_EQ(navigation->topViewController(), scanner);
  EXPECT_EQ(bar->titleLabel()->text(), "Scan the zone");

  // A hidden bar shows and takes nothing; the item may hide the back button.
  scanner->navigationItem()->setHidesBackButton(true, false);
  navigation->setNavigationBarHidden(true, false);
  EXPECT_FALSE(torch->shownView());
  navigation->setNavigationBarHidden(false, false);
  EXPECT_TRUE(torch->shownView());
  EXPECT_FALSE(bar->backButton());
}

TEST_F(NavigationDrawingTest, TheBarFollowsItsStyle) {
  auto top = screen(Color::black(), "Dark");
  auto navigation = NavigationController::withRoot(top);
  show(navigation);
  const auto& bar = navigation->navigationBar();
  runDisplayPass();
  ASSERT_TRUE(bar->backgroundColor()) << "the system bar is filled";
  EXPECT_GT(bar->backgroundColor()->alpha, 0.9);
  EXPECT_EQ(bar->titleLabel()->textColor(), Color::black());

  // The scanners' style: transparent, white title over their dark screen.
  bar->setBackgroundImage(std::make_shared<Image>(Size{}), BarMetrics::defaultMetrics);
  bar->titleTextAttributes = TextAttributes{Color::white()};
  top->title = "Scan";
  navigation->setNavigationBarHidden(false, false);
  runDisplayPass();
  EXPECT_FALSE(bar->backgroundColor());
  EXPECT_EQ(bar->titleLabel()->textColor(), Color::white());
  auto picture = snapshot(*window(), 2);
  ASSERT_TRUE(picture);
  const Rect title = bar->titleLabel()->convertRectTo(bar->titleLabel()->bounds(), nullptr);
  int white = 0;
  for (double x = title.minX(); x < title.maxX(); x += 0.5) {
    if (pixelAt(*picture, {x, title.midY()}).isApproximately(Color::white(), 0.3)) ++white;
  }
  EXPECT_GT(white, 3) << "white title on the dark screen";
}

}  // namespace
}  // namespace ostrel::testing
