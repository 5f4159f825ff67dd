#pragma once

#include <memory>

#include "platform/media/GraphicsContext.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/ui/View.hpp"
#include "ui/OstrelBaseViews.hpp"

namespace ostrel {

class CameraMaskView;

// Draws one shape of hole for a `CameraMaskView`.
class Mask {
 public:
  virtual ~Mask() = default;
  // The hole's rectangle in the mask view's coordinates.
  virtual platform::Rect maskFrame(const CameraMaskView& in) const;
  // Cuts the hole at `rect` and draws what goes round it.
  virtual void draw(platform::GraphicsContext& context, platform::Rect rect) const;
};

// A rounded rectangle (radius 16) round the target view, with the centre mark in the middle.
class RoundRectMask : public Mask {
 public:
  explicit RoundRectMask(std::shared_ptr<platform::View> targetView)
      : _targetView(std::move(targetView)) {}
  platform::Rect maskFrame(const CameraMaskView& in) const override;
  void draw(platform::GraphicsContext& context, platform::Rect rect) const override;

 protected:
  std::shared_ptr<platform::View> _targetView;
};

// A circle round the target view (a rounded rectangle of half its width), outlined 10 points
// wide in "#F0F0F3".
class CircleMark : public RoundRectMask {
 public:
  using RoundRectMask::RoundRectMask;
  void draw(platform::GraphicsContext& context, platform::Rect rect) const override;
};

// A centred oval: width min(384, W) - 35, height width / 239 * 316, outlined 2 points wide.
class OvalMask : public Mask {
 public:
  static constexpr double kMaxWidth = 384.0;
  platform::Rect maskFrame(const CameraMaskView& in) const override;
  void draw(platform::GraphicsContext& context, platform::Rect rect) const override;
};

// The overlay above a camera preview: the appearance's background colour everywhere except a
// transparent hole the camera shows through. The owner picks the shape with `maskType` and
// calls `updateDrawMask()`; the hole's rectangle (`cropFrame`) is known once the view has drawn.
class CameraMaskView : public OstrelBaseWithoutNibView {
 public:
  struct CameraMaskType {
    enum class Kind { roundRectangle, circle, Oval };
    Kind kind = Kind::Oval;
    std::shared_ptr<platform::View> targetView;

    static CameraMaskType roundRectangle(std::shared_ptr<platform::View> targetView) {
      return {Kind::roundRectangle, std::move(targetView)};
    }
    static CameraMaskType circle(std::shared_ptr<platform::View> targetView) {
      return {Kind::circle, std::move(targetView)};
    }
    static CameraMaskType Oval() { return {Kind::Oval, nullptr}; }
  };

  using OstrelBaseWithoutNibView::OstrelBaseWithoutNibView;

  // The bounds at the last drawing.
  platform::Rect currentFrame;
  // The hole at the last drawing, in this view's coordinates.
  platform::Rect cropFrame;
  CameraMaskType maskType;
  // Starts as the drawer of the starting `maskType`.
  std::shared_ptr<Mask> drawMask = std::make_shared<OvalMask>();

  void setup() override;
  // A new drawer for the current `maskType`. Does not redraw: owners that need the new
  // `cropFrame` mark the view as needing display.
  void updateDrawMask();
  void draw(platform::Rect rect) override;
};

}  // namespace ostrel
