#pragma once

#include <array>
#include <optional>

#include <opencv2/core.hpp>

namespace ostrel::platform {

// A head's angles in radians, with the signs `FaceObservation` documents.
struct HeadPose {
  float pitch = 0;
  float yaw = 0;
  float roll = 0;
};

// The six landmarks the pose is measured from, in picture pixels (x right, y down): the nose
// tip, the chin, the outer corner of the eye on the picture's left, the outer corner of the eye
// on the picture's right, and the mouth corners on the picture's left and right.
using PoseLandmarks = std::array<cv::Point2d, 6>;

// A generic adult face in millimetres, in the order of `PoseLandmarks`: the nose tip at the
// origin, x towards the picture's right for a frontal face, y up, z out of the face.
const std::array<cv::Point3d, 6>& genericFaceModel();

// The camera matrix to assume when the camera gave none: a focal length of the picture's width
// and the principal point at the picture's centre.
cv::Matx33d assumedCameraMatrix(int width, int height);

// The head's angles from the six landmarks and the camera matrix; nothing when they give no
// sensible answer (degenerate points, a face behind the camera, values that are not finite).
std::optional<HeadPose> estimateHeadPose(const PoseLandmarks& landmarks,
                                         const cv::Matx33d& cameraMatrix);

}  // namespace ostrel::platform
