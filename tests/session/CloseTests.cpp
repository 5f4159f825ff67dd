#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "session/Ostrel.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/ui/NavigationController.hpp"
#include "testing/ScriptedUser.hpp"

namespace ostrel {
namespace {

using platform::make;
using platform::NavigationController;
using platform::PresentationEvent;
using platform::ViewController;

class HostScreen : public ViewController {};
class SessionScreen : public ViewController {};
class PopupScreen : public ViewController {};

// A host screen in the key window with the library's navigation controller presented over it,
// as a running session leaves things.
class CloseTest : public testing::UITest {
 protected:
  void SetUp() override {
    host = make<HostScreen>();
    show(host);
    navi = NavigationController::withRoot(make<SessionScreen>());
    navi->modalPresentationStyle = platform::ModalPresentationStyle::fullScreen;
    ASSERT_TRUE(host->present(navi, true));
    advance(1);
    Ostrel::shared()->setNaviViewController(navi);
    config = OSLConfig::Builder("token");
    Ostrel::shared()->setConfig(config);
  }

  void TearDown() override {
    Ostrel::shared()->setNaviViewController(nullptr);
    Ostrel::shared()->setConfig(nullptr);
  }

  std::shared_ptr<HostScreen> host;
  std::shared_ptr<NavigationController> navi;
  std::shared_ptr<OSLConfig> config;
};

TEST_F(CloseTest, DismissesPopupThenSessionThenReportsAndResets) {
  auto popup = make<PopupScreen>();
  popup->modalPresentationStyle = platform::ModalPresentationStyle::overFullScreen;
  ASSERT_TRUE(navi->visibleViewController()->present(popup, true));
  advance(1);

  std::vector<std::string> log;
  config->withEventHandler(
      [&](OSLConfig::Event e) { log.push_back("event " + std::to_string(static_cast<int>(e))); });
  config->withCancelSessionHandler([&] { log.push_back("cancel handler"); });
  config->withResultHandler([&](std::shared_ptr<OstrelResult>) { log.push_back("result"); });

  testing::PresentationRecorder recorder;
  Ostrel::shared()->close(true, [&] {
    log.push_back("completion");
    // The completion still sees the session's configuration and handlers.
    EXPECT_EQ(Ostrel::shared()->config(), config);
    Ostrel::shared()->config()->resultHandler(nullptr);
  });
  EXPECT_EQ(Ostrel::shared()->naviViewController(), nullptr);
  runUntilIdle();
  EXPECT_TRUE(log.empty()) << "nothing is reported before the dismissal ends";
  advance(1);

  std::vector<std::string> dismissed;
  for (const auto& e : recorder.events()) {
    if (e.kind == PresentationEvent::Kind::dismissed) dismissed.push_back(e.presented);
  }
  ASSERT_EQ(dismissed.size(), 2u);
  EXPECT_NE(dismissed[0].find("PopupScreen"), std::string::npos);
  EXPECT_NE(dismissed[1].find("NavigationController"), std::string::npos);
  for (const auto& e : recorder.events()) {
    if (e.kind == PresentationEvent::Kind::dismissed) {
      EXPECT_TRUE(e.animated);
    }
  }
  EXPECT_EQ(host->presentedViewController(), nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"event 0", "completion", "result"}));
  // Then the configuration is a fresh default one.
  EXPECT_NE(Ostrel::shared()->config(), config);
  EXPECT_EQ(Ostrel::shared()->config()->session, "");
  EXPECT_FALSE(Ostrel::shared()->config()->resultHandler);
}

TEST_F(CloseTest, PopupOverAPopupGoesTooAndTheSessionLeavesTheScreen) {
  auto popup = make<PopupScreen>();
  popup->modalPresentationStyle = platform::ModalPresentationStyle::overFullScreen;
  ASSERT_TRUE(navi->visibleViewController()->present(popup, true));
  advance(1);
  auto second = make<PopupScreen>();
  second->modalPresentationStyle = platform::ModalPresentationStyle::overFullScreen;
  ASSERT_TRUE(popup->present(second, true));
  advance(1);

  int completions = 0;
  Ostrel::shared()->close(true, [&] { ++completions; });
  advance(2);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(navi->presentedViewController(), nullptr);
  EXPECT_EQ(navi->presentingViewController(), nullptr) << "the session is still on screen";
  EXPECT_EQ(host->presentedViewController(), nullptr);
}

