#include "nfcscan/OSLScanNFCVC.hpp"

#include <algorithm>
#include <utility>

#include "core/CurrentConfig.hpp"
#include "core/Localization.hpp"
#include "nfcscan/OSLScanNFCVCSupport.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/media/Image.hpp"
#include "platform/nfc/NFCReaderBackend.hpp"
#include "platform/ui/GestureRecognizer.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/Window.hpp"
#include "ui/ImageExtensions.hpp"
#include "ui/OstrelBaseViews.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;
using namespace scan_nfc_vc_support;

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

}  // namespace ostrel
