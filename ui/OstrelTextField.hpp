#pragma once

#include "platform/ui/TextField.hpp"

namespace ostrel {

// The boxed input field of the confirmation screen, styled when it wakes from its nib with fixed
// colours that do not follow the appearance.
class OstrelTextField : public platform::TextField {
 public:
  using TextField::TextField;
  void awakeFromNib() override;
  virtual void setupTextField();
};

}  // namespace ostrel
