#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "platform/foundation/DeviceInfo.hpp"
#include "testing/DeterministicRuntime.hpp"

namespace ostrel::testing {

// The fixed device tests run on.
platform::DeviceInfo fixedDevice();

// Puts the process in a known state for one test: the deterministic runtime, in-memory user
// defaults, the fixed device, a private temporary data directory, an active application and no
// notification observers. Everything is undone afterwards.
class RuntimeEnvironment {
 public:
  RuntimeEnvironment();
  ~RuntimeEnvironment();
  RuntimeEnvironment(const RuntimeEnvironment&) = delete;
  RuntimeEnvironment& operator=(const RuntimeEnvironment&) = delete;

  DeterministicRuntime& runtime() { return *runtime_; }
  const std::filesystem::path& dataDirectory() const { return dataDirectory_; }

 private:
  std::shared_ptr<DeterministicRuntime> runtime_;
  std::filesystem::path dataDirectory_;
};

class RuntimeTest : public ::testing::Test {
 protected:
  DeterministicRuntime& runtime() { return environment_.runtime(); }
  const std::filesystem::path& dataDirectory() const { return environment_.dataDirectory(); }

  std::size_t runUntilIdle() { return runtime().runUntilIdle(); }
  void advance(TimeInterval seconds) { runtime().advance(seconds); }
  bool waitUntil(const std::function<bool()>& done, double realSeconds = 10) {
    return runtime().waitUntil(done, realSeconds);
  }

 private:
  RuntimeEnvironment environment_;
};

}  // namespace ostrel::testing
