#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/camera/CaptureDevice.hpp"

namespace ostrel::platform {

// Where an OpenCV videoio camera reads from: a V4L2 device node ("/dev/video0"), or any other
// source videoio opens with the given API (an image sequence "dir/img_%03d.png" with
// cv::CAP_IMAGES, which is how machines without a webcam run this backend).
struct VideoIOSource {
  std::string name;
  int apiPreference = 200;  // cv::CAP_V4L2
  // Image sequences have no clock of their own; they are played at the device's frame rate.
  bool paced() const;
};

// The real cameras: any UVC webcam through V4L2. A desktop has one camera, so unless sources are
// given per position, both positions use the first video device that opens. Frames are written
// the way a phone's sensor writes them (see `sensorLayoutFromUpright`), so a device's formats
// and presets give buffer sizes turned from the webcam's picture size. What V4L2 lacks is
// reported as unsupported: no torch, no focus range, no stabilisation, no intrinsics. Zoom uses
// the camera's own zoom where it has one, else crops the centre and scales it back. Each running
// session has one grab thread, named "ostrel-camera".
class VideoIOCameraBackend : public CameraBackend {
 public:
  // The first /dev/video* node that opens, for both positions.
  VideoIOCameraBackend();
  // One source for both positions.
  explicit VideoIOCameraBackend(VideoIOSource source);
  // A source per position.
  explicit VideoIOCameraBackend(std::vector<std::pair<CaptureDevicePosition, VideoIOSource>> sources);

  // Opens each source once, the first time it is asked, to learn what it can do; a source that
  // does not open gives no camera.
  std::vector<CaptureDevicePtr> devices() override;

 private:
  std::mutex mutex_;
  bool probed_ = false;
  bool scanDeviceNodes_ = false;
  std::vector<std::pair<CaptureDevicePosition, VideoIOSource>> sources_;
  std::vector<CaptureDevicePtr> devices_;
};

}  // namespace ostrel::platform
