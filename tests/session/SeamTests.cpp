#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "core/OnMain.hpp"
#include "core/StepScreen.hpp"
#include "platform/foundation/Make.hpp"
#include "testing/RuntimeFixture.hpp"

namespace ostrel {
namespace {

class PlainStep : public platform::ViewController {
 public:
  std::function<void()> onNext;
};

class ChipLikeStep : public PlainStep {
 public:
  LivenessStarter onNeedLiveness;
};

TEST(StepScreenTest, WiresTheContinuationsAScreenHas) {
  auto plain = platform::make<PlainStep>();
  auto step = StepScreen::of(plain);
  ASSERT_TRUE(step);
  EXPECT_EQ(step.controller, plain);
  ASSERT_TRUE(step.setOnNext);
  EXPECT_FALSE(step.setOnNeedLiveness) << "the screen has no second continuation";
  EXPECT_FALSE(step.resetForNewRun) << "the screen has no reset";
  int next = 0;
  step.setOnNext([&] { ++next; });
  plain->onNext();
  EXPECT_EQ(next, 1);

  auto chip = platform::make<ChipLikeStep>();
  auto chipStep = StepScreen::of(chip);
  ASSERT_TRUE(chipStep.setOnNeedLiveness);
  int started = 0;
  chipStep.setOnNeedLiveness([&](std::function<void()>) {
    ++started;
    return true;
  });
  chip->onNeedLiveness({});
  EXPECT_EQ(started, 1);

  // The setters hold the screen weakly: once it is gone they do nothing.
  auto setter = chipStep.setOnNext;
  chipStep = {};
  chip.reset();
  setter([] {});
  EXPECT_FALSE(StepScreen::of(std::shared_ptr<PlainStep>()));
}

class OnMainTest : public testing::RuntimeTest {};

TEST_F(OnMainTest, HostCompletionsComeBackToTheMainQueue) {
  std::vector<std::string> seen;
  std::vector<bool> mainFlags;
  auto completion =
      ostrel::onMain(std::function<void(std::string, int)>([&](std::string text, int n) {
        seen.push_back(text + std::to_string(n));
        mainFlags.push_back(platform::isMainQueue());
      }));
  std::thread host([&] { completion("worker", 1); });
  host.join();
  EXPECT_TRUE(seen.empty()) << "nothing runs on the host's thread";
  runUntilIdle();
  platform::DispatchQueue::main()->async([&] { completion("main", 2); });
  runUntilIdle();
  EXPECT_EQ(seen, (std::vector<std::string>{"worker1", "main2"}));
  EXPECT_EQ(mainFlags, (std::vector<bool>{true, true}));
  EXPECT_FALSE(ostrel::onMain(std::function<void(int)>()));
}

}  // namespace
}  // namespace ostrel
