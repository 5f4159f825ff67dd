#include "nfcscan/OSLScanNFCVC.hpp"

#include <algorithm>
#include <utility>

#include "core/CurrentConfig.hpp"
#include "core/Helpers.hpp"
#include "core/Localization.hpp"
#include "core/OSLRawDataProcessor.hpp"
#include "core/OnMain.hpp"
#include "core/OstrelScanNFCError.hpp"
#include "core/TrackEvent.hpp"
#include "model/OSLConfirmResult.hpp"
#include "model/OSLNfcModel.hpp"
#include "model/OSLQRCodeModel.hpp"
#include "model/OstrelResult.hpp"
#include "network/OstrelClient.hpp"
#include "nfcscan/OSLNFCAntennaVC.hpp"
#include "platform/foundation/Base64.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/media/Image.hpp"
#include "platform/nfc/NFCReaderBackend.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/runtime/Runtime.hpp"
#include "platform/ui/GestureRecognizer.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/Window.hpp"
#include "scan/MRZLineFinder.hpp"
#include "scan/MRZResult.hpp"
#include "scanner/OSLScanMRZVC.hpp"
#include "session/HelpersAlerts.hpp"
#include "session/Ostrel.hpp"
#include "ui/ImageExtensions.hpp"
#include "ui/OstrelBaseViews.hpp"
#include "ui/OstrelToast.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

// Title, the "not supported" line, the guide panel (heading, four lines with their check
// marks), the antenna row, and the skip and scan buttons at the foot.
const LibraryNibRegistration scanNfcNib{
    "OSLScanNFCVC", [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
      Rect screen = Screen::main().bounds();
      const double w = screen.width();
      const double inner = w - 40;
      auto root = nib.makeView<View>(screen);
      auto title = nib.makeView<Label>(Rect{20, 60, inner, 28});
      title->setFont(Font::systemFont(20, FontWeight::bold));
      title->textAlignment = TextAlignment::center;
      auto error = nib.makeView<Label>(Rect{20, 100, inner, 44});
      error->setNumberOfLines(0);
      error->textAlignment = TextAlignment::center;
      auto panel = nib.makeView<View>(Rect{20, 150, inner, 240});
      auto heading = nib.makeView<OSLMainColorLabel>(Rect{16, 12, inner - 32, 24});
      panel->addSubview(heading);
      std::vector<std::shared_ptr<Label>> lines;
      std::vector<std::shared_ptr<ImageView>> ticks;
      for (int i = 0; i < 4; ++i) {
        auto tick = nib.makeView<ImageView>(Rect{16, 48.0 + i * 46, 20, 20});
        auto line = nib.makeView<Label>(Rect{44, 44.0 + i * 46, inner - 60, 40});
        // Two lines of the guide's size fit a row with room between the rows.
        line->setFont(Font::systemFont(15));
        line->setNumberOfLines(0);
        panel->addSubview(tick);
        panel->addSubview(line);
        ticks.push_back(tick);
        lines.push_back(line);
      }
      auto antennaRow = nib.makeView<View>(Rect{20, 406, inner, 52});
      auto antennaIcon = nib.makeView<ImageView>(Rect{16, 14, 24, 24});
      auto antennaText = nib.makeView<OSLMainColorLabel>(Rect{48, 14, inner - 64, 24});
      antennaRow->addSubview(antennaIcon);
      antennaRow->addSubview(antennaText);
      auto skip = nib.makeView<OstrelButton>(Rect{20, screen.height() - 132, inner, 48});
      auto scan = nib.makeView<OstrelButton>(Rect{20, screen.height() - 76, inner, 48});
      for (const auto& v :
           std::vector<std::shared_ptr<View>>{title, error, panel, antennaRow, skip, scan}) {
        root->addSubview(v);
      }
      if (auto owner = nib.owner<OSLScanNFCVC>()) {
        owner->lblTitle = title;
        owner->lblError = error;
        owner->lblCheckListTitle = heading;
        owner->listLblCheckList = lines;
        owner->checkmarkIcons = ticks;
        owner->btnSkip = skip;
        owner->btnScanNFC = scan;
        owner->stvTutorial = panel;
        owner->guideNFCPositionView = antennaRow;
        owner->antennaLabel = antennaText;
        owner->nfcLocationIcon = antennaIcon;
        scan->addTarget<OSLScanNFCVC>(
            owner, [](OSLScanNFCVC& s, Control&) { s.btnScanClicked(); },
            ControlEvent::touchUpInside);
        skip->addTarget<OSLScanNFCVC>(
            owner, [](OSLScanNFCVC& s, Control&) { s.btnSkipClicked(); },
            ControlEvent::touchUpInside);
      }
      return {root};
    }};

