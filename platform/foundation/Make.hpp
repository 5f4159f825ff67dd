#pragma once

#include <memory>
#include <utility>

namespace ostrel::platform {

// Two-phase creation. Constructors cannot dispatch to overrides nor hand out weak
// references to themselves, so objects whose set-up needs either put it in `didMake()`,
// which runs right after construction, once the object is owned by a shared_ptr.
template <class T, class... Args>
std::shared_ptr<T> make(Args&&... args) {
  auto object = std::make_shared<T>(std::forward<Args>(args)...);
  if constexpr (requires(T & t) { t.didMake(); }) {
    object->didMake();
  }
  return object;
}

}  // namespace ostrel::platform
