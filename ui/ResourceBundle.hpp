#pragma once

#include <memory>
#include <string>

#include "platform/foundation/Bundle.hpp"
#include "platform/media/Image.hpp"
#include "platform/ui/Nib.hpp"

namespace ostrel {

inline constexpr const char* kResourceBundleName = "ZAZiZEZ_ADE.bundle";

// The library's one resource bundle, worked out once per process: "ZAZiZEZ_ADE.bundle" in the
// library's resource folder, else that folder itself. Nibs and images come from it.
std::shared_ptr<platform::Bundle> resourceBundle();
// An image of the resource bundle by name; null when it has none.
platform::ImagePtr bundleImage(const std::string& name);

// Adds a nib of the library to the resource bundle's registry. Classes register their nib in
// their own source file with a `LibraryNibRegistration`, so the nib is linked in with them.
void registerLibraryNib(const std::string& name, platform::NibBuilder builder);
// Names of the nibs the resource bundle holds.
std::vector<std::string> libraryNibNames();

struct LibraryNibRegistration {
  LibraryNibRegistration(const char* name, platform::NibBuilder builder) {
    registerLibraryNib(name, std::move(builder));
  }
};

}  // namespace ostrel
