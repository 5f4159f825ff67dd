#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "platform/foundation/Debug.hpp"
#include "platform/ui/Animation.hpp"
#include "platform/ui/Text.hpp"
#include "session/HelpersAlerts.hpp"
#include "tests/uikit/UIKitTest.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OSLPopupHolderViewController.hpp"
#include "ui/OSLProgressHUD.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel::uikit_test {
namespace {

class LoadingTest : public UIKitTest {
 protected:
  void SetUp() override {
    screen = make<ViewController>();
    show(screen);
  }
  std::shared_ptr<OSLProgressHUD> hud() { return OSLProgressHUD::shared(); }
  // Entrance animations so far: records that moved the box to its resting scale.
  int entrances() {
    int n = 0;
    for (const auto& r : animations()) {
      if (!hud()->toolbarHUD) continue;
      auto c = r->change(hud()->toolbarHUD.get(), "transform");
      if (c && std::get<AffineTransform>(c->to) == AffineTransform::scale(1 / 1.4, 1 / 1.4)) ++n;
    }
    return n;
  }
  std::shared_ptr<ViewController> screen;
};

TEST_F(LoadingTest, ShowCoversTheWindowAndBlocksOrPassesTouches) {
  OSLProgressHUD::show(std::nullopt, false);
  EXPECT_EQ(hud()->alpha(), 0);  // nothing until the main queue runs
  runUntilIdle();
  EXPECT_EQ(hud()->alpha(), 1);
  EXPECT_EQ(hud()->labelStatus->text(), "[please_wait]");
  EXPECT_EQ(hud()->viewBackground->superview(), window());
  EXPECT_EQ(hud()->viewBackground->backgroundColor(), Color::black().withAlphaComponent(0.2));
  EXPECT_EQ(hud()->viewBackground->frame(), window()->bounds());
  auto hit = window()->hitTest({10, 10});
  EXPECT_EQ(hit, hud()->viewBackground);
  EXPECT_EQ(hud()->toolbarHUD->layer()->cornerRadius, 10);
  EXPECT_TRUE(hud()->toolbarHUD->layer()->masksToBounds);
  EXPECT_EQ(hud()->toolbarHUD->center(), (Point{195, 422}));

  OSLProgressHUD::show("Sending", true);
  runUntilIdle();
  EXPECT_EQ(hud()->labelStatus->text(), "Sending");
  EXPECT_EQ(hud()->viewBackground->backgroundColor(), Color::clear());
  EXPECT_EQ(window()->hitTest({10, 10}), screen->view());
  EXPECT_EQ(entrances(), 1);  // the second show only updated the contents
  auto entrance = animations().front();
  EXPECT_EQ(entrance->duration, 0.15);
  EXPECT_EQ(entrance->options.curve, TimingFunction::easeIn);
  EXPECT_TRUE(entrance->options.allowUserInteraction);
}

TEST_F(LoadingTest, DismissHidesAndTearsDownAndIsHarmlessWhenHidden) {
  OSLProgressHUD::dismiss();
  runUntilIdle();
  EXPECT_TRUE(animations().empty());
  EXPECT_EQ(hud()->alpha(), 0);

  OSLProgressHUD::show();
  runUntilIdle();
  OSLProgressHUD::dismiss();
  OSLProgressHUD::dismiss();
  runUntilIdle();
  EXPECT_EQ(hud()->alpha(), 1);  // until the 0.15 s fade is over
  EXPECT_EQ(hud()->toolbarHUD->transform(), AffineTransform::scale(0.3, 0.3));
  auto background = hud()->viewBackground;
  advance(0.15);
  EXPECT_EQ(hud()->alpha(), 0);
  EXPECT_EQ(background->superview(), nullptr);
  EXPECT_FALSE(hud()->toolbarHUD);
  EXPECT_FALSE(hud()->didSetupNotifications);
  EXPECT_TRUE(hud()->main);  // kept for the process
  // Observers are gone: a keyboard moves nothing now.
  AnimationLog::shared().clear();
  showKeyboard({0, 544, 390, 300});
  runUntilIdle();
  EXPECT_TRUE(animations().empty());
}

TEST_F(LoadingTest, ShowRightAfterADismissKeepsTheIndicator) {
  OSLProgressHUD::show("First");
  runUntilIdle();
  OSLProgressHUD::dismiss();
  runUntilIdle();
  advance(0.05);
  OSLProgressHUD::show("Next call");
  runUntilIdle();
  advance(1);
  EXPECT_EQ(hud()->alpha(), 1);
  ASSERT_TRUE(hud()->toolbarHUD);
  EXPECT_EQ(hud()->toolbarHUD->alpha(), 1);
  EXPECT_EQ(hud()->toolbarHUD->transform(), AffineTransform::scale(1 / 1.4, 1 / 1.4));
  EXPECT_EQ(hud()->viewBackground->superview(), window());
  EXPECT_EQ(hud()->labelStatus->text(), "Next call");
  EXPECT_TRUE(hud()->didSetupNotifications);
  // And a later dismiss still works.
  OSLProgressHUD::dismiss();
  runUntilIdle();
  advance(0.15);
  EXPECT_EQ(hud()->alpha(), 0);
}

TEST_F(LoadingTest, BoxStaysCentredAboveTheKeyboard) {
  OSLProgressHUD::show();
  runUntilIdle();
  showKeyboard({0, 544, 390, 300}, 0.4);
  runUntilIdle();
  EXPECT_EQ(hud()->toolbarHUD->center(), (Point{195, 272}));
  auto moved = animations().back();
  EXPECT_EQ(moved->duration, 0.4);
  hideKeyboard(0.25);
  runUntilIdle();
  EXPECT_EQ(hud()->toolbarHUD->center(), (Point{195, 422}));
  EXPECT_EQ(animations().back()->duration, 0.25);

  // A show with the keyboard already up finds it through the keyboard's host views.
  OSLProgressHUD::resetForTesting();
  showKeyboard({0, 644, 390, 200});
  OSLProgressHUD::show();
  runUntilIdle();
  EXPECT_EQ(OSLProgressHUD::keyboardHeightProbe(), 200);
  EXPECT_EQ(hud()->toolbarHUD->center(), (Point{195, 322}));
}

TEST_F(LoadingTest, BoxSizeFollowsTheText) {
  setLanguageDictionary(JSON::object());  // "please_wait" is then the empty text
  OSLProgressHUD::show();
  runUntilIdle();
  EXPECT_EQ(hud()->toolbarHUD->bounds(), (Rect{0, 0, 120, 120}));
  EXPECT_EQ(hud()->viewAnimation->center(), (Point{60, 60}));

  std::string text = "Please keep the card in the frame while we check it with the server";
  OSLProgressHUD::show(text);
  runUntilIdle();
  Size measured = TextMeasurer::shared().boundingSize(text, Font::boldSystemFont(24), {250, 250});
  EXPECT_LE(measured.width, 250);
  EXPECT_GT(measured.height, Font::boldSystemFont(24).lineHeight());  // it wrapped
  double w = std::max(120.0, measured.width + 60);
  double h = std::max(120.0, measured.height + 120);
  EXPECT_EQ(hud()->toolbarHUD->bounds(), (Rect{0, 0, std::ceil(w), std::ceil(h)}));
  EXPECT_EQ(hud()->viewAnimation->center(), (Point{w / 2, 60}));
  EXPECT_EQ(hud()->labelStatus->frame(),
            (Rect{(w - measured.width) / 2, 45 + (h - measured.height) / 2, measured.width,
                  measured.height}));
  EXPECT_EQ(hud()->labelStatus->font(), Font::boldSystemFont(24));
  EXPECT_EQ(hud()->labelStatus->numberOfLines(), 0);
}

TEST_F(LoadingTest, ThreeDotsChaseRoundATriangle) {
  OSLProgressHUD::show();
  runUntilIdle();
  const auto& dots = hud()->viewAnimation->layer()->sublayers();
  ASSERT_EQ(dots.size(), 3u);
  const double s = 60, r = s / 5.5, d = s - 2 * r;
  struct Row {
    Point centre;
    std::vector<std::pair<std::string, double>> moves;
  };
  const std::vector<Row> rows{{{r, r}, {{"position.x", d}}},
                              {{s - r, r}, {{"position.y", d}, {"position.x", -d / 2}}},
                              {{s / 2, s - r}, {{"position.y", -d}, {"position.x", -d / 2}}}};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    auto dot = std::dynamic_pointer_cast<ShapeLayer>(dots[i]);
    ASSERT_TRUE(dot && dot->path);
    ASSERT_EQ(dot->path->elements.size(), 1u);
    EXPECT_EQ(dot->path->elements[0].center, rows[i].centre);
    EXPECT_NEAR(dot->path->elements[0].radius, r, 1e-12);
    EXPECT_EQ(dot->fillColor, colorFromHex("#61A684"));
    auto group = std::dynamic_pointer_cast<AnimationGroup>(dot->animation("animation"));
    ASSERT_TRUE(group);
    EXPECT_EQ(group->duration, 0.6);
    EXPECT_TRUE(std::isinf(group->repeatCount));
    EXPECT_FALSE(group->isRemovedOnCompletion);
    ASSERT_EQ(group->animations.size(), rows[i].moves.size());
    for (std::size_t k = 0; k < rows[i].moves.size(); ++k) {
      auto move = std::dynamic_pointer_cast<BasicAnimation>(group->animations[k]);
      ASSERT_TRUE(move);
      EXPECT_EQ(move->keyPath, rows[i].moves[k].first);
      EXPECT_EQ(move->fromValue, 0);
      EXPECT_NEAR(*move->toValue, rows[i].moves[k].second, 1e-12);
      EXPECT_EQ(move->timingFunction, TimingFunction::easeInEaseOut);
    }
  }
}

