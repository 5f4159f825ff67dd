#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace ostrel::platform {

// Pixel formats a camera hands out: 8-bit BGRA, or '420f' (bi-planar Y'CbCr 4:2:0, full
// range: a Y plane and an interleaved CbCr plane at half width and half height).
enum class PixelFormat : std::uint32_t {
  bgra32 = 0x42475241,                     // 'BGRA'
  yCbCr420BiPlanarFullRange = 0x34323066,  // '420f'
};

// One plane of a pixel buffer: its size in samples and its row stride in bytes.
struct PixelPlane {
  int width = 0;
  int height = 0;
  std::size_t bytesPerRow = 0;
  std::vector<std::uint8_t> bytes;  // bytesPerRow * height
};

// A camera frame's pixels. BGRA buffers have one plane (bytesPerRow >= 4 * width); '420f'
// buffers have two. Locking is a no-op kept so that callers read the way the platform asks.
class PixelBuffer {
 public:
  PixelBuffer(PixelFormat format, int width, int height, std::vector<PixelPlane> planes)
      : format_(format), width_(width), height_(height), planes_(std::move(planes)) {}

  // An empty BGRA buffer of the given size with rows padded to `bytesPerRow` (at least 4 * w).
  static std::shared_ptr<PixelBuffer> makeBGRA(int width, int height, std::size_t bytesPerRow = 0) {
    if (bytesPerRow < std::size_t(width > 0 ? width : 0) * 4) bytesPerRow = std::size_t(width > 0 ? width : 0) * 4;
    PixelPlane plane{width, height, bytesPerRow,
                     std::vector<std::uint8_t>(bytesPerRow * std::size_t(height > 0 ? height : 0))};
    return std::make_shared<PixelBuffer>(PixelFormat::bgra32, width, height,
                                         std::vector<PixelPlane>{std::move(plane)});
  }

  PixelFormat pixelFormat() const { return format_; }
  int width() const { return width_; }
  int height() const { return height_; }
  bool isPlanar() const { return planes_.size() > 1; }
  std::size_t planeCount() const { return planes_.size(); }
  // The first plane's stride (the whole buffer's for BGRA).
  std::size_t bytesPerRow() const { return planes_.empty() ? 0 : planes_[0].bytesPerRow; }
  const PixelPlane& plane(std::size_t i) const { return planes_.at(i); }
  PixelPlane& plane(std::size_t i) { return planes_.at(i); }

  void lockBaseAddress() const {}
  void unlockBaseAddress() const {}

 private:
  PixelFormat format_;
  int width_ = 0;
  int height_ = 0;
  std::vector<PixelPlane> planes_;
};

using PixelBufferPtr = std::shared_ptr<PixelBuffer>;

}  // namespace ostrel::platform
