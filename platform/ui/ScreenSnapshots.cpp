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
  if (!visible || visible == pictured_.lock()) {
    pending_.reset();
    return std::nullopt;
  }
  if (visible != pending_.lock()) {
    pending_ = visible;
    pendingSince_ = now;
  }
  if (now - pendingSince_ < kSettleTime) return std::nullopt;
  auto key = Window::keyWindow();
  if (!key) return std::nullopt;
  key->displayIfNeeded();
  auto image = renderer_.snapshot(*key, scale_);
  if (!image) return std::nullopt;
  std::string name = visible->className();
  if (auto colons = name.rfind("::"); colons != std::string::npos) name = name.substr(colons + 2);
  char number[16];
  std::snprintf(number, sizeof number, "%03zu-", written_.size() + 1);
  auto path = directory_ / (number + name + ".png");
  std::error_code error;
  std::filesystem::create_directories(directory_, error);
  if (!writePNG(*image, path)) {
    debugLog("cannot write the screen picture " + path.string());
    return std::nullopt;
  }
  pictured_ = visible;
  pending_.reset();
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
