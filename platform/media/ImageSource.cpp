#include "platform/media/ImageSource.hpp"

#include <algorithm>
#include <cstring>

#include <gif_lib.h>

#include "platform/media/ImageHeader.hpp"

namespace ostrel::platform {
namespace {

struct Reader {
  const Bytes* data;
  std::size_t offset = 0;
};

int readFromMemory(GifFileType* gif, GifByteType* out, int length) {
  auto* reader = static_cast<Reader*>(gif->UserData);
  if (length <= 0) return 0;
  std::size_t left = reader->data->size() - reader->offset;
  std::size_t n = std::min<std::size_t>(left, static_cast<std::size_t>(length));
  std::memcpy(out, reader->data->data() + reader->offset, n);
  reader->offset += n;
  return static_cast<int>(n);
}

class SingleImageSource : public ImageSource {
 public:
  explicit SingleImageSource(ImagePtr image) : image_(std::move(image)) {}
  std::size_t count() const override { return 1; }
  ImagePtr imageAt(std::size_t index) const override { return index == 0 ? image_ : nullptr; }
  JSON propertiesAt(std::size_t) const override { return JSON::object(); }

 private:
  ImagePtr image_;
};

}  // namespace

std::shared_ptr<ImageSource> ImageSource::create(const Bytes& data) {
  if (data.size() >= 6 && std::memcmp(data.data(), "GIF8", 4) == 0)
    return GifImageSource::create(data);
  auto image = Image::decode(data);
  if (!image) return nullptr;
  return std::make_shared<SingleImageSource>(std::move(image));
}

std::shared_ptr<GifImageSource> GifImageSource::create(const Bytes& data) {
  // giflib allocates every frame as its descriptor declares, before the size check below.
  if (!isDecodablePicture(data)) return nullptr;
  Reader reader{&data};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, readFromMemory, &error);
  if (!gif) return nullptr;
  std::unique_ptr<GifFileType, void (*)(GifFileType*)> guard(gif, [](GifFileType* g) {
    int e = 0;
    DGifCloseFile(g, &e);
  });
  // A truncated file still yields the frames read before the cut.
  DGifSlurp(gif);
  if (gif->ImageCount <= 0 || gif->SWidth <= 0 || gif->SHeight <= 0 ||
      static_cast<long long>(gif->SWidth) * gif->SHeight > 50'000'000LL) {
    return nullptr;
  }
  auto source = std::make_shared<GifImageSource>();
  cv::Mat canvas(gif->SHeight, gif->SWidth, CV_8UC4, cv::Scalar(0, 0, 0, 0));
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& saved = gif->SavedImages[i];
    GraphicsControlBlock gcb{};
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
    DGifSavedExtensionToGCB(gif, i, &gcb);
    const ColorMapObject* map =
        saved.ImageDesc.ColorMap ? saved.ImageDesc.ColorMap : gif->SColorMap;
    const GifImageDesc& desc = saved.ImageDesc;
    Frame frame;
    frame.delayCentiseconds = gcb.DelayTime;
    if (!map || !saved.RasterBits || desc.Width <= 0 || desc.Height <= 0) {
      source->frames_.push_back(frame);
      continue;
    }
    cv::Mat before = gcb.DisposalMode == DISPOSE_PREVIOUS ? canvas.clone() : cv::Mat();
    for (int y = 0; y < desc.Height; ++y) {
      int cy = desc.Top + y;
      if (cy < 0 || cy >= canvas.rows) continue;
      for (int x = 0; x < desc.Width; ++x) {
        int cx = desc.Left + x;
        if (cx < 0 || cx >= canvas.cols) continue;
        int index = saved.RasterBits[static_cast<std::size_t>(y) * desc.Width + x];
        if (index == gcb.TransparentColor || index >= map->ColorCount) continue;
        const GifColorType& c = map->Colors[index];
        canvas.at<cv::Vec4b>(cy, cx) = {c.Red, c.Green, c.Blue, 255};
      }
    }
    frame.image = std::make_shared<Image>(canvas.clone());
    source->frames_.push_back(frame);
    if (gcb.DisposalMode == DISPOSE_BACKGROUND) {
      cv::Rect area = cv::Rect(desc.Left, desc.Top, desc.Width, desc.Height) &
                      cv::Rect(0, 0, canvas.cols, canvas.rows);
      canvas(area).setTo(cv::Scalar(0, 0, 0, 0));
    } else if (gcb.DisposalMode == DISPOSE_PREVIOUS) {
      canvas = before;
    }
  }
  return source;
}

ImagePtr GifImageSource::imageAt(std::size_t index) const {
  return index < frames_.size() ? frames_[index].image : nullptr;
}

JSON GifImageSource::propertiesAt(std::size_t index) const {
  if (index >= frames_.size()) return JSON::object();
  double unclamped = frames_[index].delayCentiseconds / 100.0;
  // Viewers treat delays of 10 ms or less as "as fast as allowed" and show them for 0.1 s.
  double clamped = unclamped < 0.011 ? 0.1 : unclamped;
  return {
      {kImagePropertyGIFDictionary,
       {{kImagePropertyGIFDelayTime, clamped}, {kImagePropertyGIFUnclampedDelayTime, unclamped}}}};
}

}  // namespace ostrel::platform
