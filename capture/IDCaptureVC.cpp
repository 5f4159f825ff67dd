#include "capture/IDCaptureVC.hpp"

#include <atomic>
#include <utility>

#include "camera/CameraMaskView.hpp"
#include "core/CloseSession.hpp"
#include "core/CurrentConfig.hpp"
#include "core/Helpers.hpp"
#include "core/Localization.hpp"
#include "core/OnMain.hpp"
#include "core/OpenAppSettings.hpp"
#include "core/OSLRawDataProcessor.hpp"
#include "core/TrackEvent.hpp"
#include "model/OSLBackResult.hpp"
#include "model/OSLFrontResult.hpp"
#include "model/OSLPassport.hpp"
#include "network/ImageUpload.hpp"
#include "network/OstrelClient.hpp"
#include "platform/camera/CameraAuthorization.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/runtime/Application.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/runtime/NotificationCenter.hpp"
#include "platform/ui/Animation.hpp"
#include "platform/ui/Control.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/Window.hpp"
#include "session/HelpersAlerts.hpp"
#include "session/Ostrel.hpp"
#include "ui/GuideVC.hpp"
#include "ui/ImageExtensions.hpp"
#include "ui/OSLAlertVC.hpp"
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

// ------------------------------------------------------------------------------ creation

std::shared_ptr<IDCaptureVC> IDCaptureVC::create(bool isFrontId) {
  auto screen = loadFromNib<IDCaptureVC>();
  screen->state_.withValue([&](const std::shared_ptr<State>& s) { s->isFrontId = isFrontId; });
  return screen;
}

IDCaptureVC::State IDCaptureVC::state() const {
  return state_.withValue([](const std::shared_ptr<State>& s) { return *s; });
}

bool IDCaptureVC::isFrontId() const {
  return isPassportMode() || state().isFrontId;
}

bool IDCaptureVC::isPassportMode() {
  return Ostrel::shared()->flowType().isPassport();
}

std::string IDCaptureVC::screenName() const {
  return isFrontId() ? screen_names::kCaptureFront : screen_names::kCaptureBack;
}

void IDCaptureVC::track(OSLTrackingEvent event, const JSON& data, OSLLogLevel level) const {
  trackEvent(level, event, screenName(), data);
}

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

// ------------------------------------------------------------------------------ permission

void IDCaptureVC::checkPermission(std::function<void()> continuation) {
  if (CameraAuthorization::authorizationStatus(MediaType::video) ==
      AuthorizationStatus::authorized) {
    if (continuation) continuation();
    return;
  }
  const bool ask = state_.withValue([](const std::shared_ptr<State>& s) {
    if (s->checkPermission.isShowAlert || s->checkPermission.isRequest) return false;
    s->checkPermission.isRequest = true;
    return true;
  });
  if (!ask) return;
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  const int generation = generation_;
  CameraAuthorization::requestAccess(
      MediaType::video, [weakSelf, generation, continuation = std::move(continuation)](bool granted) {
        DispatchQueue::main()->async([weakSelf, generation, continuation, granted] {
          auto self = weakSelf.lock();
          // An answer to a question of an earlier run changes nothing.
          if (!self || self->generation_ != generation) return;
          if (!self->isOnScreen_) {
            // The screen left meanwhile: nothing starts and nothing is shown. Its next
            // appearance checks again.
            self->state_.withValue(
                [](const std::shared_ptr<State>& s) { s->checkPermission.isRequest = false; });
            return;
          }
          if (granted) {
            if (continuation) continuation();
            return;
          }
          self->state_.withValue(
              [](const std::shared_ptr<State>& s) { s->checkPermission.isShowAlert = true; });
          Helpers::showAlert(
              static_cast<int>(OSLAlertVC::TypeOfAlert::customConfirmation), -1, nullptr,
              osl_localize("check_permission_camera_title"), osl_localize("check_permission_camera"),
              osl_localize("button_no"), osl_localize("button_yes"),
              [] { closeSessionCancelled(); },
              [] { closeSessionCancelled([] { openAppSettings(); }); }, nullptr);
        });
      });
}

