#pragma once

#include <memory>
#include <optional>

#include "platform/ui/Button.hpp"

namespace ostrel {

// A new 30 x 30 button showing the resource bundle's "icon_close" (in `tint` when given), image
// insets 4, 8, 4, 0, with `action` on touch-up-inside while `target` lives.
std::shared_ptr<platform::Button> makeCloseButton(
    std::weak_ptr<const void> target, platform::Control::Action action,
    std::optional<platform::Color> tint = std::nullopt);

template <class T>
std::shared_ptr<platform::Button> makeCloseButton(
    const std::shared_ptr<T>& target, std::function<void(T&)> action,
    std::optional<platform::Color> tint = std::nullopt) {
  std::weak_ptr<T> weakTarget = target;
  return makeCloseButton(
      std::weak_ptr<const void>(std::shared_ptr<const void>(target)),
      [weakTarget, action = std::move(action)](platform::Control&) {
        if (auto strong = weakTarget.lock()) action(*strong);
      },
      tint);
}

}  // namespace ostrel
