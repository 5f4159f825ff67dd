#include "testing/FaceScreenPortrait.hpp"

#include "liveness/OSLFaceVC.hpp"
#include "testing/FacePhotographs.hpp"

namespace ostrel::testing {

cv::Mat portraitFrameForFaceScreen(cv::Size frameSize) {
  // A screen of the kind the flows show, laid out but never presented.
  auto probe = OSLFaceVC::create(OSLFaceLivenessVersion::passive, true);
  probe->loadViewIfNeeded();
  probe->view()->layoutIfNeeded();
  return portraitFrameFor(probe->cameraMarkView->cropFrame, probe->cameraView->bounds(),
                          frameSize);
}

}  // namespace ostrel::testing