TEST_F(CloseTest, CancelReportChoosesEventHandlerThenCancelHandler) {
  struct Case {
    bool isCancel;
    bool eventHandler;
    bool cancelHandler;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {true, true, true, {"event 0", "completion"}},
      {true, false, true, {"cancel handler", "completion"}},
      {true, false, false, {"completion"}},
      {false, true, true, {"completion"}},
  };
  for (const auto& c : cases) {
    if (!Ostrel::shared()->naviViewController()) SetUp();
    std::vector<std::string> log;
    if (c.eventHandler) {
      config->withEventHandler([&](OSLConfig::Event e) {
        log.push_back("event " + std::to_string(static_cast<int>(e)));
      });
    }
    if (c.cancelHandler) config->withCancelSessionHandler([&] { log.push_back("cancel handler"); });
    Ostrel::shared()->close(c.isCancel, [&] { log.push_back("completion"); });
    advance(1);
    EXPECT_EQ(log, c.expected) << "isCancel " << c.isCancel << " event " << c.eventHandler;
  }
}

TEST_F(CloseTest, WithoutNavigationControllerNothingHappens) {
  Ostrel::shared()->setNaviViewController(nullptr);
  bool reported = false, completed = false;
  config->withEventHandler([&](OSLConfig::Event) { reported = true; });
  closeSessionCancelled([&] { completed = true; });
  advance(1);
  EXPECT_FALSE(reported);
  EXPECT_FALSE(completed);
  EXPECT_EQ(Ostrel::shared()->config(), config);
  EXPECT_EQ(host->presentedViewController(), navi);
}

TEST_F(CloseTest, CloseDuringThePresentationWaitsForItAndStillEnds) {
  // A session that closes at once, while its presentation is still animating.
  advance(1);
  Ostrel::shared()->setNaviViewController(nullptr);
  host->dismiss(false);
  auto fresh = NavigationController::withRoot(make<SessionScreen>());
  ASSERT_TRUE(host->present(fresh, true));
  Ostrel::shared()->setNaviViewController(fresh);
  int completions = 0;
  closeSessionCancelled([&] { ++completions; });
  advance(2);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(host->presentedViewController(), nullptr);
}

TEST_F(CloseTest, NeverPresentedSessionStillCompletes) {
  Ostrel::shared()->setNaviViewController(NavigationController::withRoot(make<SessionScreen>()));
  int completions = 0;
  Ostrel::shared()->close(false, [&] { ++completions; });
  runUntilIdle();
  EXPECT_EQ(completions, 1);
  // The session presented earlier is not ours any more and stays.
  EXPECT_EQ(host->presentedViewController(), navi);
}

TEST_F(CloseTest, FromAnotherThreadMovesToTheMainQueue) {
  bool onMain = false;
  int completions = 0;
  std::thread worker([&] {
    Ostrel::shared()->close(true, [&] {
      ++completions;
      onMain = platform::isMainQueue();
    });
  });
  worker.join();
  EXPECT_EQ(Ostrel::shared()->naviViewController(), navi) << "nothing happens off the main queue";
  advance(1);
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(onMain);
}

TEST_F(CloseTest, CompletionStartingANewSessionKeepsItsConfiguration) {
  auto next = OSLConfig::Builder("next");
  Ostrel::shared()->close(true, [&] {
    Ostrel::shared()->setConfig(next);
    Ostrel::shared()->setNaviViewController(NavigationController::withRoot(make<SessionScreen>()));
  });
  advance(1);
  EXPECT_EQ(Ostrel::shared()->config(), next);
}

}  // namespace
}  // namespace ostrel
