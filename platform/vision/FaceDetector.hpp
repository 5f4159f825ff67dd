#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/media/SampleBuffer.hpp"
#include "platform/vision/FaceObservation.hpp"

namespace ostrel::platform {

// What finds faces for the face-rectangles request. A detector object is used by one request
// and so from one thread at a time; detectors may share read-only data between them.
class FaceDetector {
 public:
  virtual ~FaceDetector() = default;

  // Finds the faces in an upright RGBA picture. `intrinsics` are the camera's, already turned
  // to the upright picture's axes. Throws (`VisionError` preferably) on failure.
  virtual std::vector<FaceObservationPtr> detectFaces(
      const cv::Mat& uprightRGBA, const std::optional<CameraIntrinsics>& intrinsics) = 0;

  using Factory = std::function<std::shared_ptr<FaceDetector>()>;

  // Makes a detector with the installed factory: the landmark-and-pose detector unless a test
  // or a host installed another. Throws `VisionError` when the detector cannot be made (its
  // model file is missing or unreadable); the reason also goes to the debug sink.
  static std::shared_ptr<FaceDetector> make();
  // Installs a process-wide factory; an empty one restores the default.
  static void installFactory(Factory factory);
};

using FaceDetectorPtr = std::shared_ptr<FaceDetector>;

}  // namespace ostrel::platform
