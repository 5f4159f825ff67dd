#include "ui/OstrelToast.hpp"

#include <algorithm>

#include "platform/foundation/Make.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/ui/Animation.hpp"
#include "platform/ui/Text.hpp"

namespace ostrel {

using namespace platform;

OstrelToast::OstrelToast(const std::string& message) : View(Rect{}), message_(message) {}

void OstrelToast::didMake() {
  View::didMake();
  messageLabel = make<Label>();
  messageLabel->setFont(Font::systemFont(14, FontWeight::semibold));
  messageLabel->textAlignment = TextAlignment::center;
  messageLabel->setNumberOfLines(1);
  messageLabel->translatesAutoresizingMaskIntoConstraints = false;
  messageLabel->setText(message_);
}

void OstrelToast::show() {
  auto parent = superview();
  if (!parent) return;
  translatesAutoresizingMaskIntoConstraints = false;
  LayoutConstraint::activate(
      {heightAnchor().constraintGreaterThanOrEqualToConstant(kMinHeight),
       widthAnchor().constraintGreaterThanOrEqualToConstant(kMinWidth),
       centerXAnchor().constraintEqualTo(parent->centerXAnchor()),
       leadingAnchor().constraintGreaterThanOrEqualTo(parent->leadingAnchor(), kSideMargin),
       trailingAnchor().constraintLessThanOrEqualTo(parent->trailingAnchor(), -kSideMargin),
       topAnchor().constraintEqualTo(parent->layoutMarginsGuide()->topAnchor(), 0)});
  addSubview(messageLabel);
  LayoutConstraint::activate(
      {messageLabel->topAnchor().constraintEqualTo(topAnchor(), kLabelVertical),
       messageLabel->bottomAnchor().constraintEqualTo(bottomAnchor(), -kLabelVertical),
       messageLabel->leadingAnchor().constraintEqualTo(leadingAnchor(), kLabelHorizontal),
       messageLabel->trailingAnchor().constraintEqualTo(trailingAnchor(), -kLabelHorizontal)});
  shown_ = true;
  applyStyle();
}

void OstrelToast::show(const std::shared_ptr<View>& view) {
  if (!view) return;
  if (superview() != view) view->addSubview(shared<View>());
  show();
}

void OstrelToast::layOutInSuperview() {
  auto parent = superview();
  if (!parent || !shown_) return;
  Size text = messageLabel->intrinsicContentSize();
  double width = std::min(parent->bounds().width() - 2 * kSideMargin,
                          std::max(kMinWidth, text.width + 2 * kLabelHorizontal));
  double height = std::max(kMinHeight, text.height + 2 * kLabelVertical);
  double top = parent->bounds().minY() + parent->safeAreaInsets().top + parent->layoutMargins().top;
  setFrame({parent->bounds().minX() + (parent->bounds().width() - width) / 2, top, width, height});
}

void OstrelToast::layoutSubviews() {
  View::layoutSubviews();
  if (messageLabel->superview().get() == this) {
    messageLabel->setFrame(
        bounds().insetBy({kLabelVertical, kLabelHorizontal, kLabelVertical, kLabelHorizontal}));
  }
}

void OstrelToast::applyStyle() {
  layOutInSuperview();
  layoutIfNeeded();
  setClipsToBounds(true);
  layer()->zPosition = 999;
  layer()->cornerRadius = frame().height() / 2;
  double grey = traitStyle() == UserInterfaceStyle::light ? 0.99 : 0.13;
  setBackgroundColor(Color{grey, grey, grey, 1});
  layer()->masksToBounds = false;
  layer()->shadowOffset = {0, 4};
  layer()->shadowColor = Color::black().withAlphaComponent(0.09);
  layer()->shadowOpacity = 1.0;
  layer()->shadowRadius = 8;
}

void OstrelToast::traitCollectionDidChange(UserInterfaceStyle previous) {
  View::traitCollectionDidChange(previous);
  std::weak_ptr<OstrelToast> weakSelf = weak<OstrelToast>();
  View::animate(0.5, [weakSelf] {
    if (auto self = weakSelf.lock()) self->applyStyle();
  });
}

void OstrelToast::hide(double delay) {
  std::weak_ptr<OstrelToast> weakSelf = weak<OstrelToast>();
  DispatchQueue::main()->asyncAfter(delay, [weakSelf] {
    auto toast = weakSelf.lock();
    if (!toast || !toast->superview()) return;
    AnimationOptions options;
    options.beginFromCurrentState = true;
    options.curve = TimingFunction::easeIn;
    View::animate(
        0.2, 0, options,
        [weakSelf] {
          if (auto self = weakSelf.lock()) {
            self->setTransform(AffineTransform::scale(0.9, 0.9).translatedBy(0, -100));
          }
        },
        [weakSelf](bool) {
          if (auto self = weakSelf.lock()) self->removeFromSuperview();
        });
  });
}

}  // namespace ostrel
