#pragma once

// Binds a member function to an object that the closure must not keep alive: the closure
// locks the weak owner on every call and does nothing once the owner is gone. This replaces
// the hand-written "lock the weak pointer, return if gone" at the top of every completion that
// a protocol step hands to a queue or a backend.
//
//   tag->sendCommand(apdu, bindWeak(weak_from_this(), &TagReader::received, completion));
//
// Arguments given after the method are bound in front of the call's own arguments; they are
// copied into the closure and passed to each call as lvalues. The closure returns nothing.

#include <functional>
#include <memory>
#include <utility>

namespace ostrel::platform {

template <class T, class Method, class... Bound>
auto bindWeak(std::weak_ptr<T> owner, Method method, Bound... bound) {
  return [owner = std::move(owner), method, ... bound = std::move(bound)](auto&&... args) mutable {
    if (auto self = owner.lock()) {
      (void)std::invoke(method, self.get(), bound..., std::forward<decltype(args)>(args)...);
    }
  };
}

template <class T, class Method, class... Bound>
auto bindWeak(const std::shared_ptr<T>& owner, Method method, Bound... bound) {
  return bindWeak(std::weak_ptr<T>(owner), method, std::move(bound)...);
}

}  // namespace ostrel::platform
