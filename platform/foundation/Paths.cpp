#include "platform/foundation/Paths.hpp"

#include <cstdlib>
#include <mutex>

namespace ostrel::platform {
namespace {

std::mutex& pathsMutex() {
  static std::mutex m;
  return m;
}

std::optional<std::filesystem::path>& overrideRoot() {
  static std::optional<std::filesystem::path> root;
  return root;
}

std::filesystem::path defaultRoot() {
  if (const char* dir = std::getenv("OSTREL_DATA_DIR"); dir && *dir) return dir;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    return std::filesystem::path(xdg) / "ostrel-host";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::filesystem::path(home) / ".local" / "share" / "ostrel-host";
  }
  return std::filesystem::temp_directory_path() / "ostrel-host";
}

}  // namespace

std::filesystem::path Paths::applicationDataDirectory() {
  std::lock_guard lock(pathsMutex());
  return overrideRoot() ? *overrideRoot() : defaultRoot();
}

std::filesystem::path Paths::applicationSupportDirectory() {
  return applicationDataDirectory() / "Application Support";
}

void Paths::setApplicationDataDirectory(std::optional<std::filesystem::path> root) {
  std::lock_guard lock(pathsMutex());
  overrideRoot() = std::move(root);
}

}  // namespace ostrel::platform