// ------------------------------------------------------------------------------ camera

void IDCaptureVC::setUpCamera() {
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  viewCamera->setUpCamera([weakSelf](bool success) {
    auto self = weakSelf.lock();
    if (!self) return;
    if (success) {
      self->checkPermission([weakSelf] {
        if (auto s = weakSelf.lock()) s->startCamera();
      });
      return;
    }
    // The set-up runs as the screen loads, before it is on screen, when nothing can be
    // presented yet: the alert then waits for the screen to appear.
    self->cameraSetUpFailed_ = true;
    self->cameraErrorPending_ = true;
    if (self->isViewLoaded() && self->view()->window()) self->showCameraError();
    self->track(OSLTrackingEvent::CAPTURE_ERROR, {{"error", "CREATE_CAMERA_ERROR"}},
                OSLLogLevel::error);
  });
}

void IDCaptureVC::showCameraError() {
  if (!cameraErrorPending_) return;
  cameraErrorPending_ = false;
  Helpers::showErrorAlert(std::nullopt, osl_localize("error_create_camera"),
                          [] { closeSessionCancelled(); }, nullptr);
}

void IDCaptureVC::startCamera(bool justStopped) {
  const auto& capture = viewCamera->videoCapture();
  const auto& session = capture ? capture->captureSession() : nullptr;
  // Without a set-up camera there is nothing to start.
  if (!session || !capture->imageCaptureOutput()) return;
  // A stop asked for a moment ago has not run yet (start and stop run in order on the
  // session's queue), so the session may still say it runs.
  if (justStopped || !session->isRunning()) {
    viewCamera->confidence = 0;
    capture->start();
    viewCamera->isCaptured = false;
  }
  if (justStopped || !session->isRunning()) {
    track(OSLTrackingEvent::CAPTURE_START, {{"side", isFrontId() ? "front" : "back"}});
  }
}

void IDCaptureVC::restartCamera(bool justStopped) {
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  checkPermission([weakSelf, justStopped] {
    auto self = weakSelf.lock();
    if (!self) return;
    // A permission granted only after the set-up's own check gave up sets the camera up now.
    const auto& capture = self->viewCamera->videoCapture();
    if (!self->cameraSetUpFailed_ && capture && !capture->imageCaptureOutput()) {
      self->setUpCamera();
      return;
    }
    self->startCamera(justStopped);
  });
}

// ------------------------------------------------------------------------------ capture

void IDCaptureVC::didDetect(const ImagePtr& image) {
  if (viewSwitchBtn && viewSwitchBtn->isOn) capture(image, true);
}

void IDCaptureVC::onTapCapture() {
  capture(nullptr, false);
  track(OSLTrackingEvent::TAP_CAPTURE);
}

void IDCaptureVC::capture(ImagePtr image, bool isAuto) {
  const auto& videoCapture = viewCamera->videoCapture();
  auto output = videoCapture ? videoCapture->imageCaptureOutput() : nullptr;
  // Only the live camera takes photos: not while one is under way, not over a preview, and
  // not when the camera could not be set up.
  if (!output || viewCamera->isCaptured || previewShown_) return;
  ImpactFeedbackGenerator(ImpactFeedbackGenerator::Style::heavy).impactOccurred();
  viewCamera->isCaptured = true;
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  const int generation = generation_;
  output->capture([weakSelf, generation, image = std::move(image), isAuto](
                      ImagePtr photo, std::optional<PlatformError> error) {
    // The photo output answers on its own queue; the screen is changed on the main queue.
    DispatchQueue::main()->async([weakSelf, generation, image, isAuto, photo = std::move(photo),
                                  error = std::move(error)] {
      auto self = weakSelf.lock();
      if (!self || self->generation_ != generation) return;
      self->handlePhoto(photo, error, image, isAuto);
    });
  });
}

