#pragma once

#include <memory>

#include "platform/foundation/Bundle.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/ui/View.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

// Creates a controller of class T whose view comes from the nib named after T.
template <class T>
std::shared_ptr<T> loadFromNib() {
  auto controller = platform::make<T>();
  controller->setNib(typeNameWithoutModule<T>(), resourceBundle());
  return controller;
}

// A view whose content comes from the nib named after its dynamic class, loaded with the view
// as owner; `setupView()` runs once the content and outlets are in place.
class OstrelBaseNibView : public platform::View {
 public:
  using View::View;
  void didMake() override;

  // Adds the nib's first top-level object, when it is a view, pinned to the edges and behind
  // every other subview, and returns it.
  virtual std::shared_ptr<platform::View> loadViewFromNib(
      const std::shared_ptr<platform::Bundle>& bundle);
  virtual void setupView() {}
};

// A view that builds its content in code, in `setup()`.
class OstrelBaseWithoutNibView : public platform::View {
 public:
  using View::View;
  void didMake() override;
  virtual void setup() {}
};

}  // namespace ostrel
