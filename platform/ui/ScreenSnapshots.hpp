#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Renderer.hpp"
#include "platform/ui/ViewController.hpp"

namespace ostrel::platform {

// Writes a picture of the key window each time the screen the user looks at changes, once it
// has settled: "DIR/001-GuideVC.png", "DIR/002-...", numbered in order and named after the
// screen's class. A screen that leaves before it settles (a user quicker than the transition)
// is pictured as it last looked. Runs on the main queue.
class ScreenSnapshotRecorder : public std::enable_shared_from_this<ScreenSnapshotRecorder> {
 public:
  // How long a new screen must stay on top before it is pictured (its transition has run).
  static constexpr double kSettleTime = 0.5;

  explicit ScreenSnapshotRecorder(std::filesystem::path directory, double scale = 2);

  // The controller on top: the key window's root, followed through what it presents and the
  // top of navigation stacks.
  static std::shared_ptr<ViewController> visibleController();

  // Looks at the screen now; writes its picture when a new one has settled, or the last look of
  // one that left unsettled. Returns the file written, if any.
  std::optional<std::filesystem::path> poll();
  // Polls every `interval` seconds on the main queue while the recorder lives.
  void start(double interval = 0.1);
  const std::vector<std::filesystem::path>& written() const { return written_; }

 private:
  std::optional<std::filesystem::path> write(const Image& image, const std::string& name);

  std::filesystem::path directory_;
  double scale_;
  ViewRenderer renderer_;
  std::weak_ptr<ViewController> pictured_;
  std::weak_ptr<ViewController> pending_;
  double pendingSince_ = 0;
  // The pending screen's last look and name, written if it leaves before it settles.
  ImagePtr draft_;
  std::string draftName_;
  std::vector<std::filesystem::path> written_;
};

}  // namespace ostrel::platform
