#include "platform/foundation/Debug.hpp"

#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>

namespace ostrel::platform {
namespace {

std::mutex& sinkMutex() {
  static std::mutex m;
  return m;
}

std::function<void(std::string_view)>& customSink() {
  static std::function<void(std::string_view)> sink;
  return sink;
}

bool stderrEnabled() {
  static const bool enabled = [] {
    const char* v = std::getenv("OSTREL_DEBUG");
    return v != nullptr && std::string(v) == "1";
  }();
  return enabled;
}

}  // namespace

void debugLog(std::string_view message) {
  std::lock_guard lock(sinkMutex());
  if (customSink()) {
    customSink()(message);
  } else if (stderrEnabled()) {
    std::cerr << "[ostrel] " << message << '\n';
  }
}

void setDebugSink(std::function<void(std::string_view)> sink) {
  std::lock_guard lock(sinkMutex());
  customSink() = std::move(sink);
}

}  // namespace ostrel::platform
