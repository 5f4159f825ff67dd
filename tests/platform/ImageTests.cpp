#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/media/ExifOrientation.hpp"
#include "platform/media/Image.hpp"
#include "platform/media/ImageHeader.hpp"
#include "platform/media/ImageSource.hpp"
#include "testing/ExifJpeg.hpp"
#include "testing/PictureBombs.hpp"

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

// Left half red, right half blue: survives JPEG and shows any turn or mirror.
cv::Mat halves(int width, int height) {
  cv::Mat rgba(height, width, CV_8UC4, cv::Scalar(255, 0, 0, 255));
  rgba(cv::Rect(width / 2, 0, width - width / 2, height)).setTo(cv::Scalar(0, 0, 255, 255));
  return rgba;
}

double meanDifference(const cv::Mat& a, const cv::Mat& b) {
  if (a.size() != b.size()) return 1e9;
  cv::Mat diff;
  cv::absdiff(a, b, diff);
  auto m = cv::mean(diff);
  return (m[0] + m[1] + m[2]) / 3;
}

TEST(ImageTest, ExifOrientationIsReadAndMalformedBlocksCountAsNone) {
  const cv::Mat stored = halves(32, 16);
  const Bytes plain = testing::jpegWithExifOrientation(stored, 1);
  // The orientation entry of the little-endian block: 6 + 8 (TIFF header) + 2 (count) bytes
  // into the segment's payload, which starts 4 bytes after the marker.
  const Bytes segment = testing::exifSegment(6);
  // `plain` without its own block, so a mangled block is the only one.
  Bytes bare = plain;
  bare.erase(bare.begin() + 2, bare.begin() + 2 + static_cast<std::ptrdiff_t>(segment.size()));
  auto with = [&](const Bytes& seg) { return testing::insertAfterStartOfImage(bare, seg); };
  auto edit = [&](std::initializer_list<std::pair<std::size_t, std::uint8_t>> changes) {
    Bytes seg = segment;
    for (auto [at, value] : changes) seg.at(at) = value;
    return seg;
  };
  const std::size_t tiff = 4 + 6;  // the TIFF header follows the marker, length and "Exif\0\0"
  struct Case {
    const char* name;
    Bytes data;
    ImageOrientation expected;
  };
  const Case cases[] = {
      {"no EXIF block", bare, ImageOrientation::up},
      {"1", with(testing::exifSegment(1)), ImageOrientation::up},
      {"3", with(testing::exifSegment(3)), ImageOrientation::down},
      {"5", with(testing::exifSegment(5)), ImageOrientation::leftMirrored},
      {"6 little-endian", with(testing::exifSegment(6)), ImageOrientation::right},
      {"6 big-endian", with(testing::exifSegment(6, true)), ImageOrientation::right},
      {"8", with(testing::exifSegment(8)), ImageOrientation::left},
      {"value 9", with(testing::exifSegment(9)), ImageOrientation::up},
      {"directory offset beyond the data", with(edit({{tiff + 4, 0xF0}})), ImageOrientation::up},
      {"entry count beyond the data", with(edit({{tiff + 8, 0x40}, {tiff + 10, 0x13}})),
       ImageOrientation::up},
      {"not a SHORT", with(edit({{tiff + 12, 4}})), ImageOrientation::up},
      {"unknown byte order", with(edit({{tiff, 'X'}})), ImageOrientation::up},
      {"segment longer than the file", with(edit({{2, 0xFF}})), ImageOrientation::up},
      {"segment length below 2", with(edit({{3, 1}})), ImageOrientation::up},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto image = Image::decode(c.data);
    if (std::strcmp(c.name, "segment longer than the file") == 0 ||
        std::strcmp(c.name, "segment length below 2") == 0) {
      // The codec may refuse such a file; when it decodes, it is not turned.
      if (image) {
        EXPECT_EQ(image->orientation(), c.expected);
      }
      continue;
    }
    ASSERT_TRUE(image);
    EXPECT_EQ(image->orientation(), c.expected);
    EXPECT_EQ(image->pixelWidth(), 32);  // pixels as stored
  }
  // Truncated anywhere inside the block: never a read past the end, never an orientation.
  Bytes cut = with(testing::exifSegment(6));
  for (std::size_t n = 0; n < 2 + segment.size(); ++n) {
    Bytes prefix(cut.begin(), cut.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_FALSE(jpegExifOrientation(prefix)) << n;
  }
}

TEST(ImageTest, TurnedPicturesAreWrittenUpright) {
  const cv::Mat stored = halves(32, 16);
  auto image = Image::decode(testing::jpegWithExifOrientation(stored, 6));
  ASSERT_TRUE(image);
  ASSERT_EQ(image->orientation(), ImageOrientation::right);
  EXPECT_EQ(image->size(), (Size{16, 32}));
  // Turned a quarter clockwise by hand: out(x, y) = in(y, H - 1 - x).
  cv::Mat reference(32, 16, CV_8UC4);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 16; ++x) reference.at<cv::Vec4b>(y, x) = stored.at<cv::Vec4b>(15 - x, y);
  }
  for (bool png : {false, true}) {
    SCOPED_TRACE(png ? "png" : "jpeg");
    auto data = png ? image->pngData() : image->jpegData(1);
    ASSERT_TRUE(data);
    auto back = Image::decode(*data);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->orientation(), ImageOrientation::up);
    EXPECT_LT(meanDifference(back->bitmap(), reference), 6);
  }
}

}  // namespace
}  // namespace ostrel::platform

namespace ostrel::platform {
namespace {

// Every picture format the decoders take: the true picture decodes; the same file with a
// header declaring more pixels than any phone picture is refused before decoding, by every
// road a picture from outside takes (bytes, a file, a GIF's frames); data of another format is
// no picture.
TEST(PictureBombTest, HeadersDeclaringTooManyPixelsAreRefused) {
  const auto dir = std::filesystem::temp_directory_path() / "ostrel-picture-bombs";
  std::filesystem::create_directories(dir);
  for (const auto& sample : testing::pictureBombSamples()) {
    SCOPED_TRACE(sample.format);
    ASSERT_FALSE(sample.picture.empty());
    // GIFs are read frame by frame; the others decode whole.
    auto source = ImageSource::create(sample.picture);
    ASSERT_TRUE(source);
    auto picture = source->imageAt(0);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->pixelWidth(), 64);
    EXPECT_EQ(picture->pixelHeight(), 48);
    auto header = readImageHeader(sample.bomb);
    ASSERT_TRUE(header);
    EXPECT_GT(header->decodedPixels, kMaxDecodedPixels);

    EXPECT_FALSE(Image::decode(sample.bomb));
    EXPECT_FALSE(ImageSource::create(sample.bomb));
    const auto file = dir / "bomb.img";
    {
      std::ofstream out(file, std::ios::binary);
      out.write(reinterpret_cast<const char*>(sample.bomb.data()),
                static_cast<std::streamsize>(sample.bomb.size()));
    }
    EXPECT_FALSE(Image::fromFile(file));
  }
  std::filesystem::remove_all(dir);

  std::vector<std::uint8_t> bmp;
  cv::imencode(".bmp", cv::Mat(8, 8, CV_8UC3, cv::Scalar(1, 2, 3)), bmp);
  EXPECT_FALSE(Image::decode(Bytes(bmp.begin(), bmp.end())));
  // Cut inside the header: no size can be read.
  EXPECT_FALSE(readImageHeader({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0}));
  EXPECT_FALSE(readImageHeader({'G', 'I', 'F', '8', '9', 'a', 1}));
}

}  // namespace
}  // namespace ostrel::platform
