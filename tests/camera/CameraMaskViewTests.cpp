#include <memory>

#include <gtest/gtest.h>

#include "camera/CameraMaskView.hpp"
#include "core/CurrentConfig.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/media/GraphicsContext.hpp"
#include "testing/ScriptedUser.hpp"

namespace ostrel {
namespace {

using platform::GraphicsOperation;
using platform::PathElement;
using platform::Rect;
using platform::Size;

class CameraMaskViewTest : public testing::UITest {
 protected:
  // Draws `mask` into a fresh context of its bounds at scale 1 and keeps what it recorded.
  std::vector<GraphicsOperation> drawOperations(CameraMaskView& mask) {
    platform::beginImageContext(mask.bounds().size, false, 1);
    auto context = platform::currentImageContext();
    mask.draw(mask.bounds());
    auto operations = context->operations();
    pixels = context->makeImage();
    platform::endImageContext();
    return operations;
  }

  std::shared_ptr<CameraMaskView> maskOf(Size size) {
    auto mask = platform::make<CameraMaskView>(Rect(0, 0, size.width, size.height));
    window()->addSubview(mask);
    return mask;
  }

  std::shared_ptr<platform::View> targetIn(CameraMaskView& mask, Rect frame) {
    auto target = platform::make<platform::View>(frame);
    mask.superview()->addSubview(target);
    return target;
  }

  cv::Vec4b pixel(double x, double y) const { return pixels.at<cv::Vec4b>(int(y), int(x)); }

