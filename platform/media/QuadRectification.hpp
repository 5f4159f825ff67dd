#pragma once

#include <optional>

#include <opencv2/core.hpp>

#include "platform/media/Geometry.hpp"

namespace ostrel::platform {

// The quadrilateral `topLeft`, `topRight`, `bottomRight`, `bottomLeft` (pixel coordinates of
// `rgba`, origin top-left) cut out of the picture and straightened into a rectangle, sampled
// bilinearly. The rectangle is round(max(|TR - TL|, |BR - BL|)) wide and
// round(max(|BL - TL|, |BR - TR|)) high. Nothing for an empty picture, corners that are not
// finite, a quadrilateral without area (or with three corners on a line), or a size under one
// pixel or beyond what a picture may hold.
std::optional<cv::Mat> perspectiveCorrected(const cv::Mat& rgba, Point topLeft, Point topRight,
                                            Point bottomRight, Point bottomLeft);

}  // namespace ostrel::platform
