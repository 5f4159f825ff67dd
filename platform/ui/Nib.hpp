#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Make.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/ui/Object.hpp"

namespace ostrel::platform {

class Bundle;

// What a nib builder works with: the owner to wire outlets and actions to, and a factory that
// remembers every object it makes so that all of them get `awakeFromNib` once the builder is
// done (outlets in place), as objects decoded from a nib do.
class NibLoader {
 public:
  explicit NibLoader(std::shared_ptr<Object> owner) : owner_(std::move(owner)) {}

  template <class T>
  std::shared_ptr<T> owner() const {
    return std::dynamic_pointer_cast<T>(owner_);
  }
  // A view (or control, label...) with its frame.
  template <class T>
  std::shared_ptr<T> makeView(Rect frame) {
    auto object = platform::make<T>(frame);
    created_.push_back(object);
    return object;
  }
  // Any other object of the nib (controllers, recognisers).
  template <class T, class... Args>
  std::shared_ptr<T> makeObject(Args&&... args) {
    auto object = platform::make<T>(std::forward<Args>(args)...);
    created_.push_back(object);
    return object;
  }
  // Sends `awakeFromNib` to everything made, in creation order.
  void awakeAll();

 private:
  std::shared_ptr<Object> owner_;
  std::vector<std::shared_ptr<Object>> created_;
};

// Builds a nib's top-level objects (views with frames, runtime attributes applied, owner's
// outlets wired) and returns them in order.
using NibBuilder = std::function<std::vector<std::shared_ptr<Object>>(NibLoader&)>;

// Nibs are C++ builders registered by name per bundle.
class NibRegistry {
 public:
  static void add(const std::filesystem::path& bundlePath, const std::string& name,
                  NibBuilder builder);
  static const NibBuilder* find(const std::filesystem::path& bundlePath, const std::string& name);
  static std::vector<std::string> names(const std::filesystem::path& bundlePath);
};

class Nib {
 public:
  // Nothing when the bundle has no nib of that name (a null bundle is the main bundle).
  static std::shared_ptr<Nib> load(const std::string& name, const std::shared_ptr<Bundle>& bundle);

  explicit Nib(NibBuilder builder) : builder_(std::move(builder)) {}
  std::vector<std::shared_ptr<Object>> instantiate(const std::shared_ptr<Object>& owner) const;

 private:
  NibBuilder builder_;
};

}  // namespace ostrel::platform
