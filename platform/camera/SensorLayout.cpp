#include "platform/camera/SensorLayout.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace ostrel::platform {

cv::Mat sensorLayoutFromUpright(const cv::Mat& upright, CaptureDevicePosition position) {
  cv::Mat out;
  if (position == CaptureDevicePosition::front)
    cv::transpose(upright, out);
  else
    cv::rotate(upright, out, cv::ROTATE_90_COUNTERCLOCKWISE);
  return out;
}

std::size_t driverRowStride(int width) {
  std::size_t row = std::size_t(width > 0 ? width : 0) * 4;
  return (row + 63) / 64 * 64;
}

namespace {

// An APP1 segment with a big-endian TIFF header and one IFD0 entry: orientation (0x0112).
Bytes exifOrientationSegment(int orientation) {
  Bytes tiff{'M', 'M', 0x00, 0x2A, 0, 0, 0, 8,  // header, IFD0 at offset 8
             0, 1,                               // one entry
             0x01, 0x12, 0, 3, 0, 0, 0, 1,       // orientation, SHORT, count 1
             0, std::uint8_t(orientation), 0, 0, // value, padded
             0, 0, 0, 0};                        // no next IFD
  Bytes payload{'E', 'x', 'i', 'f', 0, 0};
  payload.insert(payload.end(), tiff.begin(), tiff.end());
  std::size_t length = payload.size() + 2;
  Bytes segment{0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length & 0xFF)};
  segment.insert(segment.end(), payload.begin(), payload.end());
  return segment;
}

}  // namespace

Bytes encodeJPEG(const cv::Mat& picture, bool isRGBA, double quality, int exifOrientation) {
  cv::Mat bgr;
  if (picture.channels() == 4)
    cv::cvtColor(picture, bgr, isRGBA ? cv::COLOR_RGBA2BGR : cv::COLOR_BGRA2BGR);
  else
    bgr = picture;
  std::vector<std::uint8_t> out;
  int q = int(std::lround(std::clamp(quality, 0.0, 1.0) * 100));
  if (bgr.empty() || !cv::imencode(".jpg", bgr, out, {cv::IMWRITE_JPEG_QUALITY, q})) return {};
  if (exifOrientation < 1 || exifOrientation > 8 || out.size() < 2) return Bytes(out.begin(), out.end());
  // After SOI and the JFIF APP0 segment, when the encoder wrote one.
  std::size_t at = 2;
  if (out.size() >= 6 && out[2] == 0xFF && out[3] == 0xE0) {
    std::size_t length = (std::size_t(out[4]) << 8) | out[5];
    if (4 + length <= out.size()) at = 4 + length;
  }
  Bytes withExif(out.begin(), out.begin() + long(at));
  auto segment = exifOrientationSegment(exifOrientation);
  withExif.insert(withExif.end(), segment.begin(), segment.end());
  withExif.insert(withExif.end(), out.begin() + long(at), out.end());
  return withExif;
}

}  // namespace ostrel::platform
