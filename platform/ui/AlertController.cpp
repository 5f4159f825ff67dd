#include "platform/ui/AlertController.hpp"

#include "platform/foundation/Make.hpp"
#include "platform/ui/Device.hpp"

namespace ostrel::platform {

std::shared_ptr<AlertController> AlertController::make(std::optional<std::string> title,
                                                       std::optional<std::string> message,
                                                       AlertControllerStyle style) {
  auto alert = platform::make<AlertController>();
  alert->title_ = std::move(title);
  alert->message_ = std::move(message);
  alert->style_ = style;
  alert->modalPresentationStyle = ModalPresentationStyle::overFullScreen;
  return alert;
}

PopoverAnchor* AlertController::popoverPresentationController() {
  if (style_ != AlertControllerStyle::actionSheet ||
      Device::current().userInterfaceIdiom() != UserInterfaceIdiom::pad)
    return nullptr;
  if (!popover_) popover_.emplace();
  return &*popover_;
}

bool AlertController::performAction(const std::string& title) {
  for (const auto& action : actions_) {
    if (action.title != title) continue;
    auto handler = action.handler;
    auto self = shared<AlertController>();
    // The alert goes first; its handler runs once it is gone (also when nothing presents it).
    if (!dismiss(true, [handler] {
          if (handler) handler();
        })) {
      if (handler) handler();
    }
    (void)self;
    return true;
  }
  return false;
}

}  // namespace ostrel::platform
