#include <algorithm>

#include <gtest/gtest.h>

#include "liveness/OSLFaceVC.hpp"
#include "network/Client.hpp"
#include "session/Ostrel.hpp"
#include "testing/FlowHarness.hpp"
#include "testing/HostileReplies.hpp"

namespace ostrel {
namespace {

using testing::FlowHarness;
using testing::HostileKind;
using testing::ScriptedReply;
using Strings = std::vector<std::string>;

class HostileServerFlowTest : public FlowHarness {
 protected:
  HostileServerFlowTest() {
    // A user whose face picture was not accepted tries again.
    journey.on("face retry", [](const std::shared_ptr<platform::ViewController>& top,
                                testing::ScriptedUser& finger, const testing::UserJourney::Say& say) {
      auto face = std::dynamic_pointer_cast<OSLFaceVC>(top);
      if (!face || face->isHandingOff() || !face->retryButton || face->retryButton->isHidden() ||
          face->retryButton->alpha() < 0.01 || !face->retryButton->window()) {
        return false;
      }
      say("tries the face again");
      finger.tap(face->retryButton);
      return true;
    });
  }
  ~HostileServerFlowTest() override { Client::shared()->setTimeoutInterval(60); }

  // The user gives up on a session the server keeps failing; what it had in flight settles.
  void closeSessionAndSettle() {
    settleNetwork();
    Ostrel::shared()->close(true, nullptr);
    for (int tick = 0; tick < 30 && Ostrel::shared()->naviViewController(); ++tick) {
      advance(0.1);
      settleNetwork();
    }
    advance(1);
    settleNetwork();
  }
};

// One kind of each way a call can fail (every kind meets every call in the client's own table),
// so the flows, which are slow to walk, stay quick.
bool inFlowTable(HostileKind kind) {
  switch (kind) {
    case HostileKind::malformedJSON:
    case HostileKind::dataNull:
    case HostileKind::truncated:
    case HostileKind::slow:
    case HostileKind::notFound:
    case HostileKind::gzipBomb:
    case HostileKind::deepNesting:
      return true;
    default:
      return false;
  }
}

bool withoutData(HostileKind kind) {
  return kind == HostileKind::dataMissing || kind == HostileKind::dataNull ||
         kind == HostileKind::dataNumber;
}

// Each call of each flow answered, one after the other, with each way of failing it (the expiry
// aside: it ends the session, as its own test shows), then soundly. The cooperative
// user meets each failure with the error alert, confirms it and tries again; nothing later in the
// flow is asked while the call keeps failing, no result reaches the host before the sound reply,
// and once it comes the flow runs to its one result. No crash, no hang. A reply without data,
// on a call that may take one, lets the flow go on at once.
TEST_F(HostileServerFlowTest, EachCallOfTheEkycFlowThroughEachWayOfFailing) {
  struct Row {
    const char* flow;
    Strings paths;
    // The calls whose result the flow is built from.
    Strings needData;
  };
  const Row rows[] = {
      {"ekyc",
       {"/api/kyc/app/scan-front", "/api/kyc/app/scan-back", "/api/kyc/check-selfie",
        "/api/kyc/confirm"},
       {"/api/kyc/app/scan-front", "/api/kyc/app/scan-back", "/api/kyc/confirm"}},
  };
  // The slow kind must run out of the client's time, the others not.
  Client::shared()->setTimeoutInterval(testing::kHostileDelaySeconds / 3);
  for (const Row& row : rows) {
    for (std::size_t at = 0; at < row.paths.size(); ++at) {
      const std::string& path = row.paths[at];
      const bool needsData =
          std::find(row.needData.begin(), row.needData.end(), path) != row.needData.end();
      SCOPED_TRACE(std::string(row.flow) + " at " + path);
      server.resetReplies();
      server.clearLog();
      host.clear();
      said.clear();
      std::size_t failing = 0;
      for (const auto& hostile : testing::hostileReplies()) {
        if (!inFlowTable(hostile.kind)) continue;
        if (withoutData(hostile.kind) && !needsData) continue;
        server.pushOnceReply(path, hostile.reply);
        ++failing;
      }
      // Then, on a call that may take it, a reply without data: the flow goes on with it.
      if (!needsData) server.pushOnceReply(path, ScriptedReply::json(platform::JSON::object()));

      ASSERT_TRUE(runFlow(row.flow, nullptr, 300)) << testing::describe(said);
      const Strings paths = flowPaths();
      const auto asked = std::count(paths.begin(), paths.end(), path);
      EXPECT_EQ(asked, static_cast<long>(failing + 1))
          << testing::describe(paths);
      // Nothing past the failing call before its sound reply.
      const auto lastAsk = std::find(paths.rbegin(), paths.rend(), path).base() - 1;
      for (std::size_t later = at + 1; later < row.paths.size(); ++later) {
        EXPECT_TRUE(std::find(paths.begin(), lastAsk, row.paths[later]) == lastAsk)
            << row.paths[later] << " asked while " << path << " failed";
      }
      EXPECT_EQ(host.count("result"), 1) << testing::describe(host.order());
      EXPECT_EQ(host.count("event:0") + host.count("event:1"), 0);
      expectNothingLeft();
    }
  }
  // The review's data: a failed fetch leaves the fields for the user, and nothing goes on
  // without them.
  for (const auto& hostile : testing::hostileReplies()) {
    // Each walk to the review is long; a body that does not read, one that never comes and one
    // nested too deep stand for the rest.
    if (hostile.kind != HostileKind::malformedJSON && hostile.kind != HostileKind::slow &&
        hostile.kind != HostileKind::deepNesting) {
      continue;
    }
    SCOPED_TRACE(std::string("review data: ") + hostile.name);
    server.resetReplies();
    server.clearLog();
    host.clear();
    server.setReply("/api/kyc/get-result", hostile.reply);
    buildConfig();
    Ostrel::shared()->run("ekyc", config);
    ASSERT_TRUE(drive([&] {
      const auto paths = flowPaths();
      return !paths.empty() && paths.back() == "/api/kyc/get-result" &&
             transport->inFlight() == 0;
    }, 120));
    drive([] { return false; }, 3);
    const auto paths = flowPaths();
    EXPECT_EQ(paths.back(), "/api/kyc/get-result");
    EXPECT_EQ(host.count("result"), 0);
    EXPECT_TRUE(Ostrel::shared()->naviViewController()) << "the session ended";
    closeSessionAndSettle();
    EXPECT_EQ(orderWithoutLoading(), Strings{"event:0"});
    expectNothingLeft();
  }
}

// The chip-only flow's confirmation answered with a success that carries no data: no result
// without a decision reaches the host, the session stays for the user to try again.
TEST_F(HostileServerFlowTest, AChipConfirmationWithoutDataIsNoResult) {
  for (const auto& hostile : testing::hostileReplies()) {
    if (!withoutData(hostile.kind)) continue;
    SCOPED_TRACE(hostile.name);
    server.resetReplies();
    server.clearLog();
    host.clear();
    server.setReply("/api/kyc/confirm", hostile.reply);
    buildConfig();
    Ostrel::shared()->run("nfc_only", config);
    drive([&] { return server.lastRequest("/api/kyc/confirm").has_value(); }, 60);
    drive([] { return false; }, 3);
    EXPECT_TRUE(server.lastRequest("/api/kyc/confirm").has_value());
    EXPECT_EQ(host.count("result") + host.count("noResult"), 0)
        << testing::describe(host.order());
    EXPECT_TRUE(Ostrel::shared()->naviViewController()) << "the session ended";
    closeSessionAndSettle();
    expectNothingLeft();
  }
}

}  // namespace
}  // namespace ostrel
