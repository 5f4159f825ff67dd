#include <gtest/gtest.h>

#include "core/ScreenFactories.hpp"
#include "platform/foundation/Make.hpp"
#include "session/FlowLauncher.hpp"
#include "tests/chip_screens/ChipScreensTest.hpp"

namespace ostrel::chip_screens_test {
namespace {

using LivenessStarterTest = ChipScreenTest;

// The chip screen waits for the face step only when the starter says it was pushed.
TEST_F(LivenessStarterTest, SaysWhetherTheFaceStepWasPushed) {
  auto& factories = ScreenFactories::shared();
  factories.face = nullptr;
  factories.vendorLiveness = nullptr;
  auto navi = startSession(make<ViewController>());
  int continued = 0;
  EXPECT_FALSE(FlowLauncher::livenessStarter()([&] { ++continued; }));
  EXPECT_EQ(navi->viewControllers().size(), 1u);

  auto face = make<ViewController>();
  factories.face = [face](OSLFaceLivenessVersion) { return StepScreen::of(face); };
  factories.vendorLiveness = [face] { return StepScreen::of(face); };
  EXPECT_TRUE(FlowLauncher::livenessStarter()([&] { ++continued; }));
  advance(1);
  EXPECT_EQ(navi->topViewController(), face);
  EXPECT_EQ(continued, 0);
  ScreenFactories::reset();
}

}  // namespace
}  // namespace ostrel::chip_screens_test
