#include "platform/vision/DetectFaceRectanglesRequest.hpp"

#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/foundation/DeviceInfo.hpp"
#include "platform/vision/VisionError.hpp"

namespace ostrel::platform {

namespace {

std::optional<float> finiteOrNothing(std::optional<float> angle) {
  if (angle && !std::isfinite(*angle)) return std::nullopt;
  return angle;
}

bool isFinite(const Rect& r) {
  return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
         std::isfinite(r.size.height);
}

}  // namespace

bool deviceReportsFacePitch() {
  const DeviceInfo device = DeviceInfo::current();
  if (device.systemName != "iOS") return true;
  // Only the major number matters; a version that does not start with one counts as recent.
  const std::string& v = device.systemVersion;
  std::size_t digits = 0;
  while (digits < v.size() && digits < 4 && v[digits] >= '0' && v[digits] <= '9') ++digits;
  if (digits == 0) return true;
  return std::stoi(v.substr(0, digits)) >= 15;
}

CameraIntrinsics intrinsicsForUprightPicture(const CameraIntrinsics& stored, int exifOrientation,
                                             int storedWidth, int storedHeight) {
  const float fx = stored[0], fy = stored[4], cx = stored[2], cy = stored[5];
  const float w = float(storedWidth), h = float(storedHeight);
  float ux = cx, uy = cy;
  bool swapped = false;
  switch (exifOrientation) {
    case 2: ux = w - cx; break;
    case 3: ux = w - cx; uy = h - cy; break;
    case 4: uy = h - cy; break;
    case 5: ux = cy; uy = cx; swapped = true; break;
    case 6: ux = h - cy; uy = cx; swapped = true; break;
    case 7: ux = h - cy; uy = w - cx; swapped = true; break;
    case 8: ux = cy; uy = w - cx; swapped = true; break;
    default: break;
  }
  const float ufx = swapped ? fy : fx;
  const float ufy = swapped ? fx : fy;
  return {ufx, 0, ux, 0, ufy, uy, 0, 0, 1};
}

DetectFaceRectanglesRequest::DetectFaceRectanglesRequest(CompletionHandler completion)
    : DetectFaceRectanglesRequest(FaceDetector::make(), std::move(completion)) {}

DetectFaceRectanglesRequest::DetectFaceRectanglesRequest(FaceDetectorPtr detector,
                                                         CompletionHandler completion)
    : VisionRequest(std::move(completion)), detector_(std::move(detector)) {
  if (!detector_) {
    throw VisionError(VisionErrorCode::invalidArgument, "No face detector was given.");
  }
}

std::vector<FaceObservationPtr> DetectFaceRectanglesRequest::faceResults() const {
  std::vector<FaceObservationPtr> faces;
  for (const auto& o : results()) {
    if (auto face = std::dynamic_pointer_cast<FaceObservation>(o)) faces.push_back(face);
  }
  return faces;
}

std::vector<ObservationPtr> DetectFaceRectanglesRequest::observe(const VisionImage& image) {
  std::optional<CameraIntrinsics> intrinsics = image.options.cameraIntrinsics;
  if (intrinsics && image.pixelBuffer) {
    intrinsics = intrinsicsForUprightPicture(*intrinsics, image.exifOrientation,
                                             image.pixelBuffer->width(),
                                             image.pixelBuffer->height());
  }
  const bool withPitch = deviceReportsFacePitch();
  std::vector<ObservationPtr> out;
  for (const auto& found : detector_->detectFaces(image.uprightRGBA, intrinsics)) {
    if (!found) continue;
    // A copy: a scripted detector may hand the same observation out again.
    auto face = std::make_shared<FaceObservation>(*found);
    if (!isFinite(face->boundingBox)) face->boundingBox = Rect();
    face->pitch = withPitch ? finiteOrNothing(face->pitch) : std::nullopt;
    face->yaw = finiteOrNothing(face->yaw);
    face->roll = finiteOrNothing(face->roll);
    if (!std::isfinite(face->confidence)) face->confidence = 0;
    out.push_back(std::move(face));
  }
  return out;
}

}  // namespace ostrel::platform