void IDCaptureVC::handlePhoto(const ImagePtr& photo, const std::optional<PlatformError>& error,
                              const ImagePtr& given, bool isAuto) {
  if (viewCamera->captureImageView) viewCamera->captureImageView->setImage(nullptr);
  viewCamera->videoCapture()->stop();
  viewCamera->isCaptured = false;
  if (error) {
    Ostrel::shared()->hideLoading();
    viewCaptureSuccess->setHidden(true);
    track(OSLTrackingEvent::CAPTURE_ERROR, {{"error", error->localizedDescription}},
          OSLLogLevel::error);
    // A failed photo leaves the screen live again instead of stuck with a stopped camera (a
    // screen that has left keeps its camera off).
    if (isOnScreen_) restartCamera(true);
    return;
  }
  if (given) {
    showPreview(cropToCard(given), isAuto);
    if (isAuto) track(OSLTrackingEvent::CAPTURE_AUTO_SUCCESS);
  } else if (photo) {
    showPreview(cropToCard(fixedOrientation(photo)), false);
  } else if (isOnScreen_) {
    restartCamera(true);
  }
}

ImagePtr IDCaptureVC::cropToCard(const ImagePtr& image) const {
  const Rect frame = cameraMarkView->cropFrame;
  const Rect grown{frame.minX(), frame.minY() - 0.05 * frame.height(), frame.width(),
                   frame.height() * 1.1};
  return Helpers::cropImage(image, grown, cameraMarkView->bounds().size);
}

void IDCaptureVC::showPreview(const ImagePtr& cropped, bool isAuto) {
  previewShown_ = true;
  if (isAuto && viewCamera->_preprocess.imageCropFit) {
    auto thumbnail = make<ImageView>(cameraMarkView->cropFrame);
    thumbnail->setImage(viewCamera->_preprocess.imageCropFit);
    thumbnail->setTag(kThumbnailTag);
    setCornerRadius(*thumbnail, 15);
    thumbnail->setAlpha(0);
    thumbnail->setTransform(AffineTransform::scale(0.6, 0.6));
    cameraMarkView->addSubview(thumbnail);
    std::weak_ptr<ImageView> weakThumbnail = thumbnail;
    View::animate(0.25, 0, AnimationOptions{false, false, TimingFunction::easeIn}, [weakThumbnail] {
      if (auto t = weakThumbnail.lock()) {
        t->setAlpha(1);
        t->setTransform(AffineTransform::identity());
      }
    });
  }
  cardImageView->setImage(cropped);
  cardImageView->setHidden(false);
  viewCamera->setHidden(true);
  btnRetake->setAlpha(0);
  btnConfirm->setAlpha(0);
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  const int generation = generation_;
  View::animate(
      0.15, 0, AnimationOptions{false, false, TimingFunction::easeOut},
      [weakSelf] {
        if (auto self = weakSelf.lock()) self->captureButton->superview()->setAlpha(0);
      },
      [weakSelf, generation, isAuto](bool) {
        auto self = weakSelf.lock();
        if (!self || self->generation_ != generation || !self->previewShown_) return;
        if (isAuto) {
          self->viewCaptureSuccess->setHidden(false);
          self->viewCaptureSuccess->setAlpha(0);
        }
        auto holder = self->captureButton->superview();
        holder->setHidden(true);
        holder->setAlpha(1);
        self->btnRetake->setHidden(false);
        // A failed hand-off already took continue away.
        if (!self->handOffInFlight_) self->btnConfirm->setHidden(false);
        View::animate(0.15, 0, AnimationOptions{false, false, TimingFunction::easeIn},
                      [weakSelf, isAuto] {
                        auto s = weakSelf.lock();
                        if (!s) return;
                        if (isAuto) s->viewCaptureSuccess->setAlpha(1);
                        s->btnRetake->setAlpha(1);
                        s->btnConfirm->setAlpha(1);
                      });
      });
}

