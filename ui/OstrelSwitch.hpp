#pragma once

#include <functional>
#include <memory>

#include "platform/ui/Control.hpp"

namespace ostrel {

// An on/off control: a round thumb in the appearance main colour at the right end when on and
// at the left end when off. A tap or a horizontal drag flips it, with a 0.3 s slide, a heavy
// haptic and value-changed actions; `onValueChanged` hears of every flip, dragged or tapped.
class OstrelSwitch : public platform::Control {
 public:
  explicit OstrelSwitch(platform::Rect frame = {});
  void didMake() override;

  std::shared_ptr<platform::View> switchView;
  std::function<void(bool)> onValueChanged;
  // Setting it in code only stores the value (the thumb follows at the next flip or set-up).
  bool isOn = true;

  virtual void setupView();
  virtual void switchTapped();

  void layoutSubviews() override;
  bool beginTracking(const platform::Touch& touch) override;
  bool continueTracking(const platform::Touch& touch) override;
  void endTracking(const platform::Touch& touch) override;

 private:
  void animateChange();
  platform::Color thumbColor() const;
};

}  // namespace ostrel
