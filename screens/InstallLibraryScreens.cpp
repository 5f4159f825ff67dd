// The one place that names the library's screen classes: everything below the screen folders
// reaches them only through `ScreenFactories`.
#include "capture/IDCaptureVC.hpp"
#include "core/ScreenFactories.hpp"

namespace ostrel {

void installLibraryScreens(ScreenFactories& factories) {
  // One line per screen, each screen adding its own as it lands, e.g.
  //   factories.confirm = [] { return StepScreen::of(ConfirmViewController::create()); };
  // An entry left empty skips its step with a diagnostic.
  factories.idCapture = [](bool isFrontId) { return StepScreen::of(IDCaptureVC::create(isFrontId)); };
}

}  // namespace ostrel
