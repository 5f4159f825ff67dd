#include "ui/CloseButton.hpp"

#include "platform/foundation/Make.hpp"
#include "ui/ImageExtensions.hpp"
#include "ui/ResourceBundle.hpp"

namespace ostrel {

using namespace platform;

std::shared_ptr<Button> makeCloseButton(std::weak_ptr<const void> target, Control::Action action,
                                        std::optional<Color> tint) {
  auto button = make<Button>(Rect{0, 0, 30, 30});
  auto image = Image::named("icon_close", *resourceBundle());
  if (image && tint) image = tinted(image, *tint);
  button->setImage(image, ControlState::normal);
  button->addTarget(std::move(target), std::move(action), ControlEvent::touchUpInside);
  button->imageEdgeInsets = {4, 8, 4, 0};
  return button;
}

}  // namespace ostrel
