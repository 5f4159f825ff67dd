#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/runtime/Runtime.hpp"

namespace ostrel::platform {

class TaskLoop;

// Real threads and the steady clock. The main queue runs on the thread that calls
// `runMainLoop` (the host's, or the demo's); serial queues each get a worker thread and the
// global queue a small pool.
class LiveRuntime : public Runtime {
 public:
  LiveRuntime();
  ~LiveRuntime() override;

  TimeInterval uptime() const override;
  Date now() const override;
  std::shared_ptr<DispatchQueue> mainQueue() override;
  std::shared_ptr<DispatchQueue> globalQueue() override;
  std::shared_ptr<DispatchQueue> makeSerialQueue(std::string label) override;
  bool isMainQueue() const override;

  // Runs main-queue work on the calling thread until `stopMainLoop`, or until `until` holds
  // (checked after each block) or `timeout` seconds have passed. Returns whether it ended
  // because `until` held or the loop was stopped.
  bool runMainLoop(std::function<bool()> until = {}, std::optional<TimeInterval> timeout = {});
  void stopMainLoop();

 private:
  std::chrono::steady_clock::time_point start_;
  std::thread::id mainThread_;
  std::shared_ptr<DispatchQueue> main_;
  std::shared_ptr<DispatchQueue> global_;
};

}  // namespace ostrel::platform
