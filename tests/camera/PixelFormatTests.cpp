#include <cmath>

#include <gtest/gtest.h>

#include "platform/camera/CaptureSession.hpp"
#include "platform/media/PixelBufferConversion.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "testing/ImageFileCamera.hpp"
#include "testing/RuntimeFixture.hpp"

namespace ostrel::platform {
namespace {

// A picture with distinct colours in every 2 x 2 block (BGRA).
cv::Mat blocks() {
  cv::Mat bgra(4, 6, CV_8UC4);
  const cv::Vec4b colours[] = {{255, 0, 0, 255},   {0, 255, 0, 255},   {0, 0, 255, 255},
                               {30, 200, 90, 255}, {250, 250, 250, 255}, {10, 20, 30, 255}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) bgra.at<cv::Vec4b>(y, x) = colours[(y / 2) * 3 + x / 2];
  return bgra;
}

double luma(const cv::Vec4b& bgra) { return 0.299 * bgra[2] + 0.587 * bgra[1] + 0.114 * bgra[0]; }

TEST(PixelFormat420f, FullRangePlanesWithTheirOwnStrides) {
  cv::Mat picture = blocks();
  auto buffer = makePixelBuffer(picture, PixelFormat::yCbCr420BiPlanarFullRange, 5);
  ASSERT_EQ(buffer->planeCount(), 2u);
  const auto& y = buffer->plane(0);
  const auto& c = buffer->plane(1);
  EXPECT_EQ(y.width, 6);
  EXPECT_EQ(y.height, 4);
  EXPECT_EQ(y.bytesPerRow, 11u);
  EXPECT_EQ(c.width, 3);
  EXPECT_EQ(c.height, 2);
  EXPECT_EQ(c.bytesPerRow, 11u);
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 6; ++col) {
      SCOPED_TRACE(::testing::Message() << col << "," << row);
      EXPECT_NEAR(y.bytes[row * y.bytesPerRow + col], luma(picture.at<cv::Vec4b>(row, col)), 1.0);
    }
  // Every block is one colour, so its chroma is that colour's.
  for (int row = 0; row < 2; ++row)
    for (int col = 0; col < 3; ++col) {
      SCOPED_TRACE(::testing::Message() << "block " << col << "," << row);
      auto px = picture.at<cv::Vec4b>(row * 2, col * 2);
      double Y = luma(px);
      double cb = 128 + 0.564 * (px[0] - Y), cr = 128 + 0.713 * (px[2] - Y);
      EXPECT_NEAR(c.bytes[row * c.bytesPerRow + col * 2], std::clamp(cb, 0.0, 255.0), 1.5);
      EXPECT_NEAR(c.bytes[row * c.bytesPerRow + col * 2 + 1], std::clamp(cr, 0.0, 255.0), 1.5);
    }
  // And back to RGBA, each block close to its colour.
  cv::Mat rgba = rgbaFromPixelBuffer(*buffer);
  ASSERT_EQ(rgba.size(), picture.size());
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 6; ++col) {
      auto in = picture.at<cv::Vec4b>(row, col);
      auto out = rgba.at<cv::Vec4b>(row, col);
      EXPECT_NEAR(out[0], in[2], 3);
      EXPECT_NEAR(out[1], in[1], 3);
      EXPECT_NEAR(out[2], in[0], 3);
    }
}

class PixelFormatCameraTest : public testing::RuntimeTest {};

TEST_F(PixelFormatCameraTest, TheCameraDeliversTheFormatAsked) {
  auto camera = testing::ImageFileCamera::install();
  auto script = testing::ScriptedCameraDevice::make(
      CaptureDevicePosition::front, {testing::ScriptedFrame::picture(testing::coordinatePicture(8, 6))});
  script.rowPadding = 3;
  auto device = camera->addDevice(script);
  for (auto format : {PixelFormat::bgra32, PixelFormat::yCbCr420BiPlanarFullRange}) {
    SCOPED_TRACE(std::uint32_t(format));
    auto session = std::make_shared<CaptureSession>();
    ASSERT_TRUE(session->addInput(CaptureDeviceInput::make(device).value));
    auto output = std::make_shared<CaptureVideoDataOutput>();
    output->setPixelFormat(format);
    struct Keep : CaptureVideoDataOutputSampleBufferDelegate {
      SampleBufferPtr last;
      void captureOutput(CaptureOutput&, const SampleBufferPtr& s, CaptureConnection&) override { last = s; }
    };
    auto keep = std::make_shared<Keep>();
    output->setSampleBufferDelegate(keep, DispatchQueue::make("frames"));
    ASSERT_TRUE(session->addOutput(output));
    session->startRunning();
    runUntilIdle();
    session->stopRunning();
    ASSERT_TRUE(keep->last && keep->last->imageBuffer);
    const auto& buffer = *keep->last->imageBuffer;
    EXPECT_EQ(buffer.pixelFormat(), format);
    // The front camera writes the 8 x 6 picture transposed: a 6 x 8 buffer.
    EXPECT_EQ(buffer.width(), 6);
    EXPECT_EQ(buffer.height(), 8);
    EXPECT_EQ(buffer.bytesPerRow(), std::size_t(format == PixelFormat::bgra32 ? 6 * 4 + 3 : 6 + 3));
    cv::Mat rgba = rgbaFromPixelBuffer(buffer);
    ASSERT_FALSE(rgba.empty());
    // Transposed: buffer (x, y) shows picture (y, x), red = picture x.
    EXPECT_NEAR(rgba.at<cv::Vec4b>(1, 5)[0], 1, format == PixelFormat::bgra32 ? 0 : 4);
    EXPECT_NEAR(rgba.at<cv::Vec4b>(1, 5)[1], 5, format == PixelFormat::bgra32 ? 0 : 4);
  }
}

}  // namespace
}  // namespace ostrel::platform
