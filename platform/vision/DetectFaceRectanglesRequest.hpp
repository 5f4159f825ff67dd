#pragma once

#include <memory>
#include <vector>

#include "platform/vision/FaceDetector.hpp"
#include "platform/vision/FaceObservation.hpp"
#include "platform/vision/VisionRequest.hpp"

namespace ostrel::platform {

// Finds faces with their pose in the handler's picture; its results are `FaceObservation`s.
// Each request owns its own detector, so two requests may run on two threads at once while
// one request must not be performed from two threads at once.
//
// What any detector answers is checked before it is handed on: a box with a coordinate that
// is not finite becomes an empty box at the origin (it fails every size check) and an angle
// that is not finite is left out. On devices that report "iOS" below 15 the pitch is left out,
// as the platform's detector gives none there.
class DetectFaceRectanglesRequest : public VisionRequest {
 public:
  // Throws `VisionError` when no detector can be made (see `FaceDetector::make`).
  explicit DetectFaceRectanglesRequest(CompletionHandler completion = {});
  DetectFaceRectanglesRequest(FaceDetectorPtr detector, CompletionHandler completion = {});

  // The results of the last perform, as face observations.
  std::vector<FaceObservationPtr> faceResults() const;

 protected:
  std::vector<ObservationPtr> observe(const VisionImage& image) override;

 private:
  FaceDetectorPtr detector_;
};

// The camera intrinsics of a stored buffer of `storedWidth` x `storedHeight`, turned to the
// axes of the picture shown upright by `exifOrientation` (focal lengths swap and the principal
// point moves with the picture).
CameraIntrinsics intrinsicsForUprightPicture(const CameraIntrinsics& stored, int exifOrientation,
                                             int storedWidth, int storedHeight);

// Whether the device reports pitch: everything but "iOS" below 15.
bool deviceReportsFacePitch();

}  // namespace ostrel::platform
