#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/media/Image.hpp"
#include "platform/ui/Control.hpp"
#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"

namespace ostrel::platform {

// A push button: titles, title colours and images per state (a state without its own falls
// back to the normal one), a title label and an image view.
class Button : public Control {
 public:
  explicit Button(Rect frame = {});
  void didMake() override;

  void setTitle(std::optional<std::string> title, ControlState state);
  std::optional<std::string> title(ControlState state) const;
  std::optional<std::string> currentTitle() const { return title(state()); }
  // A styled title for the state; it takes the place of the plain title there.
  void setAttributedTitle(std::optional<AttributedString> title, ControlState state);
  std::optional<AttributedString> attributedTitle(ControlState state) const;
  void setTitleColor(std::optional<Color> color, ControlState state);
  std::optional<Color> titleColor(ControlState state) const;
  void setImage(ImagePtr image, ControlState state);
  ImagePtr image(ControlState state) const;
  ImagePtr currentImage() const { return image(state()); }

  const std::shared_ptr<Label>& titleLabel() const { return titleLabel_; }
  const std::shared_ptr<ImageView>& imageView() const { return imageView_; }
  EdgeInsets imageEdgeInsets;
  EdgeInsets contentEdgeInsets;
  EdgeInsets titleEdgeInsets;

  void setEnabled(bool enabled) override;
  void setHighlighted(bool highlighted) override;
  void layoutSubviews() override;
  Size intrinsicContentSize() const override;

 private:
  void refresh();
  std::map<ControlState, std::string> titles_;
  std::map<ControlState, AttributedString> attributedTitles_;
  std::map<ControlState, Color> titleColors_;
  std::map<ControlState, ImagePtr> images_;
  std::shared_ptr<Label> titleLabel_;
  std::shared_ptr<ImageView> imageView_;
};

}  // namespace ostrel::platform
