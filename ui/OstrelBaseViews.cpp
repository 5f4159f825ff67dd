#include "ui/OstrelBaseViews.hpp"

#include "platform/foundation/Debug.hpp"
#include "platform/ui/Nib.hpp"

namespace ostrel {

void OstrelBaseNibView::didMake() {
  View::didMake();
  loadViewFromNib(resourceBundle());
  setupView();
}

std::shared_ptr<platform::View> OstrelBaseNibView::loadViewFromNib(
    const std::shared_ptr<platform::Bundle>& bundle) {
  const auto name = typeNameWithoutModule(*this);
  auto nib = platform::Nib::load(name, bundle);
  if (!nib) {
    platform::debugLog("nib \"" + name + "\" is not registered; the view stays empty");
    return nullptr;
  }
  auto objects = nib->instantiate(shared<platform::Object>());
  if (objects.empty()) return nullptr;
  auto content = std::dynamic_pointer_cast<platform::View>(objects.front());
  if (!content) return nullptr;
  auto self = shared<platform::View>();
  addSubview(content);
  // No solver runs, so the pinned content also gets the frame the constraints describe.
  content->setFrame(bounds());
  pinEdges(content, self, false, {});
  sendSubviewToBack(content);
  return content;
}

void OstrelBaseWithoutNibView::didMake() {
  View::didMake();
  setup();
}

}  // namespace ostrel
