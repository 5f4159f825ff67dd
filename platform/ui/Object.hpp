#pragma once

#include <any>
#include <map>
#include <memory>
#include <string>
#include <typeinfo>

namespace ostrel::platform {

// The demangled name of a dynamic type ("ostrel::GuideVC").
std::string demangledTypeName(const std::type_info& type);

// Root of the interface objects: views, controllers, recognisers, constraints. Held by
// shared_ptr; `shared<T>()` and `weak<T>()` hand out references typed as the caller needs.
class Object : public std::enable_shared_from_this<Object> {
 public:
  virtual ~Object() = default;

  template <class T>
  std::shared_ptr<T> shared() {
    return std::dynamic_pointer_cast<T>(shared_from_this());
  }
  template <class T>
  std::weak_ptr<T> weak() {
    return shared<T>();
  }
  // The dynamic type's demangled name.
  std::string className() const { return demangledTypeName(typeid(*this)); }

  // Per-object extension slots keyed by a static key's address (what the platform calls
  // associated objects); the value lives as long as the object.
  void setAssociatedObject(const void* key, std::any value) { associated_[key] = std::move(value); }
  std::any* associatedObject(const void* key) {
    auto it = associated_.find(key);
    return it == associated_.end() ? nullptr : &it->second;
  }

 private:
  std::map<const void*, std::any> associated_;
};

}  // namespace ostrel::platform