// Hosts give MRZ texts with the two characters "\" "n" between the lines.
std::optional<std::string> cleanedMrz(std::optional<std::string> text) {
  if (!text) return std::nullopt;
  std::string out;
  out.reserve(text->size());
  for (std::size_t i = 0; i < text->size(); ++i) {
    if ((*text)[i] == '\\' && i + 1 < text->size() && (*text)[i + 1] == 'n') {
      out.push_back('\n');
      ++i;
    } else {
      out.push_back((*text)[i]);
    }
  }
  return out;
}

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

void hideLoading() {
  Ostrel::shared()->hideLoading();
}

void report(OSLLogLevel level, OSLTrackingEvent event, const JSON& data = JSON::object()) {
  trackEvent(level, event, OSLScanNFCVC::kScreenName, data);
}

}  // namespace

// ------------------------------------------------------------------------------ creation

std::shared_ptr<OSLScanNFCVC> OSLScanNFCVC::create(OSLFlowType flowType) {
  auto screen = loadFromNib<OSLScanNFCVC>();
  screen->state.flowType = std::move(flowType);
  screen->state.nfcReader = make<NfcReader>(Log::info, std::nullopt);
  screen->state.countdown = currentConfig()->scanNFCTimeoutSeconds;
  return screen;
}

bool OSLScanNFCVC::isNFCFlow() const {
  return state.flowType.kind == OSLFlowType::Kind::nfc_ekyc ||
         state.flowType.kind == OSLFlowType::Kind::nfc_only;
}

bool OSLScanNFCVC::hasMrzAndFaceData() const {
  return state.flowType.kind == OSLFlowType::Kind::nfc_only && state.mrz && !state.mrz->empty() &&
         state.faceData && !state.faceData->empty();
}

// The inputs are taken when the screen is set up (and again at each new run), not when it is
// made: a configured step is made while another configuration is current.
void OSLScanNFCVC::resolveInputs() {
  auto config = currentConfig();
  state.mrz = std::nullopt;
  state.faceData = std::nullopt;
  if (!isNFCFlow()) return;
  state.mrz = cleanedMrz(state.flowType.mrz ? state.flowType.mrz : config->mrz);
  if (state.flowType.kind == OSLFlowType::Kind::nfc_only) {
    state.faceData = state.flowType.faceData ? state.flowType.faceData : config->faceDataBase64;
  }
}

void OSLScanNFCVC::resetForNewRun() {
  endOpenRead();
  ++attempt_;
  stopTimer();
  const auto flow = state.flowType;
  auto reader = state.nfcReader;
  state = State{};
  state.flowType = flow;
  state.nfcReader = reader;
  state.countdown = currentConfig()->scanNFCTimeoutSeconds;
  qrRefused_ = false;
  keySource_ = KeySource::mrzText;
  // Before the first use the view's own set-up does the rest.
  if (!isViewLoaded()) return;
  resolveInputs();
  if (lblError) lblError->setTextColor(Color::label());
  applyAvailability();
  if (isNFCFlow()) startCountdown();
  if (state.flowType.kind == OSLFlowType::Kind::nfc_only) fetchMrzIfNeeded();
}

// ------------------------------------------------------------------------------ set-up

