#include "platform/camera/SensorLayout.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace ostrel::platform {

cv::Mat sensorLayoutFromUpright(const cv::Mat& upright, CaptureDevicePosition position) {
  cv::Mat out;
  if (position == CaptureDevicePosition::front)
    cv::transpose(upright, out);
  else
    cv::rotate(upright, out, cv::ROTATE_90_COUNTERCLOCKWISE);
  return out;
}

std::size_t driverRowStride(int width) {
  std::size_t row = std::size_t(width > 0 ? width : 0) * 4;
  return (row + 63) / 64 * 64;
}

}  // namespace ostrel::platform
