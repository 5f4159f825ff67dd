#include "testing/ScriptedFaceDetector.hpp"

#include "platform/vision/VisionError.hpp"

namespace ostrel::testing {

void ScriptedFaceDetector::script(std::vector<Result> results) {
  std::lock_guard lock(mutex_);
  script_.assign(results.begin(), results.end());
}

void ScriptedFaceDetector::push(Result result) {
  std::lock_guard lock(mutex_);
  script_.push_back(std::move(result));
}

void ScriptedFaceDetector::setFallback(Result result) {
  std::lock_guard lock(mutex_);
  fallback_ = std::move(result);
}

int ScriptedFaceDetector::framesSeen() const {
  std::lock_guard lock(mutex_);
  return framesSeen_;
}

std::optional<cv::Size> ScriptedFaceDetector::lastFrameSize() const {
  std::lock_guard lock(mutex_);
  return lastFrameSize_;
}

std::optional<platform::CameraIntrinsics> ScriptedFaceDetector::lastIntrinsics() const {
  std::lock_guard lock(mutex_);
  return lastIntrinsics_;
}

std::vector<platform::FaceObservationPtr> ScriptedFaceDetector::detectFaces(
    const cv::Mat& uprightRGBA, const std::optional<platform::CameraIntrinsics>& intrinsics) {
  Result next;
  {
    std::lock_guard lock(mutex_);
    ++framesSeen_;
    lastFrameSize_ = uprightRGBA.size();
    lastIntrinsics_ = intrinsics;
    if (script_.empty()) {
      next = fallback_;
    } else {
      next = std::move(script_.front());
      script_.pop_front();
    }
  }
  if (auto* error = std::get_if<platform::PlatformError>(&next)) {
    throw platform::VisionError(*error);
  }
  return std::get<std::vector<platform::FaceObservationPtr>>(std::move(next));
}

InstalledFaceDetector::InstalledFaceDetector(std::shared_ptr<platform::FaceDetector> detector) {
  platform::FaceDetector::installFactory([detector] { return detector; });
}

InstalledFaceDetector::~InstalledFaceDetector() { platform::FaceDetector::installFactory({}); }

platform::FaceObservationPtr faceObservationFor(const platform::Rect& face,
                                                const platform::Rect& reference,
                                                std::optional<float> pitch,
                                                std::optional<float> yaw,
                                                std::optional<float> roll) {
  const double w = reference.width();
  const double h = reference.height();
  const double x = face.minX() - reference.minX();
  const double y = face.minY() - reference.minY();
  platform::Rect box(x / w, 1.0 - (y + face.height()) / h, face.width() / w, face.height() / h);
  return platform::FaceObservation::make(box, pitch, yaw, roll);
}

}  // namespace ostrel::testing
