#include "tests/chip_screens/ScanNFCTest.hpp"

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace ostrel::chip_screens_test {
namespace {

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

}  // namespace
}  // namespace ostrel::chip_screens_test
