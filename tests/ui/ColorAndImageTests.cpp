#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include <gif_lib.h>
#include <opencv2/core.hpp>

#include "platform/media/GraphicsContext.hpp"
#include "platform/media/ImageSource.hpp"
#include "testing/TestHelpers.hpp"
#include "ui/ImageExtensions.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {
namespace {

using platform::Color;
using platform::Image;
using platform::ImageOrientation;
using testing::samePixels;

struct HexCase {
  const char* text;
  int r, g, b, a;
};

TEST(ColorFromHexTest, FollowsTheHexRulesIncludingScannerCases) {
  const HexCase cases[] = {
      {"#3270EA", 0x32, 0x70, 0xEA, 255},
      {"3270EA", 0x32, 0x70, 0xEA, 255},
      {"  3270EA \n", 0x32, 0x70, 0xEA, 255},
      {"FFF", 255, 255, 255, 255},
      {"F0A", 0xFF, 0x00, 0xAA, 255},
      {"80FF0000", 255, 0, 0, 128},
      {"FFFFFFFF", 255, 255, 255, 255},
      {"", 1, 1, 0, 1},
      {"12345", 1, 1, 0, 1},
      {"1234567", 1, 1, 0, 1},
      {"ZZZZZZ", 0, 0, 0, 255},
      {"#12 34 56", 0, 0, 0x12, 0},
      {"0x1", 0, 0, 17, 255},
      {"0x12AB", 0, 0x12, 0xAB, 255},
      {"#61A684", 0x61, 0xA6, 0x84, 255},
      {"ffffff", 255, 255, 255, 255},
      {"12G", 0, 1 * 17, 2 * 17, 255},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Color expected{c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0};
    EXPECT_TRUE(colorFromHex(c.text).isApproximately(expected, 1e-9));
  }
}

// 3 x 2 picture with a distinct value in every pixel (red channel = 10 * index).
cv::Mat asymmetric(int cols = 3, int rows = 2) {
  cv::Mat m(rows, cols, CV_8UC4);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      m.at<cv::Vec4b>(r, c) = {static_cast<uchar>(10 * (r * cols + c) + 10), 0, 0, 255};
    }
  }
  return m;
}

TEST(ImageExtensionsTest, FixedOrientationStandsEveryOrientationUpright) {
  const cv::Mat stored = asymmetric();
  cv::Mat t;
  cv::transpose(stored, t);
  cv::Mat expected[8];
  expected[0] = stored;
  cv::rotate(stored, expected[1], cv::ROTATE_180);
  cv::rotate(stored, expected[2], cv::ROTATE_90_COUNTERCLOCKWISE);
  cv::rotate(stored, expected[3], cv::ROTATE_90_CLOCKWISE);
  cv::flip(stored, expected[4], 1);
  cv::flip(stored, expected[5], 0);
  expected[6] = t;
  cv::flip(t, expected[7], -1);
  for (int o = 1; o < 8; ++o) {
    SCOPED_TRACE(o);
    auto image = std::make_shared<Image>(stored, 1, static_cast<ImageOrientation>(o));
    auto fixed = fixedOrientation(image);
    ASSERT_TRUE(fixed && fixed->hasBitmap());
    EXPECT_EQ(fixed->orientation(), ImageOrientation::up);
    EXPECT_TRUE(samePixels(fixed->bitmap(), expected[o]));
    EXPECT_TRUE(
        samePixels(platform::displayBitmap(stored, static_cast<ImageOrientation>(o)), expected[o]));
  }
  auto up = std::make_shared<Image>(stored);
  EXPECT_EQ(fixedOrientation(up), up);
}

TEST(ImageExtensionsTest, FixedOrientationKeepsResolutionAboveScaleOne) {
  auto image = std::make_shared<Image>(asymmetric(4, 2), 2, ImageOrientation::right);
  auto fixed = fixedOrientation(image);
  EXPECT_EQ(fixed->pixelWidth(), 2);
  EXPECT_EQ(fixed->pixelHeight(), 4);
  EXPECT_EQ(fixed->size(), image->size());
  cv::Mat expected;
  cv::rotate(image->bitmap(), expected, cv::ROTATE_90_CLOCKWISE);
  EXPECT_TRUE(samePixels(fixed->bitmap(), expected));
}

TEST(ImageExtensionsTest, BitmapLessImagesComeBackAsThemselves) {
  auto placeholder = std::make_shared<Image>(platform::Size{10, 5}, 1, ImageOrientation::left);
  EXPECT_EQ(fixedOrientation(placeholder), placeholder);
  EXPECT_EQ(tinted(placeholder, Color::white()), placeholder);
  EXPECT_EQ(rotated(placeholder, 1), placeholder);
  EXPECT_EQ(flippedVertically(placeholder), placeholder);
}

TEST(ImageExtensionsTest, QuarterTurnTransposesAndFlipReversesRows) {
  const cv::Mat stored = asymmetric();
  auto turned = rotated(std::make_shared<Image>(stored), std::numbers::pi / 2);
  cv::Mat t;
  cv::transpose(stored, t);
  EXPECT_EQ(turned->pixelWidth(), 2);
  EXPECT_EQ(turned->pixelHeight(), 3);
  EXPECT_TRUE(samePixels(turned->bitmap(), t));

  auto flipped = flippedVertically(std::make_shared<Image>(stored, 2));
  cv::Mat rows;
  cv::flip(stored, rows, 0);
  EXPECT_EQ(flipped->scale(), 2);
  EXPECT_TRUE(samePixels(flipped->bitmap(), rows));
}

