#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Date.hpp"

namespace ostrel::platform {

class Runtime;

// A queue of work. Serial queues run one block at a time in posting order (delayed blocks in
// due order); the global queue may run blocks side by side. Posting is safe from any thread.
class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
 public:
  virtual ~DispatchQueue() = default;

  static std::shared_ptr<DispatchQueue> main();
  static std::shared_ptr<DispatchQueue> global();
  static std::shared_ptr<DispatchQueue> make(std::string label);

  const std::string& label() const { return label_; }

  void async(std::function<void()> work) { asyncAfter(0, std::move(work)); }
  virtual void asyncAfter(TimeInterval delay, std::function<void()> work) = 0;

  // Runs `work` on this queue and returns when it is done. Runs inline when called from
  // this queue already.
  void sync(const std::function<void()>& work);

  // Whether the calling code runs on this queue.
  virtual bool isCurrent() const;

  // The queues the calling thread is running, innermost last (maintained by the runtimes).
  static std::vector<const DispatchQueue*>& runningStack();

  // RAII marker a runtime puts around each block it runs.
  class Running {
   public:
    explicit Running(const DispatchQueue* queue) { runningStack().push_back(queue); }
    ~Running() { runningStack().pop_back(); }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
  };

 protected:
  explicit DispatchQueue(std::string label) : label_(std::move(label)) {}

 private:
  std::string label_;
};

// True when the calling code runs on the main queue.
bool isMainQueue();

}  // namespace ostrel::platform
