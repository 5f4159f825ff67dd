#include "scanner/QRScannerViews.hpp"

#include "platform/media/GraphicsContext.hpp"

namespace ostrel {

using namespace platform;

QRScannerFrame::QRScannerFrame(Rect frame) : View(frame) {
  setBackgroundColor(Color::clear());
}

void QRScannerFrame::setLength(double value) {
  length_ = value;
  setNeedsDisplay();
}
void QRScannerFrame::setColor(Color value) {
  color_ = value;
  setNeedsDisplay();
}
void QRScannerFrame::setRadius(double value) {
  radius_ = value;
  setNeedsDisplay();
}
void QRScannerFrame::setThickness(double value) {
  thickness_ = value;
  setNeedsDisplay();
}

void QRScannerFrame::draw(Rect rect) {
  View::draw(rect);
  auto context = currentImageContext();
  if (!context) return;
  context->setStrokeColor(color_);
  const double h = thickness_ / 2, r = radius_, L = length_;
  const double W = frame().width(), H = frame().height();
  Path path;
  // Each corner: a leg along one edge, a curve through the (inset) corner, a leg along the
  // other edge.
  path.moveTo({h, h + r + L}).lineTo({h, h + 2 * r}).quadCurveTo({h + 2 * r, h}, {h, h})
      .lineTo({h + L + r, h});
  path.moveTo({W - h, h + L + r}).lineTo({W - h, h + 2 * r})
      .quadCurveTo({W - 2 * r - h, h}, {W - h, h}).lineTo({W - L - r - h, h});
  path.moveTo({h, H - L - r - h}).lineTo({h, H - 2 * r - h})
      .quadCurveTo({h + 2 * r, H - h}, {h, H - h}).lineTo({h + L + r, H - h});
  path.moveTo({W - h, H - L - r - h}).lineTo({W - h, H - 2 * r - h})
      .quadCurveTo({W - 2 * r - h, H - h}, {W - h, H - h}).lineTo({W - L - r - h, H - h});
  context->setLineWidth(thickness_);
  context->setLineCap(LineCap::round);
  context->strokePath(path);
}

RoundButton::RoundButton(Rect frame) : Button(frame) {
  setTintColor(Color::white());
  setBackgroundColor(Color{0, 0, 0, 0.5});
  setContentMode(ContentMode::scaleAspectFit);
  layer()->cornerRadius = bounds().height() / 2;
  setClipsToBounds(true);
}

void RoundButton::layoutSubviews() {
  Button::layoutSubviews();
  layer()->cornerRadius = bounds().height() / 2;
  setClipsToBounds(true);
}

CloseButton::CloseButton(Rect frame) : Button(frame) {
  crossLayer->lineWidth = 2;
  crossLayer->strokeColor = Color::white();
  crossLayer->fillColor = Color::clear();
  layer()->addSublayer(crossLayer);
}

void CloseButton::layoutSubviews() {
  Button::layoutSubviews();
  const double W = bounds().width(), H = bounds().height();
  Path cross;
  cross.moveTo({W, H}).lineTo({0, 0}).moveTo({0, H}).lineTo({W, 0});
  crossLayer->path = cross;
  crossLayer->frame.origin = {bounds().minX(), bounds().minY()};
}

void PaddingLabel::drawText(Rect rect) {
  Label::drawText({rect.minX() + edgeInsets.left, rect.minY() + edgeInsets.top,
                   rect.width() - edgeInsets.left - edgeInsets.right,
                   rect.height() - edgeInsets.top - edgeInsets.bottom});
}

Size PaddingLabel::intrinsicContentSize() const {
  Size size = Label::intrinsicContentSize();
  return {size.width + edgeInsets.left + edgeInsets.right,
          size.height + edgeInsets.top + edgeInsets.bottom};
}

void PaddingLabel::setBounds(Rect bounds) {
  Label::setBounds(bounds);
  preferredMaxLayoutWidth = bounds.width() - (edgeInsets.left + edgeInsets.right);
}

}  // namespace ostrel
