#include "ui/ViewExtensions.hpp"

#include <cstdint>
#include <limits>

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "core/CurrentConfig.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/ui/NavigationController.hpp"

namespace ostrel {
namespace {

bool isAlphanumeric(UChar32 c) {
  return (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

int hexDigit(UChar32 c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

// The platform scanner's hex reading: an optional "0x"/"0X", then hex digits up to the first
// other character; 0 when nothing is read, the largest value on overflow.
std::uint64_t scanHex(const icu::UnicodeString& text) {
  int32_t i = 0;
  const int32_t n = text.length();
  if (n >= 3 && text.charAt(0) == '0' && (text.charAt(1) == 'x' || text.charAt(1) == 'X') &&
      hexDigit(text.charAt(2)) >= 0) {
    i = 2;
  }
  std::uint64_t value = 0;
  bool overflow = false;
  for (; i < n; ++i) {
    int d = hexDigit(text.charAt(i));
    if (d < 0) break;
    if (value > (std::numeric_limits<std::uint64_t>::max() >> 4)) overflow = true;
    value = (value << 4) | static_cast<std::uint64_t>(d);
  }
  return overflow ? std::numeric_limits<std::uint64_t>::max() : value;
}

}  // namespace

platform::Color colorFromHex(std::string_view hex) {
  auto text =
      icu::UnicodeString::fromUTF8(icu::StringPiece(hex.data(), static_cast<int32_t>(hex.size())));
  int32_t start = 0;
  int32_t end = text.length();
  while (start < end && !isAlphanumeric(text.char32At(start))) start = text.moveIndex32(start, 1);
  while (end > start) {
    int32_t prev = text.moveIndex32(end, -1);
    if (isAlphanumeric(text.char32At(prev))) break;
    end = prev;
  }
  icu::UnicodeString trimmed(text, start, end - start);
  const std::uint64_t v = scanHex(trimmed);
  std::uint64_t a, r, g, b;
  switch (trimmed.countChar32()) {
    case 3:
      a = 255, r = (v >> 8) * 17, g = (v >> 4 & 0xF) * 17, b = (v & 0xF) * 17;
      break;
    case 6:
      a = 255, r = v >> 16, g = v >> 8 & 0xFF, b = v & 0xFF;
      break;
    case 8:
      a = v >> 24, r = v >> 16 & 0xFF, g = v >> 8 & 0xFF, b = v & 0xFF;
      break;
    default:
      a = 1, r = 1, g = 1, b = 0;
      break;
  }
  return {static_cast<double>(r) / 255.0, static_cast<double>(g) / 255.0,
          static_cast<double>(b) / 255.0, static_cast<double>(a) / 255.0};
}

platform::Color appearanceMainColor() {
  return colorFromHex(currentAppearance()->mainColor);
}

platform::Color appearanceMainTextColor() {
  return colorFromHex(currentAppearance()->mainTextColor);
}

std::vector<std::shared_ptr<platform::LayoutConstraint>> pinEdges(
    const std::shared_ptr<platform::View>& view, const std::shared_ptr<platform::View>& container,
    bool useSafeArea, platform::EdgeInsets insets) {
  if (!view || !container) return {};
  view->translatesAutoresizingMaskIntoConstraints = false;
  std::vector<std::shared_ptr<platform::LayoutConstraint>> constraints;
  if (useSafeArea) {
    auto guide = container->safeAreaLayoutGuide();
    constraints = {view->leadingAnchor().constraintEqualTo(guide->leadingAnchor(), insets.left),
                   view->topAnchor().constraintEqualTo(guide->topAnchor(), insets.top),
                   view->trailingAnchor().constraintEqualTo(guide->trailingAnchor(), -insets.right),
                   view->bottomAnchor().constraintEqualTo(guide->bottomAnchor(), -insets.bottom)};
  } else {
    constraints = {
        view->leadingAnchor().constraintEqualTo(container->leadingAnchor(), insets.left),
        view->topAnchor().constraintEqualTo(container->topAnchor(), insets.top),
        view->trailingAnchor().constraintEqualTo(container->trailingAnchor(), -insets.right),
        view->bottomAnchor().constraintEqualTo(container->bottomAnchor(), -insets.bottom)};
  }
  platform::LayoutConstraint::activate(constraints);
  return constraints;
}

double cornerRadius(const platform::View& view) {
  return view.layer()->cornerRadius;
}

void setCornerRadius(platform::View& view, double radius) {
  view.layer()->cornerRadius = radius;
  view.layer()->masksToBounds = radius > 0;
}

double borderWidth(const platform::View& view) {
  return view.layer()->borderWidth;
}
void setBorderWidth(platform::View& view, double width) {
  view.layer()->borderWidth = width;
}
std::optional<platform::Color> borderColors(const platform::View& view) {
  return view.layer()->borderColor;
}
void setBorderColors(platform::View& view, std::optional<platform::Color> color) {
  view.layer()->borderColor = color;
}

void dropShadow(platform::View& view, double radius, platform::Size offset) {
  view.setClipsToBounds(true);
  auto& layer = *view.layer();
  layer.masksToBounds = false;
  layer.shadowColor = colorFromHex("CCD0D5");
  layer.shadowOpacity = 0.25;
  layer.shadowOffset = offset;
  layer.shadowRadius = radius;
  layer.shouldRasterize = true;
  layer.rasterizationScale = platform::Screen::main().scale();
}

std::shared_ptr<platform::Window> currentKeyWindow() {
  for (const auto& scene : platform::WindowScene::connectedScenes()) {
    if (scene->activationState != platform::WindowScene::ActivationState::foregroundActive)
      continue;
    for (const auto& window : scene->windows()) {
      if (window->isKeyWindow()) return window;
    }
    return nullptr;
  }
  return nullptr;
}

std::shared_ptr<platform::ViewController> topMostViewController(
    const std::shared_ptr<platform::ViewController>& base) {
  if (!base) return platform::make<platform::ViewController>();
  if (auto presented = base->presentedViewController()) return topMostViewController(presented);
  if (auto split = std::dynamic_pointer_cast<platform::SplitViewController>(base)) {
    const auto& columns = split->viewControllers();
    return columns.empty() ? base : topMostViewController(columns.back());
  }
  if (auto nav = std::dynamic_pointer_cast<platform::NavigationController>(base)) {
    auto top = nav->topViewController();
    return top ? topMostViewController(top) : base;
  }
  if (auto tab = std::dynamic_pointer_cast<platform::TabBarController>(base)) {
    auto moreTop = tab->moreNavigationController()
                       ? tab->moreNavigationController()->topViewController()
                       : nullptr;
    if (moreTop && moreTop->isViewLoaded() && moreTop->view()->window())
      return topMostViewController(moreTop);
    auto selected = tab->selectedViewController();
    return selected ? topMostViewController(selected) : base;
  }
  const auto& children = base->children();
  return children.empty() ? base : topMostViewController(children.back());
}

std::string typeNameWithoutModule(const std::type_info& type) {
  std::string name = platform::demangledTypeName(type);
  // The last "::" component outside template arguments.
  int depth = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c == '<') ++depth;
    if (c == '>') --depth;
    if (depth == 0 && c == ':' && i + 1 < name.size() && name[i + 1] == ':') {
      start = i + 2;
      ++i;
    }
  }
  return name.substr(start);
}

}  // namespace ostrel
