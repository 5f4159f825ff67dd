#include "capture/IDCaptureVC.hpp"

#include "camera/CameraMaskView.hpp"
#include "core/Localization.hpp"
#include "platform/ui/Control.hpp"
#include "platform/ui/Window.hpp"
#include "ui/OstrelBaseViews.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

// Layout of the screen in points; frames are worked out in code from the view's bounds.
constexpr double kMargin = 20;
constexpr double kTargetTopBase = 150;  // the target's top, before its constraint's offset
// The auto-capture switch inside its frame. The switch sizes its round thumb from the frame it is
// made with, so it is made at this size rather than laid out to it later.
const platform::Rect kSwitchFrame{2, 0, 52, 32};
constexpr double kCardRatio = 85.6 / 54.0;

// Mirrors the card target's offset from the screen height: small phones keep the target high.
double targetOffset(double screenHeight) {
  if (screenHeight < 700) return 15;
  if (screenHeight <= 750) return 30;
  return 40;
}

const LibraryNibRegistration idCaptureNib{
    "IDCaptureVC", [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
      const Rect screen = Screen::main().bounds();
      auto root = nib.makeView<View>(screen);
      auto camera = nib.makeView<CameraView>(screen);
      auto mask = nib.makeView<CameraMaskView>(screen);
      auto target = nib.makeView<View>(Rect{});
      target->setBackgroundColor(Color::clear());
      target->setUserInteractionEnabled(false);
      auto preview = nib.makeView<ImageView>(Rect{});
      preview->setContentMode(ContentMode::scaleAspectFill);
      preview->setClipsToBounds(true);
      auto close = nib.makeView<Button>(Rect{});
      close->setImage(Image::named("icon_close", *resourceBundle()), ControlState::normal);
      auto title = nib.makeView<Label>(Rect{});
      title->setFont(Font::systemFont(20, FontWeight::bold));
      title->textAlignment = TextAlignment::center;
      title->adjustsFontSizeToFitWidth = true;
      auto note = nib.makeView<Label>(Rect{});
      note->setFont(Font::systemFont(14));
      note->setNumberOfLines(0);
      note->textAlignment = TextAlignment::center;
      auto guide = nib.makeView<Label>(Rect{});
      guide->setFont(Font::systemFont(14));
      guide->setNumberOfLines(0);
      guide->textAlignment = TextAlignment::center;
      // The badge lies over the photo just taken: a pill of its own keeps it readable on any
      // picture.
      auto success = nib.makeView<View>(Rect{});
      success->setBackgroundColor(colorFromHex("1ABB6C"));
      setCornerRadius(*success, 16);
      auto successText = nib.makeView<Label>(Rect{});
      successText->setFont(Font::systemFont(13, FontWeight::medium));
      successText->setTextColor(Color::white());
      successText->textAlignment = TextAlignment::center;
      success->addSubview(successText);
      auto switchRow = nib.makeView<View>(Rect{});
      switchRow->setHidden(true);
      auto autoLabel = nib.makeView<Label>(Rect{});
      // The switch's track: its thumb alone would read as a dot, not as a switch.
      auto autoFrame = nib.makeView<View>(Rect{});
      setBorderWidth(*autoFrame, 1);
      setCornerRadius(*autoFrame, 16);
      auto toggle = nib.makeView<OstrelSwitch>(kSwitchFrame);
      autoFrame->addSubview(toggle);
      switchRow->addSubview(autoLabel);
      switchRow->addSubview(autoFrame);
      // Made at its size: its content takes the size it has when it loads.
      auto tutorial = nib.makeView<TutorialButtonView>(Rect{0, 0, 160, 36});
      auto captureHolder = nib.makeView<View>(Rect{});
      captureHolder->setHidden(true);
      auto shutter = nib.makeView<Button>(Rect{});
      captureHolder->addSubview(shutter);
      auto retake = nib.makeView<OstrelButton>(Rect{});
      auto confirm = nib.makeView<OstrelButton>(Rect{});
      confirm->setIsConfirmButton(true);
      for (const std::shared_ptr<View>& v : std::vector<std::shared_ptr<View>>{
               camera, mask, target, preview, title, note, guide, success, switchRow, tutorial,
               captureHolder, retake, confirm, close}) {
        root->addSubview(v);
      }
      auto top = target->topAnchor().constraintEqualTo(root->topAnchor(), kTargetTopBase);
      LayoutConstraint::activate(std::vector<std::shared_ptr<LayoutConstraint>>{top});
      if (auto owner = nib.owner<IDCaptureVC>()) {
        owner->viewCamera = camera;
        owner->cameraMarkView = mask;
        owner->lblAutoCapture = autoLabel;
        owner->guideDescLabel = guide;
        owner->btnConfirm = confirm;
        owner->viewButtonTutorial = tutorial;
        owner->viewSwitchBtn = toggle;
        owner->lblAutoCaptureSuccess = successText;
        owner->targetView = target;
        owner->topTargetViewCT = top;
        owner->btnRetake = retake;
        owner->viewCaptureSuccess = success;
        owner->viewButtonAutoCap = autoFrame;
        owner->cardImageView = preview;
        owner->titleLabel = title;
        owner->noteLabel = note;
        owner->captureButton = shutter;
        owner->btnClose = close;
        const unsigned tap = ControlEvent::touchUpInside;
        close->addTarget<IDCaptureVC>(owner, [](IDCaptureVC& s, Control&) { s.onTapClose(); }, tap);
        confirm->addTarget<IDCaptureVC>(
            owner, [](IDCaptureVC& s, Control&) { s.btnConfirmClicked(); }, tap);
        retake->addTarget<IDCaptureVC>(
            owner, [](IDCaptureVC& s, Control&) { s.retakePhotoButtonTouchUpInside(); }, tap);
        shutter->addTarget<IDCaptureVC>(
            owner, [](IDCaptureVC& s, Control&) { s.onTapCapture(); }, tap);
      }
      return {root};
    }};

}  // namespace

