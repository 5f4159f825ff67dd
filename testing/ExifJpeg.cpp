#include "testing/ExifJpeg.hpp"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace ostrel::testing {

using platform::Bytes;

Bytes exifSegment(int orientation, bool bigEndian) {
  Bytes tiff;
  auto put = [&](std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i) {
      int shift = bigEndian ? 8 * (width - 1 - i) : 8 * i;
      tiff.push_back(static_cast<std::uint8_t>(value >> shift));
    }
  };
  tiff.push_back(bigEndian ? 'M' : 'I');
  tiff.push_back(bigEndian ? 'M' : 'I');
  put(42, 2);
  put(8, 4);     // first directory right after the header
  put(1, 2);     // one entry
  put(0x0112, 2);
  put(3, 2);     // SHORT
  put(1, 4);     // one value
  put(static_cast<std::uint32_t>(orientation), 2);
  put(0, 2);     // padding of the value field
  put(0, 4);     // no next directory
  Bytes segment{0xFF, 0xE1};
  const std::size_t length = 2 + 6 + tiff.size();
  segment.push_back(static_cast<std::uint8_t>(length >> 8));
  segment.push_back(static_cast<std::uint8_t>(length & 0xFF));
  for (char c : {'E', 'x', 'i', 'f'}) segment.push_back(static_cast<std::uint8_t>(c));
  segment.push_back(0);
  segment.push_back(0);
  segment.insert(segment.end(), tiff.begin(), tiff.end());
  return segment;
}

Bytes insertAfterStartOfImage(const Bytes& jpeg, const Bytes& segment) {
  Bytes out(jpeg.begin(), jpeg.begin() + std::min<std::size_t>(2, jpeg.size()));
  out.insert(out.end(), segment.begin(), segment.end());
  if (jpeg.size() > 2) out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

Bytes jpegWithExifOrientation(const cv::Mat& rgba, int orientation, bool bigEndian) {
  cv::Mat bgr;
  cv::cvtColor(rgba, bgr, cv::COLOR_RGBA2BGR);
  std::vector<uchar> encoded;
  cv::imencode(".jpg", bgr, encoded, {cv::IMWRITE_JPEG_QUALITY, 100});
  return insertAfterStartOfImage(Bytes(encoded.begin(), encoded.end()),
                                 exifSegment(orientation, bigEndian));
}

}  // namespace ostrel::testing
