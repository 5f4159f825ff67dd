#include "platform/ui/ScreenSnapshots.hpp"

#include <cstdio>

#include "platform/foundation/Debug.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/runtime/Runtime.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/Window.hpp"

namespace ostrel::platform {

ScreenSnapshotRecorder::ScreenSnapshotRecorder(std::filesystem::path directory, double scale)
    : directory_(std::move(directory)), scale_(scale) {}

std::shared_ptr<ViewController> ScreenSnapshotRecorder::visibleController() {
  auto key = Window::keyWindow();
  auto controller = key ? key->rootViewController() : nullptr;
  while (controller) {
    if (auto presented = controller->presentedViewController()) {
      controller = presented;
    } else if (auto navigation = std::dynamic_pointer_cast<NavigationController>(controller);
               navigation && navigation->topViewController()) {
      controller = navigation->topViewController();
    } else {
      break;
    }
  }
  return controller;
}

std::optional<std::filesystem::path> ScreenSnapshotRecorder::poll() {
  auto visible = visibleController();
  double now = Runtime::current().uptime();
  std::optional<std::filesystem::path> written;
  // A draft means a screen is waiting to settle; something else on top means it left too soon.
  if (draft_ && visible != pending_.lock()) {
    written = write(*draft_, draftName_);
    draft_.reset();
    pending_.reset();
  }
  if (!visible || visible == pictured_.lock()) {
    pending_.reset();
    return written;
  }
  if (visible != pending_.lock()) {
    pending_ = visible;
    pendingSince_ = now;
  }
  auto key = Window::keyWindow();
  if (!key) return written;
  key->displayIfNeeded();
  auto image = renderer_.snapshot(*key, scale_);
  if (!image) return written;
  std::string name = visible->className();
  if (auto colons = name.rfind("::"); colons != std::string::npos) name = name.substr(colons + 2);
  if (now - pendingSince_ < kSettleTime) {
    draft_ = image;
    draftName_ = name;
    return written;
  }
  if (auto path = write(*image, name)) {
    written = path;
    pictured_ = visible;
    pending_.reset();
    draft_.reset();
  }
  return written;
}

std::optional<std::filesystem::path> ScreenSnapshotRecorder::write(const Image& image,
                                                                   const std::string& name) {
  char number[16];
  std::snprintf(number, sizeof number, "%03zu-", written_.size() + 1);
  auto path = directory_ / (number + name + ".png");
  std::error_code error;
  std::filesystem::create_directories(directory_, error);
  if (!writePNG(image, path)) {
    debugLog("cannot write the screen picture " + path.string());
    return std::nullopt;
  }
  written_.push_back(path);
  return path;
}

void ScreenSnapshotRecorder::start(double interval) {
  std::weak_ptr<ScreenSnapshotRecorder> weak = weak_from_this();
  DispatchQueue::main()->asyncAfter(interval, [weak, interval] {
    if (auto self = weak.lock()) {
      self->poll();
      self->start(interval);
    }
  });
}

}  // namespace ostrel::platform
