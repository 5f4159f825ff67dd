#pragma once

#include <exception>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <string>

#include "platform/foundation/Bytes.hpp"

namespace ostrel {

// The on-device model store: "<application support>/<library identifier>/<name>.mlmodelc".
// Files are replaced atomically, and a model's version is recorded (in "OSL_CONFIG_VERSION")
// only once its file is stored, so an interrupted download is tried again at the next sync.
class ModelDownloader {
 public:
  struct DownloadError : std::exception {
    enum class Kind { emptyModelName, internalError, downloadFailed };
    Kind kind = Kind::internalError;
    std::string description;
    int code = 0;  // the server or transport code of a failed download

    static DownloadError emptyModelName() { return {Kind::emptyModelName, "Empty model name.", 0}; }
    static DownloadError internalError(std::string description) {
      return {Kind::internalError, std::move(description), 0};
    }
    static DownloadError downloadFailed(int code, std::string description) {
      return {Kind::downloadFailed, std::move(description), code};
    }
    DownloadError(Kind kind, std::string description, int code)
        : kind(kind), description(std::move(description)), code(code) {}
    const char* what() const noexcept override { return description.c_str(); }
  };

  static constexpr const char* kStorageError = "Could not create directory for model storage.";

  // Where the models live.
  static std::filesystem::path storageDirectory();

  // The stored model `name`. Throws `emptyModelName` for "", and `internalError` with
  // kStorageError when the location cannot be formed or nothing is stored there.
  std::filesystem::path modelURL(const std::string& name) const;

  // Replaces the stored model with `data`: written to a temporary file, then renamed over the
  // old one. Throws `internalError` when it cannot be written; the old file is then untouched.
  void store(const std::string& name, const platform::Bytes& data) const;

  // The version recorded for `name`, if any.
  static std::optional<std::string> recordedVersion(const std::string& name);
  // Whether `listed` is newer than `stored`: dot-separated numbers compared one by one, texts
  // that are not such numbers compared for inequality.
  static bool isNewerVersion(const std::string& listed, const std::optional<std::string>& stored);

  struct UpdateResult {
    bool downloaded = false;
    std::optional<DownloadError> error;
  };
  // Downloads and stores `name` when `listedVersion` is newer than the recorded one or the file
  // is missing, then records the version. Completes on a transport thread (or at once when
  // nothing is needed).
  // The file is written to the store as it arrives and becomes current only when whole.
  std::future<UpdateResult> updateIfNeeded(const std::string& baseUrl, const std::string& name,
                                           const std::string& listedVersion) const;

 private:
  class PendingFile;
};

}  // namespace ostrel
