#include "liveness/OSLFaceVC.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <utility>

#include "core/CloseSession.hpp"
#include "core/CurrentConfig.hpp"
#include "core/Helpers.hpp"
#include "core/Localization.hpp"
#include "core/OnMain.hpp"
#include "core/OSLRawDataProcessor.hpp"
#include "core/SharedDefaults.hpp"
#include "core/TrackEvent.hpp"
#include "liveness/FaceChecks.hpp"
#include "network/ImageUpload.hpp"
#include "network/OstrelClient.hpp"
#include "platform/camera/CameraAuthorization.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/runtime/Application.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/runtime/NotificationCenter.hpp"
#include "platform/runtime/Runtime.hpp"
#include "platform/ui/Control.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/Text.hpp"
#include "platform/ui/Window.hpp"
#include "platform/vision/ImageRequestHandler.hpp"
#include "platform/vision/VisionError.hpp"
#include "session/HelpersAlerts.hpp"
#include "session/Ostrel.hpp"
#include "ui/AttributedText.hpp"
#include "ui/GuideVC.hpp"
#include "ui/ImageExtensions.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OstrelBaseViews.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

constexpr const char* kSuccessColor = "#1ABB6C";
constexpr const char* kFailureColor = "#EC2A2A";
constexpr const char* kDefaultMessage = "liveness_message_default";
constexpr double kFaceMargin = 20;
constexpr double kFaceTargetTopBase = 130;  // the target's top before its constraint's offset
constexpr double kTargetMaxWidth = 300;
constexpr double kGuideIconHeight = 40;

// The space above the target: small phones keep the target high.
double topSpace(double screenHeight) {
  if (screenHeight < 700) return 30;
  if (screenHeight <= 750) return 40;
  return 50;
}

const LibraryNibRegistration faceNib{
    "OSLFaceVC", [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
      const Rect screen = Screen::main().bounds();
      auto root = nib.makeView<View>(screen);
      auto camera = nib.makeView<View>(screen);
      camera->setBackgroundColor(Color::black());
      auto mask = nib.makeView<CameraMaskView>(screen);
      auto target = nib.makeView<View>(Rect{});
      target->setBackgroundColor(Color::clear());
      target->setUserInteractionEnabled(false);
      auto preview = nib.makeView<ImageView>(Rect{});
      preview->setContentMode(ContentMode::scaleAspectFill);
      preview->setClipsToBounds(true);
      preview->setHidden(true);
      auto close = nib.makeView<Button>(Rect{});
      close->setImage(Image::named("icon_close", *resourceBundle()), ControlState::normal);
      auto title = nib.makeView<Label>(Rect{});
      title->setFont(Font::systemFont(20, FontWeight::bold));
      title->textAlignment = TextAlignment::center;
      auto description = nib.makeView<Label>(Rect{});
      description->setFont(Font::systemFont(14));
      description->setNumberOfLines(0);
      description->textAlignment = TextAlignment::center;
      auto guideContainer = nib.makeView<View>(Rect{});
      auto iconContainer = nib.makeView<View>(Rect{});
      auto icon = nib.makeView<ImageView>(Rect{});
      icon->setContentMode(ContentMode::scaleAspectFit);
      iconContainer->addSubview(icon);
      auto guide = nib.makeView<Label>(Rect{});
      guide->setNumberOfLines(0);
      guide->textAlignment = TextAlignment::center;
      guideContainer->addSubview(iconContainer);
      guideContainer->addSubview(guide);
      auto remaining = nib.makeView<Label>(Rect{});
      remaining->textAlignment = TextAlignment::center;
      auto tutorialContainer = nib.makeView<View>(Rect{});
      auto tutorial = nib.makeView<TutorialButtonView>(Rect{});
      tutorialContainer->addSubview(tutorial);
      auto shutter = nib.makeView<Button>(Rect{});
      shutter->setImage(Image::named("ic_camera", *resourceBundle()), ControlState::normal);
      auto retry = nib.makeView<OstrelButton>(Rect{});
      auto next = nib.makeView<OstrelButton>(Rect{});
      for (const std::shared_ptr<View>& v : std::vector<std::shared_ptr<View>>{
               camera, mask, target, preview, title, description, guideContainer, remaining,
               tutorialContainer, shutter, retry, next, close}) {
        root->addSubview(v);
      }
      auto top = target->topAnchor().constraintEqualTo(root->topAnchor(), kFaceTargetTopBase);
      auto iconHeight = icon->heightAnchor().constraintEqualToConstant(kGuideIconHeight);
      LayoutConstraint::activate(std::vector<std::shared_ptr<LayoutConstraint>>{top, iconHeight});
      if (auto owner = nib.owner<OSLFaceVC>()) {
        owner->titleLabel = title;
        owner->descriptionLabel = description;
        owner->targetCameraView = target;
        owner->cameraView = camera;
        owner->cameraMarkView = mask;
        owner->previewImageView = preview;
        owner->heightIconCT = iconHeight;
        owner->guideLabel = guide;
        owner->timeRemainingLabel = remaining;
        owner->captureButton = shutter;
        owner->continueButton = next;
        owner->retryButton = retry;
        owner->guideIcon = icon;
        owner->tutorialView = tutorial;
        owner->topTargetViewLowCT = top;
        owner->closeButton = close;
        const unsigned tap = ControlEvent::touchUpInside;
        close->addTarget<OSLFaceVC>(owner, [](OSLFaceVC& s, Control&) { s.onTapClose(); }, tap);
        next->addTarget<OSLFaceVC>(owner, [](OSLFaceVC& s, Control&) { s.onNextOrClose(); }, tap);
        retry->addTarget<OSLFaceVC>(owner, [](OSLFaceVC& s, Control&) { s.onRetryPressed(); },
                                    tap);
        shutter->addTarget<OSLFaceVC>(owner, [](OSLFaceVC& s, Control&) { s.onTapCapture(); },
                                      tap);
      }
      return {root};
    }};

void heavyImpact() {
  ImpactFeedbackGenerator(ImpactFeedbackGenerator::Style::heavy).impactOccurred();
}

// A completion the host may call any number of times and from any thread: the first call is
// acted on, later ones are reported to the debug output and dropped.
template <class Arg>
std::function<void(Arg)> firstAnswerOnly(std::string what, std::function<void(Arg)> body) {
  auto called = std::make_shared<std::atomic<bool>>(false);
  return [called, what = std::move(what), body = std::move(body)](Arg value) {
    if (called->exchange(true)) {
      debugLog("face screen: " + what + " answered more than once; the later answer is ignored");
      return;
    }
    body(std::move(value));
  };
}

}  // namespace

// ------------------------------------------------------------------------------ creation

OSLFaceVC::State::State() {
  timerAllProcess.timeout = currentConfig()->livenessTimeoutSeconds;
  timerPerAction.timeout = 10;
  originalBrightness = Application::shared().screenBrightness();
}

std::shared_ptr<OSLFaceVC> OSLFaceVC::create(OSLFaceLivenessVersion livenessVersion,
                                             bool isEnableMask) {
  auto screen = loadFromNib<OSLFaceVC>();
  screen->makeState(livenessVersion, isEnableMask);
  return screen;
}

