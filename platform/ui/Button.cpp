#include "platform/ui/Button.hpp"

#include <algorithm>

#include "platform/foundation/Make.hpp"

namespace ostrel::platform {

Button::Button(Rect frame) : Control(frame) {}

void Button::didMake() {
  Control::didMake();
  titleLabel_ = make<Label>();
  imageView_ = make<ImageView>();
  // The title and the picture sit in the middle of the button, as the platform's buttons centre
  // their content; both views fill the content rectangle, so the centring is theirs to do.
  titleLabel_->textAlignment = TextAlignment::center;
  imageView_->setContentMode(ContentMode::scaleAspectFit);
  titleColors_[ControlState::normal] = Color::white();
  addSubview(imageView_);
  addSubview(titleLabel_);
  refresh();
}

void Button::setTitle(std::optional<std::string> title, ControlState state) {
  if (title) {
    titles_[state] = *title;
  } else {
    titles_.erase(state);
  }
  refresh();
}

std::optional<std::string> Button::title(ControlState state) const {
  if (auto it = titles_.find(state); it != titles_.end()) return it->second;
  if (auto it = titles_.find(ControlState::normal); it != titles_.end()) return it->second;
  return std::nullopt;
}

void Button::setTitleColor(std::optional<Color> color, ControlState state) {
  if (color) {
    titleColors_[state] = *color;
  } else {
    titleColors_.erase(state);
  }
  refresh();
}

std::optional<Color> Button::titleColor(ControlState state) const {
  if (auto it = titleColors_.find(state); it != titleColors_.end()) return it->second;
  if (auto it = titleColors_.find(ControlState::normal); it != titleColors_.end())
    return it->second;
  return std::nullopt;
}

void Button::setImage(ImagePtr image, ControlState state) {
  if (image) {
    images_[state] = std::move(image);
  } else {
    images_.erase(state);
  }
  refresh();
}

ImagePtr Button::image(ControlState state) const {
  if (auto it = images_.find(state); it != images_.end()) return it->second;
  if (auto it = images_.find(ControlState::normal); it != images_.end()) return it->second;
  return nullptr;
}

void Button::setEnabled(bool enabled) {
  Control::setEnabled(enabled);
  refresh();
}

void Button::setHighlighted(bool highlighted) {
  Control::setHighlighted(highlighted);
  refresh();
}

void Button::setAttributedTitle(std::optional<AttributedString> title, ControlState state) {
  if (title) {
    attributedTitles_[state] = std::move(*title);
  } else {
    attributedTitles_.erase(state);
  }
  refresh();
}

std::optional<AttributedString> Button::attributedTitle(ControlState state) const {
  auto it = attributedTitles_.find(state);
  if (it == attributedTitles_.end()) it = attributedTitles_.find(ControlState::normal);
  if (it == attributedTitles_.end()) return std::nullopt;
  return it->second;
}

void Button::refresh() {
  if (!titleLabel_) return;
  auto s = state();
  if (auto styled = attributedTitle(s)) {
    titleLabel_->setAttributedText(styled);
  } else {
    titleLabel_->setText(title(s));
  }
  // A styled title's own colour wins over the state's title colour, as on the platform.
  auto styled = attributedTitle(s);
  if (auto c = titleColor(s); c && !(styled && styled->foregroundColor)) {
    titleLabel_->setTextColor(*c);
  }
  imageView_->setImage(image(s));
  setNeedsLayout();
}

void Button::layoutSubviews() {
  if (!titleLabel_) return;
  Rect content = bounds().insetBy(contentEdgeInsets);
  auto picture = currentImage();
  const bool titled = titleLabel_->text() && !titleLabel_->text()->empty();
  if (!picture || !titled) {
    imageView_->setFrame(picture ? content.insetBy(imageEdgeInsets) : Rect{});
    titleLabel_->setFrame(content.insetBy(titleEdgeInsets));
    return;
  }
  // Picture and title side by side, the pair centred, the picture leading: the picture at its
  // own size (no taller than the content) inset by its insets; the title's horizontal insets
  // are the room between them.
  Size pictureSize = picture->size();
  if (pictureSize.height > content.height() && pictureSize.height > 0) {
    pictureSize = {pictureSize.width * content.height() / pictureSize.height, content.height()};
  }
  Size titleSize = titleLabel_->intrinsicContentSize();
  const double gap = titleEdgeInsets.left - titleEdgeInsets.right;
  titleSize.width =
      std::min(titleSize.width, std::max(0.0, content.width() - pictureSize.width - gap));
  const double left = content.midX() - (pictureSize.width + gap + titleSize.width) / 2;
  const Rect pictureRect{left, content.midY() - pictureSize.height / 2, pictureSize.width,
                         pictureSize.height};
  imageView_->setFrame(pictureRect.insetBy(imageEdgeInsets));
  titleLabel_->setFrame({pictureRect.maxX() + gap,
                         content.midY() - titleSize.height / 2 + titleEdgeInsets.top -
                             titleEdgeInsets.bottom,
                         titleSize.width, titleSize.height});
}

Size Button::intrinsicContentSize() const {
  Size s{0, 0};
  if (titleLabel_ && titleLabel_->text()) s = titleLabel_->intrinsicContentSize();
  if (auto img = currentImage()) {
    s.width += img->size().width;
    s.height = std::max(s.height, img->size().height);
  }
  return {s.width + contentEdgeInsets.left + contentEdgeInsets.right,
          s.height + contentEdgeInsets.top + contentEdgeInsets.bottom};
}

}  // namespace ostrel::platform
