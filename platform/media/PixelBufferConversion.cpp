#include "platform/media/PixelBufferConversion.hpp"

#include <cstring>

#include <opencv2/imgproc.hpp>

namespace ostrel::platform {

namespace {

PixelPlane planeFrom(const cv::Mat& pixels, std::size_t bytesPerSample, std::size_t rowPadding) {
  PixelPlane plane;
  plane.width = pixels.cols;
  plane.height = pixels.rows;
  std::size_t rowBytes = std::size_t(pixels.cols) * bytesPerSample;
  plane.bytesPerRow = rowBytes + rowPadding;
  plane.bytes.assign(plane.bytesPerRow * std::size_t(pixels.rows), 0);
  for (int y = 0; y < pixels.rows; ++y)
    std::memcpy(plane.bytes.data() + std::size_t(y) * plane.bytesPerRow, pixels.ptr(y), rowBytes);
  return plane;
}

bool planeReadable(const PixelPlane& plane, std::size_t bytesPerSample) {
  if (plane.width <= 0 || plane.height <= 0) return false;
  if (plane.bytesPerRow < std::size_t(plane.width) * bytesPerSample) return false;
  return plane.bytes.size() >= plane.bytesPerRow * std::size_t(plane.height);
}

// A read-only view of a plane's bytes (OpenCV takes the stride as it is).
cv::Mat view(const PixelPlane& plane, int type) {
  return cv::Mat(plane.height, plane.width, type, const_cast<std::uint8_t*>(plane.bytes.data()),
                 plane.bytesPerRow);
}

}  // namespace

PixelBufferPtr makePixelBuffer(const cv::Mat& source, PixelFormat format, std::size_t rowPadding) {
  cv::Mat bgra;
  if (source.type() == CV_8UC3)
    cv::cvtColor(source, bgra, cv::COLOR_BGR2BGRA);
  else
    bgra = source;
  if (format == PixelFormat::bgra32) {
    std::vector<PixelPlane> planes{planeFrom(bgra, 4, rowPadding)};
    return std::make_shared<PixelBuffer>(format, bgra.cols, bgra.rows, std::move(planes));
  }
  cv::Mat bgr, ycrcb;
  cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
  cv::cvtColor(bgr, ycrcb, cv::COLOR_BGR2YCrCb);  // full range, as JPEG
  cv::Mat channels[3];
  cv::split(ycrcb, channels);
  cv::Size half((bgra.cols + 1) / 2, (bgra.rows + 1) / 2);
  cv::Mat cb, cr;
  cv::resize(channels[2], cb, half, 0, 0, cv::INTER_AREA);
  cv::resize(channels[1], cr, half, 0, 0, cv::INTER_AREA);
  cv::Mat cbcr;
  cv::Mat pair[2] = {cb, cr};
  cv::merge(pair, 2, cbcr);
  std::vector<PixelPlane> planes{planeFrom(channels[0], 1, rowPadding),
                                 planeFrom(cbcr, 2, rowPadding)};
  return std::make_shared<PixelBuffer>(format, bgra.cols, bgra.rows, std::move(planes));
}

bool pixelBufferReadable(const PixelBuffer& buffer) {
  if (buffer.width() <= 0 || buffer.height() <= 0) return false;
  if (buffer.pixelFormat() == PixelFormat::bgra32) {
    if (buffer.planeCount() < 1) return false;
    const auto& plane = buffer.plane(0);
    return plane.width == buffer.width() && plane.height == buffer.height() && planeReadable(plane, 4);
  }
  if (buffer.planeCount() < 2) return false;
  const auto& luma = buffer.plane(0);
  const auto& chroma = buffer.plane(1);
  return luma.width == buffer.width() && luma.height == buffer.height() && planeReadable(luma, 1) &&
         planeReadable(chroma, 2) && chroma.width >= (buffer.width() + 1) / 2 &&
         chroma.height >= (buffer.height() + 1) / 2;
}

cv::Mat rgbaFromPixelBuffer(const PixelBuffer& buffer) {
  if (buffer.width() <= 0 || buffer.height() <= 0) return {};
  cv::Mat rgba;
  if (buffer.pixelFormat() == PixelFormat::bgra32) {
    if (buffer.planeCount() < 1) return {};
    const auto& plane = buffer.plane(0);
    if (plane.width != buffer.width() || plane.height != buffer.height() || !planeReadable(plane, 4))
      return {};
    cv::cvtColor(view(plane, CV_8UC4), rgba, cv::COLOR_BGRA2RGBA);
    return rgba;
  }
  if (buffer.planeCount() < 2) return {};
  const auto& luma = buffer.plane(0);
  const auto& chroma = buffer.plane(1);
  if (luma.width != buffer.width() || luma.height != buffer.height() || !planeReadable(luma, 1) ||
      !planeReadable(chroma, 2) || chroma.width < (buffer.width() + 1) / 2 ||
      chroma.height < (buffer.height() + 1) / 2)
    return {};
  cv::Mat cbcr = view(chroma, CV_8UC2)(cv::Rect(0, 0, (buffer.width() + 1) / 2, (buffer.height() + 1) / 2));
  cv::Mat up;
  cv::resize(cbcr, up, cv::Size(((buffer.width() + 1) / 2) * 2, ((buffer.height() + 1) / 2) * 2), 0, 0,
             cv::INTER_NEAREST);
  up = up(cv::Rect(0, 0, buffer.width(), buffer.height()));
  cv::Mat halves[2];
  cv::split(up, halves);
  cv::Mat channels[3] = {view(luma, CV_8UC1), halves[1], halves[0]};  // Y, Cr, Cb
  cv::Mat ycrcb, rgb;
  cv::merge(channels, 3, ycrcb);
  cv::cvtColor(ycrcb, rgb, cv::COLOR_YCrCb2RGB);
  cv::cvtColor(rgb, rgba, cv::COLOR_RGB2RGBA);
  return rgba;
}

}  // namespace ostrel::platform
