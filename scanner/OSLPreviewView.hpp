#pragma once

#include <memory>

#include "platform/camera/CaptureVideoPreviewLayer.hpp"
#include "platform/ui/View.hpp"

namespace ostrel {

// A view that shows the camera: its backing layer is a preview layer from the moment it is
// made, so `videoPreviewLayer()` is never anything else.
class OSLPreviewView : public platform::View {
 public:
  explicit OSLPreviewView(platform::Rect frame = {});

  std::shared_ptr<platform::CaptureVideoPreviewLayer> videoPreviewLayer() const;
};

}  // namespace ostrel
