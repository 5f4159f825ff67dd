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
namespace {

constexpr const char* kVerify = "/api/nfc/verify";
constexpr const char* kConfirm = "/api/kyc/confirm";
constexpr const char* kCheckSelfie = "/api/kyc/check-selfie";
constexpr const char* kMrzData = "/api/data/get";

std::string joined(const std::vector<std::string>& lines, const std::string& separator) {
  std::string out;
  for (const auto& line : lines) out += (out.empty() ? "" : separator) + line;
  return out;
}

// The sample person's card zone, as the server and the scanner give it.
std::string cardZone(const std::string& separator = "\n") {
  return joined(testing::samplePerson().td1Zone(), separator);
}

// A zone with every check digit right whose key the sample chip refuses.
std::string otherPersonsZone() {
  auto fields = testing::samplePerson().cardFields();
  fields.documentNumber = "000000001";
  return joined(testing::td1Zone(fields), "\n");
}

std::shared_ptr<OSLQRCodeModel> qrResult(std::optional<std::string> id,
                                         std::optional<std::string> birthday,
                                         std::optional<std::string> doe) {
  JSON d = JSON::object();
  if (id) d["id_number"] = *id;
  if (birthday) d["birthday"] = *birthday;
  if (doe) d["doe"] = *doe;
  return OSLQRCodeModel::decode(d);
}

std::shared_ptr<OSLQRCodeModel> sampleQR() {
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

// ------------------------------------------------------------------------------ key sources

TEST_F(ScanNFCTest, EveryKeySourceOpensTheChipAndTheServerGetsItsFiles) {
  const auto& person = testing::samplePerson();
  struct Row {
    const char* name;
    std::optional<std::string> flowMrz;
    std::optional<std::string> configMrz;
    bool qr;
    bool mrzFail;
  };
  const std::vector<Row> table{
      {"flow zone with \\n", cardZone("\\n"), std::nullopt, false, false},
      {"flow zone with line feeds", cardZone(), std::nullopt, false, false},
      {"configuration's zone", std::nullopt, cardZone("\\n"), false, false},
      {"zone parses first though a QR result is there", cardZone(), std::nullopt, true, false},
      {"fillers only, then the QR result", std::string(30, '<') + "\n" + std::string(30, '<') +
                                               "\n" + std::string(30, '<'),
       std::nullopt, true, true},
      {"wrong check digits, then the QR result",
       [] {
         auto zone = cardZone();
         zone[14] = zone[14] == '0' ? '1' : '0';  // the number's check digit
         return zone;
       }(),
       std::nullopt, true, true},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    logged->clear();
    heard->clear();
    chip->reset();
    config->mrz = row.configMrz;
    config->isQRCodeScanEnabled = row.qr;
    config->qrCodeResult = row.qr ? sampleQR() : nullptr;
    const auto verifies = server.requests(kVerify).size();
    auto screen = openWithNext(OSLFlowType::nfc_ekyc(row.flowMrz));
    tapScanAndRead(screen);
    EXPECT_EQ(countEvents("MRZ_FAIL"), row.mrzFail ? 1 : 0);
    auto listen = lastEvent("NFC_START_LISTEN");
    ASSERT_TRUE(listen);
    EXPECT_EQ(listen->data["mrzKey"], chip->mrzKey());
    EXPECT_EQ(listen->data["passportNumber"], person.documentNumber());
    EXPECT_EQ(listen->data["dateOfBirth"], person.birthMRZ());
    EXPECT_EQ(listen->data["dateOfExpiry"], person.expiryMRZ());
    EXPECT_EQ(listen->data["mrz"], assembledMRZText()) << "the camera's zone, not the key's";
    EXPECT_EQ(listen->level, OSLLogLevel::info);
    EXPECT_FALSE(screen->state.isClosedPopup);

    afterRead();
    EXPECT_TRUE(screen->state.isClosedPopup);
    await("next");
    ASSERT_EQ(server.requests(kVerify).size(), verifies + 1);
    auto body = server.lastRequest(kVerify)->decryptedBody;
    ASSERT_TRUE(body);
    for (const auto& [group, fileId] : std::vector<std::pair<const char*, std::uint16_t>>{
             {"com", 0x011E}, {"dg1", 0x0101}, {"dg2", 0x0102}, {"sod", 0x011D}}) {
      ASSERT_TRUE(body->contains(group)) << group;
      EXPECT_EQ((*body)[group], base64Encode(chip->file(fileId))) << group;
    }
    auto names = eventNames();
    EXPECT_EQ(countEvents("NFC_TAP_SUCCESS"), 1);
    EXPECT_EQ(countEvents("NFC_SUCCESS"), 1);
    EXPECT_EQ(lastEvent("NFC_TAP_SUCCESS")->data, listen->data);
    EXPECT_EQ(*heard, (std::vector<std::string>{"show loading", "hide loading", "next"}));
    endSession();
  }
}

TEST_F(ScanNFCTest, TheQRResultGivesAKeyOnlyWhenEveryPartOfItCanBeRight) {
  const auto& p = testing::samplePerson();
  struct Row {
    const char* name;
    bool stepOn;
    std::shared_ptr<OSLQRCodeModel> qr;
    std::optional<std::string> number;  // none: the MRZ scanner opens
  };
  const std::vector<Row> table{
      {"QR step off", false, sampleQR(), std::nullopt},
      {"twelve digits: the last nine", true, sampleQR(), p.idNumber.substr(3)},
      {"short number used whole", true, qrResult("12345", p.birthday, p.expiryDate), "12345"},
      {"no number", true, qrResult(std::nullopt, p.birthday, p.expiryDate), std::nullopt},
      {"empty number", true, qrResult("", p.birthday, p.expiryDate), std::nullopt},
      {"birthday not a date", true, qrResult(p.idNumber, "1990-01-01", p.expiryDate), std::nullopt},
      {"no expiry", true, qrResult(p.idNumber, p.birthday, std::nullopt), std::nullopt},
      {"number with letters of two bytes", true, qrResult("ĐĐ0123456789", p.birthday, p.expiryDate),
       "123456789"},
      {"no QR result", true, nullptr, std::nullopt},
  };
  backend->setDetectionDelay(std::nullopt);  // the card never comes: only the key matters
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    logged->clear();
    config->isQRCodeScanEnabled = row.stepOn;
    config->qrCodeResult = row.qr;
    auto screen = openWithNext(OSLFlowType::nfc_ekyc(std::nullopt));
    user().tap(screen->btnScanNFC);
    advance(1);
    if (row.number) {
      auto listen = lastEvent("NFC_START_LISTEN");
      ASSERT_TRUE(listen);
      EXPECT_EQ(listen->data["passportNumber"], *row.number);
      EXPECT_EQ(listen->data["dateOfBirth"], p.birthMRZ());
      EXPECT_FALSE(scannerOnTop(screen));
    } else {
      EXPECT_FALSE(lastEvent("NFC_START_LISTEN"));
      EXPECT_TRUE(scannerOnTop(screen));
    }
    endSession();
  }
}

TEST_F(ScanNFCTest, TheScannersZoneStartsTheReadAndASecondRequestOnlyGivesTheToast) {
  auto screen = openWithNext(OSLFlowType::nfc_ekyc(std::nullopt));
  advance(3);
  const int countdownBefore = screen->state.countdown;
  user().tap(screen->btnScanNFC);
  advance(1);
  ASSERT_TRUE(scannerOnTop(screen));
  auto scanner = screen->state.scanMrzVC;
  ASSERT_TRUE(scanner);
  // The scanner covers the screen: the countdown holds.
  advance(5);
  EXPECT_EQ(screen->state.countdown, countdownBefore);
  // A second request while the scanner is on the stack only shows the toast.
  screen->openMRZScanner();
  EXPECT_EQ(screen->navigationController()->viewControllers().size(), 2u);

  scanner->completionHandler(cardZone());
  advance(1);
  runUntilIdle();
  EXPECT_FALSE(scannerOnTop(screen));
  EXPECT_EQ(screen->state.mrz, cardZone());
  EXPECT_EQ(listenKey(), chip->mrzKey());
  EXPECT_TRUE(screen->state.isWaitingProcess) << "coming back must not clear the read's wait";
  afterRead();
  await("next");

  // Without a navigation controller there is no scanner, only the toast.
  auto alone = OSLScanNFCVC::create(OSLFlowType::nfc_ekyc(std::nullopt));
  alone->loadViewIfNeeded();
  const auto subviews = alone->view()->subviews().size();
  alone->startChipReading();
  EXPECT_FALSE(alone->state.scanMrzVC);
  EXPECT_EQ(alone->view()->subviews().size(), subviews + 1) << "the toast";
}

// ------------------------------------------------------------------------------ reads

TEST_F(ScanNFCTest, OneReadAtATimeWhoeverAsks) {
  useChipErrorHandler();
  backend->setDetectionDelay(std::nullopt);
  auto screen = openWithNext(OSLFlowType::nfc_only(cardZone(), std::nullopt));
  config->nfcDataHandler = nullptr;
  user().tap(screen->btnScanNFC);
  advance(1);
  EXPECT_EQ(backend->sessionsStarted(), 1);
  user().tap(screen->btnScanNFC);
  screen->startChipReading();
  // The time-out's "restart and read" closure too.
  screen->handleError(OSLScanNFCVC::kTimeoutMessage, 401, false);
  ASSERT_FALSE(chipErrorActions->empty());
  chipErrorActions->back().first();
  advance(1);
  EXPECT_EQ(backend->sessionsStarted(), 1) << "never a second session while one is open";
  EXPECT_EQ(countEvents("NFC_START_LISTEN"), 1);

  // The card comes: the one read ends well and its outcome is taken in.
  backend->present();
  runUntilIdle();
  afterRead();
  awaitRequests(kVerify);
  EXPECT_EQ(server.requests(kVerify).size(), 1u);
}

TEST_F(ScanNFCTest, FailedReadsReportTheirEventAndLeaveTheScreenReady) {
  struct Row {
    const char* name;
    std::function<void(ScanNFCTest&)> arrange;
    std::function<void(ScanNFCTest&, OSLScanNFCVC&)> during;
    std::string event;
    OSLLogLevel level;
    std::string error;
  };
  const std::vector<Row> table{
      {"user cancel", [](ScanNFCTest& t) { t.backend->setDetectionDelay(std::nullopt); },
       [](ScanNFCTest&, OSLScanNFCVC& s) { s.state.nfcReader->readerSession->cancelByUser(); },
       "NFC_TAP_CANCEL", OSLLogLevel::error, ""},
      {"session limit", [](ScanNFCTest& t) { t.backend->setDetectionDelay(std::nullopt); },
       [](ScanNFCTest& t, OSLScanNFCVC&) { t.advance(61); }, "NFC_ERROR", OSLLogLevel::error,
       "UnexpectedError"},
      {"card taken away",
       [](ScanNFCTest& t) {
         t.chip->injectForFile(0x0102, testing::SimulatedChip::Fault::of(
                                           testing::SimulatedChip::Fault::Kind::dropLink));
       },
       nullptr, "NFC_TAP_FAIL", OSLLogLevel::error, "Tag connection lost"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    logged->clear();
    chip->reset();
    backend->setDetectionDelay(0.5);
    if (row.arrange) row.arrange(*this);
    auto screen = openWithNext(OSLFlowType::nfc_ekyc(cardZone()));
    tapScanAndRead(screen);
    if (row.during) row.during(*this, *screen);
    runUntilIdle();
    auto event = lastEvent(row.event);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->level, row.level);
    if (row.event == "NFC_TAP_CANCEL") {
      EXPECT_EQ(event->data, JSON::object());
    } else {
      EXPECT_EQ(event->data.value("error", ""), row.error);
      EXPECT_EQ(event->data["mrzKey"], chip->mrzKey());
    }
    EXPECT_FALSE(screen->state.isClosedPopup);
    afterRead();
    EXPECT_TRUE(screen->state.isClosedPopup);
    EXPECT_FALSE(screen->state.isWaitingProcess);
    EXPECT_EQ(screen->state.mrz, cardZone()) << "only a refused key drops its zone";
    EXPECT_EQ(count("show loading"), 0) << "no hand-off";
    EXPECT_EQ(countEvents("NFC_TAP_SUCCESS"), 0);
    endSession();
  }
}

TEST_F(ScanNFCTest, ARefusedKeyIsNeverTriedAgain) {
  struct Row {
    const char* name;
    std::optional<std::string> zone;
    bool qrOn;
    bool qrPresent;
    bool alert;        // the retry alert naming the QR code
    bool scannerNext;  // else: a new read with the QR key
  };
  const std::vector<Row> table{
      {"zone key with a usable QR result", otherPersonsZone(), true, true, false, false},
      {"zone key, QR step off", otherPersonsZone(), false, true, false, true},
      {"zone key, no QR result", otherPersonsZone(), true, false, false, true},
      {"QR key", std::nullopt, true, true, true, true},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    logged->clear();
    chip->reset();
    config->isQRCodeScanEnabled = row.qrOn;
    auto qr = sampleQR();
    if (row.name == std::string("QR key")) {
      qr = qrResult("000000001", testing::samplePerson().birthday,
                    testing::samplePerson().expiryDate);
    }
    config->qrCodeResult = row.qrPresent ? qr : nullptr;
    auto screen = openWithNext(OSLFlowType::nfc_ekyc(row.zone));
    tapScanAndRead(screen);
    auto fail = lastEvent("NFC_TAP_FAIL");
    ASSERT_TRUE(fail);
    EXPECT_EQ(fail->data.value("error", ""), "InvalidMRZKey");
    runUntilIdle();
    if (row.zone) {
      EXPECT_FALSE(screen->state.mrz) << "the refused zone is dropped at once";
    } else {
      EXPECT_TRUE(screen->isQRResultRefused());
    }
    advance(OSLScanNFCVC::kRefusedKeyFollowUpDelay);
    runUntilIdle();
    if (row.alert) {
      ASSERT_TRUE(alert());
      EXPECT_EQ(alert()->lblTitle->text(), "[nfc_error_invalid_qrcode_title]");
      answerAlert(true);
    } else {
      EXPECT_FALSE(alert());
    }
    if (row.scannerNext) {
      EXPECT_TRUE(scannerOnTop(screen));
      EXPECT_EQ(countEvents("NFC_START_LISTEN"), 1);
    } else {
      EXPECT_EQ(countEvents("NFC_START_LISTEN"), 2);
      EXPECT_EQ(listenKey(), chip->mrzKey()) << "the next source's key";
    }
    endSession();
  }
}

TEST_F(ScanNFCTest, WithoutNFCTheEkycFlowOffersTheSkipAndTheChipOnlyFlowOnlyTheTimeout) {
  backend->setReadingAvailable(false);
  auto ekyc = openWithNext(OSLFlowType::nfc_ekyc(cardZone()));
  EXPECT_FALSE(ekyc->btnSkip->isHidden());
  EXPECT_FALSE(ekyc->lblError->isHidden());
  EXPECT_TRUE(ekyc->btnScanNFC->isHidden());
  EXPECT_TRUE(ekyc->guideNFCPositionView->isHidden());
  user().tap(ekyc->btnSkip);
  runUntilIdle();
  EXPECT_EQ(count("next"), 1);
  EXPECT_FALSE(ekyc->state.timerCheckTimeout) << "the step is over";
  endSession();

  auto only = openWithNext(OSLFlowType::nfc_only(cardZone(), "face"));
  EXPECT_TRUE(only->btnSkip->isHidden());
  only->startChipReading();
  runUntilIdle();
  auto fail = lastEvent("NFC_TAP_FAIL");
  ASSERT_TRUE(fail);
  EXPECT_EQ(fail->data.value("error", ""), "NFCNotSupported");
}

// ------------------------------------------------------------------------------ countdown

TEST_F(ScanNFCTest, TheCountdownHoldsWhileBusyAndRunsOutDifferentlyPerFlow) {
  config->scanNFCTimeoutSeconds = 5;
  backend->setDetectionDelay(std::nullopt);
  auto ekyc = openWithNext(OSLFlowType::nfc_ekyc(cardZone()));
  EXPECT_TRUE(ekyc->btnSkip->isHidden());
  const int opened = ekyc->state.countdown;
  advance(2);
  EXPECT_EQ(ekyc->state.countdown, opened - 2);
  // A read holds it; a trip to the background and back restarts the full time but keeps the
  // read's wait.
  user().tap(ekyc->btnScanNFC);
  advance(3);
  EXPECT_EQ(ekyc->state.countdown, opened - 2);
  setApplicationActive(false);
  runUntilIdle();
  EXPECT_FALSE(ekyc->state.timerCheckTimeout);
  EXPECT_TRUE(ekyc->state.backgroundDate);
  setApplicationActive(true);
  runUntilIdle();
  EXPECT_EQ(ekyc->state.countdown, 5);
  EXPECT_TRUE(ekyc->state.isWaitingProcess);
  advance(10);
  EXPECT_EQ(ekyc->state.countdown, 5);
  // The antenna sheet does not pause it.
  ekyc->state.isWaitingProcess = false;
  Helpers::saveDeviceImage(JSON::object());
  const int hides = count("hide loading");
  user().tap(ekyc->guideNFCPositionView);
  // The sheet asks the server where the antenna is, and its answer comes back on the server's own
  // time: it is waited for here, so that it cannot land among the next flow's events.
  EXPECT_TRUE(waitUntil([&] { return count("hide loading") > hides; }));
  advance(5);
  EXPECT_EQ(ekyc->state.countdown, 0);
  EXPECT_FALSE(ekyc->btnSkip->isHidden());
  EXPECT_FALSE(ekyc->btnScanNFC->isHidden());
  EXPECT_FALSE(ekyc->state.timerCheckTimeout);
  endSession();

  // A time of 0 or less runs out at the first tick; in the chip-only flow that is the 401
  // time-out, through the host's chip-error handler, then its error-alert handler, then the
  // built-in alert.
  for (int timeout : {0, -3}) {
    SCOPED_TRACE(timeout);
    config->scanNFCTimeoutSeconds = timeout;
    heard->clear();
    useChipErrorHandler();
    auto only = openWithNext(OSLFlowType::nfc_only(cardZone(), "face"));
    advance(1);
    ASSERT_FALSE(heard->empty());
    EXPECT_EQ(heard->back(), "chip error 401 ERROR_NFC_TIMEOUT +action +retry");
    ASSERT_EQ(chipErrorActions->size(), 1u);
    auto retry = chipErrorActions->back().second;
    chipErrorActions->clear();
    // The retry restarts the full time.
    config->scanNFCTimeoutSeconds = 30;
    retry();
    EXPECT_EQ(only->state.countdown, 30);
    EXPECT_TRUE(only->state.timerCheckTimeout);
    endSession();
  }
  config->scanNFCTimeoutSeconds = 0;
  config->errorScanNFCHandler = nullptr;
  heard->clear();
  auto log = heard;
  config->showErrorAlertHandler = [log](const std::string& m, int code, auto screen) {
    log->push_back("alert handler " + m + " " + std::to_string(code) +
                   (std::dynamic_pointer_cast<OSLScanNFCVC>(screen) ? " on chip screen" : ""));
  };
  openWithNext(OSLFlowType::nfc_only(cardZone(), "face"));
  advance(1);
  ASSERT_FALSE(heard->empty());
  EXPECT_EQ(heard->back(), "alert handler ERROR_NFC_TIMEOUT 401 on chip screen");
  endSession();
  config->showErrorAlertHandler = nullptr;
  openWithNext(OSLFlowType::nfc_only(cardZone(), "face"));
  advance(1);
  ASSERT_TRUE(alert());
  EXPECT_EQ(alert()->lblMessage->text(), "ERROR_NFC_TIMEOUT");
}

// ------------------------------------------------------------------------------ hand-off

TEST_F(ScanNFCTest, TheHostsChipDataHandlerDecidesTheStep) {
  config->withNfcDataHandler([](const JSON&, OSLConfig::ResultCompletion) {});
  // Success: the next step, whatever the flow.
  std::vector<OSLConfig::ResultCompletion> completions;
  std::vector<JSON> given;
  config->nfcDataHandler = [&](const JSON& data, OSLConfig::ResultCompletion done) {
    given.push_back(data);
    completions.push_back(std::move(done));
  };
  auto screen = openWithNext(OSLFlowType::nfc_only(cardZone(), std::nullopt));
  EXPECT_TRUE(server.requests(kMrzData).empty()) << "a host with a handler has its zone";
  tapScanAndRead(screen);
  afterRead();
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(given[0]["dg1"], base64Encode(chip->file(0x0101)));
  completions[0](OSLConfig::Result::success());
  completions[0](OSLConfig::Result::failure(OstrelError(400, "late")));
  runUntilIdle();
  EXPECT_EQ(*heard, (std::vector<std::string>{"show loading", "hide loading", "next"}));
  EXPECT_EQ(countEvents("NFC_SUCCESS"), 1);
  EXPECT_FALSE(screen->state.isWaitingProcess);
  endSession();

  // Failure: the red line, the zone dropped, the host's chip-error handler, "NFC_FAIL".
  heard->clear();
  chip->reset();
  useChipErrorHandler();
  screen = openWithNext(OSLFlowType::nfc_only(cardZone(), std::nullopt));
  tapScanAndRead(screen);
  afterRead();
  ASSERT_EQ(completions.size(), 2u);
  std::thread([done = completions[1]] {
    done(OSLConfig::Result::failure(OstrelError(51, "Card blocked")));
  }).join();
  runUntilIdle();
  EXPECT_EQ(*heard, (std::vector<std::string>{"show loading", "hide loading",
                                               "chip error 51 Card blocked +retry"}));
  EXPECT_EQ(screen->lblError->text(), "Card blocked");
  EXPECT_TRUE(screen->lblError->textColor().isApproximately(Color::systemRed()));
  EXPECT_FALSE(screen->state.mrz);
  ASSERT_TRUE(lastEvent("NFC_FAIL"));
  EXPECT_EQ(lastEvent("NFC_FAIL")->data, (JSON{{"error", "Card blocked"}}));
  EXPECT_FALSE(screen->state.isWaitingProcess);
}

TEST_F(ScanNFCTest, TheRawDataProcessorsAnswers) {
  auto processor = std::make_shared<testing::ScriptedRawDataProcessor>();
  config->rawDataProcessor = processor;
  useChipErrorHandler();
  using Answer = testing::ScriptedRawDataProcessor::Answer;
  struct Row {
    const char* name;
    Answer answer;
    std::vector<std::string> heard;
    bool mrzKept;
  };
  const std::vector<Row> table{
      {"success, flag off: the next step", Answer::success(JSON{{"is_nfc_face_match_selfie", 0}}),
       {"show loading", "hide loading", "hide loading", "next"}, true},
      {"success from another thread, twice",
       Answer::success(JSON::object()).fromOtherThread().twice(),
       {"show loading", "hide loading", "hide loading", "next"}, true},
      {"failure with an error", Answer::failure(OstrelError(21, "Expired card")),
       {"show loading", "hide loading", "chip error 21 Expired card +retry"}, false},
      {"failure without an error", Answer::failure(std::nullopt),
       {"show loading", "hide loading", "chip error -1 [error_unknown] +retry"}, false},
      {"another result type", Answer::unknownType(7),
       {"show loading", "hide loading", "chip error -1 [error_unknown] +retry"}, false},
      {"failure 401: the time-out alert only", Answer::failure(OstrelError(401, "Expired")),
       {"show loading", "hide loading"}, false},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    heard->clear();
    logged->clear();
    chip->reset();
    processor->queueAnswer(row.answer);
    auto screen = openWithNext(OSLFlowType::nfc_ekyc(cardZone()));
    tapScanAndRead(screen);
    afterRead();
    runUntilIdle();
    EXPECT_EQ(*heard, row.heard);
    EXPECT_EQ(screen->state.mrz.has_value(), row.mrzKept);
    EXPECT_EQ(countEvents("NFC_FAIL"), 0) << "a processor's failure is the host's own";
    // A success hands the step on; only a failure makes the screen ready again.
    EXPECT_EQ(screen->state.isWaitingProcess, row.mrzKept);
    for (int i = 0; i < 3 && alert(); ++i) answerAlert(true);
    endSession();
  }
  EXPECT_EQ(processor->callCount(), static_cast<int>(table.size()));
}

TEST_F(ScanNFCTest, ServerVerificationFailuresAreRoutedByCode) {
  useChipErrorHandler();
  struct Row {
    const char* name;
    ScriptedReply reply;
    std::string heard;  // the chip-error handler's line, empty for none
    bool timeoutAlert;
  };
  const std::vector<Row> table{
      {"400", ScriptedReply::error(400, "Bad chip", 400), "chip error 400 Bad chip +retry", false},
      {"51", ScriptedReply::error(51, "Blocked"), "chip error 51 Blocked +retry", false},
      {"21", ScriptedReply::error(21, "Expired"), "chip error 21 Expired +retry", false},
      {"500 as -1", ScriptedReply::error(500, "Down", 500), "chip error -1", false},
      {"401: the time-out alert", ScriptedReply::error(401, "Session", 401), "", true},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    heard->clear();
    logged->clear();
    chip->reset();
    server.setReply(kVerify, row.reply);
    auto screen = openWithNext(OSLFlowType::nfc_ekyc(cardZone()));
    tapScanAndRead(screen);
    afterRead();
    await("hide loading");
    if (row.heard.empty()) {
      EXPECT_EQ(heard->size(), 2u);
    } else {
      ASSERT_EQ(heard->size(), 3u);
      EXPECT_EQ((*heard)[2].rfind(row.heard, 0), 0u) << (*heard)[2];
    }
    EXPECT_EQ(alert() != nullptr, row.timeoutAlert);
    EXPECT_EQ(countEvents("NFC_FAIL"), 1);
    EXPECT_FALSE(screen->state.mrz);
    EXPECT_FALSE(screen->state.isWaitingProcess);
    EXPECT_FALSE(screen->state.timerCheckTimeout);
    endSession();
  }
}

TEST_F(ScanNFCTest, ConfirmingTheTimeOutAlertReportsTheCancelThenTheExpiry) {
  using Answer = testing::ScriptedHost::Answer;
  struct Row {
    const char* name;
    bool eventHandler;
    bool processor;  // the 401 comes from the host's processor, else from the server
    std::vector<std::string> order;
  };
  const std::vector<Row> table{
      {"server, event handler", true, false, {"showLoading", "hideLoading", "event:0", "event:1"}},
      {"server, cancel and expired handlers", false, false,
       {"showLoading", "hideLoading", "cancelSession", "expired"}},
      {"processor answering from another thread", true, true,
       {"showLoading", "processNFC", "hideLoading", "event:0", "event:1"}},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    testing::ScriptedHost host;
    host.install(*config, {.eventHandler = row.eventHandler, .processor = row.processor});
    host.processor()->queueAnswer(
        Answer::failure(OstrelError(401, "Expired")).fromOtherThread());
    server.setReply(kVerify, ScriptedReply::error(401, "Session", 401));
    chip->reset();
    auto screen = openWithNext(OSLFlowType::nfc_ekyc(cardZone()));
    tapScanAndRead(screen);
    afterRead();
    for (int i = 0; i < 100 && host.count("hideLoading") == 0; ++i) {
      waitUntil([&] { return host.count("hideLoading") > 0; }, 0.05);
      advance(0.25);
    }
    ASSERT_TRUE(alert()) << testing::describe(host.order());
    answerAlert(true);
    runUntilIdle();
    EXPECT_EQ(host.order(), row.order) << testing::describe(host.order());
    for (const auto& call : host.calls()) EXPECT_TRUE(call.onMainQueue) << call.entry;
    EXPECT_TRUE(host.heardInOrder({"log:NFC_START_LISTEN", "log:NFC_TAP_SUCCESS"}, true));
    EXPECT_FALSE(Ostrel::shared()->naviViewController());
    endSession();
  }
}

// ------------------------------------------------------------------------------ what follows

TEST_F(ScanNFCTest, TheChipOnlyFlowGoesOnByWhatItHasAndWhatTheServerSays) {
  const std::string face = base64Encode(bundleImage("icon_done")->pngData().value_or(Bytes{}));
  struct Row {
    const char* name;
    std::optional<std::string> face;
    JSON verify;
    bool liveness;     // the face stand-in runs
    bool selfie;       // a face check request
    bool error;        // the unknown error instead of going on
    bool starterPushes;
  };
  const std::vector<Row> table{
      {"zone and face: the face check", face, {{"is_nfc_face_match_selfie", false}}, false, true,
       false, true},
      {"flag true", std::nullopt, {{"is_nfc_face_match_selfie", true}}, false, false, false, true},
      {"flag \"1\"", std::nullopt, {{"is_nfc_face_match_selfie", "1"}}, false, false, false, true},
      {"flag \"0\": liveness", std::nullopt, {{"is_nfc_face_match_selfie", "0"}}, true, false,
       false, true},
      {"flag 0: liveness", std::nullopt, {{"is_nfc_face_match_selfie", 0}}, true, false, false,
       true},
      {"flag absent: liveness", std::nullopt, JSON::object(), true, false, false, true},
      {"face data not an image", base64Encode(std::string("not a picture")), JSON::object(),
       false, false, true, true},
      {"no face screen", std::nullopt, JSON::object(), false, false, true, false},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    heard->clear();
    logged->clear();
    chip->reset();
    server.setReply(kVerify, ScriptedReply::data(row.verify));
    const auto selfies = server.requests(kCheckSelfie).size();
    const auto resultsBefore = results->size();
    auto screen = openWithNext(OSLFlowType::nfc_only(cardZone(), row.face));
    std::function<void()> continuation;
    int starts = 0;
    const bool pushes = row.starterPushes;
    screen->onNeedLiveness = [&, pushes](std::function<void()> next) {
      ++starts;
      continuation = std::move(next);
      return pushes;
    };
    // An antenna sheet opened during the read is dismissed before the face step.
    Helpers::saveDeviceImage({{"isDefault", false}, {"image", face}});
    user().tap(screen->btnScanNFC);
    user().tap(screen->guideNFCPositionView);
    advance(1);
    runUntilIdle();
    EXPECT_TRUE(screen->presentedViewController());
    afterRead();
    if (row.error || row.liveness) {
      // Without face data the screen first fetched its zone, with a loading indicator of its own.
      await("hide loading", row.face ? 1 : 2);
      advance(1);
    }
    if (row.liveness) {
      EXPECT_EQ(starts, 1);
      EXPECT_FALSE(Ostrel::shared()->naviViewController()->presentedViewController());
      ASSERT_TRUE(continuation);
      continuation();
    }
    if (row.error) {
      EXPECT_EQ(starts, pushes ? 0 : 1);
      ASSERT_TRUE(alert());
      EXPECT_EQ(alert()->lblMessage->text(), "[error_unknown]");
      EXPECT_FALSE(screen->state.isWaitingProcess);
      EXPECT_TRUE(screen->state.mrz) << "the key was good";
      EXPECT_EQ(server.requests(kCheckSelfie).size(), selfies);
      EXPECT_EQ(results->size(), resultsBefore);
      answerAlert(true);
    } else {
      await("result");
      EXPECT_EQ(server.requests(kCheckSelfie).size(), selfies + (row.selfie ? 1 : 0));
      EXPECT_EQ(heard->back(), "result");
      EXPECT_FALSE(Ostrel::shared()->naviViewController()) << "the session closed";
      ASSERT_FALSE(results->empty());
      ASSERT_TRUE(results->back());
      EXPECT_TRUE(results->back()->nfcModel);
    }
    endSession();
  }
}

TEST_F(ScanNFCTest, AConfiguredChipStepWithoutLivenessGoesToTheNextStep) {
  server.setReply(kVerify, ScriptedReply::data({{"is_nfc_face_match_selfie", false}}));
  auto screen = openWithNext(OSLFlowType::nfc_only(cardZone(), std::nullopt));
  ASSERT_FALSE(screen->onNeedLiveness);
  tapScanAndRead(screen);
  afterRead();
  await("next");
  EXPECT_FALSE(screen->state.isWaitingProcess);
  EXPECT_FALSE(screen->state.timerCheckTimeout);
  EXPECT_TRUE(server.requests(kConfirm).empty());
}

TEST_F(ScanNFCTest, ConfirmationEndsTheSessionWithItsResult) {
  struct Row {
    const char* name;
    ScriptedReply reply;
    bool showResultScreen;
    bool chipModel;
  };
  auto data = [](JSON nfc) {
    JSON d{{"session", "s-2"}, {"decision_detail", {{"decision", "APPROVED"}}}};
    if (!nfc.is_null()) d["nfc_data"] = nfc;
    return ScriptedReply::data(d);
  };
  const std::vector<Row> table{
      {"no nfc_data", data(nullptr), false, false},
      {"nfc_data not a record", data(JSON{{"id_number", 12}}), false, false},
      {"the chip result screen", data(testing::samplePerson().chipRecordJSON("")), true, true},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    heard->clear();
    chip->reset();
    config->showResultScreen = row.showResultScreen;
    server.setReply(kConfirm, row.reply);
    auto screen = openWithNext(OSLFlowType::nfc_only(cardZone(), std::nullopt));
    tapScanAndRead(screen);
    afterRead();
    if (row.showResultScreen) {
      await("hide loading", 2);
      advance(1);
      auto top = Ostrel::shared()->naviViewController()->topViewController();
      auto resultScreen = std::dynamic_pointer_cast<OSLResultNFCVC>(top);
      ASSERT_TRUE(resultScreen);
      user().tap(resultScreen->btnConfirm);
      advance(1);
    }
    await("result");
    ASSERT_FALSE(results->empty());
    ASSERT_TRUE(results->back());
    EXPECT_EQ(results->back()->session, "s-2");
    EXPECT_EQ(results->back()->nfcModel != nullptr, row.chipModel);
    EXPECT_EQ(count("event 0"), row.showResultScreen ? 1 : 0);
    EXPECT_TRUE(server.lastRequest(kConfirm)->queryValue("get_full_result"));
  }

  // A failed confirmation keeps the zone; a reply after the screen is gone still ends it.
  config->showResultScreen = false;
  heard->clear();
  chip->reset();
  useChipErrorHandler();
  server.setReply(kConfirm, ScriptedReply::error(400, "No", 400));
  auto screen = openWithNext(OSLFlowType::nfc_only(cardZone(), std::nullopt));
  tapScanAndRead(screen);
  afterRead();
  await("chip error 400 No +retry");
  EXPECT_TRUE(screen->state.mrz);
  EXPECT_FALSE(screen->state.isWaitingProcess);
}

TEST_F(ScanNFCTest, TheChipOnlyFlowFetchesItsZoneWhenItLacksOne) {
  struct Row {
    const char* name;
    ScriptedReply reply;
    std::optional<std::string> mrz;
    bool timeoutAlert;
  };
  const std::vector<Row> table{
      {"text with \\n", ScriptedReply::data({{"raw_mrz", cardZone("\\n")}}), cardZone(), false},
      {"number", ScriptedReply::data({{"raw_mrz", 12}}), "12", false},
      {"empty keeps the host's", ScriptedReply::data({{"raw_mrz", ""}}), "HOST", false},
      {"401", ScriptedReply::error(401, "Expired", 401), "HOST", true},
      {"other error", ScriptedReply::error(400, "Nope", 400), "HOST", false},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    heard->clear();
    server.setReply(kMrzData, row.reply);
    auto screen = openWithNext(OSLFlowType::nfc_only("HOST", std::nullopt));
    await("hide loading");
    advance(1);
    EXPECT_EQ(screen->state.mrz, row.mrz);
    if (row.name == std::string("other error")) {
      ASSERT_TRUE(alert());
      EXPECT_EQ(alert()->lblMessage->text(), "Nope");
    } else {
      EXPECT_EQ(alert() != nullptr, row.timeoutAlert);
    }
    for (int i = 0; i < 3 && alert(); ++i) answerAlert(true);
    endSession();
  }
  // With zone and face both given, nothing is fetched.
  const auto fetches = server.requests(kMrzData).size();
  openWithNext(OSLFlowType::nfc_only(cardZone(), "face"));
  advance(1);
  runUntilIdle();
  EXPECT_EQ(server.requests(kMrzData).size(), fetches);
}

TEST_F(ScanNFCTest, CloseAsksFirstAndReportsTheAnswer) {
  auto screen = openWithNext(OSLFlowType::nfc_ekyc(cardZone()));
  screen->closeTapped();
  advance(1);
  EXPECT_EQ(eventNames().back(), "TAP_EXIT");
  answerAlert(false);
  EXPECT_EQ(eventNames().back(), "EXIT_TAP_NO");
  screen->closeTapped();
  advance(1);
  answerAlert(true);
  advance(1);
  runUntilIdle();
  EXPECT_EQ(eventNames().back(), "EXIT_TAP_YES");
  EXPECT_EQ(*heard, (std::vector<std::string>{"event 0"}));
}

TEST_F(ScanNFCTest, AnOutcomeAfterTheSessionClosedGoesNoFurtherThanItsEvent) {
  auto screen = openWithNext(OSLFlowType::nfc_ekyc(cardZone()));
  user().tap(screen->btnScanNFC);
  Ostrel::shared()->close(true, {});
  advance(1);
  runUntilIdle();
  afterRead();
  advance(5);
  runUntilIdle();
  EXPECT_EQ(count("show loading"), 0);
  EXPECT_TRUE(server.requests(kVerify).empty());
}

TEST_F(ScanNFCTest, ResetForNewRunStartsAfresh) {
  config->scanNFCTimeoutSeconds = 20;
  backend->setDetectionDelay(std::nullopt);
  auto screen = openWithNext(OSLFlowType::nfc_ekyc(cardZone()));
  user().tap(screen->btnScanNFC);
  advance(4);
  const int before = screen->attempt();
  config->mrz = std::nullopt;
  screen->resetForNewRun();
  EXPECT_TRUE(screen->state.isClosedPopup);
  EXPECT_FALSE(screen->state.isWaitingProcess);
  EXPECT_GT(screen->attempt(), before);
  EXPECT_EQ(screen->state.countdown, 20);
  EXPECT_TRUE(screen->state.timerCheckTimeout);
  EXPECT_EQ(screen->state.mrz, cardZone());
  // The ended read reports only its cancel; a new tap opens a new session.
  runUntilIdle();
  afterRead();
  EXPECT_EQ(count("show loading"), 0);
  user().tap(screen->btnScanNFC);
  advance(1);
  EXPECT_EQ(backend->sessionsStarted(), 2);
}

}  // namespace
}  // namespace ostrel::chip_screens_test