void IDCaptureVC::retakePhotoButtonTouchUpInside() {
  // The picture on its way to the host or the server stays the one answered for.
  if (handOffInFlight_) return;
  previewShown_ = false;
  for (const auto& child : std::vector<std::shared_ptr<View>>(cameraMarkView->subviews())) {
    if (child->tag() == kThumbnailTag) child->removeFromSuperview();
  }
  cardImageView->setHidden(true);
  cardImageView->setImage(nullptr);
  viewCamera->setHidden(false);
  state_.withValue([](const std::shared_ptr<State>& s) { s->checkPermission = {}; });
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  const int generation = generation_;
  View::animate(
      0.15, 0, AnimationOptions{false, false, TimingFunction::easeOut},
      [weakSelf] {
        auto self = weakSelf.lock();
        if (!self) return;
        self->btnRetake->setAlpha(0);
        self->btnConfirm->setAlpha(0);
        self->viewCaptureSuccess->setAlpha(0);
        self->restoreGuideLine();
      },
      [weakSelf, generation](bool) {
        auto self = weakSelf.lock();
        if (!self || self->generation_ != generation || self->previewShown_) return;
        self->showLiveControls();
        auto holder = self->captureButton->superview();
        holder->setAlpha(0);
        std::weak_ptr<View> weakHolder = holder;
        View::animate(0.15, 0, AnimationOptions{false, false, TimingFunction::easeIn}, [weakHolder] {
          if (auto h = weakHolder.lock()) h->setAlpha(1);
        });
      });
  restartCamera();
  track(OSLTrackingEvent::TAP_RETRY);
}

void IDCaptureVC::showLiveControls() {
  viewCaptureSuccess->setHidden(true);
  btnRetake->setHidden(true);
  btnConfirm->setHidden(true);
  captureButton->superview()->setHidden(false);
}

// ------------------------------------------------------------------------------ actions

void IDCaptureVC::btnConfirmClicked() {
  if (handOffInFlight_) return;
  auto image = cardImageView->image();
  if (!image) return;
  sendCardImage(image);
  track(OSLTrackingEvent::TAP_CONTINUE);
}

void IDCaptureVC::onTapClose() {
  Helpers::showAlert(
      static_cast<int>(OSLAlertVC::TypeOfAlert::exitConfirmation), -1, nullptr, std::nullopt,
      std::nullopt, std::nullopt, std::nullopt,
      [name = screenName()] { trackEvent(OSLLogLevel::info, OSLTrackingEvent::EXIT_TAP_NO, name); },
      [name = screenName()] {
        Ostrel::shared()->close(true, [name] {
          trackEvent(OSLLogLevel::info, OSLTrackingEvent::EXIT_TAP_YES, name);
        });
      },
      nullptr);
  track(OSLTrackingEvent::TAP_EXIT);
}

void IDCaptureVC::closeTapped() {
  onTapClose();
}

void IDCaptureVC::openGuide() {
  using Kind = GuideVC::TypeOfGuide;
  auto guide = GuideVC::create(isPassportMode() ? Kind::passport
                               : state().isFrontId ? Kind::frontId
                                                   : Kind::backId);
  guide->modalPresentationStyle = ModalPresentationStyle::formSheet;
  present(guide, true);
  track(OSLTrackingEvent::TAP_GUIDE);
}

void IDCaptureVC::_willResignActiveNotification() {
  track(OSLTrackingEvent::SDK_IN_BACKGROUND);
}

void IDCaptureVC::_didBecomeActiveNotification() {
  track(OSLTrackingEvent::SDK_IN_FOREGROUND);
}

// ------------------------------------------------------------------------------ lifecycle

