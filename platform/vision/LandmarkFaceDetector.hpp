#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/vision/FaceDetector.hpp"

namespace ostrel::platform {

// The Linux face detector: dlib's HOG frontal face detector finds the faces, dlib's 68-point
// landmark model places their features and the pose comes from six of them (`HeadPose`).
//
// Its boxes are dlib's: tighter than a phone's face rectangle (brows to chin, cheek to cheek),
// so a face needs to come somewhat closer to reach a given box size. It finds faces down to
// about 80 pixels and loses them beyond about 40-45 degrees of yaw. Pictures whose shorter
// side exceeds 480 pixels are searched on a scaled copy (landmarks are placed on the full
// picture), which keeps the time per frame down while the smallest face worth judging still
// stays above the detector's minimum.
class LandmarkFaceDetector : public FaceDetector {
 public:
  static constexpr int kDetectionShorterSide = 480;

  LandmarkFaceDetector();
  ~LandmarkFaceDetector() override;

  // Loads the landmark model on first use (refused on the main queue; see
  // `loadFaceLandmarkModel`). Throws `VisionError` when it cannot be loaded or the picture is
  // not RGBA.
  std::vector<FaceObservationPtr> detectFaces(
      const cv::Mat& uprightRGBA, const std::optional<CameraIntrinsics>& intrinsics) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Where the landmark model is read from: OSTREL_FACE_LANDMARK_MODEL when set, else the path
// found when the library was configured.
std::string faceLandmarkModelPath();

// Loads the landmark model at `faceLandmarkModelPath()` once per process (it is large: about
// two seconds) and shares it read-only between detectors. Throws `VisionError` when it cannot
// be read, and on the main queue when the model is not in memory yet (or another thread is
// loading it), so that a screen never freezes on it.
void loadFaceLandmarkModel();

}  // namespace ostrel::platform
