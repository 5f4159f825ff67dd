#include <gtest/gtest.h>

#include "platform/runtime/DispatchQueue.hpp"
#include "testing/RuntimeFixture.hpp"

namespace ostrel::platform {
namespace {

class QueueCheckTest : public testing::RuntimeTest {};

TEST_F(QueueCheckTest, CodeOffItsQueueStopsTheProcessWhereChecksAreOn) {
  if (!kQueueChecks) GTEST_SKIP() << "queue checks are off in release builds";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto session = DispatchQueue::make("com.ostrel.test.session");

  // On their queues, nothing happens.
  assertOnQueue(DispatchQueue::main());
  int ran = 0;
  session->async([&] {
    assertOnQueue(session);
    ++ran;
  });
  DispatchQueue::main()->async([&] {
    assertOnQueue(DispatchQueue::main());
    ++ran;
  });
  runUntilIdle();
  EXPECT_EQ(ran, 2);

  EXPECT_DEATH(assertOnQueue(session, "readChip"),
               "readChip must run on the queue \"com.ostrel.test.session\"");
  EXPECT_DEATH(
      {
        session->async([] { assertOnQueue(DispatchQueue::main(), "present"); });
        runUntilIdle();
      },
      "present must run on the queue");
}

}  // namespace
}  // namespace ostrel::platform
