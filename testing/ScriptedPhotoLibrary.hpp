#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/media/PhotoLibrary.hpp"

namespace ostrel::testing {

// A photo library of scripted items, in the order they were added, with a scripted access
// status and answer to an access request (both authorised by default).
class ScriptedPhotoLibrary : public platform::PhotoLibraryBackend {
 public:
  // A fresh, empty library, installed process-wide.
  static std::shared_ptr<ScriptedPhotoLibrary> install();

  void addPicture(const std::string& identifier, cv::Mat rgba);
  // A picture that has a size but no pixels.
  void addPictureWithoutBitmap(const std::string& identifier);
  void addFile(const std::filesystem::path& file);
  // An item that is not a picture (a document, a video).
  void addNonPicture(const std::string& identifier);
  // An item whose loading fails (unreadable, gone).
  void addFailing(const std::string& identifier);

  void setStatus(platform::PhotoAuthorizationStatus status);
  void setRequestAnswer(platform::PhotoAuthorizationStatus answer);
  int authorizationRequests() const;

  platform::PhotoAuthorizationStatus authorizationStatus() override;
  platform::PhotoAuthorizationStatus answerToRequest() override;
  std::vector<platform::PhotoLibraryItem> items() override;
  platform::PhotoLoadResult load(const platform::PhotoLibraryItem& item) override;

 private:
  enum class Kind { picture, noBitmap, file, notPicture, failing };
  struct Entry {
    std::string identifier;
    Kind kind;
    cv::Mat rgba;
    std::filesystem::path file;
  };
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  platform::PhotoAuthorizationStatus status_ = platform::PhotoAuthorizationStatus::authorized;
  platform::PhotoAuthorizationStatus answer_ = platform::PhotoAuthorizationStatus::authorized;
  int requests_ = 0;
};

}  // namespace ostrel::testing