void IDCaptureVC::viewWillAppear(bool animated) {
  BaseViewController::viewWillAppear(animated);
  isOnScreen_ = true;
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(true, animated);
  viewCamera->isFrontId = state().isFrontId;
  // Lay out before the first frame so the crop frame is known when the screen appears.
  view()->setNeedsLayout();
  view()->layoutIfNeeded();
  restartCamera();
  auto& center = NotificationCenter::defaultCenter();
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  center.addObserver(shared<IDCaptureVC>(), ApplicationDidBecomeActiveNotification,
                     [weakSelf](const Notification&) {
                       if (auto self = weakSelf.lock()) self->_didBecomeActiveNotification();
                     });
  center.addObserver(shared<IDCaptureVC>(), ApplicationWillResignActiveNotification,
                     [weakSelf](const Notification&) {
                       if (auto self = weakSelf.lock()) self->_willResignActiveNotification();
                     });
}

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

void IDCaptureVC::viewDidAppear(bool animated) {
  BaseViewController::viewDidAppear(animated);
  viewCamera->cropRect = cameraMarkView->cropFrame;
  track(OSLTrackingEvent::ENTER_SCREEN);
  playIntro();
  showCameraError();
}

void IDCaptureVC::viewWillDisappear(bool animated) {
  BaseViewController::viewWillDisappear(animated);
  isOnScreen_ = false;
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(false, animated);
  if (viewCamera->captureImageView) viewCamera->captureImageView->setImage(nullptr);
  viewCamera->videoCapture()->stop();
  viewCamera->isCaptured = false;
  // Observers of this screen (the base class's and its own) all go.
  NotificationCenter::defaultCenter().removeObserver(this);
}

void IDCaptureVC::viewDidDisappear(bool animated) {
  BaseViewController::viewDidDisappear(animated);
  track(OSLTrackingEvent::EXIT_SCREEN);
}

// ------------------------------------------------------------------------------ intro

std::shared_ptr<ImageView> IDCaptureVC::frontImageView() {
  if (!frontImageView_) {
    frontImageView_ = make<ImageView>(Rect{});
    frontImageView_->translatesAutoresizingMaskIntoConstraints = false;
    frontImageView_->setContentMode(ContentMode::scaleAspectFit);
    frontImageView_->setImage(bundleImage(isPassportMode() ? "ic_passport" : "ic_guide_front"));
  }
  return frontImageView_;
}

std::shared_ptr<ImageView> IDCaptureVC::backImageView() {
  if (!backImageView_) {
    backImageView_ = make<ImageView>(Rect{});
    backImageView_->translatesAutoresizingMaskIntoConstraints = false;
    backImageView_->setContentMode(ContentMode::scaleAspectFit);
    backImageView_->setImage(bundleImage("ic_guide_id_back"));
  }
  return backImageView_;
}

void IDCaptureVC::removeIntro() {
  if (containerView_) containerView_->removeFromSuperview();
  if (frontImageView_) frontImageView_->removeFromSuperview();
  if (backImageView_) backImageView_->removeFromSuperview();
  containerView_ = nullptr;
  frontImageView_ = nullptr;
  backImageView_ = nullptr;
}

