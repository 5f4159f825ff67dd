#include "platform/media/PhotoLibrary.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <system_error>

#include <unistd.h>

#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel::platform {

namespace {

constexpr const char* kPhotoErrorDomain = "PHPhotosErrorDomain";

std::optional<std::string> env(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return std::nullopt;
  return std::string(value);
}

// XDG_PICTURES_DIR="$HOME/Pictures" in the user-dirs file.
std::optional<std::filesystem::path> picturesFromUserDirs(const std::filesystem::path& home) {
  std::filesystem::path config = env("XDG_CONFIG_HOME").value_or((home / ".config").string());
  std::ifstream in(config / "user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    const std::string key = "XDG_PICTURES_DIR=";
    if (line.rfind(key, 0) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = home.string() + value.substr(5);
    if (!value.empty()) return std::filesystem::path(value);
  }
  return std::nullopt;
}

bool isPictureFileName(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const char* known : {".png", ".jpg", ".jpeg", ".gif", ".bmp", ".tif", ".tiff", ".webp"})
    if (ext == known) return true;
  return false;
}

std::mutex& backendMutex() {
  static std::mutex mutex;
  return mutex;
}

std::shared_ptr<PhotoLibraryBackend>& installedPhotoLibrary() {
  static std::shared_ptr<PhotoLibraryBackend> backend = std::make_shared<FolderPhotoLibrary>();
  return backend;
}

}  // namespace

std::filesystem::path FolderPhotoLibrary::defaultFolder() {
  if (auto folder = env("OSTREL_PHOTO_LIBRARY")) return *folder;
  if (auto folder = env("XDG_PICTURES_DIR")) return *folder;
  std::filesystem::path home = env("HOME").value_or(".");
  if (auto folder = picturesFromUserDirs(home)) return *folder;
  return home / "Pictures";
}

FolderPhotoLibrary::FolderPhotoLibrary(std::optional<std::filesystem::path> folder)
    : folder_(folder.value_or(defaultFolder())) {}

PhotoAuthorizationStatus FolderPhotoLibrary::authorizationStatus() {
  std::error_code error;
  if (!std::filesystem::exists(folder_, error)) return PhotoAuthorizationStatus::authorized;
  return ::access(folder_.c_str(), R_OK | X_OK) == 0 ? PhotoAuthorizationStatus::authorized
                                                     : PhotoAuthorizationStatus::denied;
}

std::vector<PhotoLibraryItem> FolderPhotoLibrary::items() {
  std::vector<PhotoLibraryItem> items;
  if (authorizationStatus() != PhotoAuthorizationStatus::authorized) return items;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder_, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_regular_file(error) && isPictureFileName(it->path()))
      items.push_back({it->path().filename().string()});
  }
  std::sort(items.begin(), items.end(),
            [](const auto& a, const auto& b) { return a.identifier < b.identifier; });
  return items;
}

PhotoLoadResult FolderPhotoLibrary::load(const PhotoLibraryItem& item) {
  const auto path = folder_ / std::filesystem::path(item.identifier).filename();
  std::ifstream in(path, std::ios::binary);
  if (!in) return {nullptr, PlatformError{kPhotoErrorDomain, 3164, "The file cannot be read.", {}}};
  if (auto image = Image::fromFile(path)) return {image, std::nullopt};
  return {nullptr, PlatformError{kPhotoErrorDomain, 3302, "The item is not a picture.", {}}};
}

PhotoAuthorizationStatus PhotoLibrary::authorizationStatus() {
  return backend()->authorizationStatus();
}

void PhotoLibrary::requestAuthorization(std::function<void(PhotoAuthorizationStatus)> handler) {
  auto source = backend();
  DispatchQueue::global()->async([source, handler = std::move(handler)] {
    auto answer = source->answerToRequest();
    if (handler) handler(answer);
  });
}

std::shared_ptr<PhotoLibraryBackend> PhotoLibrary::backend() {
  std::lock_guard guard(backendMutex());
  return installedPhotoLibrary();
}

void PhotoLibrary::install(std::shared_ptr<PhotoLibraryBackend> backend) {
  std::lock_guard guard(backendMutex());
  installedPhotoLibrary() = backend ? std::move(backend) : std::make_shared<FolderPhotoLibrary>();
}

}  // namespace ostrel::platform