void OSLFaceVC::makeState(OSLFaceLivenessVersion version, bool isEnableMask) {
  auto fresh = std::make_shared<State>();
  fresh->livenessVersion = version == OSLFaceLivenessVersion::active
                               ? OSLFaceLivenessVersion::active
                               : OSLFaceLivenessVersion::passive;
  fresh->flagMask.isEnable = isEnableMask;
  auto defaults = sharedDefaults();
  fresh->isManualLivenessCaptureEnabled =
      defaults->boolean(defaults_keys::kIsManualLivenessCaptureEnabled).value_or(false);
  // Dates left by a screen that never came back from the background (the app was killed, or
  // the screen closed meanwhile) belong to no countdown of this screen.
  defaults->removeObject(defaults_keys::kTimerAllProcessBackgroundDate);
  defaults->removeObject(defaults_keys::kTimerPerActionBackgroundDate);
  allProcessWasRunning_ = false;
  perActionWasRunning_ = false;
  // The gate is the screen's for good (a camera queue may be holding it): a new run gets it
  // back open with one permit.
  if (auto old = state_.value()) {
    fresh->semaphore = old->semaphore;
    fresh->semaphore->reopen();
  }
  state_.setValue(fresh);
}

void OSLFaceVC::track(OSLTrackingEvent event, const JSON& data, OSLLogLevel level) const {
  trackEvent(level, event, screen_names::kLiveness, data);
}

void OSLFaceVC::appendLog(const std::string& entry) {
  state()->logMessage.push_back(entry);
}

JSON OSLFaceVC::logJSON() const {
  return JSON(state()->logMessage);
}

std::shared_ptr<View> OSLFaceVC::guideContainer() const {
  return guideLabel ? guideLabel->superview() : nullptr;
}
std::shared_ptr<View> OSLFaceVC::iconContainer() const {
  return guideIcon ? guideIcon->superview() : nullptr;
}
std::shared_ptr<View> OSLFaceVC::tutorialContainer() const {
  return tutorialView ? tutorialView->superview() : nullptr;
}

// ------------------------------------------------------------------------------ set-up

void OSLFaceVC::setupUI() {
  BaseViewController::setupUI();
  topTargetViewLowCT->constant = topSpace(Screen::main().bounds().height());
  view()->setBackgroundColor(colorFromHex(currentAppearance()->backgroundColor));
  captureButton->setTintColor(appearanceMainColor());
  guideLabel->setFont(Font::systemFont(15));
  std::weak_ptr<OSLFaceVC> weakSelf = weak<OSLFaceVC>();
  tutorialView->onShowTutorial = [weakSelf] {
    if (auto self = weakSelf.lock()) self->openGuide();
  };
  state()->videoCapture->setDelegate(
      std::static_pointer_cast<OSLVideoCaptureDelegate>(shared<OSLFaceVC>()));
  requestCameraAccess([weakSelf] {
    if (auto self = weakSelf.lock()) self->setUpCamera();
  });
  timeRemainingLabel->setHidden(true);
  timeRemainingLabel->setAttributedText(remainingTimeText());
  if (state()->isManualLivenessCaptureEnabled && !state()->timerAllProcess.timer) {
    restartCountdown(false);
  }
  retryButton->setHidden(true);
  continueButton->setHidden(true);
  for (const auto& container : {iconContainer(), guideContainer(), tutorialContainer()}) {
    if (container) container->setHidden(false);
  }
  setUpTexts();
  updateMessage(true, kDefaultMessage);
}

void OSLFaceVC::setUpTexts() {
  titleLabel->setText(osl_localize("liveness_title"));
  descriptionLabel->setText(osl_localize("liveness_note"));
  titleLabel->setTextColor(appearanceMainTextColor());
  descriptionLabel->setTextColor(appearanceMainTextColor());
  continueButton->setIsConfirmButton(true);
  continueButton->applyStyle(true);
  continueButton->setTitle(osl_localize("button_continue"), ControlState::normal);
  retryButton->setIsConfirmButton(false);
  retryButton->applyStyle(false);
  retryButton->setTitle(osl_localize("button_retry"), ControlState::normal);
  guideLabel->setTextColor(appearanceMainTextColor());
}

void OSLFaceVC::openGuide() {
  auto guide = GuideVC::create(GuideVC::TypeOfGuide::liveness);
  guide->modalPresentationStyle = ModalPresentationStyle::formSheet;
  present(guide, true);
  track(OSLTrackingEvent::TAP_GUIDE);
}

// ------------------------------------------------------------------------------ camera

void OSLFaceVC::requestCameraAccess(std::function<void()> then) {
  if (CameraAuthorization::authorizationStatus(MediaType::video) ==
      AuthorizationStatus::authorized) {
    if (then) then();
    return;
  }
  auto s = state();
  if (s->checkPermission.isShowAlert || s->checkPermission.isRequest) return;
  s->checkPermission.isRequest = true;
  std::weak_ptr<OSLFaceVC> weakSelf = weak<OSLFaceVC>();
  const int generation = generation_;
  CameraAuthorization::requestAccess(MediaType::video, [weakSelf, generation,
                                                        then = std::move(then)](bool granted) {
    DispatchQueue::main()->async([weakSelf, generation, then, granted] {
      auto self = weakSelf.lock();
      // A screen that is gone (or runs again) shows nothing: its session may be closed already.
      if (!self || self->generation_ != generation) return;
      if (granted) {
        if (then) then();
        return;
      }
      self->state()->checkPermission.isShowAlert = true;
      Helpers::showCameraPermissionAlert();
    });
  });
}

void OSLFaceVC::setUpCamera() {
  std::weak_ptr<OSLFaceVC> weakSelf = weak<OSLFaceVC>();
  state()->videoCapture->setUp(
      LayerVideoGravity::resizeAspectFill, CaptureDevicePosition::front, 30,
      [weakSelf](bool success) {
        auto self = weakSelf.lock();
        if (!self) return;
        if (!success) {
          self->track(OSLTrackingEvent::LIVENESS_ERROR, {{"error", "CREATE_CAMERA_ERROR"}},
                      OSLLogLevel::error);
          // The set-up runs while the screen is being shown, when no alert can be presented
          // over it yet: the alert then waits for the screen to appear.
          self->cameraErrorPending_ = true;
          if (self->appeared_) self->showCameraError();
          return;
        }
        if (auto preview = self->state()->videoCapture->previewLayer) {
          self->cameraView->layer()->addSublayer(preview);
          self->layoutMask();
        }
        if (auto button = self->manualCaptureButton()) {
          button->setHidden(!self->state()->isManualLivenessCaptureEnabled);
        }
        self->requestCameraAccess([weakSelf] {
          if (auto s = weakSelf.lock()) s->startCamera();
        });
      });
}

void OSLFaceVC::showCameraError() {
  if (!cameraErrorPending_) return;
  cameraErrorPending_ = false;
  Helpers::showErrorAlert(std::nullopt, osl_localize("error_create_camera"),
                          [] { closeSessionCancelled(); }, nullptr);
}

void OSLFaceVC::startCamera() {
  auto capture = state()->videoCapture;
  // Without a set-up camera there is nothing to start.
  if (!capture->imageCaptureOutput()) return;
  capture->start();
  if (cameraStartRequested_) return;
  cameraStartRequested_ = true;
  track(OSLTrackingEvent::LIVENESS_START,
        {{"liveness_version", variantKey(state()->livenessVersion)}});
}

void OSLFaceVC::stopCamera() {
  state()->videoCapture->stop();
  cameraStartRequested_ = false;
}

bool OSLFaceVC::isCameraRunning() const {
  const auto& capture = state()->videoCapture;
  const auto& session = capture->captureSession();
  return capture->imageCaptureOutput() && session &&
         (cameraStartRequested_ || session->isRunning());
}

