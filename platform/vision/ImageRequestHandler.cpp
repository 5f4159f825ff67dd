#include "platform/vision/ImageRequestHandler.hpp"

#include <algorithm>
#include <string>

#include "platform/media/ExifOrientation.hpp"
#include "platform/media/Image.hpp"
#include "platform/media/PixelBufferConversion.hpp"
#include "platform/vision/VisionError.hpp"

namespace ostrel::platform {

ImageRequestHandler::ImageRequestHandler(PixelBufferPtr buffer, int exifOrientation,
                                         ImageRequestHandlerOptions options)
    : buffer_(std::move(buffer)), orientation_(exifOrientation), options_(std::move(options)) {}

ImageRequestHandler::ImageRequestHandler(cv::Mat uprightRGBA, ImageRequestHandlerOptions options)
    : bitmap_(std::move(uprightRGBA)), options_(std::move(options)) {}

VisionImage ImageRequestHandler::prepare(bool upright) const {
  VisionImage image;
  image.options = options_;
  image.exifOrientation = orientation_;
  if (!buffer_) {
    if (bitmap_.empty() || bitmap_.type() != CV_8UC4) {
      throw VisionError(VisionErrorCode::invalidImage, "The image is empty or not RGBA.");
    }
    image.uprightRGBA = bitmap_;
    return image;
  }
  if (orientation_ < 1 || orientation_ > 8) {
    throw VisionError(VisionErrorCode::invalidArgument,
                      "Unknown image orientation " + std::to_string(orientation_) + ".");
  }
  if (!pixelBufferReadable(*buffer_)) {
    throw VisionError(VisionErrorCode::invalidImage, "The pixel buffer cannot be read.");
  }
  image.pixelBuffer = buffer_.get();
  if (upright) {
    cv::Mat stored = rgbaFromPixelBuffer(*buffer_);
    if (stored.empty()) {
      throw VisionError(VisionErrorCode::invalidImage, "The pixel buffer cannot be read.");
    }
    image.uprightRGBA = displayBitmap(stored, imageOrientationFromExif(orientation_));
  }
  return image;
}

void ImageRequestHandler::perform(const std::vector<VisionRequestPtr>& requests) {
  const bool upright = std::any_of(requests.begin(), requests.end(), [](const VisionRequestPtr& r) {
    return r && r->readsUprightPicture();
  });
  const VisionImage image = prepare(upright);
  std::optional<PlatformError> first;
  for (const auto& request : requests) {
    if (!request) continue;
    auto error = request->run(image);
    if (error && !first) first = std::move(error);
  }
  if (first) throw VisionError(*first);
}

}  // namespace ostrel::platform
