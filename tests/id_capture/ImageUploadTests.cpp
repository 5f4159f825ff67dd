#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "network/ImageUpload.hpp"
#include "network/OstrelClient.hpp"
#include "platform/foundation/Base64.hpp"
#include "testing/ImageFileCamera.hpp"
#include "testing/JpegCheck.hpp"

namespace ostrel {
namespace {

using platform::Bytes;
using platform::Image;

const Bytes kPngSignature = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// A second decoder (OpenCV's, not the library's) reads the bytes back.
cv::Mat decodeElsewhere(const Bytes& data) {
  return cv::imdecode(cv::Mat(1, int(data.size()), CV_8UC1, const_cast<unsigned char*>(data.data())),
                      cv::IMREAD_UNCHANGED);
}

TEST(ImageUploadTest, APictureGoesAsAJpegOfQuality90WithItsBase64Text) {
  auto image = std::make_shared<Image>(testing::coordinatePicture(300, 200));
  const UploadImage upload = jpegDataForUpload(image);

  const cv::Mat decoded = decodeElsewhere(upload.data);
  ASSERT_FALSE(decoded.empty());
  EXPECT_EQ(decoded.cols, 300);
  EXPECT_EQ(decoded.rows, 200);
  EXPECT_TRUE(testing::isJpegOfQuality(upload.data, 90));
  EXPECT_FALSE(testing::isJpegOfQuality(upload.data, 95));
  // The host gets exactly what the upload would send, and a text of those bytes.
  EXPECT_EQ(upload.data, OstrelClient::uploadData(image));
  EXPECT_GT(upload.base64.size(), 76u);
  EXPECT_EQ(upload.base64.find('\n'), std::string::npos);
  EXPECT_EQ(upload.base64.find('\r'), std::string::npos);
  EXPECT_EQ(platform::base64Decode(upload.base64), upload.data);
}

TEST(ImageUploadTest, PicturesNoJpegCanHoldFallBackToPngThenToNothing) {
  // JPEG cannot be wider than 65 500 pixels; PNG can.
  auto wide = std::make_shared<Image>(cv::Mat(1, 70000, CV_8UC4, cv::Scalar(10, 20, 30, 255)));
  const UploadImage png = jpegDataForUpload(wide);
  ASSERT_GE(png.data.size(), kPngSignature.size());
  EXPECT_EQ(Bytes(png.data.begin(), png.data.begin() + 8), kPngSignature);
  EXPECT_EQ(decodeElsewhere(png.data).cols, 70000);
  EXPECT_EQ(platform::base64Decode(png.base64), png.data);

  for (const platform::ImagePtr& nothing :
       {std::make_shared<Image>(platform::Size{40, 30}), platform::ImagePtr()}) {
    SCOPED_TRACE(nothing ? "bitmap-less picture" : "no picture");
    const UploadImage empty = jpegDataForUpload(nothing);
    EXPECT_TRUE(empty.data.empty());
    EXPECT_TRUE(empty.base64.empty());
  }
}

}  // namespace
}  // namespace ostrel