void OSLFaceVC::videoCapture(OSLVideoCapture&, const PixelBufferPtr& didCapture,
                             const SampleBufferPtr& sampleBuffer, CMTime) {
  handleVideoFrame(didCapture, sampleBuffer);
}

// ------------------------------------------------------------------------------ lifecycle

void OSLFaceVC::viewWillAppear(bool animated) {
  BaseViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(true, animated);
  auto& center = NotificationCenter::defaultCenter();
  std::weak_ptr<OSLFaceVC> weakSelf = weak<OSLFaceVC>();
  center.addObserver(shared<OSLFaceVC>(), ApplicationDidBecomeActiveNotification,
                     [weakSelf](const Notification&) {
                       if (auto self = weakSelf.lock()) self->_didBecomeActiveNotification();
                     });
  center.addObserver(shared<OSLFaceVC>(), ApplicationWillResignActiveNotification,
                     [weakSelf](const Notification&) {
                       if (auto self = weakSelf.lock()) self->_willResignActiveNotification();
                     });
  // Frames are judged again from here on (the gate was shut while the screen was away).
  state()->semaphore->reopen();
  requestCameraAccess([weakSelf] {
    if (auto self = weakSelf.lock()) self->startCamera();
  });
}

void OSLFaceVC::viewDidAppear(bool animated) {
  BaseViewController::viewDidAppear(animated);
  appeared_ = true;
  showCameraError();
  auto s = state();
  if (s->flagMask.isEnable && !s->flagMask.isDrawed && !cameraMarkView->cropFrame.isEmpty() &&
      !s->flagMask.isCaptured) {
    drawFaceGuide();
    s->flagMask.isDrawed = true;
  }
}

void OSLFaceVC::viewDidLayoutSubviews() {
  BaseViewController::viewDidLayoutSubviews();
  const Rect bounds = view()->bounds();
  const double w = bounds.width(), h = bounds.height();
  const double inner = std::max(0.0, w - 2 * kFaceMargin);
  cameraView->setFrame(bounds);
  cameraMarkView->setFrame(bounds);
  closeButton->setFrame({w - 56, 44, 44, 44});
  titleLabel->setFrame({kFaceMargin, 56, inner, 28});
  descriptionLabel->setFrame({kFaceMargin, 88, inner, 36});
  const double side = std::min(kTargetMaxWidth, std::max(0.0, w - 4 * kFaceMargin));
  const Rect target{(w - side) / 2, kFaceTargetTopBase + topTargetViewLowCT->constant, side, side};
  targetCameraView->setFrame(target);
  previewImageView->setFrame(target);
  setCornerRadius(*previewImageView, side / 2);
  const double iconHeight = heightIconCT->constant;
  const Rect guide{kFaceMargin, target.maxY() + 20, inner, iconHeight + 48};
  if (auto container = guideContainer()) container->setFrame(guide);
  if (auto container = iconContainer()) container->setFrame({inner / 2 - 20, 0, 40, iconHeight});
  guideIcon->setFrame({0, 0, 40, iconHeight});
  guideLabel->setFrame({0, iconHeight + 4, inner, 44});
  timeRemainingLabel->setFrame({kFaceMargin, guide.maxY() + 4, inner, 20});
  if (auto container = tutorialContainer()) {
    container->setFrame({w / 2 - 80, guide.maxY() + 28, 160, 36});
    tutorialView->setFrame({0, 0, 160, 36});
  }
  captureButton->setFrame({w / 2 - 36, h - 120, 72, 72});
  const double half = std::max(0.0, (inner - kFaceMargin) / 2);
  retryButton->setFrame({kFaceMargin, h - 110, half, 48});
  continueButton->setFrame({w / 2 + kFaceMargin / 2, h - 110, half, 48});
  layoutMask();
}

void OSLFaceVC::layoutMask() {
  cameraMarkView->maskType = CameraMaskView::CameraMaskType::circle(targetCameraView);
  cameraMarkView->updateDrawMask();
  // The crop frame is worked out when the mask draws: draw now so it follows the target.
  cameraMarkView->setNeedsDisplay();
  cameraMarkView->displayIfNeeded();
  setCornerRadius(*targetCameraView, targetCameraView->frame().width() / 2);
  if (auto preview = state()->videoCapture->previewLayer) preview->frame = cameraView->bounds();
}

void OSLFaceVC::viewWillDisappear(bool animated) {
  // First of all: a frame waiting at the gate must not wait for a judgement that will not come.
  state()->semaphore->shutdown();
  BaseViewController::viewWillDisappear(animated);
  appeared_ = false;
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(false, animated);
  NotificationCenter::defaultCenter().removeObserver(this);
  stopCamera();
  invalidateTimers(true, true, true);
  restoreBrightness();
}

void OSLFaceVC::restoreBrightness() {
  if (!brightnessRaised_) return;
  brightnessRaised_ = false;
  Application::shared().setScreenBrightness(state()->originalBrightness);
}

// ------------------------------------------------------------------------------ guide line

std::shared_ptr<Button> OSLFaceVC::manualCaptureButton() {
  if (state()->isManualLivenessCaptureEnabled) return captureButton;
  captureButton->setHidden(true);
  return nullptr;
}

void OSLFaceVC::updateMessage(bool isCaptureRunning, const std::string& key) {
  auto s = state();
  s->isCaptureRunning = isCaptureRunning;
  if (key == kDefaultMessage) changeFaceGuideColor(appearanceMainColor(), 0.3);
  const bool active = s->livenessVersion == OSLFaceLivenessVersion::active;
  const std::optional<OSLFaceAction> pending =
      active && !s->faceActions.empty() ? std::optional(s->faceActions.front().action)
                                        : std::nullopt;
  if (!active) {
    guideIcon->setAlpha(0);
  } else {
    guideIcon->setAlpha(1);
    if (!pending) {
      guideIcon->setImage(bundleImage("face_icon"));
    } else if (s->cacheGifName != face_action::rawValue(*pending)) {
      guideIcon->setImage(face_action::picture(*pending));
      s->cacheGifName = face_action::rawValue(*pending);
    }
  }
  guideLabel->setTextColor(appearanceMainTextColor());
  guideLabel->setText(pending ? face_action::message(*pending) : osl_localize(key));
  heightIconCT->constant = kGuideIconHeight;
  previewImageView->setHidden(isCaptureRunning);
}

void OSLFaceVC::showResult(bool isSuccess, std::optional<std::string> successText,
                           std::optional<std::string> failText, ImagePtr icon) {
  if (isSuccess) {
    guideIcon->setAlpha(1);
    guideIcon->setImage(bundleImage("icon_done"));
    heightIconCT->constant = 20;
    guideLabel->setTextColor(colorFromHex(kSuccessColor));
    guideLabel->setText(successText ? *successText : osl_localize("liveness_result_success"));
    return;
  }
  guideLabel->setTextColor(colorFromHex(kFailureColor));
  guideIcon->setImage(icon ? icon : bundleImage("icon_alert_error"));
  const bool withText = failText && !failText->empty();
  guideIcon->setAlpha(withText ? 1 : 0);
  heightIconCT->constant = withText ? 40 : 20;
  guideLabel->setText(failText ? *failText : osl_localize("liveness_result_fail"));
}

// ------------------------------------------------------------------------------ face outline

