#pragma once

#include <cmath>
#include <optional>

namespace ostrel::platform {

// Light or dark appearance of the interface; colours that follow it resolve through it.
enum class UserInterfaceStyle { unspecified = 0, light = 1, dark = 2 };

// Red, green, blue and alpha in [0, 1] (the platform's colour and its drawing-level colour are
// the same value here).
struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;

  static Color black() { return {0, 0, 0, 1}; }
  static Color white() { return {1, 1, 1, 1}; }
  static Color gray() { return {0.5, 0.5, 0.5, 1}; }
  static Color clear() { return {0, 0, 0, 0}; }
  static Color systemGray() { return {142 / 255.0, 142 / 255.0, 147 / 255.0, 1}; }
  static Color systemBlue() { return {0, 122 / 255.0, 1, 1}; }
  // The light-appearance values of the system's green and red.
  static Color systemGreen() { return {52 / 255.0, 199 / 255.0, 89 / 255.0, 1}; }
  static Color systemRed() { return {1, 59 / 255.0, 48 / 255.0, 1}; }
  // Dynamic colours, resolved for an appearance (unspecified resolves as light).
  static Color label(UserInterfaceStyle style = UserInterfaceStyle::light) {
    return style == UserInterfaceStyle::dark ? white() : black();
  }
  static Color systemBackground(UserInterfaceStyle style = UserInterfaceStyle::light) {
    return style == UserInterfaceStyle::dark ? black() : white();
  }

  Color withAlphaComponent(double a) const { return {red, green, blue, a}; }

  // Equal within half a step of 8-bit quantisation on every component.
  bool isApproximately(const Color& o, double tolerance = 1.0 / 255.0) const {
    return std::abs(red - o.red) <= tolerance && std::abs(green - o.green) <= tolerance &&
           std::abs(blue - o.blue) <= tolerance && std::abs(alpha - o.alpha) <= tolerance;
  }
  bool operator==(const Color&) const = default;
};

}  // namespace ostrel::platform
