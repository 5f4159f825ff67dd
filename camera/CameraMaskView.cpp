#include "camera/CameraMaskView.hpp"

#include <algorithm>

#include "core/CurrentConfig.hpp"
#include "platform/media/Path.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using platform::BlendMode;
using platform::Color;
using platform::GraphicsContext;
using platform::Path;
using platform::Rect;

namespace {

// Erases `hole`: what the camera shows through.
void cutHole(GraphicsContext& context, const Path& hole) {
  context.setBlendMode(BlendMode::clear);
  context.setFillColor(Color::clear());
  context.fillPath(hole, platform::PathFillRule::winding);
  context.setBlendMode(BlendMode::normal);
}

Rect targetFrame(const std::shared_ptr<platform::View>& target, const CameraMaskView& in) {
  // Without a target there is no hole to cut.
  if (!target) return {};
  return target->convertRectTo(target->bounds(), &in);
}

}  // namespace

Rect Mask::maskFrame(const CameraMaskView&) const { return {}; }

void Mask::draw(GraphicsContext&, Rect) const {}

Rect RoundRectMask::maskFrame(const CameraMaskView& in) const { return targetFrame(_targetView, in); }

void RoundRectMask::draw(GraphicsContext& context, Rect rect) const {
  cutHole(context, Path::roundedRect(rect, 16));
  // The mark goes through the context's own image drawing, as the card screen always drew it.
  if (auto icon = platform::Image::named("icon_center", *resourceBundle()); icon && icon->hasBitmap())
    context.draw(icon->bitmap(), Rect(rect.midX() - 23, rect.midY() - 13, 46, 26));
}

void CircleMark::draw(GraphicsContext& context, Rect rect) const {
  Path circle = Path::roundedRect(rect, rect.width() * 0.5);
  cutHole(context, circle);
  context.setStrokeColor(colorFromHex("#F0F0F3"));
  context.setLineWidth(10);
  context.strokePath(circle);
}

Rect OvalMask::maskFrame(const CameraMaskView& in) const {
  auto size = in.frame().size;
  double w = std::min(kMaxWidth, size.width) - 35;
  double h = w / 239 * 316;
  return {(size.width - w) * 0.5, (size.height - h) * 0.5, w, h};
}

void OvalMask::draw(GraphicsContext& context, Rect rect) const {
  Path oval = Path::ellipse(rect);
  cutHole(context, oval);
  context.setStrokeColor(Color{0.129, 0.282, 0.537, 1.0});
  context.setLineWidth(2);
  context.strokePath(oval);
}

void CameraMaskView::setup() { setBackgroundColor(Color::clear()); }

void CameraMaskView::updateDrawMask() {
  switch (maskType.kind) {
    case CameraMaskType::Kind::roundRectangle:
      drawMask = std::make_shared<RoundRectMask>(maskType.targetView);
      break;
    case CameraMaskType::Kind::circle:
      drawMask = std::make_shared<CircleMark>(maskType.targetView);
      break;
    case CameraMaskType::Kind::Oval: drawMask = std::make_shared<OvalMask>(); break;
  }
}

void CameraMaskView::draw(Rect rect) {
  currentFrame = bounds();
  cropFrame = drawMask ? drawMask->maskFrame(*this) : Rect{};
  auto context = platform::currentImageContext();
  if (!context) return;
  context->setFillColor(colorFromHex(currentAppearance()->backgroundColor));
  context->fill(rect);
  if (drawMask) drawMask->draw(*context, cropFrame);
}

}  // namespace ostrel
