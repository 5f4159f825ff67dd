#include "scanner/OSLPreviewView.hpp"

namespace ostrel {

OSLPreviewView::OSLPreviewView(platform::Rect frame) : View(frame) {
  setLayer(std::make_shared<platform::CaptureVideoPreviewLayer>());
}

std::shared_ptr<platform::CaptureVideoPreviewLayer> OSLPreviewView::videoPreviewLayer() const {
  return std::static_pointer_cast<platform::CaptureVideoPreviewLayer>(layer());
}

}  // namespace ostrel
