#include "ui/GuideVC.hpp"

#include "core/CurrentConfig.hpp"
#include "core/Localization.hpp"
#include "core/TrackEvent.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/ui/Animation.hpp"
#include "platform/ui/Window.hpp"
#include "ui/GuideLayout.hpp"
#include "ui/OstrelBaseViews.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/SheetDrag.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

// The sheet: the area above it closes the guide; the sheet holds the title, the example
// picture, the checklist, the reject examples and the close button.
const LibraryNibRegistration guideNib{
    "GuideVC", [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
      Rect screen = Screen::main().bounds();
      double w = screen.width();
      double sheetTop = std::round(screen.height() * 0.2);
      auto root = nib.makeView<View>(screen);
      auto dismiss = nib.makeView<View>(Rect{0, 0, w, sheetTop});
      // The sheet's backdrop dims the screen it covers, so a sheet as white as that screen
      // still shows its edge.
      dismiss->setBackgroundColor(Color{0, 0, 0, 0.4});
      auto sheet = nib.makeView<View>(Rect{0, sheetTop, w, screen.height() - sheetTop});
      root->addSubview(dismiss);
      root->addSubview(sheet);
      auto title = nib.makeView<Label>(Rect{20, 20, w - 40, 28});
      title->setFont(Font::systemFont(20, FontWeight::bold));
      title->textAlignment = TextAlignment::center;
      auto picture = nib.makeView<ImageView>(Rect{20, 60, w - 40, 100});
      auto height = picture->heightAnchor().constraintEqualToConstant(100);
      for (const auto& v : std::vector<std::shared_ptr<View>>{title, picture})
        sheet->addSubview(v);
      auto checklist = addGuideChecklist(nib, sheet, 176, w);
      auto examples = addGuideExamples(nib, sheet, 334, w, 70);
      auto button = nib.makeView<OstrelButton>(Rect{20, 492, w - 40, 48});
      sheet->addSubview(button);
      LayoutConstraint::activate({height});
      if (auto owner = nib.owner<GuideVC>()) {
        owner->lblTitle = title;
        owner->imgScreen = picture;
        owner->heightImageCT = height;
        owner->viewDismiss = dismiss;
        owner->lblCheckListTitle = checklist.heading;
        owner->viewMain = sheet;
        owner->listLblChecklist = checklist.lines;
        owner->checklistImageViews = checklist.ticks;
        owner->listLblRejectContent = examples.captions;
        owner->listImgReject = examples.pictures;
        owner->lblRejectTitle = examples.heading;
        owner->btnConfirm = button;
        button->addTarget<GuideVC>(
            owner, [](GuideVC& guide, Control&) { guide.closeGuide(); },
            ControlEvent::touchUpInside);
      }
      return {root};
    }};

Color appearanceColor(const std::string OSLAppearance::*field) {
  return colorFromHex(currentAppearance().get()->*field);
}

}  // namespace

std::shared_ptr<GuideVC> GuideVC::create(TypeOfGuide typeOfGuide) {
  auto guide = loadFromNib<GuideVC>();
  guide->typeOfGuide = typeOfGuide;
  return guide;
}

const char* GuideVC::screenName(TypeOfGuide type) {
  switch (type) {
    case TypeOfGuide::frontId:
      return screen_names::kCaptureFront;
    case TypeOfGuide::backId:
      return screen_names::kCaptureBack;
    case TypeOfGuide::liveness:
      return screen_names::kLiveness;
    case TypeOfGuide::passport:
      return screen_names::kPassport;
  }
  return "";
}

void GuideVC::setupUI() {
  BaseViewController::setupUI();
  setupContent();
  if (viewMain) {
    viewMain->setClipsToBounds(true);
    viewMain->layer()->cornerRadius = 24;
    viewMain->layer()->maskedCorners = kMinXMinYCorner | kMaxXMinYCorner;
    viewMain->setBackgroundColor(appearanceColor(&OSLAppearance::backgroundColor));
  }
  view()->setBackgroundColor(Color::clear());
  tap_ = make<TapGestureRecognizer>();
  tap_->addTarget<GuideVC>(shared<GuideVC>(),
                           [](GuideVC& guide, GestureRecognizer&) { guide.closeGuide(); });
  if (viewDismiss) viewDismiss->addGestureRecognizer(tap_);
  pan_ = make<PanGestureRecognizer>();
  pan_->addTarget<GuideVC>(shared<GuideVC>(), [](GuideVC& guide, GestureRecognizer& r) {
    if (auto* pan = dynamic_cast<PanGestureRecognizer*>(&r)) guide.handlePanGesture(*pan);
  });
  view()->addGestureRecognizer(pan_);
  if (imgScreen) imgScreen->setContentMode(ContentMode::scaleAspectFit);
  if (heightImageCT) heightImageCT->constant = Screen::main().bounds().height() < 700 ? 80 : 100;
}

