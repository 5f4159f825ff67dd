#include "nfcscan/OSLNFCAntennaVC.hpp"

#include <string>
#include <vector>

#include "core/CurrentConfig.hpp"
#include "core/DeviceMetadata.hpp"
#include "core/Helpers.hpp"
#include "core/Localization.hpp"
#include "core/TrackEvent.hpp"
#include "network/OstrelClient.hpp"
#include "platform/foundation/Base64.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/ui/Window.hpp"
#include "session/HelpersAlerts.hpp"
#include "session/Ostrel.hpp"
#include "ui/OstrelBaseViews.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/SheetDrag.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

constexpr const char* kSheetScreen = "OSLNFCAntennaVC";
constexpr const char* kChipScreen = "OSL_SCREEN_NFC";

// A dimmed area above the sheet; the sheet holds the title with a close button at each side,
// the picture, the two guide lines, and the cancel button in its bottom bar.
const LibraryNibRegistration antennaNib{
    "OSLNFCAntennaVC", [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
      Rect screen = Screen::main().bounds();
      const double w = screen.width();
      const double top = screen.height() * 0.3;
      const double h = screen.height() - top;
      auto root = nib.makeView<View>(screen);
      auto dismissArea = nib.makeView<View>(Rect{0, 0, w, top});
      // Dims the chip screen above the sheet, so a sheet as white as that screen shows its
      // edge (as the guide sheets' backdrop does).
      dismissArea->setBackgroundColor(Color{0, 0, 0, 0.4});
      auto content = nib.makeView<View>(Rect{0, top, w, h - 90});
      auto closeLeft = nib.makeView<Button>(Rect{12, 12, 32, 32});
      auto title = nib.makeView<Label>(Rect{52, 12, w - 104, 32});
      title->textAlignment = TextAlignment::center;
      title->setFont(Font::systemFont(18, FontWeight::semibold));
      auto closeRight = nib.makeView<Button>(Rect{w - 44, 12, 32, 32});
      auto picture = nib.makeView<ImageView>(Rect{20, 56, w - 40, h - 250});
      picture->setContentMode(ContentMode::scaleAspectFit);
      auto guides = nib.makeView<View>(Rect{20, h - 186, w - 40, 88});
      auto guide1 = nib.makeView<Label>(Rect{0, 0, w - 40, 40});
      guide1->setNumberOfLines(0);
      auto guide2 = nib.makeView<Label>(Rect{0, 48, w - 40, 40});
      guide2->setNumberOfLines(0);
      guides->addSubview(guide1);
      guides->addSubview(guide2);
      for (const auto& v :
           std::vector<std::shared_ptr<View>>{closeLeft, title, closeRight, picture, guides}) {
        content->addSubview(v);
      }
      auto bottom = nib.makeView<View>(Rect{0, screen.height() - 90, w, 90});
      auto cancel = nib.makeView<OstrelButton>(Rect{20, 16, w - 40, 48});
      bottom->addSubview(cancel);
      root->addSubview(dismissArea);
      root->addSubview(content);
      root->addSubview(bottom);
      if (auto owner = nib.owner<OSLNFCAntennaVC>()) {
        owner->viewDismiss = dismissArea;
        owner->lblTitle = title;
        owner->viewContent = content;
        owner->guideStackView = guides;
        owner->guide1Label = guide1;
        owner->guide2Label = guide2;
        owner->imgDevice = picture;
        owner->viewBottom = bottom;
        owner->cancleButton = cancel;
        closeLeft->addTarget<OSLNFCAntennaVC>(
            owner, [](OSLNFCAntennaVC& s, Control&) { s.onCloseLeft(); },
            ControlEvent::touchUpInside);
        closeRight->addTarget<OSLNFCAntennaVC>(
            owner, [](OSLNFCAntennaVC& s, Control&) { s.onCloseRight(); },
            ControlEvent::touchUpInside);
        cancel->addTarget<OSLNFCAntennaVC>(
            owner, [](OSLNFCAntennaVC& s, Control&) { s.onCancel(); },
            ControlEvent::touchUpInside);
      }
      return {root};
    }};

// The picture a base64 text holds, when it holds one.
ImagePtr decodedPicture(const std::string& base64) {
  if (base64.empty()) return nullptr;
  auto bytes = base64Decode(base64);
  return bytes ? Image::decode(*bytes) : nullptr;
}

}  // namespace

