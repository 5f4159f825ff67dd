#include "testing/PictureBombs.hpp"

#include <zlib.h>

#include <algorithm>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "testing/GifWriter.hpp"

namespace ostrel::testing {
namespace {

using platform::Bytes;

constexpr std::uint32_t kBombSide = 20'000;

cv::Mat bombSamplePicture() {
  cv::Mat bgr(48, 64, CV_8UC3, cv::Scalar(40, 120, 200));
  bgr(cv::Rect(8, 8, 20, 16)).setTo(cv::Scalar(250, 250, 250));
  return bgr;
}

Bytes bombEncoded(const char* extension) {
  std::vector<std::uint8_t> out;
  cv::imencode(extension, bombSamplePicture(), out);
  return Bytes(out.begin(), out.end());
}

void bombPutBig(Bytes& data, std::size_t at, std::uint32_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) {
    data.at(at + i) = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
  }
}

void bombPutLittle16(Bytes& data, std::size_t at, std::uint32_t value) {
  data.at(at) = static_cast<std::uint8_t>(value);
  data.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

std::size_t bombFind(const Bytes& data, std::initializer_list<std::uint8_t> pattern) {
  auto it = std::search(data.begin(), data.end(), pattern.begin(), pattern.end());
  return it == data.end() ? std::string::npos : static_cast<std::size_t>(it - data.begin());
}

Bytes pngBomb(Bytes png) {
  // IHDR's size, then its CRC again, so the decoder would take it as a true header.
  bombPutBig(png, 16, kBombSide, 4);
  bombPutBig(png, 20, kBombSide, 4);
  const auto crc = crc32(0, png.data() + 12, 17);
  bombPutBig(png, 29, static_cast<std::uint32_t>(crc), 4);
  return png;
}

Bytes jpegBomb(Bytes jpeg) {
  const auto sof = bombFind(jpeg, {0xFF, 0xC0});
  bombPutBig(jpeg, sof + 5, kBombSide, 2);
  bombPutBig(jpeg, sof + 7, kBombSide, 2);
  return jpeg;
}

// The SIZ of the code stream, and the JP2 header box when there is one.
Bytes jpeg2000Bomb(Bytes data) {
  const auto siz = bombFind(data, {0xFF, 0x51});
  bombPutBig(data, siz + 6, kBombSide, 4);
  bombPutBig(data, siz + 10, kBombSide, 4);
  bombPutBig(data, siz + 14, 0, 4);
  bombPutBig(data, siz + 18, 0, 4);
  if (auto ihdr = bombFind(data, {'i', 'h', 'd', 'r'}); ihdr != std::string::npos) {
    bombPutBig(data, ihdr + 4, kBombSide, 4);
    bombPutBig(data, ihdr + 8, kBombSide, 4);
  }
  return data;
}

Bytes gifBomb(Bytes gif) {
  bombPutLittle16(gif, 6, 7000);
  bombPutLittle16(gif, 8, 6000);
  if (auto descriptor = bombFind(gif, {0x2C, 0x00, 0x00, 0x00, 0x00}); descriptor != std::string::npos) {
    bombPutLittle16(gif, descriptor + 5, 7000);
    bombPutLittle16(gif, descriptor + 7, 6000);
  }
  return gif;
}

}  // namespace

std::vector<PictureBombSample> pictureBombSamples() {
  cv::Mat rgba;
  cv::cvtColor(bombSamplePicture(), rgba, cv::COLOR_BGR2RGBA);
  const Bytes gif = writeGif({GifFrame{rgba, 10}}).value_or(Bytes{});
  const Bytes png = bombEncoded(".png");
  const Bytes jpeg = bombEncoded(".jpg");
  const Bytes jp2 = bombEncoded(".jp2");
  // The bare code stream is what a JP2 file carries in its "jp2c" box.
  const auto box = bombFind(jp2, {'j', 'p', '2', 'c'});
  const Bytes j2k = box == std::string::npos ? Bytes{} : Bytes(jp2.begin() + box + 4, jp2.end());
  return {
      {"PNG", png, pngBomb(png)},
      {"JPEG", jpeg, jpegBomb(jpeg)},
      {"GIF", gif, gifBomb(gif)},
      {"JPEG 2000 file", jp2, jpeg2000Bomb(jp2)},
      {"JPEG 2000 code stream", j2k, jpeg2000Bomb(j2k)},
  };
}

}  // namespace ostrel::testing
