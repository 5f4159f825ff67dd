#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/PlatformError.hpp"
#include "platform/media/Image.hpp"

namespace ostrel::platform {

// Raw values as the phone platform numbers them.
enum class PhotoAuthorizationStatus {
  notDetermined = 0,
  restricted = 1,
  denied = 2,
  authorized = 3,
  limited = 4,
};

// One item of the library, named by its identifier (a file name for the folder library).
struct PhotoLibraryItem {
  std::string identifier;
};

// A loaded item: the picture, or why there is none (not a picture, unreadable).
struct PhotoLoadResult {
  ImagePtr image;
  std::optional<PlatformError> error;
};

// Where the library's items come from. Safe from any thread.
class PhotoLibraryBackend {
 public:
  virtual ~PhotoLibraryBackend() = default;
  virtual PhotoAuthorizationStatus authorizationStatus() = 0;
  // The answer to a request for access (the backend's current status by default).
  virtual PhotoAuthorizationStatus answerToRequest() { return authorizationStatus(); }
  // In the library's order (the folder library sorts by file name).
  virtual std::vector<PhotoLibraryItem> items() = 0;
  virtual PhotoLoadResult load(const PhotoLibraryItem& item) = 0;
};

// The picture files of a folder: `OSTREL_PHOTO_LIBRARY` when set, else the user's pictures
// folder (`XDG_PICTURES_DIR` from the environment or the user-dirs file, else "Pictures" in
// the home folder). Access is authorised when the folder can be read, denied when it exists and
// cannot, and authorised with no items when there is no folder.
class FolderPhotoLibrary : public PhotoLibraryBackend {
 public:
  explicit FolderPhotoLibrary(std::optional<std::filesystem::path> folder = std::nullopt);
  const std::filesystem::path& folder() const { return folder_; }

  PhotoAuthorizationStatus authorizationStatus() override;
  std::vector<PhotoLibraryItem> items() override;
  PhotoLoadResult load(const PhotoLibraryItem& item) override;

  // The folder the library reads when none is given.
  static std::filesystem::path defaultFolder();

 private:
  std::filesystem::path folder_;
};

// The shared photo library.
class PhotoLibrary {
 public:
  static PhotoAuthorizationStatus authorizationStatus();
  // Asks for access; `handler` gets the answer on the global queue.
  static void requestAuthorization(std::function<void(PhotoAuthorizationStatus)> handler);
  static std::shared_ptr<PhotoLibraryBackend> backend();
  // Null puts the folder library back.
  static void install(std::shared_ptr<PhotoLibraryBackend> backend);
};

}  // namespace ostrel::platform
