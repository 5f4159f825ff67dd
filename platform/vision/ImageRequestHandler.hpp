#pragma once

#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/media/PixelBuffer.hpp"
#include "platform/vision/VisionRequest.hpp"

namespace ostrel::platform {

// Runs vision requests on one picture: a camera buffer shown upright by an EXIF orientation
// (1-8), or an upright RGBA bitmap.
class ImageRequestHandler {
 public:
  ImageRequestHandler(PixelBufferPtr buffer, int exifOrientation,
                      ImageRequestHandlerOptions options = {});
  explicit ImageRequestHandler(cv::Mat uprightRGBA, ImageRequestHandlerOptions options = {});

  // Performs every request in turn, synchronously. Throws `VisionError` before any request runs
  // when the picture cannot be read (no buffer, an unreadable buffer, an unknown orientation, a
  // bitmap that is not RGBA); otherwise every request's completion runs once, and afterwards the
  // first request error, if any, is thrown as well.
  void perform(const std::vector<VisionRequestPtr>& requests);

 private:
  // `upright`: whether to turn a camera buffer into the upright RGBA picture.
  VisionImage prepare(bool upright) const;

  PixelBufferPtr buffer_;
  int orientation_ = 1;
  cv::Mat bitmap_;
  ImageRequestHandlerOptions options_;
};

}  // namespace ostrel::platform
