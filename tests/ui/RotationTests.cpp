// Rectangles through transforms, and turning the device: who hears of the new size.

#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/Make.hpp"
#include "platform/ui/Device.hpp"
#include "platform/ui/NavigationController.hpp"
#include "testing/ScriptedUser.hpp"

namespace ostrel {
namespace {

using namespace platform;

// The bounding box of the four transformed corners, whatever the transform does to them.
TEST(RectThroughTransformTest, IsTheBoundingBoxOfTheTransformedCorners) {
  struct Row {
    const char* name;
    AffineTransform transform;
    Rect in;
    Rect out;
  };
  const double pi = std::numbers::pi;
  const Row rows[] = {
      {"identity", AffineTransform::identity(), {1, 2, 3, 4}, {1, 2, 3, 4}},
      {"flip then move", AffineTransform::scale(1, -1).translatedBy(0, -1), {0.1, 0.2, 0.3, 0.4}, {0.1, 0.4, 0.3, 0.4}},
      {"quarter turn", AffineTransform::translation(0, 1).rotatedBy(-pi / 2), {0.1, 0.2, 0.3, 0.4}, {0.2, 0.6, 0.4, 0.3}},
      {"half turn", AffineTransform::translation(1, 1).rotatedBy(pi), {0.1, 0.2, 0.3, 0.4}, {0.6, 0.4, 0.3, 0.4}},
      {"eighth turn grows", AffineTransform::rotation(pi / 4), {0, 0, 2, 2}, {-std::sqrt(2.0), 0, 2 * std::sqrt(2.0), 2 * std::sqrt(2.0)}},
      {"negative size", AffineTransform::identity(), {5, 5, -2, -3}, {3, 2, 2, 3}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Rect out = row.transform.apply(row.in);
    EXPECT_NEAR(out.minX(), row.out.minX(), 1e-12);
    EXPECT_NEAR(out.minY(), row.out.minY(), 1e-12);
    EXPECT_NEAR(out.width(), row.out.width(), 1e-12);
    EXPECT_NEAR(out.height(), row.out.height(), 1e-12);
  }
}

class SizeRecorder : public ViewController {
 public:
  explicit SizeRecorder(std::string name, std::vector<std::string>* log) : name_(std::move(name)), log_(log) {}
  void viewWillTransitionToSize(Size size, const std::shared_ptr<ViewControllerTransitionCoordinator>&) override {
    log_->push_back(name_ + " " + std::to_string(int(size.width)) + "x" + std::to_string(int(size.height)) + " " +
                    std::to_string(int(Device::current().orientation())));
  }

 private:
  std::string name_;
  std::vector<std::string>* log_;
};

class RotationTest : public testing::UITest {};

// The window's root and the controller on top of its stack hear of the new size after the
// device's orientation has changed; a controller under the top does not. Lying flat keeps the
// size.
TEST_F(RotationTest, TurningTheDeviceTellsTheVisibleControllers) {
  std::vector<std::string> log;
  auto bottom = make<SizeRecorder>("bottom", &log);
  auto top = make<SizeRecorder>("top", &log);
  auto navigation = NavigationController::withRoot(bottom);
  navigation->pushViewController(top, false);
  show(navigation);
  EXPECT_EQ(Device::current().orientation(), DeviceOrientation::portrait);

  rotateDevice(DeviceOrientation::landscapeLeft);
  EXPECT_EQ(log, (std::vector<std::string>{"top 844x390 3"}));
  EXPECT_EQ(window()->frame().size, (Size{844, 390}));
  EXPECT_EQ(navigation->view()->frame().size, (Size{844, 390}));

  log.clear();
  rotateDevice(DeviceOrientation::faceUp);
  EXPECT_EQ(log, (std::vector<std::string>{"top 844x390 5"}));
  log.clear();
  rotateDevice(DeviceOrientation::portraitUpsideDown);
  EXPECT_EQ(log, (std::vector<std::string>{"top 390x844 2"}));
}

}  // namespace
}  // namespace ostrel
