#include "platform/foundation/Bundle.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/foundation/JSON.hpp"

#ifndef OSTREL_RESOURCE_ROOT
#define OSTREL_RESOURCE_ROOT "resources"
#endif

namespace ostrel::platform {

std::filesystem::path Bundle::libraryResourcePath() {
  if (const char* root = std::getenv("OSTREL_RESOURCE_ROOT"); root && *root) return root;
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
  auto json = JSON::parse(buffer.str(), nullptr, false);
  if (json.is_discarded() || !json.is_object()) return std::nullopt;
  auto it = json.find("shortVersionString");
  if (it == json.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

}  // namespace ostrel::platform
