#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "platform/media/Color.hpp"
#include "platform/ui/View.hpp"
#include "platform/ui/ViewController.hpp"
#include "platform/ui/Window.hpp"

namespace ostrel {

// A colour from a hex text ("#3270EA", "FFF", "80FF0000"): characters that are not letters or
// digits are trimmed from both ends, the rest is read as hex (an optional "0x", up to the first
// non-hex character, 0 when none), and the trimmed length chooses RGB (3), RRGGBB (6) or
// AARRGGBB (8). Any other length gives the almost transparent (1, 1, 0, 1) / 255.
platform::Color colorFromHex(std::string_view hex);

// The current appearance's main colour and main text colour, read afresh on every call.
platform::Color appearanceMainColor();
platform::Color appearanceMainTextColor();

// Pins `view`'s four edges to `container` (or its safe area) with the insets, as four active
// equality constraints (leading, top, trailing, bottom); returns them.
std::vector<std::shared_ptr<platform::LayoutConstraint>> pinEdges(
    const std::shared_ptr<platform::View>& view, const std::shared_ptr<platform::View>& container,
    bool useSafeArea = false, platform::EdgeInsets insets = {});

// Layer properties that nibs set on any view.
double cornerRadius(const platform::View& view);
// Also clips to the bounds exactly when the radius is positive.
void setCornerRadius(platform::View& view, double radius);
double borderWidth(const platform::View& view);
void setBorderWidth(platform::View& view, double width);
// Nothing when the layer has no border colour.
std::optional<platform::Color> borderColors(const platform::View& view);
// An absent colour clears the layer's border colour.
void setBorderColors(platform::View& view, std::optional<platform::Color> color);

// A soft "CCD0D5" shadow at 25 % opacity, rasterised at the screen's scale; the view stops
// clipping so the shadow shows.
void dropShadow(platform::View& view, double radius, platform::Size offset);

// The key window of the first foreground-active scene, if any.
std::shared_ptr<platform::Window> currentKeyWindow();
// The controller on top of `base`: presented controllers first, then the last of a split view,
// the top of a navigation stack, a tab's "more" stack (when on screen) or selected tab, the
// last child. Without a base, a fresh controller that is in no window.
std::shared_ptr<platform::ViewController> topMostViewController(
    const std::shared_ptr<platform::ViewController>& base);

// A type's name without its namespaces ("ostrel::GuideVC" gives "GuideVC"); for an object,
// its dynamic type's.
std::string typeNameWithoutModule(const std::type_info& type);
template <class T>
std::string typeNameWithoutModule() {
  return typeNameWithoutModule(typeid(T));
}
template <class T>
std::string typeNameWithoutModule(const T& object) {
  return typeNameWithoutModule(typeid(object));
}

}  // namespace ostrel
