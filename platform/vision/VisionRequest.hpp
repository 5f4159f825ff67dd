#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/foundation/PlatformError.hpp"
#include "platform/media/PixelBuffer.hpp"
#include "platform/media/SampleBuffer.hpp"
#include "platform/vision/Observation.hpp"

namespace ostrel::platform {

// Options of an image request handler.
struct ImageRequestHandlerOptions {
  // The camera's intrinsics for the frame, when the camera attached them.
  std::optional<CameraIntrinsics> cameraIntrinsics;
};

// The picture every request of one `perform` reads: turned upright by the orientation, RGBA.
// The source buffer and orientation stay available for requests that want them. For a camera
// buffer the upright picture is made only when some request of the perform reads it (see
// `VisionRequest::readsUprightPicture`); otherwise it is empty.
struct VisionImage {
  cv::Mat uprightRGBA;
  const PixelBuffer* pixelBuffer = nullptr;  // null for a handler made on a bitmap
  int exifOrientation = 1;
  ImageRequestHandlerOptions options;
};

// A piece of analysis performed by an `ImageRequestHandler`. Its completion runs exactly once
// per perform, inside `perform`, on the performing thread, after the results are stored; the
// error is set when the request failed (the results are then empty).
class VisionRequest {
 public:
  using CompletionHandler =
      std::function<void(VisionRequest& request, const std::optional<PlatformError>& error)>;

  explicit VisionRequest(CompletionHandler completion = {}) : completion_(std::move(completion)) {}
  virtual ~VisionRequest() = default;
  VisionRequest(const VisionRequest&) = delete;
  VisionRequest& operator=(const VisionRequest&) = delete;

  // The observations of the last perform (a copy: another thread may read them meanwhile).
  std::vector<ObservationPtr> results() const;

  // Runs the request on `image`, stores its results, calls the completion; answers the error
  // when it failed. Called by the handler.
  std::optional<PlatformError> run(const VisionImage& image);

  // Whether `observe` reads `VisionImage::uprightRGBA` of a camera buffer. Turning a whole
  // frame upright in colour costs more than most requests themselves, so one that reads only
  // the buffer's planes says so.
  virtual bool readsUprightPicture() const { return true; }

 protected:
  // The analysis itself. Throws (`VisionError` preferably) on failure.
  virtual std::vector<ObservationPtr> observe(const VisionImage& image) = 0;

 private:
  CompletionHandler completion_;
  mutable std::mutex resultsLock_;
  std::vector<ObservationPtr> results_;
};

using VisionRequestPtr = std::shared_ptr<VisionRequest>;

}  // namespace ostrel::platform
