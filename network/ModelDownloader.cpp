#include "network/ModelDownloader.hpp"

#include <unistd.h>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "core/SharedDefaults.hpp"
#include "network/OstrelClient.hpp"
#include "platform/crypto/Crypto.hpp"
#include "platform/foundation/Paths.hpp"

#ifndef OSTREL_BUNDLE_ID
#define OSTREL_BUNDLE_ID "org.example.ostrel"
#endif

namespace ostrel {
namespace {

namespace fs = std::filesystem;

bool isSafeName(const std::string& name) {
  return name.find('/') == std::string::npos && name.find('\\') == std::string::npos &&
         name != "." && name != ".." && name.find('\0') == std::string::npos;
}

std::optional<std::vector<unsigned long long>> numericParts(const std::string& version) {
  std::vector<unsigned long long> parts;
  std::size_t start = 0;
  while (true) {
    auto dot = version.find('.', start);
    auto piece = version.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    unsigned long long value = 0;
    auto [end, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    if (piece.empty() || ec != std::errc() || end != piece.data() + piece.size()) {
      return std::nullopt;
    }
    parts.push_back(value);
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return parts;
}

// Hook for turning the downloaded file into a loadable model; the stored bytes are used as
// they come, the format belongs to the detection layer.
void compileModel(const fs::path&) {}

}  // namespace

fs::path ModelDownloader::storageDirectory() {
  return platform::Paths::applicationSupportDirectory() / OSTREL_BUNDLE_ID;
}

fs::path ModelDownloader::modelURL(const std::string& name) const {
  if (name.empty()) throw DownloadError::emptyModelName();
  if (!isSafeName(name)) throw DownloadError::internalError(kStorageError);
  auto path = storageDirectory() / (name + ".mlmodelc");
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) throw DownloadError::internalError(kStorageError);
  return path;
}

// One model file on its way into the store: a temporary file beside the target, renamed over
// it once complete and on disk, so the stored model is always a whole one.
class ModelDownloader::PendingFile {
 public:
  PendingFile(const std::string& name) {
    if (name.empty()) throw DownloadError::emptyModelName();
    if (!isSafeName(name)) throw DownloadError::internalError(kStorageError);
    std::error_code ec;
    const auto directory = storageDirectory();
    fs::create_directories(directory, ec);
    if (!fs::is_directory(directory, ec)) throw DownloadError::internalError(kStorageError);
    target_ = directory / (name + ".mlmodelc");
    temporary_ =
        directory /
        ("." + name + "." + platform::crypto::hexString(platform::crypto::randomBytes(6)) + ".tmp");
    // A store cut short by a crash leaves its temporary file behind; nothing else clears those.
    const std::string leftoverPrefix = "." + name + ".";
    for (const auto& entry : fs::directory_iterator(directory, ec)) {
      const auto file = entry.path().filename().string();
      if (file.starts_with(leftoverPrefix) && file.ends_with(".tmp")) fs::remove(entry.path(), ec);
    }
    out_ = std::fopen(temporary_.c_str(), "wb");
    if (!out_) throw DownloadError::internalError(kWriteError);
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile() { discard(); }

  bool write(std::span<const std::uint8_t> bytes) {
    written_ = written_ && out_ &&
               std::fwrite(bytes.data(), 1, bytes.size(), out_) == bytes.size();
    return written_;
  }

  // Gone now, not when the last holder lets go: the transport may hold on a little longer.
  void discard() {
    if (out_) std::fclose(out_);
    out_ = nullptr;
    written_ = false;
    std::error_code ec;
    if (!committed_) fs::remove(temporary_, ec);
  }

  // Throws `internalError` when the file could not be written whole; the old one stays.
  void commit() {
    // On disk before the rename makes it current: the version is recorded right after, and a
    // model that is recorded but empty after a power loss would never be downloaded again.
    bool written = written_ && out_;
    if (!written) {
      discard();
      throw DownloadError::internalError(kWriteError);
    }
    written = std::fflush(out_) == 0 && written;
    written = ::fsync(fileno(out_)) == 0 && written;
    written = std::fclose(out_) == 0 && written;
    out_ = nullptr;
    if (!written) {
      discard();
      throw DownloadError::internalError(kWriteError);
    }
    compileModel(temporary_);
    std::error_code ec;
    fs::rename(temporary_, target_, ec);
    if (ec) {
      discard();
      throw DownloadError::internalError(kWriteError);
    }
    committed_ = true;
  }

  bool writeFailed() const { return !written_; }

 private:
  static constexpr const char* kWriteError = "Could not write the model file.";
  fs::path target_;
  fs::path temporary_;
  FILE* out_ = nullptr;
  bool written_ = true;
  bool committed_ = false;
};

void ModelDownloader::store(const std::string& name, const platform::Bytes& data) const {
  PendingFile file(name);
  file.write(data);
  file.commit();
}

std::optional<std::string> ModelDownloader::recordedVersion(const std::string& name) {
  auto versions = sharedDefaults()->dictionary(defaults_keys::kConfigVersion);
  if (!versions || !versions->is_object()) return std::nullopt;
  auto it = versions->find(name);
  if (it == versions->end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

bool ModelDownloader::isNewerVersion(const std::string& listed,
                                     const std::optional<std::string>& stored) {
  if (listed.empty()) return false;
  if (!stored) return true;
  auto a = numericParts(listed);
  auto b = numericParts(*stored);
  if (!a || !b) return listed != *stored;
  const auto n = std::max(a->size(), b->size());
  for (std::size_t i = 0; i < n; ++i) {
    auto x = i < a->size() ? (*a)[i] : 0;
    auto y = i < b->size() ? (*b)[i] : 0;
    if (x != y) return x > y;
  }
  return false;
}

std::future<ModelDownloader::UpdateResult> ModelDownloader::updateIfNeeded(
    const std::string& baseUrl, const std::string& name, const std::string& listedVersion) const {
  auto promise = std::make_shared<std::promise<UpdateResult>>();
  auto future = promise->get_future();
  if (name.empty() || !isSafeName(name)) {
    promise->set_value({false, name.empty() ? DownloadError::emptyModelName()
                                            : DownloadError::internalError(kStorageError)});
    return future;
  }
  bool present = true;
  try {
    modelURL(name);
  } catch (const DownloadError&) {
    present = false;
  }
  if (present && !isNewerVersion(listedVersion, recordedVersion(name))) {
    promise->set_value({false, std::nullopt});
    return future;
  }
  std::shared_ptr<PendingFile> file;
  try {
    file = std::make_shared<PendingFile>(name);
  } catch (const DownloadError& error) {
    promise->set_value({false, error});
    return future;
  }
  // Written to the store as it arrives: a model never sits whole in memory, and a reply that
  // inflates without end stops at the size limit.
  OstrelClient::downloadSdk(
      baseUrl, name, [file](std::span<const std::uint8_t> bytes) { return file->write(bytes); },
      [promise, file, name, listedVersion](Outcome<std::uint64_t> outcome) mutable {
        auto pending = std::move(file);
        if (pending->writeFailed()) {
          pending->discard();
          promise->set_value({false, DownloadError::internalError("Could not write the model file.")});
          return;
        }
        if (!outcome) {
          pending->discard();
          promise->set_value({false, DownloadError::downloadFailed(outcome.error().code,
                                                                   outcome.error().message)});
          return;
        }
        try {
          pending->commit();
        } catch (const DownloadError& error) {
          promise->set_value({false, error});
          return;
        }
        pending.reset();
        auto defaults = sharedDefaults();
        auto versions =
            defaults->dictionary(defaults_keys::kConfigVersion).value_or(platform::JSON::object());
        if (!versions.is_object()) versions = platform::JSON::object();
        versions[name] = listedVersion;
        defaults->setDictionary(defaults_keys::kConfigVersion, versions);
        promise->set_value({true, std::nullopt});
      });
  return future;
}

}  // namespace ostrel