void IDCaptureVC::playIntro() {
  removeIntro();
  containerView_ = make<View>(Rect{});
  containerView_->setBackgroundColor(Color::clear());
  containerView_->setUserInteractionEnabled(false);
  view()->addSubview(containerView_);
  const bool back = !isFrontId();
  pinEdges(containerView_, targetView, false,
           back ? EdgeInsets{30, 20, 20, 30} : EdgeInsets{25, 20, 25, 20});
  auto front = frontImageView();
  containerView_->addSubview(front);
  pinEdges(front, containerView_);
  if (back) {
    auto backImage = backImageView();
    backImage->setHidden(true);
    containerView_->addSubview(backImage);
    pinEdges(backImage, containerView_);
  }
  applyLayout();

  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  const int generation = generation_;
  auto container = containerView_;
  std::weak_ptr<View> weakContainer = container;
  auto finished = [weakSelf, generation, weakContainer](bool) {
    auto self = weakSelf.lock();
    // Only the intro still on show goes; a newer one keeps its views.
    if (!self || self->generation_ != generation || self->containerView_ != weakContainer.lock()) {
      return;
    }
    self->removeIntro();
  };
  if (!back) {
    container->setAlpha(0);
    container->setTransform(AffineTransform::scale(0.6, 0.6));
    View::animate(
        0.8, 0, AnimationOptions{false, false, TimingFunction::easeIn},
        [weakContainer] {
          if (auto c = weakContainer.lock()) {
            c->setAlpha(1);
            c->setTransform(AffineTransform::identity());
          }
        },
        [weakContainer, finished](bool) {
          View::animate(
              0.25, 0.6, AnimationOptions{false, false, TimingFunction::easeOut},
              [weakContainer] {
                if (auto c = weakContainer.lock()) c->setAlpha(0);
              },
              finished);
        });
    return;
  }
  container->setAlpha(0);
  std::weak_ptr<ImageView> weakFront = front;
  std::weak_ptr<ImageView> weakBack = backImageView_;
  View::animate(
      0.25, 0, AnimationOptions{false, false, TimingFunction::easeIn},
      [weakContainer] {
        if (auto c = weakContainer.lock()) c->setAlpha(1);
      },
      [weakContainer, weakFront, weakBack, finished](bool) {
        auto frontView = weakFront.lock();
        auto backView = weakBack.lock();
        if (!frontView || !backView) return;
        TransitionOptions flip;
        flip.transition = ViewTransition::flipFromLeft;
        flip.showHideTransitionViews = true;
        View::transition(frontView, backView, 1.0, flip, [weakContainer, finished](bool) {
          View::animate(
              0.3, 0, AnimationOptions{false, false, TimingFunction::easeOut},
              [weakContainer] {
                if (auto c = weakContainer.lock()) c->setAlpha(0);
              },
              finished);
        });
      });
}

// ------------------------------------------------------------------------------ hand-off

void IDCaptureVC::sendCardImage(const ImagePtr& image) {
  handOffInFlight_ = true;
  auto config = currentConfig();
  const bool front = isFrontId();
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  const int generation = generation_;
  Helpers::showLoading(shared<IDCaptureVC>(), std::nullopt, std::nullopt, false);

  // Every reply first takes the loading indicator away, then reaches the screen on the main
  // queue, once, and only while it still shows the run that asked.
  auto reply = [weakSelf, generation, image](Road road) {
    std::function<void(OSLConfig::Result)> onScreen =
        [weakSelf, generation, image, road](OSLConfig::Result result) {
          auto self = weakSelf.lock();
          if (!self || self->generation_ != generation) return;
          self->handleReply(road, result, image);
        };
    auto main = onMain(std::move(onScreen));
    return firstCallOnly<OSLConfig::Result>([main](OSLConfig::Result result) {
      Ostrel::shared()->hideLoading();
      main(std::move(result));
    });
  };

  if (auto processor = config->rawDataProcessor) {
    const UploadImage upload = jpegDataForUpload(image);
    processor->processCaptureData(front, upload.data, upload.base64, reply(Road::processor));
    return;
  }
  const auto& handler = front ? config->idFrontDataHandler : config->idBackDataHandler;
  if (handler) {
    const UploadImage upload = jpegDataForUpload(image);
    handler(upload.data, upload.base64, reply(Road::handler));
    return;
  }
  auto done = reply(Road::library);
  OstrelClient::scanCard(
      front ? OstrelClient::kScanFrontPath : OstrelClient::kScanBackPath, image,
      [done](const JSON& data) { done(OSLConfig::Result::success(data)); },
      [done](const OstrelError& error) { done(OSLConfig::Result::failure(error)); });
}

