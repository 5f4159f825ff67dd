#pragma once

// The chip screen's fixture and the sample zones its tests read.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/Helpers.hpp"
#include "model/OSLQRCodeModel.hpp"
#include "nfc/NFCPassportModel.hpp"
#include "platform/foundation/Base64.hpp"
#include "scan/MRZLineFinder.hpp"
#include "scanner/OSLScanMRZVC.hpp"
#include "testing/MRZTestData.hpp"
#include "testing/ScriptedHost.hpp"
#include "testing/ScriptedRawDataProcessor.hpp"
#include "tests/chip_screens/ChipScreensTest.hpp"

namespace ostrel::chip_screens_test {

inline constexpr const char* kVerify = "/api/nfc/verify";
inline constexpr const char* kConfirm = "/api/kyc/confirm";
inline constexpr const char* kCheckSelfie = "/api/kyc/check-selfie";
inline constexpr const char* kMrzData = "/api/data/get";

inline std::string joined(const std::vector<std::string>& lines, const std::string& separator) {
  std::string out;
  for (const auto& line : lines) out += (out.empty() ? "" : separator) + line;
  return out;
}

// The sample person's card zone, as the server and the scanner give it.
inline std::string cardZone(const std::string& separator = "\n") {
  return joined(testing::samplePerson().td1Zone(), separator);
}

// A zone with every check digit right whose key the sample chip refuses.
inline std::string otherPersonsZone() {
  auto fields = testing::samplePerson().cardFields();
  fields.documentNumber = "000000001";
  return joined(testing::td1Zone(fields), "\n");
}

inline std::shared_ptr<OSLQRCodeModel> qrResult(std::optional<std::string> id,
                                         std::optional<std::string> birthday,
                                         std::optional<std::string> doe) {
  JSON d = JSON::object();
  if (id) d["id_number"] = *id;
  if (birthday) d["birthday"] = *birthday;
  if (doe) d["doe"] = *doe;
  return OSLQRCodeModel::decode(d);
}

inline std::shared_ptr<OSLQRCodeModel> sampleQR() {
  const auto& p = testing::samplePerson();
  return qrResult(p.idNumber, p.birthday, p.expiryDate);
}

class ScanNFCTest : public ChipScreenTest {
 protected:
  std::shared_ptr<OSLScanNFCVC> openWithNext(const OSLFlowType& flow) {
    auto screen = open(flow);
    auto log = heard;
    screen->onNext = [log] { log->push_back("next"); };
    return screen;
  }
  // After a read: the 2.45 s until the outcome is taken in.
  void afterRead() {
    advance(OSLScanNFCVC::kAfterReadDelay);
    runUntilIdle();
  }
  std::string listenKey() const {
    auto listen = lastEvent("NFC_START_LISTEN");
    return listen ? listen->data.value("mrzKey", "") : "";
  }
  bool scannerOnTop(const std::shared_ptr<OSLScanNFCVC>& screen) const {
    auto navi = screen->navigationController();
    return navi && std::dynamic_pointer_cast<OSLScanMRZVC>(navi->topViewController()) != nullptr;
  }
  void useChipErrorHandler() {
    auto log = heard;
    auto actions = chipErrorActions;
    config->errorScanNFCHandler = [log, actions](OstrelScanNFCError code,
                                                 std::optional<std::string> message,
                                                 std::function<void()> action,
                                                 std::function<void()> retry) {
      log->push_back("chip error " + std::to_string(static_cast<int>(code)) + " " +
                     message.value_or("") + (action ? " +action" : "") + (retry ? " +retry" : ""));
      actions->push_back({std::move(action), std::move(retry)});
    };
  }

  std::shared_ptr<std::vector<std::pair<std::function<void()>, std::function<void()>>>>
      chipErrorActions = std::make_shared<
          std::vector<std::pair<std::function<void()>, std::function<void()>>>>();
};

}  // namespace ostrel::chip_screens_test
