#include <functional>

#include <gtest/gtest.h>

#include "core/Helpers.hpp"
#include "platform/media/PixelBuffer.hpp"

namespace ostrel {
namespace {

using platform::PixelBuffer;
using platform::PixelFormat;

// A 4 x 2 BGRA buffer, rows padded to 28 bytes, whose every pixel says where it is
// (blue = x, green = y, red 200).
std::shared_ptr<PixelBuffer> codedBuffer() {
  auto buffer = PixelBuffer::makeBGRA(4, 2, 28);
  auto& plane = buffer->plane(0);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      auto* p = plane.bytes.data() + y * plane.bytesPerRow + x * 4;
      p[0] = std::uint8_t(x);
      p[1] = std::uint8_t(y);
      p[2] = 200;
      p[3] = 255;
    }
  // Padding bytes that must never show.
  for (int y = 0; y < 2; ++y)
    for (std::size_t i = 16; i < plane.bytesPerRow; ++i) plane.bytes[y * plane.bytesPerRow + i] = 99;
  return buffer;
}

TEST(ImageFromPixelBuffer, TurnsEveryOrientationUpright) {
  const int W = 4, H = 2;
  struct Row {
    int orientation;
    bool swaps;
    std::function<std::pair<int, int>(int x, int y)> source;  // out(x, y) = in(source)
  };
  const Row rows[] = {
      {1, false, [](int x, int y) { return std::pair{x, y}; }},
      {2, false, [](int x, int y) { return std::pair{W - 1 - x, y}; }},
      {3, false, [](int x, int y) { return std::pair{W - 1 - x, H - 1 - y}; }},
      {4, false, [](int x, int y) { return std::pair{x, H - 1 - y}; }},
      {5, true, [](int x, int y) { return std::pair{y, x}; }},
      {6, true, [](int x, int y) { return std::pair{y, H - 1 - x}; }},
      {7, true, [](int x, int y) { return std::pair{W - 1 - y, H - 1 - x}; }},
      {8, true, [](int x, int y) { return std::pair{W - 1 - y, x}; }},
  };
  auto buffer = codedBuffer();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.orientation);
    auto image = Helpers::imageFromPixelBuffer(buffer, row.orientation);
    ASSERT_TRUE(image && image->hasBitmap());
    EXPECT_EQ(image->orientation(), platform::ImageOrientation::up);
    const auto& out = image->bitmap();
    ASSERT_EQ(out.cols, row.swaps ? H : W);
    ASSERT_EQ(out.rows, row.swaps ? W : H);
    for (int y = 0; y < out.rows; ++y)
      for (int x = 0; x < out.cols; ++x) {
        auto [sx, sy] = row.source(x, y);
        auto px = out.at<cv::Vec4b>(y, x);  // RGBA
        EXPECT_EQ(px[0], 200);
        EXPECT_EQ(px[1], sy) << x << "," << y;
        EXPECT_EQ(px[2], sx) << x << "," << y;
        EXPECT_EQ(px[3], 255);
      }
  }
}

TEST(ImageFromPixelBuffer, UnreadableBuffersGiveAPictureWithoutBitmapOfTheTurnedSize) {
  struct Row {
    const char* name;
    std::shared_ptr<PixelBuffer> buffer;
    platform::Size turned;
  };
  auto shortStride = std::make_shared<PixelBuffer>(
      PixelFormat::bgra32, 4, 2,
      std::vector<platform::PixelPlane>{{4, 2, 8, std::vector<std::uint8_t>(16)}});
  auto shortBytes = std::make_shared<PixelBuffer>(
      PixelFormat::bgra32, 4, 2,
      std::vector<platform::PixelPlane>{{4, 2, 16, std::vector<std::uint8_t>(20)}});
  auto missingChroma = std::make_shared<PixelBuffer>(
      PixelFormat::yCbCr420BiPlanarFullRange, 4, 2,
      std::vector<platform::PixelPlane>{{4, 2, 4, std::vector<std::uint8_t>(8)}});
  const Row rows[] = {
      {"no buffer", nullptr, {0, 0}},
      {"zero size", PixelBuffer::makeBGRA(0, 0), {0, 0}},
      {"stride shorter than a row", shortStride, {2, 4}},
      {"bytes shorter than the rows", shortBytes, {2, 4}},
      {"420f without its chroma plane", missingChroma, {2, 4}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto image = Helpers::imageFromPixelBuffer(row.buffer, 6);
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->hasBitmap());
    EXPECT_EQ(image->size(), row.turned);
  }
}

}  // namespace
}  // namespace ostrel
