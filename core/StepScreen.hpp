#pragma once

#include <functional>
#include <memory>
#include <utility>

#include "platform/ui/ViewController.hpp"

namespace ostrel {

// Starts the face step on top of the current screen and runs the continuation (when set) once
// the face step is done and popped.
using LivenessStarter = std::function<void(std::function<void()> continuation)>;

// A flow step as the launcher sees it: the screen's controller and how to hand it its
// continuations. Step screens carry a public `std::function<void()> onNext` (and the chip
// screen a `LivenessStarter onNeedLiveness`); `StepScreen::of` wires those, so the launcher
// knows no screen class. The setters hold the screen weakly.
struct StepScreen {
  std::shared_ptr<platform::ViewController> controller;
  std::function<void(std::function<void()>)> setOnNext;
  // Empty for screens without a second continuation.
  std::function<void(LivenessStarter)> setOnNeedLiveness;

  explicit operator bool() const { return controller != nullptr; }

  template <class Screen>
  static StepScreen of(const std::shared_ptr<Screen>& screen) {
    StepScreen step;
    if (!screen) return step;
    step.controller = screen;
    std::weak_ptr<Screen> weak = screen;
    if constexpr (requires(Screen & s, std::function<void()> f) { s.onNext = f; }) {
      step.setOnNext = [weak](std::function<void()> next) {
        if (auto s = weak.lock()) s->onNext = std::move(next);
      };
    }
    if constexpr (requires(Screen & s, LivenessStarter f) { s.onNeedLiveness = f; }) {
      step.setOnNeedLiveness = [weak](LivenessStarter starter) {
        if (auto s = weak.lock()) s->onNeedLiveness = std::move(starter);
      };
    }
    return step;
  }
};

}  // namespace ostrel