void OSLNFCAntennaVC::setupUI() {
  BaseViewController::setupUI();
  auto appearance = currentAppearance();
  if (guideStackView) guideStackView->setHidden(true);
  if (cancleButton) {
    cancleButton->setIsConfirmButton(false);
    cancleButton->applyStyle(false);
    cancleButton->setTitle(osl_localize("button_cancel"), ControlState::normal);
  }
  for (const auto& [label, key] : {std::pair{guide1Label, "nfc_reading_message_1"},
                                   std::pair{guide2Label, "nfc_reading_message_2"}}) {
    if (!label) continue;
    label->setText(osl_localize(key));
    label->setFont(Font::systemFont(14, FontWeight::regular));
    label->setTextColor(colorFromHex("222428"));
  }
  // The cached record counts only when it is a device-specific picture that still decodes;
  // anything else (no record, another shape, a default picture, bytes that are no image) is
  // asked for again, so a damaged cache never leaves the sheet empty for good.
  JSON cached = Helpers::loadDeviceImage();
  ImagePtr cachedPicture;
  bool cachedIsDefault = true;
  if (cached.is_object()) {
    auto image = cached.find("image");
    if (image != cached.end() && image->is_string()) {
      cachedPicture = decodedPicture(image->get<std::string>());
    }
    cachedIsDefault = boolValue("isDefault", cached);
  }
  if (!cachedPicture || cachedIsDefault) {
    fetchLocation();
  } else if (imgDevice) {
    imgDevice->setImage(cachedPicture);
  }
  view()->setBackgroundColor(Color::clear());
  const Color background = colorFromHex(appearance->backgroundColor);
  if (viewContent) viewContent->setBackgroundColor(background);
  if (viewBottom) viewBottom->setBackgroundColor(background);
  tap_ = make<TapGestureRecognizer>();
  tap_->addTarget<OSLNFCAntennaVC>(shared<OSLNFCAntennaVC>(),
                                   [](OSLNFCAntennaVC& s, GestureRecognizer&) { s.handleTap(); });
  if (viewDismiss) viewDismiss->addGestureRecognizer(tap_);
  if (lblTitle) {
    lblTitle->setText(osl_localize("nfc_location_title"));
    lblTitle->setTextColor(colorFromHex(appearance->mainTextColor));
  }
  pan_ = make<PanGestureRecognizer>();
  pan_->addTarget<OSLNFCAntennaVC>(shared<OSLNFCAntennaVC>(),
                                   [](OSLNFCAntennaVC& s, GestureRecognizer& r) {
                                     if (auto* p = dynamic_cast<PanGestureRecognizer*>(&r)) {
                                       s.handlePan(*p);
                                     }
                                   });
  view()->addGestureRecognizer(pan_);
}

void OSLNFCAntennaVC::fetchLocation() {
  Helpers::showLoading(shared<OSLNFCAntennaVC>(), std::nullopt, std::nullopt, false);
  std::weak_ptr<OSLNFCAntennaVC> weakSelf = weak<OSLNFCAntennaVC>();
  OstrelClient::getNfcLocation(deviceModelIdentifier(), [weakSelf](Outcome<JSON> outcome) {
    Ostrel::shared()->hideLoading();
    if (!outcome) {
      Helpers::showErrorAlert(std::nullopt, outcome.error().message, nullptr, nullptr);
      trackEvent(OSLLogLevel::info, OSLTrackingEvent::NFC_SHOW_POSITION_NOT_FOUND, kSheetScreen);
      return;
    }
    if (auto self = weakSelf.lock()) self->locationAnswered(outcome.value());
  });
}

void OSLNFCAntennaVC::locationAnswered(const JSON& reply) {
  const JSON empty = JSON::object();
  auto member = [&](const char* key) -> const JSON& {
    if (!reply.is_object()) return empty;
    auto it = reply.find(key);
    return it != reply.end() && it->is_object() ? *it : empty;
  };
  const std::string image = stringValue("image", member("data"));
  const auto code = intValue("code", member("error"), 0);
  // A picture the server sent that does not decode is treated as no picture: it would only
  // show an empty sheet, and caching it would keep doing so.
  ImagePtr picture = decodedPicture(image);
  if (!picture) {
    Helpers::showErrorAlert(std::nullopt, osl_localize("error_unknown"), nullptr, nullptr);
    trackEvent(OSLLogLevel::info, OSLTrackingEvent::NFC_SHOW_POSITION_NOT_FOUND, kSheetScreen);
    return;
  }
  Helpers::saveDeviceImage(JSON{{"isDefault", code != 0}, {"image", image}});
  if (guideStackView) guideStackView->setHidden(code == 0);
  if (imgDevice) imgDevice->setImage(picture);
  trackEvent(OSLLogLevel::info,
             code == 0 ? OSLTrackingEvent::NFC_SHOW_POSITION_FOUND
                       : OSLTrackingEvent::NFC_SHOW_POSITION_NOT_FOUND,
             kSheetScreen);
}

void OSLNFCAntennaVC::onCloseLeft() { close(); }
void OSLNFCAntennaVC::onCloseRight() { close(); }
void OSLNFCAntennaVC::onCancel() { close(); }
void OSLNFCAntennaVC::handleTap() { close(); }

void OSLNFCAntennaVC::handlePan(PanGestureRecognizer& recognizer) {
  dragSheet(view(), recognizer, initialViewOrigin, kCloseDragDistance, [this] { close(); });
}

void OSLNFCAntennaVC::close() {
  // Buttons, the area above and the drag can all fire while the sheet goes away: one close.
  if (closing_) return;
  if (!dismiss(true)) return;
  closing_ = true;
  trackEvent(OSLLogLevel::info, OSLTrackingEvent::NFC_LOCATION_TAP_CLOSE, kChipScreen);
}

}  // namespace ostrel
