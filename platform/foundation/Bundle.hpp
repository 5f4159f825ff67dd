#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ostrel::platform {

// A folder of resources: images by name, "<lang>.lproj" folders and an "Info.json" whose
// "shortVersionString" is the bundle's version.
class Bundle {
 public:
  // The folder the library's resources are installed in: OSTREL_RESOURCE_ROOT when set, else
  // the installed package's folder for a host built against it, else the one chosen at build
  // time.
  static std::filesystem::path libraryResourcePath();
  // A bundle over an existing folder; nothing when there is none.
  static std::shared_ptr<Bundle> open(const std::filesystem::path& path);

  explicit Bundle(std::filesystem::path path);

  const std::filesystem::path& bundlePath() const { return path_; }

  // "<name>.<type>", in `subdirectory` when given (for example "vi.lproj").
  std::optional<std::filesystem::path> pathForResource(const std::string& name,
                                                       const std::string& type,
                                                       const std::string& subdirectory = "") const;
  // An image by name: "<name>.png", "<name>@2x.png", "<name>@3x.png", ".jpg", ".gif".
  std::optional<std::filesystem::path> imagePath(const std::string& name) const;
  // The language codes of the "lproj" folders, sorted.
  std::vector<std::string> localizations() const;
  std::optional<std::string> shortVersionString() const;

  // The host application's own bundle (the working directory until the host or a test sets
  // one; null puts that back).
  static std::shared_ptr<Bundle> main();
  static void setMain(std::shared_ptr<Bundle> bundle);
  // The language whose "<lang>.lproj" string tables are read first ("en" by default).
  static std::string preferredLanguage();
  static void setPreferredLanguage(std::string language);
  // A string of the table `table` ("Localizable" when empty), a JSON object of texts stored as
  // "<table>.json" in the preferred language's folder, else in "Base.lproj", else at the top.
  // Not found: `value` when it is not empty, else the key itself.
  std::string localizedString(const std::string& key, const std::string& value = "",
                              const std::string& table = "") const;

 private:
  std::filesystem::path path_;
};

}  // namespace ostrel::platform
