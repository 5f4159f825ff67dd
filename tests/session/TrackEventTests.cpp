#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "session/Ostrel.hpp"
#include "core/TrackEvent.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/ui/NavigationController.hpp"
#include "testing/ScriptedUser.hpp"

namespace ostrel {
namespace {

using platform::JSON;

struct Logged {
  OSLLogLevel level;
  std::string event;
  std::string screen;
  JSON data;
  JSON metadata;
  bool onMain;
};

class TrackEventTest : public testing::UITest {
 protected:
  void SetUp() override {
    config = OSLConfig::Builder("token");
    config->withLogHandler([this](OSLLogLevel level, const std::string& event,
                                  const std::string& screen, const JSON& data,
                                  const JSON& metadata) {
      logged.push_back({level, event, screen, data, metadata, platform::isMainQueue()});
    });
    Ostrel::shared()->setConfig(config);
  }
  void TearDown() override {
    Ostrel::shared()->setNaviViewController(nullptr);
    Ostrel::shared()->setConfig(nullptr);
  }

  std::shared_ptr<OSLConfig> config;
  std::vector<Logged> logged;
};

TEST(TrackingEventTableTest, GivenPositionsHaveTheirNames) {
  const std::vector<std::pair<int, std::string>> table = {
      {0, "MRZ_FAIL"},
      {1, "NFC_START_LISTEN"},
      {2, "NFC_ERROR"},
      {3, "NFC_TAP_CANCEL"},
      {4, "NFC_TAP_FAIL"},
      {5, "NFC_TAP_SUCCESS"},
      {6, "NFC_SUCCESS"},
      {7, "NFC_FAIL"},
      {8, "NFC_TAP_LOCATION"},
      {9, "NFC_SHOW_POSITION_FOUND"},
      {10, "NFC_SHOW_POSITION_NOT_FOUND"},
      {11, "NFC_LOCATION_TAP_CLOSE"},
      {19, "CAPTURE_START"},
      {20, "CAPTURE_AUTO_OFF"},
      {21, "CAPTURE_AUTO_ON"},
      {22, "CAPTURE_AUTO_SUCCESS"},
      {23, "CAPTURE_FAIL"},
      {24, "CAPTURE_SUCCESS"},
      {25, "CAPTURE_ERROR"},
      {26, "LIVENESS_START"},
      {27, "LIVENESS_FAIL"},
      {28, "LIVENESS_ERROR"},
      {29, "LIVENESS_SUCCESS"},
      {30, "LIVENESS_TIMEOUT"},
      {31, "LIVENESS_CAPTURE_SUCCESS"},
      {32, "LIVENESS_INTERRUPTED"},
      {36, "EXIT_TAP_YES"},
      {37, "EXIT_TAP_NO"},
      {38, "TAP_GUIDE"},
      {39, "GUIDE_TAP_CLOSE"},
      {40, "ENTER_SCREEN"},
      {41, "EXIT_SCREEN"},
      {42, "TAP_CAPTURE"},
      {43, "TAP_RETRY"},
      {44, "TAP_CONTINUE"},
      {45, "TAP_EXIT"},
      {46, "SDK_IN_BACKGROUND"},
      {47, "SDK_IN_FOREGROUND"},
      {48, "TOO_MANY_ATTEMPTS"},
  };
  for (const auto& [position, expected] : table) {
    auto event = trackingEventFromRaw(position);
    ASSERT_TRUE(event) << position;
    EXPECT_EQ(name(*event), expected) << position;
  }
  std::set<std::string_view> names(kTrackingEventNames.begin(), kTrackingEventNames.end());
  EXPECT_EQ(names.size(), 49u) << "every name is distinct";
  for (auto n : kTrackingEventNames) EXPECT_NE(n.rfind("PASSPORT_", 0), 0u) << n;
  EXPECT_FALSE(trackingEventFromRaw(-1));
  EXPECT_FALSE(trackingEventFromRaw(49));
}

TEST_F(TrackEventTest, HandsNameScreenDataAndMetadataToTheLogHandler) {
  trackEvent(2, OSLTrackingEvent::CAPTURE_START, screen_names::kCaptureFront, {{"k", 1}});
  trackEvent(OSLLogLevel::error, OSLTrackingEvent::TOO_MANY_ATTEMPTS,
             screen_names::kLivenessAdvance);
  trackEvent(1, 46, screen_names::kNfc);
  ASSERT_EQ(logged.size(), 3u);
  EXPECT_EQ(logged[0].level, OSLLogLevel::info);
  EXPECT_EQ(logged[0].event, "CAPTURE_START");
  EXPECT_EQ(logged[0].screen, "OSL_SCREEN_CAPTURE_FRONT");
  EXPECT_EQ(logged[0].data, (JSON{{"k", 1}}));
  EXPECT_EQ(logged[1].level, OSLLogLevel::error);
  EXPECT_EQ(logged[1].event, "TOO_MANY_ATTEMPTS");
  EXPECT_EQ(logged[1].data, JSON::object());
  EXPECT_EQ(logged[2].event, "SDK_IN_BACKGROUND");
  for (const auto& l : logged) {
    EXPECT_TRUE(l.onMain);
    for (const char* key :
         {"timestamp", "os_platform", "os_version", "device_model", "sdk_version"}) {
      ASSERT_TRUE(l.metadata.contains(key)) << key;
      EXPECT_TRUE(l.metadata[key].is_string()) << key;
    }
  }
}

TEST_F(TrackEventTest, SilentWithoutHandlerOrWithBadLevelOrPosition) {
  trackEvent(0, OSLTrackingEvent::CAPTURE_START, "s");
  trackEvent(5, OSLTrackingEvent::CAPTURE_START, "s");
  trackEvent(2, 49, "s");
  trackEvent(2, -1, "s");
  EXPECT_TRUE(logged.empty());
  config->withLogHandler({});
  trackEvent(2, OSLTrackingEvent::CAPTURE_START, "s");  // nothing to call, nothing fails
  runUntilIdle();
  EXPECT_TRUE(logged.empty());
}

TEST_F(TrackEventTest, FromAWorkerDuringCloseReachesTheSessionHandlerOnMain) {
  auto host = platform::make<platform::ViewController>();
  show(host);
  auto navi = platform::NavigationController::withRoot(platform::make<platform::ViewController>());
  ASSERT_TRUE(host->present(navi, false));
  Ostrel::shared()->setNaviViewController(navi);

  std::atomic<bool> stop = false;
  std::atomic<int> sent = 0;
  std::thread worker([&] {
    // Bounded: the loop ends when the main side says so or after a fixed count.
    for (int i = 0; i < 20000 && !stop; ++i) {
      trackEvent(2, OSLTrackingEvent::NFC_SUCCESS, screen_names::kNfc, {{"i", i}});
      ++sent;
    }
  });
  // The configuration is replaced repeatedly on the main queue while the worker reports.
  for (int round = 0; round < 50; ++round) {
    // Keep the worker reporting while the main side closes.
    ASSERT_TRUE(waitUntil([&] { return sent > round * 20 || sent == 20000; }));
    Ostrel::shared()->close(true);
    advance(1);
    auto again =
        platform::NavigationController::withRoot(platform::make<platform::ViewController>());
    ASSERT_TRUE(host->present(again, false));
    Ostrel::shared()->setNaviViewController(again);
    Ostrel::shared()->setConfig(config);
  }
  stop = true;
  worker.join();
  runUntilIdle();
  EXPECT_LE(logged.size(), static_cast<std::size_t>(sent.load()));
  for (const auto& l : logged) {
    EXPECT_TRUE(l.onMain);
    EXPECT_EQ(l.event, "NFC_SUCCESS");
  }
}

}  // namespace
}  // namespace ostrel