  cv::Mat pixels;
};

TEST_F(CameraMaskViewTest, OvalSizesFollowTheViewWidth) {
  struct Row {
    Size view;
    Rect expected;
  };
  const Row rows[] = {
      {{375, 812}, {17.5, (812 - 340.0 / 239 * 316) / 2, 340, 340.0 / 239 * 316}},
      {{414, 896}, {32.5, (896 - 349.0 / 239 * 316) / 2, 349, 349.0 / 239 * 316}},
      {{500, 900}, {(500 - 349.0) / 2, (900 - 349.0 / 239 * 316) / 2, 349, 349.0 / 239 * 316}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.view.width);
    auto mask = maskOf(row.view);
    Rect hole = OvalMask().maskFrame(*mask);
    EXPECT_NEAR(hole.minX(), row.expected.minX(), 1e-9);
    EXPECT_NEAR(hole.minY(), row.expected.minY(), 1e-9);
    EXPECT_NEAR(hole.width(), row.expected.width(), 1e-9);
    EXPECT_NEAR(hole.height(), row.expected.height(), 1e-9);
  }
  EXPECT_NEAR(340.0 / 239 * 316, 449.54, 0.01);
  EXPECT_NEAR((812 - 340.0 / 239 * 316) / 2, 181.23, 0.01);
}

// The ID card's mask: a rounded hole round the card frame with the centre mark, the rest in
// the appearance's background colour. The frame moves later, and only a redraw follows it.
TEST_F(CameraMaskViewTest, RoundRectangleHoleFollowsItsTargetOnRedraw) {
  auto mask = maskOf({340, 400});
  auto card = targetIn(*mask, Rect(20, 100, 300, 190));
  mask->maskType = CameraMaskView::CameraMaskType::roundRectangle(card);
  mask->updateDrawMask();
  EXPECT_EQ(mask->cropFrame, Rect());  // nothing drawn yet

  auto operations = drawOperations(*mask);
  EXPECT_EQ(mask->cropFrame, Rect(20, 100, 300, 190));
  EXPECT_EQ(mask->currentFrame, Rect(0, 0, 340, 400));
  ASSERT_EQ(operations.size(), 3u);
  EXPECT_EQ(operations[0].kind, GraphicsOperation::Kind::fillRect);
  EXPECT_EQ(operations[0].rect, Rect(0, 0, 340, 400));
  EXPECT_EQ(operations[1].kind, GraphicsOperation::Kind::fillPath);
  EXPECT_EQ(operations[1].blendMode, platform::BlendMode::clear);
  EXPECT_EQ(operations[1].shape, PathElement::Kind::roundedRect);
  EXPECT_EQ(operations[1].radius, 16);
  EXPECT_EQ(operations[1].rect, Rect(20, 100, 300, 190));
  EXPECT_EQ(operations[2].kind, GraphicsOperation::Kind::drawBitmap);
  EXPECT_EQ(operations[2].rect, Rect(170 - 23, 195 - 13, 46, 26));
  EXPECT_EQ(operations[2].blendMode, platform::BlendMode::normal);

  EXPECT_EQ(pixel(5, 5), cv::Vec4b(255, 255, 255, 255));
  EXPECT_EQ(pixel(40, 120)[3], 0);   // inside the hole
  EXPECT_EQ(pixel(21, 101)[3], 255);  // outside the rounded corner
  EXPECT_EQ(pixel(330, 390), cv::Vec4b(255, 255, 255, 255));

  // The card frame moves; the mask follows once something asks for a redraw.
  card->setFrame(Rect(20, 60, 300, 190));
  mask->updateDrawMask();
  EXPECT_EQ(mask->cropFrame, Rect(20, 100, 300, 190));
  mask->setNeedsDisplay();
  runDisplayPass();
  EXPECT_EQ(mask->cropFrame, Rect(20, 60, 300, 190));
  EXPECT_FALSE(mask->needsDisplay());
  ASSERT_TRUE(mask->drawnContents());
}

TEST_F(CameraMaskViewTest, TheOverlayTakesTheAppearanceColourWithItsAlpha) {
  struct Row {
    const char* hex;
    cv::Vec4b overlay;
  };
  const Row rows[] = {{"000000", {0, 0, 0, 255}}, {"80FF0000", {255, 0, 0, 128}}, {"ffffff", {255, 255, 255, 255}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.hex);
    currentConfig()->appearance->backgroundColor = row.hex;
    auto mask = maskOf({120, 160});
    drawOperations(*mask);
    auto hole = mask->cropFrame;
    auto px = pixel(2, 2);
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(px[c], row.overlay[c], 1);
    EXPECT_EQ(pixel(hole.midX(), hole.midY())[3], 0);
  }
}

TEST_F(CameraMaskViewTest, CircleAndOvalOutlines) {
  auto mask = maskOf({300, 400});
  auto face = targetIn(*mask, Rect(25, 75, 250, 250));
  mask->maskType = CameraMaskView::CameraMaskType::circle(face);
  mask->updateDrawMask();
  auto operations = drawOperations(*mask);
  ASSERT_EQ(operations.size(), 3u);
  EXPECT_EQ(operations[1].shape, PathElement::Kind::roundedRect);
  EXPECT_EQ(operations[1].radius, 125);
  EXPECT_EQ(operations[2].kind, GraphicsOperation::Kind::strokePath);
  EXPECT_EQ(operations[2].lineWidth, 10);
  EXPECT_TRUE(operations[2].color.isApproximately(ostrel::colorFromHex("F0F0F3")));
  EXPECT_EQ(pixel(150, 200)[3], 0);                           // the centre is open
  EXPECT_EQ(pixel(150, 75 + 2), cv::Vec4b(240, 240, 243, 255));  // the outline at the top
  EXPECT_EQ(pixel(30, 80)[3], 255);                           // outside the circle's corner

  mask->maskType = CameraMaskView::CameraMaskType::Oval();
  mask->updateDrawMask();
  operations = drawOperations(*mask);
  ASSERT_EQ(operations.size(), 3u);
  EXPECT_EQ(operations[1].shape, PathElement::Kind::ellipse);
  EXPECT_EQ(operations[1].rect, OvalMask().maskFrame(*mask));
  EXPECT_EQ(operations[2].lineWidth, 2);
  EXPECT_TRUE(operations[2].color.isApproximately({0.129, 0.282, 0.537, 1.0}));
}

// A mask that draws before its owner chose a shape shows the oval its type starts with; a
// rounded-rectangle drawer without a target cuts nothing.
TEST_F(CameraMaskViewTest, DrawingBeforeAShapeIsChosen) {
  auto mask = maskOf({375, 812});
  EXPECT_EQ(mask->maskType.kind, CameraMaskView::CameraMaskType::Kind::Oval);
  EXPECT_EQ(mask->backgroundColor(), platform::Color::clear());
  auto operations = drawOperations(*mask);
  ASSERT_EQ(operations.size(), 3u);
  EXPECT_EQ(operations[1].shape, PathElement::Kind::ellipse);
  EXPECT_NEAR(mask->cropFrame.width(), 340, 1e-9);

  mask->maskType = CameraMaskView::CameraMaskType::roundRectangle(nullptr);
  mask->updateDrawMask();
  drawOperations(*mask);
  EXPECT_EQ(mask->cropFrame, Rect());
  EXPECT_EQ(pixel(187, 406)[3], 255);
}

}  // namespace
}  // namespace ostrel
