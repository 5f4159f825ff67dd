#include "core/ScreenFactories.hpp"

namespace ostrel {
namespace {

ScreenFactories libraryScreens() {
  ScreenFactories factories;
  installLibraryScreens(factories);
  return factories;
}

}  // namespace

ScreenFactories& ScreenFactories::shared() {
  static ScreenFactories factories = libraryScreens();
  return factories;
}

void ScreenFactories::reset() {
  shared() = libraryScreens();
}

}  // namespace ostrel
