#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

#include "platform/foundation/PlatformError.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/vision/FaceDetector.hpp"

namespace ostrel::testing {

// A face detector that answers each frame with the next scripted result: observations, or an
// error (thrown as a `VisionError`). Once the script is used up it answers with the fallback,
// no faces unless a test set another. Safe to call from the camera queue while the test thread
// scripts it.
class ScriptedFaceDetector : public platform::FaceDetector {
 public:
  using Result = std::variant<std::vector<platform::FaceObservationPtr>, platform::PlatformError>;

  void script(std::vector<Result> results);
  void push(Result result);
  void setFallback(Result result);

  // Frames seen so far, the size of the last one (columns x rows) and the intrinsics it came
  // with.
  int framesSeen() const;
  std::optional<cv::Size> lastFrameSize() const;
  std::optional<platform::CameraIntrinsics> lastIntrinsics() const;

  std::vector<platform::FaceObservationPtr> detectFaces(
      const cv::Mat& uprightRGBA,
      const std::optional<platform::CameraIntrinsics>& intrinsics) override;

 private:
  mutable std::mutex mutex_;
  std::deque<Result> script_;
  Result fallback_ = std::vector<platform::FaceObservationPtr>{};
  int framesSeen_ = 0;
  std::optional<cv::Size> lastFrameSize_;
  std::optional<platform::CameraIntrinsics> lastIntrinsics_;
};

// Installs `detector` as the factory's answer for every request made while it lives, then
// restores the default detector.
class InstalledFaceDetector {
 public:
  explicit InstalledFaceDetector(std::shared_ptr<platform::FaceDetector> detector);
  ~InstalledFaceDetector();
  InstalledFaceDetector(const InstalledFaceDetector&) = delete;
  InstalledFaceDetector& operator=(const InstalledFaceDetector&) = delete;
};

// The observation a detector reports for a face shown at `face` inside a reference frame
// `reference` (both in the same top-left coordinates, e.g. a mask view's): the box normalised
// to the reference with its origin at the bottom left.
platform::FaceObservationPtr faceObservationFor(const platform::Rect& face,
                                                const platform::Rect& reference,
                                                std::optional<float> pitch = 0.0f,
                                                std::optional<float> yaw = 0.0f,
                                                std::optional<float> roll = 0.0f);

}  // namespace ostrel::testing
