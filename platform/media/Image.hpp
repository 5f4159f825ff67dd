#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <opencv2/core.hpp>

#include "platform/foundation/JSON.hpp"
#include "platform/media/Geometry.hpp"

namespace ostrel::platform {

// How the stored bitmap must be turned to be seen upright (raw values as the phone platform
// numbers them).
enum class ImageOrientation {
  up = 0,
  down = 1,
  left = 2,
  right = 3,
  upMirrored = 4,
  downMirrored = 5,
  leftMirrored = 6,
  rightMirrored = 7,
};

// An immutable picture: an optional 8-bit RGBA bitmap (cv::Mat, CV_8UC4), its scale (pixels
// per point) and its orientation. `size()` is in points and already accounts for the
// orientation. An image without a bitmap still has a size (a placeholder image).
class Image {
 public:
  Image(cv::Mat rgba, double scale = 1, ImageOrientation orientation = ImageOrientation::up);
  // A bitmap-less image of the given point size.
  Image(Size size, double scale = 1, ImageOrientation orientation = ImageOrientation::up);

  // JPEG, PNG, GIF (first frame), JPEG 2000; nothing for data that is not an image.
  static std::shared_ptr<Image> decode(const Bytes& data, double scale = 1);
  static std::shared_ptr<Image> fromFile(const std::filesystem::path& path);

  Size size() const;
  double scale() const { return scale_; }
  ImageOrientation orientation() const { return orientation_; }
  bool hasBitmap() const { return !bitmap_.empty(); }
  // RGBA pixels as stored (not turned by the orientation); empty without a bitmap.
  const cv::Mat& bitmap() const { return bitmap_; }

  // quality in [0, 1]; nothing when there is no bitmap or encoding fails.
  std::optional<Bytes> jpegData(double quality) const;
  std::optional<Bytes> pngData() const;

 private:
  cv::Mat bitmap_;
  Size pointSize_;
  double scale_ = 1;
  ImageOrientation orientation_ = ImageOrientation::up;
};

using ImagePtr = std::shared_ptr<Image>;

}  // namespace ostrel::platform
