#pragma once

#include <memory>
#include <string>

namespace ostrel {

// How the screens look and which language they ask the server for. Colours are hex texts,
// turned into colours where they are used, so a change shows on screens made afterwards.
class OSLAppearance {
 public:
  static std::shared_ptr<OSLAppearance> create() { return std::make_shared<OSLAppearance>(); }

  std::string backgroundColor = "ffffff";
  std::string mainColor = "3270EA";
  std::string mainTextColor = "000000";
  std::string btnTextColor = "ffffff";
  double cornerRadiusButton = 10;
  bool isAnimatedButton = true;
  std::string language = "vi";

  OSLAppearance& withBackgroundColor(std::string hex) {
    backgroundColor = std::move(hex);
    return *this;
  }
  OSLAppearance& withMainColor(std::string hex) {
    mainColor = std::move(hex);
    return *this;
  }
  OSLAppearance& withMainTextColor(std::string hex) {
    mainTextColor = std::move(hex);
    return *this;
  }
  OSLAppearance& withBtnTextColor(std::string hex) {
    btnTextColor = std::move(hex);
    return *this;
  }
  OSLAppearance& withCornerRadiusButton(double radius) {
    cornerRadiusButton = radius;
    return *this;
  }
  OSLAppearance& withIsAnimatedButton(bool animated) {
    isAnimatedButton = animated;
    return *this;
  }
  OSLAppearance& withLanguage(std::string code) {
    language = std::move(code);
    return *this;
  }
};

}  // namespace ostrel