TEST_F(LoadingTest, CallsFromAnotherThreadKeepTheirOrder) {
  std::thread worker([] {
    Helpers::showLoading(nullptr, "Working", colorFromHex("FF0000"), false);
    OSLProgressHUD::dismiss();
  });
  worker.join();
  // Nothing touched the indicator off the main queue: the colours are still the defaults.
  EXPECT_EQ(hud()->colorAnimation, colorFromHex("#61A684"));
  runUntilIdle();
  EXPECT_EQ(hud()->colorAnimation, colorFromHex("FF0000"));
  EXPECT_EQ(hud()->colorProgress, colorFromHex("FF0000"));
  EXPECT_EQ(entrances(), 1);
  EXPECT_EQ(hud()->labelStatus->text(), "Working");
  advance(0.15);
  EXPECT_EQ(hud()->alpha(), 0);

  // Without a colour the appearance's main colour is used.
  config->appearance->withMainColor("00FF00");
  Helpers::showLoading(screen);
  runUntilIdle();
  EXPECT_EQ(hud()->colorAnimation, colorFromHex("00FF00"));
}

TEST_F(LoadingTest, HostHandlersReplaceTheIndicator) {
  std::vector<std::shared_ptr<ViewController>> shownFrom;
  int hidden = 0;
  config->showLoadingHandler = [&](std::shared_ptr<ViewController> from) {
    shownFrom.push_back(from);
  };
  config->hideLoadingHandler = [&] { ++hidden; };
  Ostrel::shared()->showLoading(screen);
  Ostrel::shared()->hideLoading();
  runUntilIdle();
  EXPECT_EQ(shownFrom, std::vector<std::shared_ptr<ViewController>>{screen});
  EXPECT_EQ(hidden, 1);
  EXPECT_EQ(hud()->alpha(), 0);

  config->showLoadingHandler = nullptr;
  config->hideLoadingHandler = nullptr;
  Ostrel::shared()->showLoading(screen);
  runUntilIdle();
  EXPECT_EQ(hud()->alpha(), 1);
  Ostrel::shared()->hideLoading();
  runUntilIdle();
  advance(0.15);
  EXPECT_EQ(hud()->alpha(), 0);
}