Path OSLFaceVC::faceGuidePath(Rect f) {
  const double w = f.width() * 15 / 28;
  const double h = w * 1.5625;
  const Rect b{f.midX() - w / 2, f.midY() - h / 2 + 20, w, h};
  Path path;
  path.move({b.minX(), b.minY() + h / 4});
  path.addCurve({b.maxX(), b.minY() + h / 4},
                {b.minX() + (b.midX() - b.minX()) / 2 - 10, b.minY() - 15},
                {b.maxX() - (b.maxX() - b.midX()) / 2 + 10, b.minY() - 15});
  path.addCurve({b.minX(), b.minY() + h / 4}, {b.maxX(), b.maxY() + 10},
                {b.minX(), b.maxY() + 10});
  return path;
}

void OSLFaceVC::drawFaceGuide() {
  auto s = state();
  // In manual mode the user frames the face without an outline.
  if (s->isManualLivenessCaptureEnabled) return;
  auto layer = make<ShapeLayer>();
  layer->path = faceGuidePath(cameraMarkView->cropFrame);
  layer->fillColor = appearanceMainColor().withAlphaComponent(0.2);
  layer->strokeColor = appearanceMainColor();
  layer->lineWidth = 3;
  auto fade = make<BasicAnimation>("opacity");
  fade->fromValue = 0.0;
  fade->toValue = 1.0;
  fade->duration = 1.0;
  layer->opacity = 1;
  layer->addAnimation(fade, "fadeIn");
  cameraMarkView->layer()->addSublayer(layer);
  s->maskShapeLayer = layer;
}

void OSLFaceVC::removeFaceGuide() {
  auto layer = state()->maskShapeLayer;
  if (!layer) return;
  auto fade = make<BasicAnimation>("opacity");
  fade->fromValue = 1.0;
  fade->toValue = 0.0;
  fade->duration = 1.3;
  fade->isRemovedOnCompletion = true;
  fade->values["opacity_remove_mask_layer"] = "fadeOut";
  layer->opacity = 0;
  layer->addAnimation(fade, "fadeOut");
}

void OSLFaceVC::changeFaceGuideColor(Color color, double duration) {
  auto layer = state()->maskShapeLayer;
  if (!layer || layer->strokeColor == color) return;
  const Color fill = color.withAlphaComponent(0.2);
  auto fillAnimation = make<BasicAnimation>("fillColor");
  fillAnimation->fromColor = layer->fillColor;
  fillAnimation->toColor = fill;
  fillAnimation->duration = duration;
  auto strokeAnimation = make<BasicAnimation>("strokeColor");
  strokeAnimation->fromColor = layer->strokeColor;
  strokeAnimation->toColor = color;
  strokeAnimation->duration = duration;
  auto group = make<AnimationGroup>();
  group->animations = {fillAnimation, strokeAnimation};
  group->duration = duration;
  layer->strokeColor = color;
  layer->fillColor = fill;
  layer->addAnimation(group, "colorChange");
}

// ------------------------------------------------------------------------------ rings

void OSLFaceVC::configureRingLayer(ShapeLayer& layer, Color colour, int index, bool isFullCircle,
                                   int segments, Rect frame) {
  layer.frame = frame;
  layer.strokeColor = colour;
  layer.fillColor = Color::clear();
  layer.lineCap = LineCap::round;
  layer.lineWidth = 10;
  const Point centre{frame.width() / 2, frame.width() / 2};
  const double radius = frame.width() / 2;
  constexpr double pi = std::numbers::pi;
  if (isFullCircle || segments < 1) {
    layer.path = Path::arc(centre, radius, -pi / 2, 3 * pi / 2, true);
    return;
  }
  const int k = ((index - 1) % segments + segments) % segments;
  const double step = 2 * pi / segments;
  layer.path = Path::arc(centre, radius, k * step - pi / 2, (k + 1) * step - pi / 2, true);
}

void OSLFaceVC::addRing(Color colour, int third) {
  auto ring = make<ShapeLayer>();
  configureRingLayer(*ring, colour, third, third == 0, 3, cameraMarkView->cropFrame);
  cameraMarkView->layer()->addSublayer(ring);
  auto grow = make<BasicAnimation>("strokeEnd");
  grow->fromValue = 0.0;
  grow->toValue = 1.0;
  grow->duration = third == 0 ? 1.3 : 0.5;
  ring->addAnimation(grow, "animation");
}

// ------------------------------------------------------------------------------ timers

void OSLFaceVC::invalidateTimers(bool perAction, bool autoCapture, bool allProcess) {
  auto s = state();
  auto stop = [](std::shared_ptr<Timer>& timer) {
    if (timer) timer->invalidate();
    timer = nullptr;
  };
  if (perAction) stop(s->timerPerAction.timer);
  if (autoCapture) stop(s->timerAutoCapture);
  if (allProcess) stop(s->timerAllProcess.timer);
}

void OSLFaceVC::restartCountdown(bool perAction) {
  auto s = state();
  Countdown& countdown = perAction ? s->timerPerAction : s->timerAllProcess;
  if (countdown.timer) countdown.timer->invalidate();
  countdown.timer = Timer::scheduledTimer<OSLFaceVC>(
      1.0, true, shared<OSLFaceVC>(), [perAction](OSLFaceVC& screen, Timer&) {
        if (perAction) {
          screen._updateTimeoutPerAction();
        } else {
          screen._updateTimeoutAllProcess();
        }
      });
}

AttributedString OSLFaceVC::remainingTimeText() const {
  const int t = state()->timerAllProcess.timeout;
  char clock[32];
  std::snprintf(clock, sizeof clock, "%02d:%02d", t / 60, t % 60);
  const Font font = Font::systemFont(15, FontWeight::medium);
  AttributedString text =
      makeAttributedText(osl_localize("osl_time_remaining") + " ", Color::black(), font);
  text.append(makeAttributedText(clock, appearanceMainColor(), font));
  return text;
}

void OSLFaceVC::_updateTimeoutAllProcess() {
  auto s = state();
  s->timerAllProcess.timeout = std::max(0, s->timerAllProcess.timeout - 1);
  timeRemainingLabel->setAttributedText(remainingTimeText());
  if (s->timerAllProcess.timeout >= 1) return;
  timeOut(false);
  appendLog("TIMEOUT_" + std::to_string(currentConfig()->livenessTimeoutSeconds) + "_SECONDS");
  track(OSLTrackingEvent::LIVENESS_TIMEOUT, {{"log_messages", logJSON()}});
}

void OSLFaceVC::_updateTimeoutPerAction() {
  auto s = state();
  s->timerPerAction.timeout = std::max(0, s->timerPerAction.timeout - 1);
  if (s->timerPerAction.timeout >= 1) return;
  timeOut(true);
  appendLog("TIMEOUT_10_SECONDS");
  track(OSLTrackingEvent::LIVENESS_TIMEOUT, {{"log_messages", logJSON()}});
}

void OSLFaceVC::timeOut(bool perAction) {
  // The expired countdown stops whatever else happens, so a time-out is reported once; a
  // pending automatic capture goes too, so a timed-out attempt is never captured afterwards.
  const bool active = state()->livenessVersion == OSLFaceLivenessVersion::active;
  invalidateTimers(perAction || active, true, true);
  // The rest is about the camera's picture; without a running camera (still asking for
  // access, or no camera) there is no attempt on screen to end.
  if (!isCameraRunning()) return;
  stopCamera();
  heavyImpact();
  updateMessage(false, "liveness_error_timeout");
  retryButton->setHidden(false);
  if (auto container = tutorialContainer()) container->setHidden(true);
  captureButton->setHidden(true);
  cameraView->setHidden(true);
  previewImageView->setHidden(true);
  previewImageView->setImage(nullptr);
  showResult(false, std::nullopt, osl_localize("liveness_error_timeout"), nullptr);
  addRing(colorFromHex(kFailureColor));
}

