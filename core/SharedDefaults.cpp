#include "core/SharedDefaults.hpp"

namespace ostrel {

std::shared_ptr<platform::UserDefaults> sharedDefaults() {
  // The suite registry keeps one instance per name, so every caller shares it.
  return platform::UserDefaults::suite("OSL");
}

}  // namespace ostrel
