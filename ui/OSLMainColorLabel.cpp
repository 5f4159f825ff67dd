#include "ui/OSLMainColorLabel.hpp"

#include "core/CurrentConfig.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

void OSLMainColorLabel::awakeFromNib() {
  Label::awakeFromNib();
  setTextColor(colorFromHex(currentAppearance()->mainColor));
}

}  // namespace ostrel
