#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/foundation/Bytes.hpp"
#include "platform/media/Color.hpp"
#include "platform/media/Geometry.hpp"

namespace ostrel::platform {

class Bundle;

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

// The colour space of a bitmap; `none` stands for masks, which carry no colour.
enum class ColorSpace { none, deviceRGB };

// Whether the orientation turns the picture by a quarter (width and height swap on display).
bool orientationSwapsAxes(ImageOrientation orientation);
// The stored RGBA pixels turned as the orientation says they must be seen.
cv::Mat displayBitmap(const cv::Mat& stored, ImageOrientation orientation);

// An immutable picture: an optional 8-bit RGBA bitmap (cv::Mat, CV_8UC4), its scale (pixels
// per point) and its orientation. `size()` is in points and already accounts for the
// orientation. An image without a bitmap still has a size (a placeholder image).
class Image {
 public:
  Image(cv::Mat rgba, double scale = 1, ImageOrientation orientation = ImageOrientation::up);
  // A bitmap-less image of the given point size.
  Image(Size size, double scale = 1, ImageOrientation orientation = ImageOrientation::up);

  // JPEG, PNG, GIF (first frame), JPEG 2000; nothing for data that is not one of them or that
  // declares more than kMaxDecodedPixels (checked before decoding). A JPEG's
  // EXIF orientation becomes the picture's orientation, its pixels kept as stored (a malformed
  // EXIF block counts as none).
  static std::shared_ptr<Image> decode(const Bytes& data, double scale = 1);
  static std::shared_ptr<Image> fromFile(const std::filesystem::path& path);

  Size size() const;
  double scale() const { return scale_; }
  ImageOrientation orientation() const { return orientation_; }
  bool hasBitmap() const { return !bitmap_.empty(); }
  // RGBA pixels as stored (not turned by the orientation); empty without a bitmap.
  const cv::Mat& bitmap() const { return bitmap_; }
  // The pixels as the picture is seen (the bitmap itself when oriented up).
  cv::Mat uprightBitmap() const;

  // Descriptors of the bitmap (8 bits per component, RGB) or 0 / none without one.
  int pixelWidth() const { return bitmap_.cols; }
  int pixelHeight() const { return bitmap_.rows; }
  int bitsPerComponent() const { return hasBitmap() ? 8 : 0; }
  ColorSpace colorSpace() const { return hasBitmap() ? ColorSpace::deviceRGB : ColorSpace::none; }

  // An image by name from a bundle ("<name>.png", "@2x", "@3x", ".jpg", ".gif"); nothing when
  // the bundle has none or the file is not an image.
  static std::shared_ptr<Image> named(const std::string& name, const Bundle& bundle);
  // A picture that plays `frames` in turn over `duration` seconds; the first frame stands for
  // it where one picture is drawn. Nothing without frames.
  static std::shared_ptr<Image> animatedImage(std::vector<std::shared_ptr<Image>> frames,
                                              double duration);
  const std::vector<std::shared_ptr<Image>>& images() const { return frames_; }
  double duration() const { return duration_; }
  // The same picture, shown in `color` wherever it is drawn as a template.
  std::shared_ptr<Image> withTintColor(Color color) const;
  const std::optional<Color>& tintColor() const { return tintColor_; }

  // quality in [0, 1]; nothing when there is no bitmap or encoding fails. A picture that is not
  // oriented up is written with its pixels turned upright, so every reader sees it as shown.
  std::optional<Bytes> jpegData(double quality) const;
  std::optional<Bytes> pngData() const;

 private:
  cv::Mat bitmap_;
  Size pointSize_;
  double scale_ = 1;
  ImageOrientation orientation_ = ImageOrientation::up;
  std::vector<std::shared_ptr<Image>> frames_;
  double duration_ = 0;
  std::optional<Color> tintColor_;
};

using ImagePtr = std::shared_ptr<Image>;

}  // namespace ostrel::platform
