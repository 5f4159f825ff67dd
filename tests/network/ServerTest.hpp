#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "core/Localization.hpp"
#include "session/Ostrel.hpp"
#include "network/Client.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/VerificationServer.hpp"

namespace ostrel {

// A configuration pointing at the local verification server, and helpers that wait for one
// completion while the real transfer runs.
class ServerTest : public testing::RuntimeTest {
 protected:
  static constexpr const char* kSession = "session-token-1";

  void SetUp() override {
    ASSERT_TRUE(server.isRunning());
    config = OSLConfig::Builder(kSession);
    config->withBaseUrl(server.baseUrl());
    Ostrel::shared()->setConfig(config);
    server.setExpectedAuthorization(kSession);
    setLanguageDictionary({{"error_timeout", "Phiên đã hết hạn"},
                           {"error_service_temporary_down", "Dịch vụ tạm gián đoạn"},
                           {"error_network", "Lỗi kết nối"},
                           {"error_unknown", "Có lỗi xảy ra"}});
  }

  void TearDown() override {
    Ostrel::shared()->setConfig(nullptr);
    Client::shared()->setTimeoutInterval(60);
    setLanguageDictionary(platform::JSON::object());
  }

  // Starts a call whose completion takes T, waits for it and checks that it ran once, on the
  // main queue.
  template <class T, class Start>
  T await(Start start) {
    int calls = 0;
    bool onMain = false;
    std::optional<T> result;
    start([&](T value) {
      ++calls;
      onMain = platform::isMainQueue();
      result.emplace(std::move(value));
    });
    EXPECT_TRUE(waitUntil([&] { return calls > 0; }));
    runUntilIdle();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(onMain);
    if (!result) throw std::runtime_error("no completion");
    return std::move(*result);
  }

  testing::VerificationServer server;
  std::shared_ptr<OSLConfig> config;
};

}  // namespace ostrel
