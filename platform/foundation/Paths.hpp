#pragma once

#include <filesystem>
#include <optional>

namespace ostrel::platform {

// Where the host application keeps its files. Defaults follow the XDG layout
// ($XDG_DATA_HOME or ~/.local/share, then "ostrel-host"); OSTREL_DATA_DIR overrides the
// root, and tests point it at a temporary folder.
class Paths {
 public:
  static std::filesystem::path applicationDataDirectory();
  static std::filesystem::path applicationSupportDirectory();
  static void setApplicationDataDirectory(std::optional<std::filesystem::path> root);
};

}  // namespace ostrel::platform