void IDCaptureVC::handleReply(Road road, const OSLConfig::Result& result, const ImagePtr& image) {
  handOffInFlight_ = false;
  switch (result.type) {
    case OSLConfig::ResultType::success: {
      const JSON data = result.dataResponse && result.dataResponse->is_object()
                            ? *result.dataResponse
                            : JSON::object();
      succeed(road, data, image);
      return;
    }
    case OSLConfig::ResultType::failure:
      break;
  }
  // A failure, or a result type the host made up: a failure either way.
  fail(road, result.error);
}

void IDCaptureVC::succeed(Road road, const JSON& data, const ImagePtr& image) {
  // The host's handler keeps what it recognised itself.
  if (road != Road::handler) {
    auto config = currentConfig();
    if (isPassportMode()) {
      config->frontImage = image;
      config->passport = OSLPassport::fromDictionary(data);
    } else if (state().isFrontId) {
      config->frontImage = image;
      config->frontResult = OSLFrontResult::fromDictionary(data);
    } else {
      config->backImage = image;
      config->backResult = OSLBackResult::fromDictionary(data);
    }
  }
  btnConfirm->setHidden(true);
  btnRetake->setHidden(true);
  if (onNext) onNext();
  track(OSLTrackingEvent::CAPTURE_SUCCESS);
}

void IDCaptureVC::fail(Road road, const std::optional<OstrelError>& error) {
  const std::string message = error ? error->message : osl_localize("error_unknown");
  const int hostCode = error ? error->code : 200;
  btnConfirm->setHidden(true);
  btnRetake->setHidden(false);
  if (road != Road::processor) {
    guideDescLabel->setTextColor(Color::systemRed());
    guideDescLabel->setText(message);
  }
  auto sendEvent = [this, &message] {
    track(OSLTrackingEvent::CAPTURE_FAIL, {{"error", message}}, OSLLogLevel::error);
  };
  auto showAlert = [&] {
    auto config = currentConfig();
    if (config->showErrorAlertHandler) {
      config->showErrorAlertHandler(message, hostCode, shared<IDCaptureVC>());
      return;
    }
    if (road == Road::processor) {
      Helpers::showErrorAlert(std::nullopt, message, {}, nullptr);
    } else {
      const int alertCode = error ? error->code : -1;
      Helpers::showAlert(static_cast<int>(OSLAlertVC::TypeOfAlert::networkError), alertCode,
                         nullptr, std::nullopt, message, std::nullopt, std::nullopt, {}, {},
                         nullptr);
    }
  };
  const bool timedOut = error && error->code == 401 && road != Road::handler;
  if (road == Road::handler) {
    showAlert();
    sendEvent();
    return;
  }
  sendEvent();
  if (timedOut) {
    Helpers::showTimeoutAlert(nullptr);
    return;
  }
  showAlert();
}

// ------------------------------------------------------------------------------ reset

void IDCaptureVC::resetForNewRun() {
  ++generation_;
  handOffInFlight_ = false;
  previewShown_ = false;
  state_.withValue([](const std::shared_ptr<State>& s) { s->checkPermission = {}; });
  removeIntro();
  if (!isViewLoaded()) return;
  for (const auto& child : std::vector<std::shared_ptr<View>>(cameraMarkView->subviews())) {
    if (child->tag() == kThumbnailTag) child->removeFromSuperview();
  }
  cardImageView->setImage(nullptr);
  cardImageView->setHidden(true);
  viewCamera->setHidden(false);
  viewCamera->confidence = 0;
  viewCamera->isCaptured = false;
  showLiveControls();
  for (const auto& v : std::vector<std::shared_ptr<View>>{btnRetake, btnConfirm, viewCaptureSuccess,
                                                          captureButton->superview()}) {
    v->setAlpha(1);
  }
  restoreGuideLine();
  applyTexts();
}

}  // namespace ostrel
