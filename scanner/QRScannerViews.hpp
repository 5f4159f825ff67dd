#pragma once

#include <memory>

#include "platform/media/Color.hpp"
#include "platform/ui/Button.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/Layer.hpp"
#include "platform/ui/View.hpp"

namespace ostrel {

// The scan window: four rounded corner brackets in `color`. Each leg runs along its edge from
// `radius` + `length` to twice the radius from the corner, and a quadratic curve through the
// corner joins the two legs; strokes `thickness` wide with round caps, kept inside the view.
// Setting any field redraws it.
class QRScannerFrame : public platform::View {
 public:
  explicit QRScannerFrame(platform::Rect frame = {});

  double length() const { return length_; }
  void setLength(double value);
  platform::Color color() const { return color_; }
  void setColor(platform::Color value);
  double radius() const { return radius_; }
  void setRadius(double value);
  double thickness() const { return thickness_; }
  void setThickness(double value);

  void draw(platform::Rect rect) override;

 private:
  double length_ = 25;
  platform::Color color_ = platform::Color::systemGreen();
  double radius_ = 10;
  double thickness_ = 5;
};

// A round icon button: white tint on black at half opacity, kept a circle at every layout.
class RoundButton : public platform::Button {
 public:
  explicit RoundButton(platform::Rect frame = {});
  void layoutSubviews() override;
};

// A button drawn as a white cross over its bounds.
class CloseButton : public platform::Button {
 public:
  explicit CloseButton(platform::Rect frame = {});
  void layoutSubviews() override;
  const std::shared_ptr<platform::ShapeLayer> crossLayer = std::make_shared<platform::ShapeLayer>();
};

// A label whose text sits inside `edgeInsets`.
class PaddingLabel : public platform::Label {
 public:
  explicit PaddingLabel(platform::Rect frame = {}) : Label(frame) {}
  platform::EdgeInsets edgeInsets{10, 20, 10, 20};

  void drawText(platform::Rect rect) override;
  platform::Size intrinsicContentSize() const override;
  void setBounds(platform::Rect bounds) override;
};

}  // namespace ostrel
