#include "ui/LocalisableLabel.hpp"

#include "platform/foundation/Bundle.hpp"
#include "platform/ui/Text.hpp"

namespace ostrel {

using namespace platform;

void LocalisableLabel::setLocalisedKey(std::optional<std::string> key) {
  localisedKey_ = std::move(key);
  if (localisedKey_) setText(Bundle::main()->localizedString(*localisedKey_, "", ""));
}

void LocalisableButton::setLocalisedKey(std::optional<std::string> key) {
  localisedKey_ = std::move(key);
  if (!localisedKey_) return;
  std::string title = uppercased(*localisedKey_);
  View::performWithoutAnimation([this, &title] {
    setTitle(title, ControlState::normal);
    layoutIfNeeded();
  });
}

std::optional<std::string> localizableText(const Label& label) {
  return label.text();
}

void setLocalizableText(Label& label, std::optional<std::string> key) {
  if (key) label.setText(Bundle::main()->localizedString(*key, "", ""));
}

}  // namespace ostrel