// ------------------------------------------------------------------------------ background

void OSLFaceVC::_willResignActiveNotification() {
  auto s = state();
  auto defaults = sharedDefaults();
  const Date now = Runtime::current().now();
  auto park = [&](Countdown& countdown, const char* key, bool& wasRunning) {
    wasRunning = countdown.timer != nullptr;
    if (wasRunning) {
      defaults->setDate(key, now);
      countdown.timer->invalidate();
      countdown.timer = nullptr;
    } else {
      defaults->removeObject(key);
    }
  };
  park(s->timerAllProcess, defaults_keys::kTimerAllProcessBackgroundDate, allProcessWasRunning_);
  park(s->timerPerAction, defaults_keys::kTimerPerActionBackgroundDate, perActionWasRunning_);
  restoreBrightness();
  invalidateTimers(false, true, false);
  appendLog("LIVENESS_WILL_RESIGN_ACTIVE");
  track(OSLTrackingEvent::LIVENESS_INTERRUPTED, {{"log_messages", logJSON()}});
}

void OSLFaceVC::_didBecomeActiveNotification() {
  auto s = state();
  auto defaults = sharedDefaults();
  const Date now = Runtime::current().now();
  auto resume = [&](Countdown& countdown, const char* key, bool& wasRunning, bool perAction) {
    const std::optional<Date> since = defaults->date(key);
    defaults->removeObject(key);
    if (!wasRunning) return;
    wasRunning = false;
    if (since) {
      // A date ahead of now (the clock was set back) gives no time back.
      const double away = std::max(0.0, now.timeIntervalSince(*since));
      countdown.timeout -= static_cast<int>(away);
    }
    restartCountdown(perAction);
  };
  resume(s->timerAllProcess, defaults_keys::kTimerAllProcessBackgroundDate, allProcessWasRunning_,
         false);
  resume(s->timerPerAction, defaults_keys::kTimerPerActionBackgroundDate, perActionWasRunning_,
         true);
  if (!brightnessRaised_) {
    s->originalBrightness = Application::shared().screenBrightness();
    brightnessRaised_ = true;
  }
  Application::shared().setScreenBrightness(1.0);
  // With the attempt ended (retry on screen) the camera waits for the retry, and the log
  // keeps the attempt it describes.
  if (retryButton && !retryButton->isHidden()) appendLog("LIVENESS_DID_BECOME_ACTIVE");
}

// ------------------------------------------------------------------------------ capture

void OSLFaceVC::_autoCaptureNormal() {
  auto s = state();
  // One automatic photo at a time, and none once the head movements are under way.
  if (s->confidence >= 100 && !s->isCaptureInFlight && s->faceActions.empty()) {
    s->confidence = 0;
    captureAutomatically(s->imageRequest);
  } else {
    s->confidence = std::clamp(s->confidence, 0, 100);
  }
  invalidateTimers(false, true, false);
  s->semaphore->release();
}

void OSLFaceVC::captureAutomatically(ImagePtr frameImage) {
  auto s = state();
  auto output = s->videoCapture->imageCaptureOutput();
  if (!output) return;
  s->isCaptureInFlight = true;
  invalidateTimers(true, true, true);
  heavyImpact();
  removeFaceGuide();
  const bool passive = s->livenessVersion != OSLFaceLivenessVersion::active;
  if (passive) {
    updateMessage(false, kDefaultMessage);
    addRing(appearanceMainColor());
  }
  std::weak_ptr<OSLFaceVC> weakSelf = weak<OSLFaceVC>();
  const int generation = generation_;
  output->capture([weakSelf, generation, frameImage = std::move(frameImage)](
                      ImagePtr photo, std::optional<PlatformError> error) {
    // The photo output answers on its own queue; the screen changes on the main queue.
    DispatchQueue::main()->async([weakSelf, generation, frameImage, photo = std::move(photo),
                                  failed = error.has_value()] {
      auto self = weakSelf.lock();
      if (!self || self->generation_ != generation) return;
      self->handlePhoto(photo, failed, frameImage, false);
    });
  });
}

void OSLFaceVC::onTapCapture() {
  auto s = state();
  auto output = s->videoCapture->imageCaptureOutput();
  if (!output || !s->isManualLivenessCaptureEnabled) return;
  invalidateTimers(true, true, true);
  heavyImpact();
  removeFaceGuide();
  updateMessage(false, kDefaultMessage);
  addRing(appearanceMainColor());
  if (auto button = manualCaptureButton()) button->setHidden(true);
  std::weak_ptr<OSLFaceVC> weakSelf = weak<OSLFaceVC>();
  const int generation = generation_;
  output->capture([weakSelf, generation](ImagePtr photo, std::optional<PlatformError> error) {
    DispatchQueue::main()->async(
        [weakSelf, generation, photo = std::move(photo), failed = error.has_value()] {
          auto self = weakSelf.lock();
          if (!self || self->generation_ != generation) return;
          self->handlePhoto(photo, failed, nullptr, true);
        });
  });
}

void OSLFaceVC::handlePhoto(const ImagePtr& photo, bool failed, const ImagePtr& frame,
                            bool manual) {
  auto s = state();
  // Answered, whichever way: the next tick may take a photo again.
  s->isCaptureInFlight = false;
  const bool passive = s->livenessVersion != OSLFaceLivenessVersion::active;
  if (failed || !photo) {
    // A lost photo starts a new attempt; the active version's camera still runs, so it
    // captures again by itself.
    if (manual || passive) retry();
    return;
  }
  // The frame picture is upright already; the still photo is turned upright.
  ImagePtr source = frame;
  if (manual || !source) {
    source = photo->orientation() == ImageOrientation::up ? rotated(photo, std::numbers::pi / 2)
                                                          : fixedOrientation(photo);
  }
  auto face = cropFace(source);
  s->faceImage = face;
  previewImageView->setImage(face);
  if (!manual && !passive) {
    chooseFaceActions();  // the head movements follow
    return;
  }
  stopCamera();
  cameraView->setHidden(true);
  presentCaptured();
  appendLog("LIVENESS_CAPTURE_SUCCESS");
  track(OSLTrackingEvent::LIVENESS_CAPTURE_SUCCESS);
}

ImagePtr OSLFaceVC::cropFace(const ImagePtr& source) const {
  return Helpers::cropImage(source, cameraMarkView->cropFrame, cameraMarkView->bounds().size);
}

void OSLFaceVC::presentCaptured() {
  auto guide = guideContainer();
  auto tutorial = tutorialContainer();
  guide->setAlpha(1);
  tutorial->setAlpha(1);
  retryButton->setAlpha(0);
  continueButton->setAlpha(0);
  retryButton->setHidden(false);
  continueButton->setHidden(false);
  std::weak_ptr<OSLFaceVC> weakSelf = weak<OSLFaceVC>();
  const int generation = generation_;
  const AnimationOptions easeIn{false, false, TimingFunction::easeIn};
  View::animate(
      0.25, 0, easeIn,
      [guide, tutorial, weakSelf] {
        guide->setAlpha(0);
        tutorial->setAlpha(0);
        if (auto self = weakSelf.lock()) {
          self->retryButton->setAlpha(1);
          self->continueButton->setAlpha(1);
        }
      },
      [weakSelf, generation, easeIn](bool) {
        View::animate(0.25, 0, easeIn, [weakSelf, generation] {
          auto self = weakSelf.lock();
          // A retry, a hand-off or its result in the meantime owns the containers now.
          if (!self || self->generation_ != generation || self->retryButton->isHidden() ||
              self->continueButton->isHidden() || self->handOffInFlight_) {
            return;
          }
          self->guideContainer()->setHidden(true);
          self->tutorialContainer()->setHidden(true);
        });
      });
}

