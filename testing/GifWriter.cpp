#include "testing/GifWriter.hpp"

#include <gif_lib.h>

#include <cstring>

namespace ostrel::testing {

namespace {

int appendBytes(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<platform::Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

// The palette entry left out of the colour cube: see-through, so a picture drawn on nothing
// shows what lies under it rather than black.
constexpr int kTransparentIndex = 216;

int cubeIndex(const cv::Vec4b& p) {
  if (p[3] < 128) return kTransparentIndex;
  auto level = [](int v) { return (v * 5 + 127) / 255; };
  return level(p[0]) * 36 + level(p[1]) * 6 + level(p[2]);
}

}  // namespace

std::optional<platform::Bytes> writeGif(const std::vector<GifFrame>& frames) {
  if (frames.empty()) return std::nullopt;
  platform::Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, appendBytes, &error);
  if (!gif) return std::nullopt;
  const int width = frames.front().rgba.cols;
  const int height = frames.front().rgba.rows;

  ColorMapObject* cube = GifMakeMapObject(256, nullptr);
  for (int i = 0; i < 216; ++i) {
    cube->Colors[i] = {static_cast<GifByteType>(i / 36 * 51),
                       static_cast<GifByteType>(i / 6 % 6 * 51),
                       static_cast<GifByteType>(i % 6 * 51)};
  }
  for (int i = 216; i < 256; ++i) cube->Colors[i] = {0, 0, 0};
  EGifSetGifVersion(gif, true);  // transparency and timing need GIF89a
  bool ok = EGifPutScreenDesc(gif, width, height, 8, 0, cube) != GIF_ERROR;
  if (ok) {
    unsigned char loop[] = {1, 0, 0};
    ok = EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) != GIF_ERROR &&
         EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") != GIF_ERROR &&
         EGifPutExtensionBlock(gif, 3, loop) != GIF_ERROR &&
         EGifPutExtensionTrailer(gif) != GIF_ERROR;
  }
  for (const auto& frame : frames) {
    if (!ok) break;
    GraphicsControlBlock gcb{};
    // Each frame is whole: the one before is cleared, not left to show through.
    gcb.DisposalMode = DISPOSE_BACKGROUND;
    gcb.DelayTime = frame.delayCentiseconds;
    gcb.TransparentColor = kTransparentIndex;
    GifByteType ext[4];
    EGifGCBToExtension(&gcb, ext);
    ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext) != GIF_ERROR;
    ok = ok && EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) != GIF_ERROR;
    cv::Mat rgba = frame.rgba;
    std::vector<GifPixelType> row(static_cast<std::size_t>(width));
    for (int y = 0; ok && y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        row[x] = static_cast<GifPixelType>(
            y < rgba.rows && x < rgba.cols ? cubeIndex(rgba.at<cv::Vec4b>(y, x)) : 0);
      }
      ok = EGifPutLine(gif, row.data(), width) != GIF_ERROR;
    }
  }
  GifFreeMapObject(cube);
  if (EGifCloseFile(gif, &error) == GIF_ERROR) ok = false;
  if (!ok) return std::nullopt;
  return out;
}

}  // namespace ostrel::testing
