#include "ui/OSLMainColorLabel.hpp"

#include "core/Ostrel.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

void OSLMainColorLabel::awakeFromNib() {
  Label::awakeFromNib();
  setTextColor(colorFromHex(Ostrel::shared()->config()->appearance->mainColor));
}

}  // namespace ostrel
