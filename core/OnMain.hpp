#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <tuple>
#include <utility>

#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel {

// Wraps a completion handed to the host so that, whichever thread the host calls it on, the
// library acts on it on the main queue (at once when already there).
template <class... Args>
std::function<void(Args...)> onMain(std::function<void(Args...)> completion) {
  if (!completion) return {};
  return [completion = std::move(completion)](Args... args) {
    if (platform::isMainQueue()) {
      completion(std::forward<Args>(args)...);
      return;
    }
    platform::DispatchQueue::main()->async(
        [completion, captured = std::make_tuple(std::decay_t<Args>(args)...)]() mutable {
          std::apply(completion, std::move(captured));
        });
  };
}

// A completion the host may call any number of times: only the first call counts.
template <class Arg>
std::function<void(Arg)> firstCallOnly(std::function<void(Arg)> body) {
  auto called = std::make_shared<std::atomic<bool>>(false);
  return [called, body = std::move(body)](Arg value) {
    if (called->exchange(true)) return;
    body(std::move(value));
  };
}

}  // namespace ostrel