void OSLScanNFCVC::applyAvailability() {
  const bool available = NFCNDEFReaderSession::readingAvailable();
  if (btnSkip) {
    btnSkip->setHidden(available || state.flowType.kind != OSLFlowType::Kind::nfc_ekyc);
  }
  if (lblError) lblError->setHidden(available);
  for (const auto& v : std::vector<std::shared_ptr<View>>{lblCheckListTitle, btnScanNFC,
                                                           stvTutorial, guideNFCPositionView}) {
    if (v) v->setHidden(!available);
  }
}

void OSLScanNFCVC::setupUI() {
  BaseViewController::setupUI();
  resolveInputs();
  auto appearance = currentAppearance();
  applyAvailability();
  if (stvTutorial) stvTutorial->setBackgroundColor(colorFromHex("#F6F6F9"));
  if (lblTitle) {
    lblTitle->setText(osl_localize("nfc_title"));
    lblTitle->setTextColor(colorFromHex(appearance->mainTextColor));
  }
  if (lblError) lblError->setText(osl_localize("nfc_not_support"));
  if (lblCheckListTitle) lblCheckListTitle->setText(osl_localize("guide_note"));
  if (btnScanNFC) btnScanNFC->setTitle(osl_localize("nfc_button_start"), ControlState::normal);
  if (btnSkip) btnSkip->setTitle(osl_localize("nfc_skip"), ControlState::normal);
  // A nib with fewer lines fills what it has.
  const int lines = std::min<int>(state.numberOfGuide, static_cast<int>(listLblCheckList.size()));
  if (lines < state.numberOfGuide) debugLog("OSLScanNFCVC: the nib has fewer guide lines");
  for (int i = 1; i <= lines; ++i) {
    listLblCheckList[i - 1]->setText(osl_localize("guide_nfc_" + std::to_string(i)));
  }
  if (antennaLabel) antennaLabel->setText(osl_localize("nfc_button_nfc_location"));
  auto bundle = resourceBundle();
  const Color mainColor = colorFromHex(appearance->mainColor);
  auto image = [&](const char* name) {
    auto picture = bundle ? Image::named(name, *bundle) : nullptr;
    return picture ? tinted(picture, mainColor) : nullptr;
  };
  if (nfcLocationIcon) nfcLocationIcon->setImage(image("ic_scan_nfc_guide"));
  auto tick = image("icon_check_list");
  for (const auto& icon : checkmarkIcons) icon->setImage(tick);
  if (auto row = guideNFCPositionView) {
    row->setBackgroundColor(colorFromHex("f8f8fa"));
    setCornerRadius(*row, 8);
    setBorderColors(*row, colorFromHex("E1E3E9").withAlphaComponent(0.6));
    setBorderWidth(*row, 0.5);
    auto layer = row->layer();
    layer->shadowColor = colorFromHex("222428").withAlphaComponent(0.12);
    layer->shadowOpacity = 0.8;
    layer->shadowOffset = {0, 8};
    layer->shadowRadius = 5;
    layer->masksToBounds = false;
    row->setClipsToBounds(false);
    auto tap = make<TapGestureRecognizer>();
    tap->addTarget<OSLScanNFCVC>(shared<OSLScanNFCVC>(),
                                 [](OSLScanNFCVC& s, GestureRecognizer&) { s.showTutorial(); });
    row->addGestureRecognizer(tap);
  }
  if (isNFCFlow()) startCountdown();
  if (state.flowType.kind == OSLFlowType::Kind::nfc_only) fetchMrzIfNeeded();
}

void OSLScanNFCVC::viewWillAppear(bool animated) {
  BaseViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(true, false);
  if (isNFCFlow()) resumeCountdown();
}

void OSLScanNFCVC::viewWillDisappear(bool animated) {
  BaseViewController::viewWillDisappear(animated);
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(false, false);
  if (isNFCFlow()) pauseCountdown();
}

void OSLScanNFCVC::viewDidDisappear(bool animated) {
  BaseViewController::viewDidDisappear(animated);
  // A read must not outlive the session it was started for.
  if (sessionEnded()) endOpenRead();
}

