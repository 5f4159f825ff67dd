#pragma once

#include <optional>
#include <string>

#include "platform/ui/Button.hpp"
#include "platform/ui/Label.hpp"

namespace ostrel {

// Nib widgets whose text comes from a key set as a runtime attribute. Unlike every other text
// of the library these look in the host application's main bundle, not in the downloaded
// language dictionary.

// Setting a key shows the main bundle's string for it; clearing the key keeps the text.
class LocalisableLabel : public platform::Label {
 public:
  using Label::Label;
  const std::optional<std::string>& localisedKey() const { return localisedKey_; }
  void setLocalisedKey(std::optional<std::string> key);

 private:
  std::optional<std::string> localisedKey_;
};

// Setting a key shows the key itself in upper case (current locale), without a lookup and
// without animation; clearing it keeps the title.
class LocalisableButton : public platform::Button {
 public:
  using Button::Button;
  const std::optional<std::string>& localisedKey() const { return localisedKey_; }
  void setLocalisedKey(std::optional<std::string> key);

 private:
  std::optional<std::string> localisedKey_;
};

// The label's text; setting a key shows the main bundle's string for it, setting nothing keeps
// the text.
std::optional<std::string> localizableText(const platform::Label& label);
void setLocalizableText(platform::Label& label, std::optional<std::string> key);

}  // namespace ostrel
