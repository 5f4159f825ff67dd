#pragma once

#include "platform/ui/Label.hpp"

namespace ostrel {

// A label whose text takes the appearance main colour when it wakes from its nib.
class OSLMainColorLabel : public platform::Label {
 public:
  using Label::Label;
  void awakeFromNib() override;
};

}  // namespace ostrel
