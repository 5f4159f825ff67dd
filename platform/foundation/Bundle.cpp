#include "platform/foundation/Bundle.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/foundation/JSON.hpp"

#ifndef OSTREL_RESOURCE_ROOT
#define OSTREL_RESOURCE_ROOT "resources"
#endif

// Defined only in hosts that build against the installed package: its CMake package compiles
// a one-line source into the host naming the folder the resources were installed in. A build
// tree links without it and uses the folder chosen at build time.
extern "C" const char* ostrel_installed_resource_root() __attribute__((weak));

namespace ostrel::platform {

std::filesystem::path Bundle::libraryResourcePath() {
  if (const char* root = std::getenv("OSTREL_RESOURCE_ROOT"); root && *root) return root;
  if (ostrel_installed_resource_root) {
    if (const char* root = ostrel_installed_resource_root(); root && *root) return root;
  }
  return OSTREL_RESOURCE_ROOT;
}

std::shared_ptr<Bundle> Bundle::open(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_directory(path, ec)) return nullptr;
  return std::make_shared<Bundle>(path);
}

Bundle::Bundle(std::filesystem::path path) : path_(std::move(path)) {}

std::optional<std::filesystem::path> Bundle::pathForResource(
    const std::string& name, const std::string& type, const std::string& subdirectory) const {
  if (name.empty() || name.find("..") != std::string::npos) return std::nullopt;
  auto dir = subdirectory.empty() ? path_ : path_ / subdirectory;
  auto file = dir / (type.empty() ? name : name + "." + type);
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) return file;
  return std::nullopt;
}

std::optional<std::filesystem::path> Bundle::imagePath(const std::string& name) const {
  for (const char* suffix : {".png", "@2x.png", "@3x.png", ".jpg", ".jpeg", ".gif"}) {
    if (auto p = pathForResource(name + suffix, "")) return p;
  }
  return std::nullopt;
}

std::vector<std::string> Bundle::localizations() const {
  std::vector<std::string> codes;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(path_, ec)) {
    if (entry.is_directory() && entry.path().extension() == ".lproj") {
      codes.push_back(entry.path().stem().string());
    }
  }
  std::sort(codes.begin(), codes.end());
  return codes;
}

std::optional<std::string> Bundle::shortVersionString() const {
  auto info = pathForResource("Info", "json");
  if (!info) return std::nullopt;
  std::ifstream in(*info);
  std::stringstream buffer;
  buffer << in.rdbuf();
  auto json = parseJSONObject(buffer.str());
  if (!json) return std::nullopt;
  auto it = json->find("shortVersionString");
  if (it == json->end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

namespace {

std::mutex& mainMutex() {
  static std::mutex mutex;
  return mutex;
}
std::shared_ptr<Bundle>& mainBundle() {
  static std::shared_ptr<Bundle> bundle;
  return bundle;
}
std::string& language() {
  static std::string code = "en";
  return code;
}

}  // namespace

std::shared_ptr<Bundle> Bundle::main() {
  std::lock_guard lock(mainMutex());
  if (!mainBundle()) {
    std::error_code ec;
    mainBundle() = std::make_shared<Bundle>(std::filesystem::current_path(ec));
  }
  return mainBundle();
}

void Bundle::setMain(std::shared_ptr<Bundle> bundle) {
  std::lock_guard lock(mainMutex());
  mainBundle() = std::move(bundle);
}

std::string Bundle::preferredLanguage() {
  std::lock_guard lock(mainMutex());
  return language();
}

void Bundle::setPreferredLanguage(std::string code) {
  std::lock_guard lock(mainMutex());
  language() = std::move(code);
}

std::string Bundle::localizedString(const std::string& key, const std::string& value,
                                    const std::string& table) const {
  const std::string name = table.empty() ? "Localizable" : table;
  for (const std::string& folder :
       {preferredLanguage() + ".lproj", std::string("Base.lproj"), std::string()}) {
    auto file = pathForResource(name, "json", folder);
    if (!file) continue;
    std::ifstream in(*file);
    std::stringstream buffer;
    buffer << in.rdbuf();
    auto json = parseJSONObject(buffer.str());
    if (!json) continue;
    auto it = json->find(key);
    if (it != json->end() && it->is_string()) return it->get<std::string>();
  }
  return value.empty() ? key : value;
}

}  // namespace ostrel::platform