TEST(ImageExtensionsTest, TintedPaintsTheColourAndKeepsAlpha) {
  cv::Mat m = asymmetric();
  m.at<cv::Vec4b>(0, 0)[3] = 0;
  m.at<cv::Vec4b>(1, 2)[3] = 128;
  auto out = tinted(std::make_shared<Image>(m), Color{0, 1, 0, 1});
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 3; ++c) {
      auto p = out->bitmap().at<cv::Vec4b>(r, c);
      EXPECT_EQ(p[3], m.at<cv::Vec4b>(r, c)[3]) << r << "," << c;
      if (p[3] > 0) {
        EXPECT_EQ((cv::Vec3b{p[0], p[1], p[2]}), (cv::Vec3b{0, 255, 0}));
      }
    }
  }
}

TEST(GraphicsContextTest, BitmapDrawnByTheContextLandsMirroredAndAnImageUpright) {
  const cv::Mat stored = asymmetric();
  cv::Mat mirrored;
  cv::flip(stored, mirrored, 0);
  platform::beginImageContext({3, 2}, false, 1);
  platform::currentImageContext()->draw(stored, {0, 0, 3, 2});
  EXPECT_TRUE(samePixels(platform::imageFromCurrentImageContext()->bitmap(), mirrored));
  platform::endImageContext();

  platform::beginImageContext({3, 2}, false, 1);
  platform::currentImageContext()->drawImage(Image(stored), {0, 0, 3, 2});
  EXPECT_TRUE(samePixels(platform::imageFromCurrentImageContext()->bitmap(), stored));
  platform::endImageContext();

  platform::beginImageContext({0, 2}, false, 1);
  EXPECT_FALSE(platform::currentImageContext());
  platform::endImageContext();
  EXPECT_FALSE(platform::GraphicsContext::makeBitmap(3, 2, 16, platform::ColorSpace::deviceRGB));
  EXPECT_FALSE(platform::GraphicsContext::makeBitmap(3, 2, 8, platform::ColorSpace::none));
}

// Writes a small two-colour GIF with the given frame delays (centiseconds) through giflib.
platform::Bytes makeGif(const std::vector<int>& delays) {
  platform::Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(
      &out,
      [](GifFileType* g, const GifByteType* data, int len) {
        auto* bytes = static_cast<platform::Bytes*>(g->UserData);
        bytes->insert(bytes->end(), data, data + len);
        return len;
      },
      &error);
  GifColorType colors[2] = {{0, 0, 0}, {255, 0, 0}};
  ColorMapObject* map = GifMakeMapObject(2, colors);
  EGifPutScreenDesc(gif, 2, 2, 1, 0, map);
  EGifSetGifVersion(gif, true);
  for (std::size_t i = 0; i < delays.size(); ++i) {
    GraphicsControlBlock gcb{};
    gcb.DelayTime = delays[i];
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType ext[4];
    std::size_t n = EGifGCBToExtension(&gcb, ext);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext);
    EGifPutImageDesc(gif, 0, 0, 2, 2, false, nullptr);
    GifPixelType row[2] = {static_cast<GifPixelType>(i % 2), 1};
    EGifPutLine(gif, row, 2);
    EGifPutLine(gif, row, 2);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

TEST(ImageSourceTest, GifFramesCarryTheirDelays) {
  auto source = platform::ImageSource::create(makeGif({5, 20, 0}));
  ASSERT_TRUE(source);
  ASSERT_EQ(source->count(), 3u);
  auto frame0 = source->imageAt(0);
  ASSERT_TRUE(frame0);
  EXPECT_EQ(frame0->bitmap().at<cv::Vec4b>(0, 0), (cv::Vec4b{0, 0, 0, 255}));
  EXPECT_EQ(source->imageAt(1)->bitmap().at<cv::Vec4b>(0, 0), (cv::Vec4b{255, 0, 0, 255}));
  auto gifProps = [&](std::size_t i) {
    return source->propertiesAt(i)[platform::kImagePropertyGIFDictionary];
  };
  EXPECT_DOUBLE_EQ(gifProps(0)["UnclampedDelayTime"].get<double>(), 0.05);
  EXPECT_DOUBLE_EQ(gifProps(1)["DelayTime"].get<double>(), 0.2);
  EXPECT_DOUBLE_EQ(gifProps(2)["UnclampedDelayTime"].get<double>(), 0.0);
  EXPECT_DOUBLE_EQ(gifProps(2)["DelayTime"].get<double>(), 0.1);
  EXPECT_FALSE(source->imageAt(3));

  auto truncated = makeGif({5, 20});
  truncated.resize(truncated.size() / 2);
  auto partial = platform::ImageSource::create(truncated);
  if (partial) {
    EXPECT_LE(partial->count(), 2u);
  }
  EXPECT_FALSE(platform::ImageSource::create({'G', 'I', 'F', '8', '9', 'a'}));
  EXPECT_FALSE(platform::ImageSource::create({1, 2, 3}));
}

TEST(ImageTest, AnimatedImageKeepsFramesAndDuration) {
  auto a = std::make_shared<Image>(asymmetric());
  auto animated = Image::animatedImage({a, nullptr, a}, 0.6);
  ASSERT_TRUE(animated);
  EXPECT_EQ(animated->images().size(), 2u);
  EXPECT_DOUBLE_EQ(animated->duration(), 0.6);
  EXPECT_FALSE(Image::animatedImage({}, 1));
}

}  // namespace
}  // namespace ostrel
