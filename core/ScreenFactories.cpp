#include "core/ScreenFactories.hpp"

namespace ostrel {

ScreenFactories& ScreenFactories::shared() {
  static ScreenFactories factories;
  return factories;
}

void ScreenFactories::reset() {
  shared() = ScreenFactories{};
}

}  // namespace ostrel