// ------------------------------------------------------------------------------ set-up

void IDCaptureVC::setupUI() {
  BaseViewController::setupUI();
  if (topTargetViewCT) topTargetViewCT->constant = targetOffset(Screen::main().bounds().height());
  // Auto-capture is offered wherever the detection runs.
  if (viewButtonAutoCap) {
    if (auto row = viewButtonAutoCap->superview()) row->setHidden(false);
  }
  if (captureButton) {
    if (auto holder = captureButton->superview()) holder->setHidden(false);
    captureButton->setTitle(std::string(), ControlState::normal);
    captureButton->setContentMode(ContentMode::scaleAspectFill);
    captureButton->setImage(bundleImage("ic_camera"), ControlState::normal);
    captureButton->setTintColor(appearanceMainColor());
  }
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  viewCamera->detectorListener = std::static_pointer_cast<DetectorListener>(shared<IDCaptureVC>());
  viewSwitchBtn->onValueChanged = [weakSelf](bool isOn) {
    if (auto self = weakSelf.lock()) {
      self->track(isOn ? OSLTrackingEvent::CAPTURE_AUTO_ON : OSLTrackingEvent::CAPTURE_AUTO_OFF);
    }
  };
  cardImageView->setHidden(true);
  btnConfirm->setHidden(true);
  btnRetake->setHidden(true);
  viewCamera->setHidden(false);
  viewCaptureSuccess->setHidden(true);

  guideDescLabel->setTextColor(appearanceMainTextColor());
  lblAutoCapture->setFont(Font::systemFont(13, FontWeight::medium));
  lblAutoCapture->setTextColor(appearanceMainTextColor());
  setBorderColors(*viewButtonAutoCap, appearanceMainColor());
  setBorderColors(*btnRetake, appearanceMainColor());

  viewButtonTutorial->onShowTutorial = [weakSelf] {
    if (auto self = weakSelf.lock()) self->openGuide();
  };
  checkPermission([weakSelf] {
    if (auto self = weakSelf.lock()) self->setUpCamera();
  });
  applyTexts();
}

std::string IDCaptureVC::guideText() const {
  if (isPassportMode()) return osl_localize("passport_capture_note");
  return osl_localize("id_capture_subtitle") + " " +
         osl_localize(state().isFrontId ? "id_capture_subtitle_front" : "id_capture_subtitle_back");
}

