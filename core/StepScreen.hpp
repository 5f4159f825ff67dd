#pragma once

#include <concepts>
#include <functional>
#include <memory>
#include <utility>

#include "platform/ui/ViewController.hpp"

namespace ostrel {

// Starts the face step on top of the current screen and runs the continuation (when set) once
// the face step is done and popped. Returns whether the face step was pushed: when it was not
// (no face screen, no navigation controller) the continuation never runs, and the caller must
// not wait for it.
using LivenessStarter = std::function<bool(std::function<void()> continuation)>;

// A flow step as the launcher sees it: the screen's controller and how to hand it its
// continuations. Step screens carry a public `std::function<void()> onNext` (and the chip
// screen a `LivenessStarter onNeedLiveness`), and a public `void resetForNewRun()` that takes
// the screen back to the state of a fresh one (a configured step is shown again by every run
// and restart); `StepScreen::of` wires those, so the launcher knows no screen class. The
// setters hold the screen weakly.
struct StepScreen {
  std::shared_ptr<platform::ViewController> controller;
  std::function<void(std::function<void()>)> setOnNext;
  // Empty for screens without a second continuation.
  std::function<void(LivenessStarter)> setOnNeedLiveness;
  // Empty for screens without the hook. The launcher calls it before each use of the screen.
  std::function<void()> resetForNewRun;

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
    if constexpr (requires(Screen & s) {
                    { s.resetForNewRun() } -> std::same_as<void>;
                  }) {
      step.resetForNewRun = [weak] {
        if (auto s = weak.lock()) s->resetForNewRun();
      };
    }
    return step;
  }
};

}  // namespace ostrel