void GuideVC::setupContent() {
  Color text = appearanceColor(&OSLAppearance::mainTextColor);
  if (lblCheckListTitle) {
    lblCheckListTitle->setText(osl_localize("guide_note"));
    lblCheckListTitle->setTextColor(text);
  }
  if (lblRejectTitle) {
    lblRejectTitle->setText(osl_localize("guide_reject_title"));
    lblRejectTitle->setTextColor(text);
  }
  if (btnConfirm) btnConfirm->setTitle(osl_localize("guide_button_close"), ControlState::normal);
  if (lblTitle) lblTitle->setTextColor(text);
  const char* prefix = typeOfGuide == TypeOfGuide::liveness ? "guide_liveness_" : "guide_id_";
  // Nibs with fewer entries than expected fill what they have.
  for (int n = 1; n <= numberOfGuide && n <= static_cast<int>(listLblChecklist.size()); ++n) {
    auto& label = listLblChecklist[n - 1];
    label->setText(osl_localize(prefix + std::to_string(n)));
    label->setTextColor(text);
  }
  auto tick = bundleImage("icon_check_list");
  if (tick) tick = tick->withTintColor(appearanceColor(&OSLAppearance::mainColor));
  for (const auto& imageView : checklistImageViews) imageView->setImage(tick);
  switch (typeOfGuide) {
    case TypeOfGuide::frontId:
      setupFrontIdContent();
      break;
    case TypeOfGuide::backId:
      setupBackIdContent();
      break;
    case TypeOfGuide::liveness:
      setupLivenessContent();
      break;
    case TypeOfGuide::passport:
      setupPassportContent();
      break;
  }
}

void GuideVC::fillKind(const char* titleKey, const char* picture, const char* rejectKeyPrefix,
                       const char* rejectPicturePrefix) {
  if (lblTitle) lblTitle->setText(osl_localize(titleKey));
  if (imgScreen) imgScreen->setImage(bundleImage(picture));
  Color text = appearanceColor(&OSLAppearance::mainTextColor);
  for (int n = 1; n <= numberOfReason; ++n) {
    std::string number = std::to_string(n);
    if (n <= static_cast<int>(listLblRejectContent.size())) {
      auto& label = listLblRejectContent[n - 1];
      label->setTextColor(text);
      label->setText(osl_localize(rejectKeyPrefix + number));
    }
    if (n <= static_cast<int>(listImgReject.size())) {
      listImgReject[n - 1]->setImage(bundleImage(rejectPicturePrefix + number));
    }
  }
}

void GuideVC::setupFrontIdContent() {
  fillKind("guide_id_title", "ic_guide_front", "guide_id_reject_", "ic_reject_front_");
}

void GuideVC::setupBackIdContent() {
  fillKind("guide_id_title", "ic_guide_id_back", "guide_id_reject_", "ic_reject_back_");
}

void GuideVC::setupLivenessContent() {
  fillKind("guide_liveness_title", "ic_guide_liveness", "guide_liveness_reject_",
           "ic_reject_liveness_");
}

void GuideVC::setupPassportContent() {
  fillKind("guide_passport_title", "ic_passport", "guide_id_reject_", "ic_reject_passport_");
}

void GuideVC::handlePanGesture(PanGestureRecognizer& recognizer) {
  dragSheet(view(), recognizer, initialViewOrigin, kCloseDragDistance, [this] { closeGuide(); });
}

void GuideVC::closeGuide() {
  // The button, the area above and the drag can all fire while the sheet goes away: one close.
  if (closing_) return;
  if (!dismiss(true)) return;
  closing_ = true;
  trackEvent(OSLLogLevel::info, OSLTrackingEvent::GUIDE_TAP_CLOSE, screenName(typeOfGuide),
             JSON::object());
}

}  // namespace ostrel
