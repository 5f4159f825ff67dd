#pragma once

#include <opencv2/core.hpp>

namespace ostrel::testing {

// What the front camera sees of a user who holds their face in the face screen's capture circle:
// the Debian portrait (`facePhotographRGBA`) composed by `portraitFrameFor` onto an upright
// picture of `frameSize` where the screen, laid out for the main screen's size, has its circle.
// For runs on the image-file cameras (the demo, the flow benchmark), so that the real face
// detector sees a face it accepts. Runs on the main queue (it lays out a face screen to measure
// it).
cv::Mat portraitFrameForFaceScreen(cv::Size frameSize = cv::Size(480, 640));

}  // namespace ostrel::testing
