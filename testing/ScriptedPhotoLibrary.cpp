#include "testing/ScriptedPhotoLibrary.hpp"

namespace ostrel::testing {

using platform::PhotoAuthorizationStatus;

std::shared_ptr<ScriptedPhotoLibrary> ScriptedPhotoLibrary::install() {
  auto library = std::make_shared<ScriptedPhotoLibrary>();
  platform::PhotoLibrary::install(library);
  return library;
}

void ScriptedPhotoLibrary::addPicture(const std::string& identifier, cv::Mat rgba) {
  std::lock_guard guard(mutex_);
  entries_.push_back({identifier, Kind::picture, std::move(rgba), {}});
}

void ScriptedPhotoLibrary::addPictureWithoutBitmap(const std::string& identifier) {
  std::lock_guard guard(mutex_);
  entries_.push_back({identifier, Kind::noBitmap, {}, {}});
}

void ScriptedPhotoLibrary::addFile(const std::filesystem::path& file) {
  std::lock_guard guard(mutex_);
  entries_.push_back({file.filename().string(), Kind::file, {}, file});
}

void ScriptedPhotoLibrary::addNonPicture(const std::string& identifier) {
  std::lock_guard guard(mutex_);
  entries_.push_back({identifier, Kind::notPicture, {}, {}});
}

void ScriptedPhotoLibrary::addFailing(const std::string& identifier) {
  std::lock_guard guard(mutex_);
  entries_.push_back({identifier, Kind::failing, {}, {}});
}

void ScriptedPhotoLibrary::setStatus(PhotoAuthorizationStatus status) {
  std::lock_guard guard(mutex_);
  status_ = status;
}

void ScriptedPhotoLibrary::setRequestAnswer(PhotoAuthorizationStatus answer) {
  std::lock_guard guard(mutex_);
  answer_ = answer;
}

int ScriptedPhotoLibrary::authorizationRequests() const {
  std::lock_guard guard(mutex_);
  return requests_;
}

PhotoAuthorizationStatus ScriptedPhotoLibrary::authorizationStatus() {
  std::lock_guard guard(mutex_);
  return status_;
}

PhotoAuthorizationStatus ScriptedPhotoLibrary::answerToRequest() {
  std::lock_guard guard(mutex_);
  ++requests_;
  status_ = answer_;
  return answer_;
}

std::vector<platform::PhotoLibraryItem> ScriptedPhotoLibrary::items() {
  std::lock_guard guard(mutex_);
  std::vector<platform::PhotoLibraryItem> items;
  for (const auto& entry : entries_) items.push_back({entry.identifier});
  return items;
}

platform::PhotoLoadResult ScriptedPhotoLibrary::load(const platform::PhotoLibraryItem& item) {
  Entry entry;
  {
    std::lock_guard guard(mutex_);
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return e.identifier == item.identifier; });
    if (it == entries_.end())
      return {nullptr, platform::PlatformError{"PHPhotosErrorDomain", 3201, "No such item.", {}}};
    entry = *it;
  }
  switch (entry.kind) {
    case Kind::picture:
      return {std::make_shared<platform::Image>(entry.rgba), std::nullopt};
    case Kind::noBitmap:
      return {std::make_shared<platform::Image>(platform::Size{100, 100}), std::nullopt};
    case Kind::file:
      if (auto image = platform::Image::fromFile(entry.file)) return {image, std::nullopt};
      return {nullptr, platform::PlatformError{"PHPhotosErrorDomain", 3302, "Not a picture.", {}}};
    case Kind::notPicture:
      return {nullptr, platform::PlatformError{"PHPhotosErrorDomain", 3302, "Not a picture.", {}}};
    case Kind::failing:
      return {nullptr, platform::PlatformError{"PHPhotosErrorDomain", 3164, "Cannot be read.", {}}};
  }
  return {};
}

}  // namespace ostrel::testing