void IDCaptureVC::applyTexts() {
  const bool passport = isPassportMode();
  noteLabel->setText(osl_localize(passport ? "passport_capture_subtitle" : "id_capture_note"));
  titleLabel->setText(osl_localize(passport ? "title_passport" : "id_capture_title"));
  guideDescLabel->setText(guideText());
  lblAutoCapture->setText(osl_localize("id_capture_ac"));
  lblAutoCaptureSuccess->setText(osl_localize("id_capture_ac_success"));
  btnRetake->setTitle(osl_localize("button_retry"), ControlState::normal);
  btnConfirm->setTitle(osl_localize("button_continue"), ControlState::normal);
  for (const auto& label : {titleLabel, noteLabel, lblAutoCapture, guideDescLabel}) {
    label->setTextColor(appearanceMainTextColor());
  }
}

void IDCaptureVC::restoreGuideLine() {
  guideDescLabel->setTextColor(appearanceMainTextColor());
  guideDescLabel->setText(guideText());
}

// ------------------------------------------------------------------------------ layout

void IDCaptureVC::viewDidLayoutSubviews() {
  BaseViewController::viewDidLayoutSubviews();
  applyLayout();
  cameraMarkView->maskType = CameraMaskView::CameraMaskType::roundRectangle(targetView);
  cameraMarkView->updateDrawMask();
  // The crop frame is worked out when the mask draws: draw now so it follows the target.
  cameraMarkView->setNeedsDisplay();
  cameraMarkView->displayIfNeeded();
  viewCamera->cropRect = cameraMarkView->cropFrame;
}

void IDCaptureVC::applyLayout() {
  const Rect bounds = view()->bounds();
  const double w = bounds.width(), h = bounds.height();
  const double inner = std::max(0.0, w - 2 * kMargin);
  viewCamera->setFrame(bounds);
  cameraMarkView->setFrame(bounds);
  btnClose->setFrame({w - 56, 44, 44, 44});
  // Centred between the screen's edge and the close button, as far from one as from the other.
  const double titleInset = w - btnClose->frame().minX() + 4;
  titleLabel->setFrame({titleInset, 56, std::max(0.0, w - 2 * titleInset), 28});
  noteLabel->setFrame({kMargin, 88, inner, 44});
  const double top = topTargetViewCT ? topTargetViewCT->constant : 0;
  const Rect target{kMargin, kTargetTopBase + top, inner, inner / kCardRatio};
  targetView->setFrame(target);
  cardImageView->setFrame(target);
  guideDescLabel->setFrame({kMargin, target.maxY() + 16, inner, 40});
  viewCaptureSuccess->setFrame({w / 2 - 100, target.maxY() - 44, 200, 32});
  lblAutoCaptureSuccess->setFrame({0, 0, 200, 32});
  const Rect row{kMargin, guideDescLabel->frame().maxY() + 12, inner, 44};
  if (auto switchRow = viewButtonAutoCap->superview()) switchRow->setFrame(row);
  lblAutoCapture->setFrame({0, 12, std::max(0.0, inner - 70), 20});
  viewButtonAutoCap->setFrame({std::max(0.0, inner - 60), 6, 56, 32});
  viewSwitchBtn->setFrame(kSwitchFrame);
  viewButtonTutorial->setFrame({w / 2 - 80, row.maxY() + 8, 160, 36});
  captureButton->superview()->setFrame({w / 2 - 36, h - 120, 72, 72});
  captureButton->setFrame({0, 0, 72, 72});
  const double half = std::max(0.0, (inner - kMargin) / 2);
  btnRetake->setFrame({kMargin, h - 110, half, 48});
  btnConfirm->setFrame({w / 2 + kMargin / 2, h - 110, half, 48});
  if (containerView_) {
    const bool back = !isFrontId();
    const EdgeInsets insets = back ? EdgeInsets{30, 20, 20, 30} : EdgeInsets{25, 20, 25, 20};
    containerView_->setFrame({target.minX() + insets.left, target.minY() + insets.top,
                              std::max(0.0, target.width() - insets.left - insets.right),
                              std::max(0.0, target.height() - insets.top - insets.bottom)});
    for (const auto& child : containerView_->subviews()) {
      child->setFrame(containerView_->bounds());
    }
  }
}

}  // namespace ostrel