void OSLScanNFCVC::willResignActiveNotification() {
  BaseViewController::willResignActiveNotification();
  pauseCountdown();
}

void OSLScanNFCVC::didBecomeActiveNotification() {
  BaseViewController::didBecomeActiveNotification();
  resumeCountdown();
}

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

// ------------------------------------------------------------------------------ actions

void OSLScanNFCVC::btnScanClicked() { handleScanTap(); }

void OSLScanNFCVC::btnSkipClicked() { continueAfterVerification(true); }

void OSLScanNFCVC::handleScanTap() { startChipReading(); }

void OSLScanNFCVC::showRefreshToast() {
  auto toast = make<OstrelToast>(osl_localize("nfc_refresh"));
  toast->show(view());
  toast->setTransform(AffineTransform::scale(0.9, 0.9).translatedBy(0, -100));
  std::weak_ptr<OstrelToast> weakToast = toast;
  AnimationOptions options;
  options.allowUserInteraction = true;
  options.curve = TimingFunction::easeOut;
  View::animate(
      0.2, 0, options,
      [weakToast] {
        if (auto t = weakToast.lock()) t->setTransform(AffineTransform::identity());
      },
      [weakToast](bool) {
        if (auto t = weakToast.lock()) t->hide(2.5);
      });
}

void OSLScanNFCVC::closeTapped() {
  Helpers::showAlert(
      2, -1, nullptr, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
      [] { report(OSLLogLevel::info, OSLTrackingEvent::EXIT_TAP_NO); },
      [] {
        Ostrel::shared()->close(true,
                                [] { report(OSLLogLevel::info, OSLTrackingEvent::EXIT_TAP_YES); });
      },
      topPresenter());
  report(OSLLogLevel::info, OSLTrackingEvent::TAP_EXIT);
}

void OSLScanNFCVC::showTutorial() {
  auto sheet = loadFromNib<OSLNFCAntennaVC>();
  sheet->modalPresentationStyle = ModalPresentationStyle::formSheet;
  present(sheet, true);
  report(OSLLogLevel::info, OSLTrackingEvent::NFC_TAP_LOCATION);
}

std::shared_ptr<ViewController> OSLScanNFCVC::topPresenter() {
  std::shared_ptr<ViewController> top = shared<ViewController>();
  while (auto presented = top->presentedViewController()) top = presented;
  return top;
}

bool OSLScanNFCVC::sessionEnded() const {
  auto navigation = navigationController();
  return !navigation || navigation != Ostrel::shared()->naviViewController();
}