TEST_F(LoadingTest, HostHandlersRunOnTheMainQueueWhenCalledFromAnotherThread) {
  std::vector<std::string> calls;
  config->showLoadingHandler = [&](std::shared_ptr<ViewController> from) {
    calls.push_back(std::string("show ") + (isMainQueue() ? "main" : "worker") +
                    (from == screen ? " screen" : " other"));
  };
  config->hideLoadingHandler = [&] {
    calls.push_back(std::string("hide ") + (isMainQueue() ? "main" : "worker"));
  };
  std::thread worker([&] {
    Ostrel::shared()->showLoading(screen);
    Ostrel::shared()->hideLoading();
  });
  worker.join();
  EXPECT_TRUE(calls.empty()) << "the host was called off the main queue";
  runUntilIdle();
  EXPECT_EQ(calls, (std::vector<std::string>{"show main screen", "hide main"}));
  EXPECT_EQ(hud()->alpha(), 0);
}

TEST_F(LoadingTest, FirstShowWithoutAWindowWaitsForOne) {
  WindowScene::disconnectAll();
  OSLProgressHUD::show("No window");
  runUntilIdle();
  EXPECT_FALSE(hud()->main);
  EXPECT_EQ(hud()->viewBackground->superview(), nullptr);
  auto scene = make<WindowScene>();
  WindowScene::connect(scene);
  auto later = make<Window>(Screen::main().bounds());
  scene->addWindow(later);
  OSLProgressHUD::show("Now");
  runUntilIdle();
  EXPECT_EQ(hud()->main, later);
  EXPECT_EQ(hud()->viewBackground->superview(), later);
}