// ------------------------------------------------------------------------------ retry

void OSLFaceVC::onRetryPressed() {
  // The picture on its way stays the one answered for.
  if (handOffInFlight_) return;
  retry();
}

void OSLFaceVC::retry() {
  auto s = state();
  s->semaphore->release();
  s->isCaptureInFlight = false;
  // A message hold still pending ends nothing of the new attempt.
  ++s->messageHold;
  // Running countdowns stop before the fresh values go in, or they would tick on unowned.
  invalidateTimers(true, false, true);
  s->confidence = 0;
  s->timerAllProcess = {nullptr, currentConfig()->livenessTimeoutSeconds};
  s->timerPerAction = {nullptr, 10};
  s->faceActions.clear();
  s->faceImage = nullptr;
  s->shouldUpdateUI = true;
  s->checkPermission = {};
  s->flagMask.isDrawed = false;
  s->flagMask.isCaptured = true;
  s->maskShapeLayer = nullptr;
  cameraView->setHidden(false);
  cameraMarkView->layer()->removeAllSublayers();
  std::weak_ptr<OSLFaceVC> weakSelf = weak<OSLFaceVC>();
  requestCameraAccess([weakSelf] {
    if (auto self = weakSelf.lock()) self->startCamera();
  });
  updateMessage(true, kDefaultMessage);
  const int generation = generation_;
  View::animate(
      0.25, 0, AnimationOptions{false, false, TimingFunction::easeOut},
      [weakSelf] {
        auto self = weakSelf.lock();
        if (!self) return;
        self->retryButton->setAlpha(0);
        self->continueButton->setAlpha(0);
        self->iconContainer()->setHidden(false);
        self->guideContainer()->setAlpha(1);
        self->tutorialContainer()->setAlpha(1);
        if (auto button = self->manualCaptureButton()) {
          button->setAlpha(1);
          button->setHidden(false);
        }
        self->view()->layoutIfNeeded();
      },
      [weakSelf, generation](bool) {
        auto self = weakSelf.lock();
        if (!self || self->generation_ != generation) return;
        self->retryButton->setAlpha(1);
        self->continueButton->setAlpha(1);
        self->retryButton->setHidden(true);
        self->continueButton->setHidden(true);
        self->guideContainer()->setHidden(false);
        self->tutorialContainer()->setHidden(false);
        auto st = self->state();
        if (!st->flagMask.isDrawed && !self->cameraMarkView->cropFrame.isEmpty() &&
            st->flagMask.isEnable && st->flagMask.isCaptured) {
          self->drawFaceGuide();
          st->flagMask.isDrawed = true;
        }
      });
  appendLog("TAP_RETRY");
  track(OSLTrackingEvent::TAP_RETRY);
}

// ------------------------------------------------------------------------------ hand-off

void OSLFaceVC::onNextOrClose() {
  if (handOffInFlight_) return;
  ImagePtr picture = state()->faceImage;
  if (!picture) picture = previewImageView->image();
  if (!picture) return;
  submitFaceImage(picture);
  appendLog("TAP_CONTINUE");
  track(OSLTrackingEvent::TAP_CONTINUE);
}

void OSLFaceVC::submitFaceImage(const ImagePtr& image) {
  handOffInFlight_ = true;
  auto config = currentConfig();
  std::weak_ptr<OSLFaceVC> weakSelf = weak<OSLFaceVC>();
  const int generation = generation_;
  const std::string variant = variantKey(state()->livenessVersion);
  Helpers::showLoading(shared<OSLFaceVC>(), std::nullopt, std::nullopt, false);

  // Every answer first takes the loading indicator away, then reaches the screen on the main
  // queue, once, and only while the screen still shows the run that asked.
  auto answer = [weakSelf, generation, image](Road road, std::string what) {
    std::function<void(OSLConfig::Result)> onScreen =
        [weakSelf, generation, image, road](OSLConfig::Result result) {
          Ostrel::shared()->hideLoading();
          auto self = weakSelf.lock();
          if (!self || self->generation_ != generation) return;
          self->handleAnswer(road, result, image);
        };
    return firstAnswerOnly<OSLConfig::Result>(std::move(what), onMain(std::move(onScreen)));
  };

  if (auto processor = config->rawDataProcessor) {
    const UploadImage upload = jpegDataForUpload(image);
    processor->processLivenessData(upload.data, upload.base64, variant,
                                   answer(Road::processor, "the raw-data processor"));
    return;
  }
  if (config->faceDataHandler) {
    const UploadImage upload = jpegDataForUpload(image);
    config->faceDataHandler(upload.data, upload.base64, variant,
                            answer(Road::handler, "the face-data handler"));
    return;
  }
  auto done = answer(Road::library, "the selfie check");
  OstrelClient::checkSelfie(
      image, [done](const JSON&) { done(OSLConfig::Result::success()); },
      [done](const OstrelError& error) { done(OSLConfig::Result::failure(error)); });
}

void OSLFaceVC::handleAnswer(Road road, const OSLConfig::Result& result, const ImagePtr& image) {
  handOffInFlight_ = false;
  // Only a success is a success: a type the host cast from another number is a failure.
  if (result.type == OSLConfig::ResultType::success) {
    succeed(road, image);
  } else {
    fail(road, result.error);
  }
}

void OSLFaceVC::succeed(Road road, const ImagePtr& image) {
  currentConfig()->faceData = image;
  showResult(true, std::nullopt, std::nullopt, nullptr);
  addRing(colorFromHex(kSuccessColor));
  retryButton->setHidden(true);
  continueButton->setHidden(true);
  guideContainer()->setHidden(false);
  tutorialContainer()->setHidden(false);
  if (auto button = manualCaptureButton()) {
    button->setHidden(true);
    button->setAlpha(1);
  }
  if (road != Road::handler) invalidateTimers(false, false, true);
  timeRemainingLabel->setHidden(true);
  std::weak_ptr<OSLFaceVC> weakSelf = weak<OSLFaceVC>();
  const int generation = generation_;
  DispatchQueue::main()->asyncAfter(1.4, [weakSelf, generation] {
    auto self = weakSelf.lock();
    if (!self || self->generation_ != generation) return;
    if (self->onNext) self->onNext();
  });
  if (road != Road::handler) {
    appendLog("LIVENESS_DONE");
    track(OSLTrackingEvent::LIVENESS_SUCCESS, {{"log_messages", logJSON()}});
  }
}