void OSLScanNFCVC::endOpenRead() {
  if (state.isClosedPopup) return;
  // The outcome of the ended read belongs to an old attempt and is only reported.
  ++attempt_;
  state.isClosedPopup = true;
  if (state.nfcReader) state.nfcReader->endOpenRead();
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

// ------------------------------------------------------------------------------ hand-off

void OSLScanNFCVC::handOffChipData(const JSON& chipData) {
  auto config = currentConfig();
  Helpers::showLoading(shared<OSLScanNFCVC>(), std::nullopt, std::nullopt, false);
  std::weak_ptr<OSLScanNFCVC> weakSelf = weak<OSLScanNFCVC>();
  const int attempt = attempt_;
  // Each answer reaches the screen on the main queue, once, and only while the screen still
  // runs the attempt that asked.
  auto reply = [weakSelf, attempt](Road road) {
    std::function<void(OSLConfig::Result)> onScreen = [weakSelf, attempt,
                                                       road](OSLConfig::Result result) {
      // The server's success keeps the loading indicator up for what follows.
      if (road != Road::server || result.type != OSLConfig::ResultType::success) hideLoading();
      auto self = weakSelf.lock();
      if (!self || self->attempt_ != attempt) return;
      self->handOffAnswered(road, result);
    };
    return firstCallOnly<OSLConfig::Result>(onMain(std::move(onScreen)));
  };
  if (auto processor = config->rawDataProcessor) {
    processor->processNFCData(chipData, reply(Road::processor));
    return;
  }
  if (auto handler = config->nfcDataHandler) {
    handler(chipData, reply(Road::handler));
    return;
  }
  auto done = reply(Road::server);
  OstrelClient::verifyNfc(chipData, [done](Outcome<JSON> outcome) {
    done(outcome ? OSLConfig::Result::success(outcome.value())
                 : OSLConfig::Result::failure(outcome.error()));
  });
}

void OSLScanNFCVC::handOffAnswered(Road road, const OSLConfig::Result& result) {
  const bool success = result.type == OSLConfig::ResultType::success;
  const JSON data = result.dataResponse && result.dataResponse->is_object() ? *result.dataResponse
                                                                            : JSON::object();
  const std::string message =
      result.error ? result.error->message : osl_localize("error_unknown");
  const int code = result.error ? result.error->code : -1;
  switch (road) {
    case Road::processor:
      if (success) {
        continueAfterVerification(boolValue("is_nfc_face_match_selfie", data));
        report(OSLLogLevel::info, OSLTrackingEvent::NFC_SUCCESS);
        return;
      }
      state.mrz.reset();
      stopTimer();
      handleError(message, code, true);
      state.isWaitingProcess = false;
      return;
    case Road::handler:
      stopTimer();
      if (success) {
        if (onNext) onNext();
        report(OSLLogLevel::info, OSLTrackingEvent::NFC_SUCCESS);
      } else {
        if (lblError) {
          lblError->setTextColor(Color::systemRed());
          lblError->setText(message);
        }
        state.mrz.reset();
        handleError(message, code, true);
        report(OSLLogLevel::error, OSLTrackingEvent::NFC_FAIL, JSON{{"error", message}});
      }
      state.isWaitingProcess = false;
      return;
    case Road::server:
      if (success) {
        continueAfterVerification(boolValue("is_nfc_face_match_selfie", data));
        report(OSLLogLevel::info, OSLTrackingEvent::NFC_SUCCESS);
        return;
      }
      state.mrz.reset();
      stopTimer();
      if (code == 401) {
        Helpers::showTimeoutAlert(nullptr);
      } else {
        handleError(message, code, true);
      }
      report(OSLLogLevel::error, OSLTrackingEvent::NFC_FAIL, JSON{{"error", message}});
      state.isWaitingProcess = false;
      return;
  }
}

// ------------------------------------------------------------------------------ what follows

void OSLScanNFCVC::continueAfterVerification(bool isFaceMatched) {
  std::weak_ptr<OSLScanNFCVC> weakSelf = weak<OSLScanNFCVC>();
  if (state.flowType.kind != OSLFlowType::Kind::nfc_only) {
    hideLoading();
    stopTimer();
    if (onNext) onNext();
    return;
  }
  if (hasMrzAndFaceData()) {
    checkSelfie([weakSelf] {
      if (auto self = weakSelf.lock()) self->confirmNfc();
    });
    return;
  }
  if (isFaceMatched) {
    confirmNfc();
    return;
  }
  hideLoading();
  if (!onNeedLiveness) {
    // A configured step has no face step of its own: it goes on to the next step.
    stopTimer();
    state.isWaitingProcess = false;
    if (onNext) onNext();
    return;
  }
  auto startLiveness = [weakSelf] {
    auto self = weakSelf.lock();
    if (!self || !self->onNeedLiveness) return;
    const bool pushed = self->onNeedLiveness([weakSelf] {
      if (auto s = weakSelf.lock()) s->confirmNfc();
    });
    if (!pushed) {
      // Without a face step nothing would ever continue: say so instead of waiting.
      self->state.isWaitingProcess = false;
      self->handleError(osl_localize("error_unknown"), -1, true);
    }
  };
  // A sheet still open over the session (the antenna guide) goes first.
  auto navigation = Ostrel::shared()->naviViewController();
  std::shared_ptr<ViewController> presented =
      navigation ? navigation->presentedViewController() : nullptr;
  if (!presented) presented = presentedViewController();
  if (!presented || !presented->dismiss(true, startLiveness)) startLiveness();
}

void OSLScanNFCVC::checkSelfie(std::function<void()> completion) {
  if (!hasMrzAndFaceData()) return;
  auto bytes = base64Decode(*state.faceData);
  auto image = bytes ? Image::decode(*bytes) : nullptr;
  if (!image) {
    // Nothing can be checked; the chip key was good, so the MRZ text stays.
    hideLoading();
    state.isWaitingProcess = false;
    handleError(osl_localize("error_unknown"), -1, true);
    return;
  }
  Helpers::showLoading(shared<OSLScanNFCVC>(), std::nullopt, std::nullopt, false);
  std::weak_ptr<OSLScanNFCVC> weakSelf = weak<OSLScanNFCVC>();
  const int attempt = attempt_;
  OstrelClient::checkSelfie(
      image, [weakSelf, attempt, completion = std::move(completion)](Outcome<JSON> outcome) {
        if (outcome) {
          if (completion) completion();
          return;
        }
        hideLoading();
        auto self = weakSelf.lock();
        if (!self || self->attempt_ != attempt) return;
        self->state.mrz.reset();
        self->stopTimer();
        self->handleError(outcome.error().message, outcome.error().code, true);
        self->state.isWaitingProcess = false;
      });
}

void OSLScanNFCVC::confirmNfc() {
  Helpers::showLoading(shared<OSLScanNFCVC>(), std::nullopt, std::nullopt, false);
  std::weak_ptr<OSLScanNFCVC> weakSelf = weak<OSLScanNFCVC>();
  OstrelClient::confirm(
      OstrelClient::kConfirmPath, currentConfig()->getFullResult, std::nullopt,
      [weakSelf](Outcome<JSON> outcome) {
        hideLoading();
        auto self = weakSelf.lock();
        if (!outcome) {
          if (!self) return;
          self->stopTimer();
          self->handleError(outcome.error().message, outcome.error().code, true);
          self->state.isWaitingProcess = false;
          return;
        }
        if (self) self->stopTimer();
        // The session ends with this result even when the screen is already gone.
        const JSON& data = outcome.value();
        auto confirmResult = std::make_shared<OSLConfirmResult>(data);
        std::shared_ptr<OSLNfcModel> chip;
        if (data.is_object()) {
          if (auto it = data.find("nfc_data"); it != data.end() && it->is_object()) {
            chip = OSLNfcModel::decode(*it);
          }
        }
        auto config = currentConfig();
        auto result = std::make_shared<OstrelResult>(data, confirmResult, chip, config->qrCodeResult);
        if (!config->showResultScreen) {
          auto handler = config->resultHandler;
          Ostrel::shared()->close(false, [handler, result] {
            if (handler) handler(result);
          });
        } else {
          Ostrel::shared()->showNfcResultScreen(result);
        }
      });
}

// ------------------------------------------------------------------------------ errors

void OSLScanNFCVC::handleError(const std::string& message, int code, bool isServerError) {
  if (code == 401 && isServerError) {
    Helpers::showTimeoutAlert(nullptr);
    return;
  }
  auto config = currentConfig();
  std::weak_ptr<OSLScanNFCVC> weakSelf = weak<OSLScanNFCVC>();
  if (auto handler = config->errorScanNFCHandler) {
    std::function<void()> action;
    if (code == 401 && !isServerError) {
      action = [weakSelf] {
        if (auto self = weakSelf.lock()) {
          self->startCountdown();
          self->startChipReading();
        }
      };
    }
    std::function<void()> retry = [weakSelf] {
      if (auto self = weakSelf.lock()) self->startCountdown();
    };
    handler(scanNFCErrorFromCode(code), message, std::move(action), std::move(retry));
    return;
  }
  if (auto handler = config->showErrorAlertHandler) {
    handler(message, code, shared<OSLScanNFCVC>());
    return;
  }
  Helpers::showAlert(1, code, nullptr, std::nullopt, message, std::nullopt, std::nullopt, nullptr,
                     nullptr, nullptr);
}

}  // namespace ostrel
