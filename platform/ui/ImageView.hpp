#pragma once

#include "platform/media/Image.hpp"
#include "platform/ui/View.hpp"

namespace ostrel::platform {

class ImageView : public View {
 public:
  explicit ImageView(Rect frame = {}) : View(frame) { setUserInteractionEnabled(false); }
  explicit ImageView(ImagePtr image)
      : View(image ? Rect{{0, 0}, image->size()} : Rect{}), image_(std::move(image)) {
    setUserInteractionEnabled(false);
  }

  const ImagePtr& image() const { return image_; }
  void setImage(ImagePtr image) {
    image_ = std::move(image);
    invalidateIntrinsicContentSize();
  }
  Size intrinsicContentSize() const override {
    return image_ ? image_->size() : Size{kNoIntrinsicMetric, kNoIntrinsicMetric};
  }

 private:
  ImagePtr image_;
};

}  // namespace ostrel::platform