void OSLFaceVC::fail(Road road, const std::optional<OstrelError>& error) {
  const std::string message = error ? error->message : osl_localize("error_unknown");
  if (road == Road::handler) {
    showResult(false, std::nullopt, message, nullptr);
  } else {
    showResult(false, std::nullopt, std::nullopt, bundleImage("ic_error"));
  }
  addRing(colorFromHex(kFailureColor));
  retryButton->setHidden(false);
  continueButton->setHidden(true);
  guideContainer()->setHidden(false);
  guideContainer()->setAlpha(1);
  if (auto button = manualCaptureButton()) {
    button->setHidden(true);
    button->setAlpha(1);
  }
  if (road == Road::handler) return;
  track(OSLTrackingEvent::LIVENESS_FAIL, {{"error", message}}, OSLLogLevel::error);
  if (error && error->code == 401) {
    Helpers::showTimeoutAlert(nullptr);
    return;
  }
  auto config = currentConfig();
  if (config->showErrorAlertHandler) {
    config->showErrorAlertHandler(message, error ? error->code : 200, shared<OSLFaceVC>());
    return;
  }
  Helpers::showAlert(static_cast<int>(OSLAlertVC::TypeOfAlert::networkError),
                     error ? error->code : -1, nullptr, std::nullopt, message, std::nullopt,
                     std::nullopt, {}, {}, nullptr);
}

// ------------------------------------------------------------------------------ close

void OSLFaceVC::onTapClose() {
  const JSON logCopy = logJSON();
  Helpers::showAlert(
      static_cast<int>(OSLAlertVC::TypeOfAlert::exitConfirmation), -1, nullptr, std::nullopt,
      std::nullopt, std::nullopt, std::nullopt,
      [] { trackEvent(OSLLogLevel::info, OSLTrackingEvent::EXIT_TAP_NO, screen_names::kLiveness); },
      [logCopy] {
        Ostrel::shared()->close(true, [logCopy] {
          trackEvent(OSLLogLevel::info, OSLTrackingEvent::EXIT_TAP_YES, screen_names::kLiveness,
                     {{"log_messages", logCopy}});
        });
      },
      nullptr);
  appendLog("TAP_EXIT");
  track(OSLTrackingEvent::TAP_EXIT);
}

void OSLFaceVC::closeTapped() {
  onTapClose();
}

// ------------------------------------------------------------------------------ face checks

OSLFaceVC::~OSLFaceVC() {
  // A camera queue may still hold the State: whatever waits at the gate goes home.
  if (auto s = state_.value()) s->semaphore->shutdown();
}

Rect OSLFaceVC::faceReferenceFrame() const {
  if (auto preview = state()->videoCapture->previewLayer) return preview->frame;
  return cameraView ? cameraView->bounds() : Rect();
}

std::shared_ptr<DetectFaceRectanglesRequest> OSLFaceVC::faceRectanglesRequest() {
  std::lock_guard lock(requestMutex_);
  if (!faceRectanglesRequest_) {
    // The results are read after `perform`; nothing needs the completion itself.
    faceRectanglesRequest_ = std::make_shared<DetectFaceRectanglesRequest>();
  }
  return faceRectanglesRequest_;
}

void OSLFaceVC::handleVideoFrame(const PixelBufferPtr& pixelBuffer,
                                 const SampleBufferPtr& sampleBuffer) {
  auto s = state();
  if (s->isManualLivenessCaptureEnabled || detectorUnusable_) return;
  auto gate = s->semaphore;
  // False once the screen is going away: the frame is dropped.
  if (!gate->acquire()) return;
  if (!pixelBuffer) {
    gate->release();
    return;
  }
  ImageRequestHandlerOptions options;
  if (sampleBuffer) options.cameraIntrinsics = sampleBuffer->cameraIntrinsics;
  // The front camera's buffer shown as the user sees themselves: transposed.
  ImagePtr image = Helpers::imageFromPixelBuffer(pixelBuffer, 5);
  std::vector<FaceObservationPtr> faces;
  std::weak_ptr<OSLFaceVC> weakSelf = weak<OSLFaceVC>();
  try {
    auto request = faceRectanglesRequest();
    ImageRequestHandler(pixelBuffer, 5, options).perform({request});
    faces = request->faceResults();
  } catch (const VisionError& error) {
    gate->release();
    if (error.code() == VisionErrorCode::invalidModel) {
      detectorUnusable_ = true;
      DispatchQueue::main()->async([weakSelf, reason = std::string(error.what())] {
        if (auto self = weakSelf.lock()) self->detectorFailed(reason);
      });
    }
    return;
  } catch (const std::exception&) {
    // A detector that throws anything else loses this frame only.
    gate->release();
    return;
  }
  std::weak_ptr<State> weakState = s;
  DispatchQueue::main()->async([weakSelf, weakState, image = std::move(image),
                                faces = std::move(faces)] {
    auto self = weakSelf.lock();
    auto st = weakState.lock();
    // A judgement for an earlier run is dropped: the new run's gate was opened afresh.
    if (!self || !st || self->state() != st) return;
    st->imageRequest = image;
    self->processFaceObservations(faces);
  });
}

void OSLFaceVC::detectorFailed(const std::string& reason) {
  debugLog("face screen: the face detector cannot work, so faces cannot be judged: " + reason);
  if (state()->isManualLivenessCaptureEnabled) return;
  stopCamera();
  invalidateTimers(true, true, true);
  track(OSLTrackingEvent::LIVENESS_ERROR, {{"error", "CREATE_CAMERA_ERROR"}}, OSLLogLevel::error);
  cameraErrorPending_ = true;
  if (appeared_) showCameraError();
}

void OSLFaceVC::processFaceObservations(const std::vector<FaceObservationPtr>& observations) {
  if (!state()->faceActions.empty()) {
    checkFaceAction(observations);
  } else {
    checkFacePosition(observations, face_checks::kConfidenceStep);
  }
}

std::vector<FaceObservationPtr> OSLFaceVC::filterLargeFaces(
    const std::vector<FaceObservationPtr>& observations) const {
  return face_checks::filterFaces(observations, faceReferenceFrame(), cameraMarkView->cropFrame,
                                  face_checks::kSizeFilterRatio, face_checks::kSizeFilterRatio);
}

void OSLFaceVC::checkFacePosition(const std::vector<FaceObservationPtr>& observations,
                                  int confidenceStep) {
  auto s = state();
  const Rect reference = faceReferenceFrame();
  const Rect crop = cameraMarkView->cropFrame;
  // Nothing to judge: capture is over or a photo is on its way, or the mask has no circle yet.
  if (!s->isCaptureRunning || s->isCaptureInFlight || crop.isEmpty() || reference.isEmpty()) {
    s->semaphore->release();
    return;
  }
  if (!s->timerAllProcess.timer) restartCountdown(false);
  const auto found = oneSizeableFace(observations, true);
  if (!found) return;
  if (!s->timerAutoCapture) {
    s->timerAutoCapture = Timer::scheduledTimer<OSLFaceVC>(
        1.0, false, shared<OSLFaceVC>(), [](OSLFaceVC& screen, Timer&) {
          screen._autoCaptureNormal();
        });
  }
  const auto& face = *found;
  const auto verdict =
      face_checks::judgeFace(face_checks::faceBox(face.boundingBox, reference), face, crop,
                             cameraView->bounds().height(), deviceReportsFacePitch());
  if (verdict != face_checks::Verdict::good) {
    showFaceMessage(face_checks::messageKey(verdict), face_checks::kMessagePenalty);
    return;
  }
  s->confidence += confidenceStep;
  updateMessage(true, kDefaultMessage);
  s->semaphore->release();
}

