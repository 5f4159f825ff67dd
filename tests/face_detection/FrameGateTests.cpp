#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "platform/runtime/DispatchQueue.hpp"
#include "platform/runtime/FrameGate.hpp"
#include "platform/runtime/Runtime.hpp"
#include "testing/RuntimeFixture.hpp"

namespace ostrel::platform {
namespace {

class FrameGateTest : public testing::RuntimeTest {};

TEST_F(FrameGateTest, HoldsAtMostOnePermitUntilShutDownAndReopened) {
  FrameGate gate;
  EXPECT_TRUE(gate.isOpen());
  EXPECT_TRUE(gate.acquire());
  EXPECT_FALSE(gate.tryAcquire()) << "one frame at a time";

  // A frame's own release plus a tick's and a retry's: still one frame through.
  gate.release();
  gate.release();
  gate.release();
  EXPECT_TRUE(gate.tryAcquire());
  EXPECT_FALSE(gate.tryAcquire());

  gate.shutdown();
  EXPECT_TRUE(gate.isShutDown());
  EXPECT_FALSE(gate.acquire()) << "returns at once after a shutdown";
  gate.release();
  EXPECT_FALSE(gate.tryAcquire()) << "a late release does not reopen a shut gate";
  EXPECT_FALSE(gate.isOpen());

  gate.reopen();
  EXPECT_FALSE(gate.isShutDown());
  EXPECT_TRUE(gate.acquire());
  EXPECT_FALSE(gate.tryAcquire());

  FrameGate closed(false);
  EXPECT_FALSE(closed.tryAcquire());
}

TEST_F(FrameGateTest, DeterministicWaitRunsTheQueuedWorkThatReleasesIt) {
  FrameGate gate(false);
  int judged = 0;
  DispatchQueue::main()->async([&] {
    ++judged;
    gate.release();
  });
  EXPECT_TRUE(gate.acquire());
  EXPECT_EQ(judged, 1);
  EXPECT_FALSE(gate.tryAcquire());
}

TEST_F(FrameGateTest, DeterministicWaitEndsWhenAnotherThreadShutsTheGate) {
  FrameGate gate(false);
  std::thread teardown([&] { gate.shutdown(); });
  EXPECT_FALSE(gate.acquire());
  teardown.join();
}

TEST_F(FrameGateTest, ThreadWaitingAtTheGateIsWokenByShutdownOrRelease) {
  for (const bool byShutdown : {true, false}) {
    SCOPED_TRACE(byShutdown ? "shutdown" : "release");
    FrameGate gate(false);
    std::atomic<int> answer{-1};
    std::thread camera([&] {
      answer = gate.acquire() ? 1 : 0;
      // Real threads report through the main queue, which is what `waitUntil` watches.
      DispatchQueue::main()->async([] {});
    });
    if (byShutdown) {
      gate.shutdown();
    } else {
      gate.release();
    }
    const bool ended = waitUntil([&] { return answer != -1; });
    if (!ended) {
      // Let the thread go so that a failing gate fails the test instead of hanging it.
      gate.reopen();
      gate.release();
    }
    camera.join();
    EXPECT_TRUE(ended);
    EXPECT_EQ(answer.load(), byShutdown ? 0 : 1);
  }
}

TEST(FrameGateLive, BlockingWaitEndsAtShutdown) {
  // Under the live runtime the wait blocks on the gate itself.
  Runtime::install(nullptr);
  FrameGate gate(false);
  auto camera = std::async(std::launch::async, [&] { return gate.acquire(); });
  gate.shutdown();
  const bool ended = camera.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!ended) {
    gate.reopen();
    gate.release();
  }
  EXPECT_TRUE(ended);
  EXPECT_FALSE(camera.get());
}

}  // namespace
}  // namespace ostrel::platform
