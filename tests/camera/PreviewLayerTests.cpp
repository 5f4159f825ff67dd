#include <memory>

#include <gtest/gtest.h>

#include "platform/camera/CaptureVideoPreviewLayer.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "testing/ImageFileCamera.hpp"
#include "testing/RuntimeFixture.hpp"

namespace ostrel::platform {
namespace {

using testing::ImageFileCamera;
using testing::ScriptedCameraDevice;
using testing::ScriptedFrame;

class PreviewLayerTest : public testing::RuntimeTest {
 protected:
  void SetUp() override {
    auto camera = ImageFileCamera::install();
    // Frames of a 48 x 64 upright picture: a 64 x 48 buffer, unlike the 16:9 preset.
    auto device = camera->addDevice(ScriptedCameraDevice::make(
        CaptureDevicePosition::back, {ScriptedFrame::picture(testing::coordinatePicture(48, 64))}));
    ASSERT_TRUE(session->addInput(CaptureDeviceInput::make(device).value));
    ASSERT_TRUE(session->setSessionPreset(SessionPreset::hd1920x1080));
    layer->frame = Rect(0, 0, 360, 800);
  }

  void expectNear(Point actual, Point expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-6);
    EXPECT_NEAR(actual.y, expected.y, 1e-6);
  }

  std::shared_ptr<CaptureSession> session = std::make_shared<CaptureSession>();
  std::shared_ptr<CaptureVideoPreviewLayer> layer = std::make_shared<CaptureVideoPreviewLayer>(session);
};

// Metadata point (0.1, 0.2) of a 1920 x 1080 buffer in a 360 x 800 layer, computed by hand:
// turned by the orientation, then letterboxed (aspect), overflowing (fill) or stretched.
TEST_F(PreviewLayerTest, MapsMetadataPointsByOrientationAndGravity) {
  struct Row {
    CaptureVideoOrientation orientation;
    LayerVideoGravity gravity;
    Point expected;
  };
  using O = CaptureVideoOrientation;
  using G = LayerVideoGravity;
  const Row rows[] = {
      // Portrait: (0.8, 0.1) of a 1080 x 1920 picture.
      {O::portrait, G::resizeAspect, {288, 144}},          // 360 x 640 at y 80
      {O::portrait, G::resizeAspectFill, {315, 80}},       // 450 x 800 at x -45
      {O::portrait, G::resize, {288, 80}},
      // Upside down: (0.2, 0.9).
      {O::portraitUpsideDown, G::resizeAspect, {72, 656}},
      {O::portraitUpsideDown, G::resizeAspectFill, {45, 720}},
      {O::portraitUpsideDown, G::resize, {72, 720}},
      // Landscape right, as written: (0.1, 0.2) of 1920 x 1080.
      {O::landscapeRight, G::resizeAspect, {36, 339.25}},  // 360 x 202.5 at y 298.75
      {O::landscapeRight, G::resizeAspectFill, {-531.0 - 1.0 / 9 + 142.0 + 2.0 / 9, 160}},
      {O::landscapeRight, G::resize, {36, 160}},
      // Landscape left: (0.9, 0.8).
      {O::landscapeLeft, G::resizeAspect, {324, 460.75}},
      {O::landscapeLeft, G::resizeAspectFill, {-531.0 - 1.0 / 9 + 1280, 640}},
      {O::landscapeLeft, G::resize, {324, 640}},
  };
  ASSERT_TRUE(layer->connection());
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << int(row.orientation) << "/" << int(row.gravity));
    layer->connection()->setVideoOrientation(row.orientation);
    layer->videoGravity = row.gravity;
    Point mapped = layer->layerPointConvertedFromMetadataOutputPoint({0.1, 0.2});
    expectNear(mapped, row.expected);
    Point back = layer->metadataOutputPointConvertedFromLayerPoint(mapped);
    expectNear(back, {0.1, 0.2});
  }
}

TEST_F(PreviewLayerTest, RectanglesMapCornerByCornerAndTheFirstFrameSetsTheBufferSize) {
  layer->connection()->setVideoOrientation(CaptureVideoOrientation::portrait);
  layer->videoGravity = LayerVideoGravity::resizeAspect;
  Rect mapped = layer->rectForMetadataOutputRectOfInterest(Rect(0.1, 0.2, 0.3, 0.4));
  expectNear(mapped.origin, {144, 144});
  EXPECT_NEAR(mapped.width(), 144, 1e-6);
  EXPECT_NEAR(mapped.height(), 192, 1e-6);
  Rect back = layer->metadataOutputRectOfInterestForRect(mapped);
  expectNear(back.origin, {0.1, 0.2});
  EXPECT_NEAR(back.width(), 0.3, 1e-9);
  EXPECT_NEAR(back.height(), 0.4, 1e-9);

  // Once frames arrive their own size counts: 64 x 48 turned is 48 x 64, 360 x 480 at y 160.
  auto output = std::make_shared<CaptureVideoDataOutput>();
  struct Sink : CaptureVideoDataOutputSampleBufferDelegate {
    void captureOutput(CaptureOutput&, const SampleBufferPtr&, CaptureConnection&) override {}
  };
  auto sink = std::make_shared<Sink>();
  output->setSampleBufferDelegate(sink, DispatchQueue::make("frames"));
  ASSERT_TRUE(session->addOutput(output));
  session->startRunning();
  runUntilIdle();
  EXPECT_EQ(layer->bufferDimensions(), (Size{64, 48}));
  expectNear(layer->layerPointConvertedFromMetadataOutputPoint({0.1, 0.2}), {288, 208});
}

TEST_F(PreviewLayerTest, NothingToMapWithoutASizeOrACamera) {
  layer->frame = Rect(0, 0, 0, 0);
  expectNear(layer->layerPointConvertedFromMetadataOutputPoint({0.5, 0.5}), {0, 0});
  CaptureVideoPreviewLayer bare;
  EXPECT_EQ(bare.connection(), nullptr);
  EXPECT_EQ(bare.bufferDimensions(), (Size{0, 0}));
}

}  // namespace
}  // namespace ostrel::platform
