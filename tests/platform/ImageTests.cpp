#include <gtest/gtest.h>

#include "platform/media/Image.hpp"

namespace ostrel::platform {
namespace {

TEST(ImageTest, EncodesAndDecodesKeepingPixels) {
  cv::Mat rgba(2, 3, CV_8UC4, cv::Scalar(10, 200, 30, 255));
  rgba.at<cv::Vec4b>(1, 2) = {255, 0, 0, 255};
  Image image(rgba, 2);
  EXPECT_EQ(image.size(), (Size{1.5, 1}));
  auto png = image.pngData();
  ASSERT_TRUE(png);
  auto back = Image::decode(*png);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->bitmap().at<cv::Vec4b>(1, 2), (cv::Vec4b{255, 0, 0, 255}));
  EXPECT_EQ(back->bitmap().at<cv::Vec4b>(0, 0), (cv::Vec4b{10, 200, 30, 255}));
  auto jpeg = image.jpegData(0.9);
  ASSERT_TRUE(jpeg);
  EXPECT_EQ((*jpeg)[0], 0xFF);
  EXPECT_EQ((*jpeg)[1], 0xD8);
}

TEST(ImageTest, OrientationSwapsTheSizeAndJunkDoesNotDecode) {
  Image turned(Size{30, 20}, 1, ImageOrientation::right);
  EXPECT_EQ(turned.size(), (Size{20, 30}));
  EXPECT_FALSE(turned.jpegData(1));
  EXPECT_FALSE(Image::decode({}));
  EXPECT_FALSE(Image::decode({0xFF, 0xD8, 0xFF, 0x00, 0x01}));
}

}  // namespace
}  // namespace ostrel::platform
