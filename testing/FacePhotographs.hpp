#pragma once

#include <opencv2/core.hpp>

#include <optional>

#include "platform/media/Geometry.hpp"

#include "platform/foundation/PlatformError.hpp"
#include "platform/media/PixelBuffer.hpp"
#include "platform/vision/VisionRequest.hpp"
#include "testing/DeterministicRuntime.hpp"

namespace ostrel::testing {

// A real frontal portrait (a public-domain photograph from Debian's python-matplotlib-data,
// 512 x 600), upright RGBA, read once per process. Frames for the real face detector are
// composed from it at run time.
const cv::Mat& facePhotographRGBA();

// `picture` turned in the picture plane by `degrees` counter-clockwise as it is seen, about its
// centre, on a canvas of the same size (the corners filled from the edges).
cv::Mat rotatedInPlane(const cv::Mat& picture, double degrees);

// `picture` mirrored left to right.
cv::Mat mirrored(const cv::Mat& picture);

// Two pictures of the same height next to each other.
cv::Mat sideBySide(const cv::Mat& left, const cv::Mat& right);

// `picture` scaled by `factor` and centred on a mid-grey canvas of `canvas`.
cv::Mat scaledOnCanvas(const cv::Mat& picture, double factor, cv::Size canvas);

// A camera buffer (BGRA) holding `uprightRGBA` stored so that EXIF orientation 5 (transpose),
// the front camera's, shows it upright again.
platform::PixelBufferPtr transposedCameraBuffer(const cv::Mat& uprightRGBA);

// The portrait's face as the landmark detector finds it (normalised, origin bottom-left),
// found once per process on a worker thread (it loads the landmark model there).
platform::Rect portraitFaceBox();

// A camera picture of `frameSize` (upright RGBA) on which the portrait's face, stretched over
// the preview `reference` as the face screen shows it, is centred on `circle` and
// `widthOfCircle` of its width wide. The face screen compares the face box with its capture
// circle without correcting the preview's aspect fill, so on a tall screen a 3:4 picture's
// face comes out about 1.6 times taller than wide: about 0.4 of the circle keeps it inside.
cv::Mat portraitFrameFor(const platform::Rect& circle, const platform::Rect& reference,
                         cv::Size frameSize = cv::Size(480, 640), double widthOfCircle = 0.38);

// Performs `request` through an image request handler on a serial queue, as the camera's frame
// path does (the landmark model is never loaded on the main queue), and plays the runtime until
// it is done. Answers the error `perform` threw, if any.
std::optional<platform::PlatformError> performOnCameraQueue(
    DeterministicRuntime& runtime, const platform::VisionRequestPtr& request,
    platform::PixelBufferPtr buffer, int exifOrientation = 5,
    platform::ImageRequestHandlerOptions options = {});

}  // namespace ostrel::testing
