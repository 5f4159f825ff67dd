#include "core/OstrelVersion.hpp"

#include "platform/foundation/Bundle.hpp"

namespace ostrel {

std::string sdkVersion() {
  auto bundle =
      platform::Bundle::open(platform::Bundle::libraryResourcePath() / "ZAZiZEZ_ADE.bundle");
  if (bundle) {
    if (auto version = bundle->shortVersionString(); version && !version->empty()) return *version;
  }
  return "2.8.3";
}

}  // namespace ostrel
