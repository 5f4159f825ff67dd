#pragma once

#include <atomic>
#include <string>
#include <utility>

#include "platform/foundation/Bytes.hpp"

namespace ostrel {

// The chip reader's trace log. Call sites hand over a function that forms the text; it runs
// only when the minimum level asks for it, and the text then goes nowhere: traces carry key
// material and MRZ data, so they must never reach a log, a sink or the host. Tracing never
// changes a result and never fails.
class Log {
 public:
  enum Level : int { debug = 1, info = 2, warning = 3, error = 4 };

  static int logLevel() { return level().load(std::memory_order_relaxed); }
  static void setLogLevel(int minimum) { level().store(minimum, std::memory_order_relaxed); }
  static bool isTracing(int at) { return at >= logLevel(); }

  template <class TextFunction>
  static void trace(int at, TextFunction&& text) {
    if (!isTracing(at)) return;
    try {
      [[maybe_unused]] std::string formed = std::forward<TextFunction>(text)();
    } catch (...) {
      // A trace must not change the outcome of the step that traces.
    }
  }
  template <class F>
  static void debugTrace(F&& text) {
    trace(debug, std::forward<F>(text));
  }
  template <class F>
  static void infoTrace(F&& text) {
    trace(info, std::forward<F>(text));
  }
  template <class F>
  static void errorTrace(F&& text) {
    trace(error, std::forward<F>(text));
  }

 private:
  static std::atomic<int>& level() {
    static std::atomic<int> minimum{info};
    return minimum;
  }
};

// Upper-case hex with no separators, for trace texts.
std::string traceHex(const platform::Bytes& bytes);

}  // namespace ostrel