// --------------------------------------------------------------------- alert helpers

TEST_F(LoadingTest, AlertHelpersPresentFromTheTopScreen) {
  auto top = make<ViewController>();
  screen->present(top, false);
  int confirmed = 0;
  Helpers::showAlert(
      1, 2, nullptr, "Title", "Message", std::nullopt, "Again", {}, [&] { ++confirmed; }, nullptr);
  auto holder =
      std::dynamic_pointer_cast<OSLPopupHolderViewController>(top->presentedViewController());
  ASSERT_TRUE(holder);
  EXPECT_EQ(holder->modalPresentationStyle, ModalPresentationStyle::overFullScreen);
  auto alert = std::dynamic_pointer_cast<OSLAlertVC>(holder->mainPopVC);
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->alert, OSLAlertVC::TypeOfAlert::networkError);
  EXPECT_EQ(alert->lblTitle->text(), "[error_invalid_data]");  // an error code retitles
  EXPECT_EQ(alert->lblMessage->text(), "Message");
  EXPECT_EQ(alert->btnConfirm->title(ControlState::normal), "Again");
  advance(0.3);
  user().tap(alert->btnConfirm);
  advance(0.3);
  EXPECT_EQ(confirmed, 1);

  Helpers::showErrorAlert("Oops", "Broken", {}, screen->presentedViewController());
  auto error = std::dynamic_pointer_cast<OSLAlertVC>(
      std::dynamic_pointer_cast<OSLPopupHolderViewController>(top->presentedViewController())
          ->mainPopVC);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->alert, OSLAlertVC::TypeOfAlert::generalError);
  EXPECT_EQ(error->lblTitle->text(), "Oops");
}

// A server reply that raises an alert while a screen is still sliding in: the platform refuses
// to present during the transition, and the alert waits for its end instead of being lost.
TEST_F(LoadingTest, AnAlertAskedForDuringATransitionIsShownWhenItEnds) {
  auto top = make<ViewController>();
  screen->present(top, true);
  ASSERT_TRUE(top->isBeingPresented());
  Helpers::showErrorAlert("Oops", "Broken", {}, nullptr);
  EXPECT_FALSE(top->presentedViewController());
  advance(1);
  auto holder =
      std::dynamic_pointer_cast<OSLPopupHolderViewController>(top->presentedViewController());
  ASSERT_TRUE(holder) << "the alert was lost";
  auto alert = std::dynamic_pointer_cast<OSLAlertVC>(holder->mainPopVC);
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->lblTitle->text(), "Oops");
}

TEST_F(LoadingTest, TimeoutHelperEndsTheSession) {
  auto session = startSession(make<ViewController>());
  std::vector<OSLConfig::Event> events;
  config->eventHandler = [&](OSLConfig::Event e) { events.push_back(e); };
  Helpers::showTimeoutAlert(nullptr);  // from the top: the session's screen
  auto holder = std::dynamic_pointer_cast<OSLPopupHolderViewController>(
      session->topViewController()->presentedViewController());
  ASSERT_TRUE(holder);
  advance(0.3);
  user().tap(std::dynamic_pointer_cast<OSLAlertVC>(holder->mainPopVC)->btnConfirm);
  advance(2);
  EXPECT_EQ(events, (std::vector<OSLConfig::Event>{OSLConfig::Event::cancelled,
                                                   OSLConfig::Event::expired}));
}

TEST_F(LoadingTest, AlertWithNowhereToGoIsReported) {
  std::vector<std::string> logged;
  setDebugSink([&](std::string_view line) { logged.emplace_back(line); });
  WindowScene::disconnectAll();
  Ostrel::shared()->showAlert(3, 0, nullptr, "T", "M");
  Helpers::showAlert(9, 0, nullptr, std::nullopt, std::nullopt, std::nullopt, std::nullopt, {}, {},
                     nullptr);
  setDebugSink({});
  bool reported = false;
  bool badKind = false;
  for (const auto& line : logged) {
    reported = reported || line.find("not shown") != std::string::npos;
    badKind = badKind || line.find("9 is not an alert kind") != std::string::npos;
  }
  EXPECT_TRUE(reported);
  EXPECT_TRUE(badKind);
}

}  // namespace
}  // namespace ostrel::uikit_test