FaceObservationPtr OSLFaceVC::oneSizeableFace(const std::vector<FaceObservationPtr>& observations,
                                              bool noFaceResetsConfidence) {
  auto s = state();
  if (observations.empty()) {
    showFaceMessage("liveness_message_noface", face_checks::kMessagePenalty);
    if (noFaceResetsConfidence) s->confidence = 0;
    return nullptr;
  }
  const auto faces = filterLargeFaces(observations);
  if (faces.empty()) {
    showFaceMessage("liveness_message_too_far", face_checks::kMessagePenalty);
    return nullptr;
  }
  if (faces.size() > 1) {
    s->confidence = 0;
    showFaceMessage("liveness_message_many_faces", face_checks::kMessagePenalty);
    return nullptr;
  }
  return faces.front();
}

void OSLFaceVC::showFaceMessage(const std::string& key, int penalty) {
  auto s = state();
  s->confidence = std::max(0, s->confidence - penalty);
  if (!s->shouldUpdateUI) {
    s->semaphore->release();
    return;
  }
  s->shouldUpdateUI = false;
  std::weak_ptr<OSLFaceVC> weakSelf = weak<OSLFaceVC>();
  View::animate(0.2, 0, AnimationOptions{false, false, TimingFunction::easeIn}, [weakSelf, key] {
    if (auto self = weakSelf.lock()) self->applyFaceMessage(key);
  });
  changeFaceGuideColor(Color{1, 0, 0, 1}, 0.3);
  const int hold = ++s->messageHold;
  std::weak_ptr<State> weakState = s;
  DispatchQueue::main()->asyncAfter(1.0, [weakState, hold] {
    auto st = weakState.lock();
    if (st && st->messageHold == hold) st->shouldUpdateUI = true;
  });
  s->semaphore->release();
}

void OSLFaceVC::applyFaceMessage(const std::string& key) {
  auto s = state();
  // The next default guide then shows the pending movement's picture again.
  if (s->livenessVersion == OSLFaceLivenessVersion::active) s->cacheGifName.clear();
  showResult(false, std::nullopt, osl_localize(key), nullptr);
  view()->layoutIfNeeded();
  appendLog(faceStatusName(faceStatus(key)));
}

// ------------------------------------------------------------------------------ head movements

std::vector<OSLFaceAction> OSLFaceVC::randomFaceActions() const {
  return face_checks::randomFaceActions(deviceReportsFacePitch());
}

std::vector<OSLFaceVC::PendingAction> OSLFaceVC::numberFaceActions(
    const std::vector<OSLFaceAction>& actions) {
  std::vector<PendingAction> numbered;
  for (std::size_t i = 0; i < actions.size(); ++i) {
    numbered.push_back({static_cast<int>(i) + 1, actions[i]});
  }
  return numbered;
}

void OSLFaceVC::chooseFaceActions() {
  const auto actions = randomFaceActions();
  state()->faceActions = numberFaceActions(actions);
  std::string entry = "LIVENESS_VERSION_ACTIVE_ALL_ACTIONS_ORDERED";
  for (OSLFaceAction action : actions) entry += "_" + uppercased(face_action::rawValue(action));
  appendLog(entry);
}

void OSLFaceVC::checkFaceAction(const std::vector<FaceObservationPtr>& observations) {
  auto s = state();
  // Released here too: a camera queue waiting at the gate must never wait for ever.
  if (!s->isCaptureRunning || s->faceActions.empty() || cameraMarkView->cropFrame.isEmpty() ||
      faceReferenceFrame().isEmpty()) {
    s->semaphore->release();
    return;
  }
  if (!s->timerPerAction.timer) restartCountdown(true);
  const auto found = oneSizeableFace(observations, false);
  if (!found) return;
  const PendingAction current = s->faceActions.front();
  if (face_checks::isActionCompleted(current.action, *found, deviceReportsFacePitch())) {
    completeCurrentAction(current.index);
    return;
  }
  updateMessage(true, kDefaultMessage);
  s->semaphore->release();
}

void OSLFaceVC::completeCurrentAction(int index) {
  auto s = state();
  s->timerPerAction.timeout = 10;
  invalidateTimers(true, false, false);
  if (s->faceActions.empty()) {
    s->semaphore->release();
    return;
  }
  const OSLFaceAction done = s->faceActions.front().action;
  s->faceActions.erase(s->faceActions.begin());
  heavyImpact();
  addRing(appearanceMainColor(), index);
  appendLog("LIVENESS_VERSION_ACTIVE_DONE_ACTION_" + uppercased(face_action::rawValue(done)));
  if (!s->faceActions.empty()) {
    s->semaphore->release();
    return;
  }
  stopCamera();
  updateMessage(false, kDefaultMessage);
  // Every countdown ends with the movements, the whole-process one included: nothing may time
  // the attempt out behind the retry and continue buttons.
  invalidateTimers(true, true, true);
  cameraView->setHidden(true);
  if (auto guide = guideContainer()) guide->setHidden(true);
  if (auto tutorial = tutorialContainer()) tutorial->setHidden(true);
  retryButton->setHidden(false);
  continueButton->setHidden(false);
  appendLog("LIVENESS_VERSION_ACTIVE_AUTO_CAPTURE_SUCCESS");
  s->semaphore->release();
}

// ------------------------------------------------------------------------------ reset

void OSLFaceVC::resetForNewRun() {
  ++generation_;
  handOffInFlight_ = false;
  // The detector is tried afresh (its model may have been put in place meanwhile).
  detectorUnusable_ = false;
  auto old = state();
  stopCamera();
  invalidateTimers(true, true, true);
  restoreBrightness();
  // The camera stays the one set up (its preview is in the camera view); everything else is
  // as `create` makes it, manual flag and log included.
  const auto camera = old->videoCapture;
  makeState(old->livenessVersion, old->flagMask.isEnable);
  if (!isViewLoaded()) return;
  if (camera->imageCaptureOutput()) {
    state()->videoCapture = camera;
  } else {
    // A camera that could not be set up is tried afresh.
    state()->videoCapture->setDelegate(
        std::static_pointer_cast<OSLVideoCaptureDelegate>(shared<OSLFaceVC>()));
    std::weak_ptr<OSLFaceVC> weakSelf = weak<OSLFaceVC>();
    requestCameraAccess([weakSelf] {
      if (auto self = weakSelf.lock()) self->setUpCamera();
    });
  }
  cameraMarkView->layer()->removeAllSublayers();
  cameraView->setHidden(false);
  previewImageView->setImage(nullptr);
  previewImageView->setAlpha(1);
  for (const auto& v : std::vector<std::shared_ptr<View>>{retryButton, continueButton,
                                                          guideContainer(), tutorialContainer(),
                                                          iconContainer(), captureButton}) {
    v->setAlpha(1);
  }
  timeRemainingLabel->setHidden(true);
  timeRemainingLabel->setAttributedText(remainingTimeText());
  if (state()->isManualLivenessCaptureEnabled) restartCountdown(false);
  retryButton->setHidden(true);
  continueButton->setHidden(true);
  for (const auto& container : {iconContainer(), guideContainer(), tutorialContainer()}) {
    container->setHidden(false);
  }
  if (state()->videoCapture->imageCaptureOutput()) {
    if (auto button = manualCaptureButton()) button->setHidden(false);
  }
  setUpTexts();
  updateMessage(true, kDefaultMessage);
  // A screen reset while on show starts its camera again here, since it will not reappear.
  if (view()->window() && state()->videoCapture->imageCaptureOutput()) {
    std::weak_ptr<OSLFaceVC> weakSelf = weak<OSLFaceVC>();
    requestCameraAccess([weakSelf] {
      if (auto self = weakSelf.lock()) self->startCamera();
    });
  }
}

}  // namespace ostrel
