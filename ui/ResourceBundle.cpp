#include "ui/ResourceBundle.hpp"

#include <mutex>

namespace ostrel {

std::shared_ptr<platform::Bundle> resourceBundle() {
  static const std::shared_ptr<platform::Bundle> bundle = [] {
    auto root = platform::Bundle::libraryResourcePath();
    if (auto inner = platform::Bundle::open(root / kResourceBundleName)) return inner;
    if (auto outer = platform::Bundle::open(root)) return outer;
    return std::make_shared<platform::Bundle>(root);
  }();
  return bundle;
}

platform::ImagePtr bundleImage(const std::string& name) {
  return platform::Image::named(name, *resourceBundle());
}

void registerLibraryNib(const std::string& name, platform::NibBuilder builder) {
  platform::NibRegistry::add(resourceBundle()->bundlePath(), name, std::move(builder));
}

std::vector<std::string> libraryNibNames() {
  return platform::NibRegistry::names(resourceBundle()->bundlePath());
}

}  // namespace ostrel
