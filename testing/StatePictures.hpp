#pragma once

#include <filesystem>
#include <string>

#include "platform/media/Image.hpp"
#include "platform/ui/Renderer.hpp"

namespace ostrel::testing {

// Pictures of the key window, and the windows above it, as a person sees them, drawn as the demo's screen pictures are
// (text measured and drawn with Pango: install `PangoTextMeasurer` first), one file per
// screen state: "DIR/<screen>-<state>.png". The renderer is kept, as the demo keeps it.
class StatePictures {
 public:
  explicit StatePictures(std::filesystem::path directory, double scale = 2);

  // Lays out and draws the key window now and writes its picture; returns it for probing.
  platform::ImagePtr take(const std::string& screen, const std::string& state);
  // The picture of the key window now, written nowhere.
  platform::ImagePtr look();

  const std::filesystem::path& directory() const { return directory_; }

 private:
  std::filesystem::path directory_;
  double scale_;
  platform::ViewRenderer renderer_;
};

}  // namespace ostrel::testing
