#include <memory>
#include <utility>

#include "nfcscan/OSLScanNFCVC.hpp"
#include "testing/UserJourney.hpp"

namespace ostrel::testing {

void addChipSteps(UserJourney& journey, std::function<void()> layCard) {
  // Two rules, since a rule acts once per screen: a read asked for by the scan button, then the
  // card laid while that read is open. After a failed read the screen is ready again and the
  // user asks once more.
  journey.on("chip scan", [](const std::shared_ptr<platform::ViewController>& top,
                             ScriptedUser& finger, const UserJourney::Say& say) {
    auto chip = std::dynamic_pointer_cast<OSLScanNFCVC>(top);
    if (!chip || !chip->state.isClosedPopup || chip->state.isWaitingProcess) return false;
    auto button = chip->btnScanNFC;
    if (!button || button->isHidden() || !button->isEnabled() || !button->window() ||
        !ScriptedUser::reaches(button)) {
      return false;
    }
    say("taps scan on the chip screen");
    finger.tap(button);
    return true;
  });
  journey.on("chip card", [layCard = std::move(layCard)](
                              const std::shared_ptr<platform::ViewController>& top,
                              ScriptedUser&, const UserJourney::Say& say) {
    auto chip = std::dynamic_pointer_cast<OSLScanNFCVC>(top);
    if (!chip || chip->state.isClosedPopup) return false;
    say("lays the card on the reader");
    if (layCard) layCard();
    return true;
  });
}

}  // namespace ostrel::testing
