#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/JSON.hpp"

namespace ostrel::platform {

struct Notification {
  std::string name;
  JSON userInfo = JSON::object();
};

// Named broadcasts, delivered synchronously on the posting thread. Observers are held weakly:
// one that is gone is skipped and forgotten. Registering twice delivers twice.
class NotificationCenter {
 public:
  using Block = std::function<void(const Notification&)>;

  static NotificationCenter& defaultCenter();

  void addObserver(std::weak_ptr<const void> observer, std::string name, Block block);
  template <class T>
  void addObserver(const std::shared_ptr<T>& observer, std::string name, Block block) {
    addObserver(std::weak_ptr<const void>(std::shared_ptr<const void>(observer)), std::move(name),
                std::move(block));
  }
  // Removes every registration of `observer`, whatever its name.
  void removeObserver(const void* observer);
  void removeObserver(const void* observer, const std::string& name);

  void post(const std::string& name, JSON userInfo = JSON::object());

  // Drops every registration (between tests).
  void resetForTesting();

 private:
  struct Registration {
    std::weak_ptr<const void> observer;
    const void* identity;
    std::string name;
    Block block;
  };

  std::mutex mutex_;
  std::vector<Registration> registrations_;
};

}  // namespace ostrel::platform
