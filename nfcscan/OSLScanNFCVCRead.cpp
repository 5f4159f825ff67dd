#include "nfcscan/OSLScanNFCVC.hpp"

#include <algorithm>
#include <utility>

#include "core/CurrentConfig.hpp"
#include "core/Helpers.hpp"
#include "core/Localization.hpp"
#include "core/OnMain.hpp"
#include "model/OSLQRCodeModel.hpp"
#include "network/OstrelClient.hpp"
#include "nfcscan/OSLScanNFCVCSupport.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/nfc/NFCReaderBackend.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/runtime/Runtime.hpp"
#include "platform/ui/NavigationController.hpp"
#include "scan/MRZLineFinder.hpp"
#include "scan/MRZResult.hpp"
#include "scanner/OSLScanMRZVC.hpp"
#include "session/HelpersAlerts.hpp"

namespace ostrel {

using namespace platform;
using namespace scan_nfc_vc_support;

namespace {

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    auto end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

// The last `count` characters of a UTF-8 text (the whole text when shorter), never cutting
// inside a character's bytes.
std::string lastCharacters(const std::string& text, std::size_t count) {
  std::size_t seen = 0;
  std::size_t pos = text.size();
  while (pos > 0 && seen < count) {
    --pos;
    if ((static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80) ++seen;
  }
  return text.substr(pos);
}

// "dd/MM/yyyy" as "yyMMdd", nothing when it does not parse.
std::optional<std::string> keyDate(const std::optional<std::string>& text) {
  if (!text || text->empty()) return std::nullopt;
  auto date = Helpers::dateFromString(*text, "dd/MM/yyyy");
  if (!date) return std::nullopt;
  return Helpers::stringFromDate(*date, "yyMMdd");
}

}  // namespace

// ------------------------------------------------------------------------------ countdown

void OSLScanNFCVC::stopTimer() {
  if (state.timerCheckTimeout) state.timerCheckTimeout->invalidate();
  state.timerCheckTimeout = nullptr;
}

void OSLScanNFCVC::restartTimer() {
  state.countdown = currentConfig()->scanNFCTimeoutSeconds;
  stopTimer();
  state.timerCheckTimeout = Timer::scheduledTimer<OSLScanNFCVC>(
      1.0, true, shared<OSLScanNFCVC>(), [](OSLScanNFCVC& s, Timer&) { s.tickCountdown(); });
}

void OSLScanNFCVC::startCountdown() {
  state.isWaitingProcess = false;
  restartTimer();
}

void OSLScanNFCVC::tickCountdown() {
  if (!state.isWaitingProcess) state.countdown = std::max(state.countdown - 1, 0);
  if (state.countdown >= 1) return;
  stopTimer();
  switch (state.flowType.kind) {
    case OSLFlowType::Kind::nfc_ekyc:
      if (btnSkip) btnSkip->setHidden(false);
      if (btnScanNFC) btnScanNFC->setHidden(false);
      break;
    case OSLFlowType::Kind::nfc_only:
      handleError(kTimeoutMessage, 401, false);
      break;
    default:
      break;
  }
}

void OSLScanNFCVC::pauseCountdown() {
  if (!isNFCFlow() || state.countdown < 1) return;
  state.backgroundDate = Runtime::current().now();
  stopTimer();
}

void OSLScanNFCVC::resumeCountdown() {
  if (!isNFCFlow() || state.countdown < 1 || !state.backgroundDate) return;
  state.backgroundDate.reset();
  // The full scan time again; a read or hand-off under way keeps the countdown still, so a
  // resume never lets the time-out fire while a server call or the chip is busy.
  restartTimer();
}

// ------------------------------------------------------------------------------ MRZ fetch

void OSLScanNFCVC::fetchMrzIfNeeded() {
  if (currentConfig()->nfcDataHandler || hasMrzAndFaceData()) return;
  Helpers::showLoading(shared<OSLScanNFCVC>(), std::nullopt, std::nullopt, false);
  std::weak_ptr<OSLScanNFCVC> weakSelf = weak<OSLScanNFCVC>();
  const int attempt = attempt_;
  OstrelClient::getMrzData([weakSelf, attempt](Outcome<JSON> outcome) {
    hideLoading();
    auto self = weakSelf.lock();
    if (!self || self->attempt_ != attempt) return;
    if (!outcome) {
      const auto& error = outcome.error();
      if (error.code == 401) {
        Helpers::showTimeoutAlert(nullptr);
      } else {
        Helpers::showAlert(1, error.code, nullptr, std::nullopt, error.message, std::nullopt,
                           std::nullopt, nullptr, nullptr, self->topPresenter());
      }
      return;
    }
    const JSON& data = outcome.value();
    const std::string raw = data.is_object() ? stringValue("raw_mrz", data) : std::string();
    if (!raw.empty()) {
      self->state.mrz = cleanedMrz(raw);
      self->keySource_ = KeySource::mrzText;
    }
  });
}

// ------------------------------------------------------------------------------ the key

std::optional<OSLScanNFCVC::KeyParts> OSLScanNFCVC::keyFromMrzText() {
  if (!state.mrz) return std::nullopt;
  auto formatter = makeMRZDateFormatter();
  auto parsed = parseMRZ(splitLines(*state.mrz), true, *formatter);
  // A zone of fillers only parses with an empty number: no key can come of it.
  if (parsed && parsed->documentNumber && !parsed->documentNumber->empty()) {
    return KeyParts{parsed->documentNumberRawString, parsed->birthdateRawString,
                    parsed->expiryDateRawString, KeySource::mrzText};
  }
  report(OSLLogLevel::info, OSLTrackingEvent::MRZ_FAIL, JSON{{"mrz", *state.mrz}});
  return std::nullopt;
}

// The QR result gives a key only when every part of it can be right: a number, two dates that
// parse, and a key that this screen has not seen refused. Anything else goes to the scanner
// rather than to a read that cannot pass access control.
std::optional<OSLScanNFCVC::KeyParts> OSLScanNFCVC::keyFromQRResult() const {
  auto config = currentConfig();
  if (!config->isQRCodeScanEnabled || !config->qrCodeResult || qrRefused_) return std::nullopt;
  const auto& qr = *config->qrCodeResult;
  if (!qr.id_number || qr.id_number->empty()) return std::nullopt;
  auto birth = keyDate(qr.birthday);
  auto expiry = keyDate(qr.doe);
  if (!birth || !expiry) return std::nullopt;
  return KeyParts{lastCharacters(*qr.id_number, 9), *birth, *expiry, KeySource::qrCode};
}

void OSLScanNFCVC::startChipReading() {
  assertOnQueue(DispatchQueue::main());
  // One read at a time, whoever asks: the button, a retry closure or a follow-up.
  if (!state.isClosedPopup) {
    showRefreshToast();
    return;
  }
  auto parts = keyFromMrzText();
  if (!parts) parts = keyFromQRResult();
  if (!parts) {
    openMRZScanner();
    return;
  }
  state.isClosedPopup = false;
  state.isWaitingProcess = true;
  keySource_ = parts->source;
  const int attempt = ++attempt_;
  const std::string key =
      NfcUtils::mrzKey(parts->documentNumber, parts->dateOfBirth, parts->dateOfExpiry);
  const JSON listen{{"mrz", assembledMRZText()},
                    {"mrzKey", key},
                    {"passportNumber", parts->documentNumber},
                    {"dateOfBirth", parts->dateOfBirth},
                    {"dateOfExpiry", parts->dateOfExpiry}};
  report(OSLLogLevel::info, OSLTrackingEvent::NFC_START_LISTEN, listen);
  std::weak_ptr<OSLScanNFCVC> weakSelf = weak<OSLScanNFCVC>();
  const KeySource source = parts->source;
  // Runs on the reader's queue: only the event is reported there; the screen's state is
  // touched on the main queue.
  auto completed = [weakSelf, attempt, listen, source](std::shared_ptr<NFCPassportModel> model,
                                                       std::optional<PassportReaderError> error) {
    if (weakSelf.expired()) return;
    auto main = DispatchQueue::main();
    if (error) {
      JSON withError = listen;
      withError["error"] = error->message();
      switch (error->kind()) {
        case PassportReaderError::Kind::UnexpectedError:
          report(OSLLogLevel::error, OSLTrackingEvent::NFC_ERROR, withError);
          break;
        case PassportReaderError::Kind::UserCanceled:
          report(OSLLogLevel::error, OSLTrackingEvent::NFC_TAP_CANCEL);
          break;
        default:
          report(OSLLogLevel::error, OSLTrackingEvent::NFC_TAP_FAIL, withError);
          break;
      }
      if (error->kind() == PassportReaderError::Kind::InvalidMRZKey) {
        main->async([weakSelf, attempt, source] {
          if (auto self = weakSelf.lock()) self->keyRefused(attempt, source);
        });
        main->asyncAfter(kRefusedKeyFollowUpDelay, [weakSelf, attempt, source] {
          if (auto self = weakSelf.lock()) self->refusedKeyFollowUp(attempt, source);
        });
      }
    }
    main->asyncAfter(kAfterReadDelay, [weakSelf, attempt, model, listen] {
      if (auto self = weakSelf.lock()) self->readFinished(attempt, model, listen);
    });
  };
  state.nfcReader->startChipRead(
      key, {}, true, true,
      [](const NFCViewDisplayMessage& message) -> std::optional<std::string> {
        return message.text();
      },
      std::move(completed));
}

void OSLScanNFCVC::openMRZScanner() {
  auto navigation = navigationController();
  const bool scannerOpen =
      navigation && std::any_of(navigation->viewControllers().begin(),
                                navigation->viewControllers().end(), [](const auto& c) {
                                  return std::dynamic_pointer_cast<OSLScanMRZVC>(c) != nullptr;
                                });
  if (!navigation || scannerOpen) {
    showRefreshToast();
    return;
  }
  auto scanner = make<OSLScanMRZVC>();
  state.scanMrzVC = scanner;
  std::weak_ptr<OSLScanNFCVC> weakSelf = weak<OSLScanNFCVC>();
  std::weak_ptr<OSLScanMRZVC> weakScanner = scanner;
  scanner->completionHandler = [weakSelf, weakScanner](std::string text) {
    auto self = weakSelf.lock();
    auto scanner = weakScanner.lock();
    if (!self || !scanner || self->state.scanMrzVC != scanner) return;
    if (auto scannerNavigation = scanner->navigationController()) {
      scannerNavigation->popViewController(true);
      self->state.mrz = std::move(text);
      self->startChipReading();
      return;
    }
    scanner->dismiss(true, [weakSelf, text] {
      if (auto s = weakSelf.lock()) {
        s->state.mrz = text;
        s->startChipReading();
      }
    });
  };
  navigation->pushViewController(scanner, true);
}

// ------------------------------------------------------------------------------ read outcome

void OSLScanNFCVC::keyRefused(int attempt, KeySource source) {
  assertOnQueue(DispatchQueue::main());
  if (attempt != attempt_) return;
  // The refused key's own source is dropped, so the next attempt cannot rebuild it.
  if (source == KeySource::qrCode) {
    qrRefused_ = true;
  } else {
    state.mrz.reset();
  }
}

void OSLScanNFCVC::refusedKeyFollowUp(int attempt, KeySource source) {
  assertOnQueue(DispatchQueue::main());
  if (attempt != attempt_ || sessionEnded()) return;
  if (source != KeySource::qrCode) {
    startChipReading();
    return;
  }
  std::weak_ptr<OSLScanNFCVC> weakSelf = weak<OSLScanNFCVC>();
  Helpers::showAlert(
      1, -1, nullptr, osl_localize("nfc_error_invalid_qrcode_title"),
      osl_localize("nfc_error_invalid_qrcode_message"), std::nullopt,
      osl_localize("button_retry"), nullptr,
      [weakSelf] {
        if (auto self = weakSelf.lock()) self->startChipReading();
      },
      topPresenter());
}

void OSLScanNFCVC::readFinished(int attempt, std::shared_ptr<NFCPassportModel> model,
                                const JSON& listen) {
  assertOnQueue(DispatchQueue::main());
  // An outcome of an earlier attempt, or of a session that is over, goes no further than
  // its event.
  if (attempt != attempt_ || sessionEnded()) return;
  state.isClosedPopup = true;
  if (!model) {
    state.isWaitingProcess = false;
    return;
  }
  JSON chipData = JSON::object();
  for (const auto& [name, base64] : model->dataGroupDump(
           std::vector<DataGroupId>(DataGroupId::allCases().begin(), DataGroupId::allCases().end()))) {
    chipData[name] = base64;
  }
  handOffChipData(chipData);
  report(OSLLogLevel::info, OSLTrackingEvent::NFC_TAP_SUCCESS, listen);
}

}  // namespace ostrel
