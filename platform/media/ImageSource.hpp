#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/foundation/JSON.hpp"
#include "platform/media/Image.hpp"

namespace ostrel::platform {

// Frame properties use the platform's keys: {"{GIF}": {"DelayTime": s, "UnclampedDelayTime": s}}.
inline constexpr const char* kImagePropertyGIFDictionary = "{GIF}";
inline constexpr const char* kImagePropertyGIFDelayTime = "DelayTime";
inline constexpr const char* kImagePropertyGIFUnclampedDelayTime = "UnclampedDelayTime";

// The frames of an encoded picture, read one by one.
class ImageSource {
 public:
  virtual ~ImageSource() = default;

  // A GIF (every frame, composed as a viewer shows it) or any other picture (one frame).
  // Nothing when the data is not a picture.
  static std::shared_ptr<ImageSource> create(const Bytes& data);

  virtual std::size_t count() const = 0;
  // Nothing for an index out of range or a frame that cannot be decoded.
  virtual ImagePtr imageAt(std::size_t index) const = 0;
  virtual JSON propertiesAt(std::size_t index) const = 0;
};

// Frames decoded from a GIF with giflib.
class GifImageSource : public ImageSource {
 public:
  static std::shared_ptr<GifImageSource> create(const Bytes& data);

  std::size_t count() const override { return frames_.size(); }
  ImagePtr imageAt(std::size_t index) const override;
  JSON propertiesAt(std::size_t index) const override;

 private:
  struct Frame {
    ImagePtr image;
    int delayCentiseconds = 0;
  };
  std::vector<Frame> frames_;
};

}  // namespace ostrel::platform
