#include "liveness/OSLGuideLivenessAdvanceVC.hpp"

#include <array>
#include <utility>
#include <variant>

#include "core/CloseSession.hpp"
#include "core/CurrentConfig.hpp"
#include "core/Localization.hpp"
#include "core/OnMain.hpp"
#include "core/TrackEvent.hpp"
#include "network/OstrelClient.hpp"
#include "platform/camera/CameraAuthorization.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/runtime/Application.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/Text.hpp"
#include "platform/ui/Window.hpp"
#include "session/HelpersAlerts.hpp"
#include "session/Ostrel.hpp"
#include "ui/GuideLayout.hpp"
#include "ui/ImageExtensions.hpp"
#include "ui/OSLProgressHUD.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

// The page: its own close button (the navigation bar is hidden while it shows), the title, the
// checklist with its ticks, three pictures of what to avoid with captions, and the start button.
const LibraryNibRegistration livenessAdvanceNib{
    "OSLGuideLivenessAdvanceVC", [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
      Rect screen = Screen::main().bounds();
      double w = screen.width();
      auto root = nib.makeView<View>(screen);
      auto close = nib.makeView<Button>(Rect{w - 50, 50, 30, 30});
      close->setImage(Image::named("icon_close", *resourceBundle()), ControlState::normal);
      auto title = nib.makeView<Label>(Rect{20, 90, w - 40, 30});
      title->setFont(Font::systemFont(22, FontWeight::bold));
      title->textAlignment = TextAlignment::center;
      for (const auto& v : std::vector<std::shared_ptr<View>>{close, title}) root->addSubview(v);
      auto checklist = addGuideChecklist(nib, root, 140, w);
      auto examples = addGuideExamples(nib, root, 300, w, 90);
      auto verify = nib.makeView<OstrelButton>(Rect{20, screen.height() - 100, w - 40, 48});
      root->addSubview(verify);
      if (auto owner = nib.owner<OSLGuideLivenessAdvanceVC>()) {
        owner->titleLabel = title;
        owner->checkListTitleLabel = checklist.heading;
        owner->checkListLabel = checklist.lines;
        owner->checkmarkIcons = checklist.ticks;
        owner->verifyButton = verify;
        owner->rejectSubTitles = examples.captions;
        owner->rejectImages = examples.pictures;
        owner->rejectTitleLabel = examples.heading;
        owner->closeButton = close;
        close->addTarget<OSLGuideLivenessAdvanceVC>(
            owner, [](OSLGuideLivenessAdvanceVC& vc, Control&) { vc.onTapClose(); },
            ControlEvent::touchUpInside);
        verify->addTarget<OSLGuideLivenessAdvanceVC>(
            owner, [](OSLGuideLivenessAdvanceVC& vc, Control&) { vc.onTapVerify(); },
            ControlEvent::touchUpInside);
      }
      return {root};
    }};

constexpr int kAlertNetworkError = 1;
constexpr int kAlertExitConfirmation = 2;
constexpr int kAlertCustomConfirmation = 4;
constexpr int kNoErrorCode = -1;
constexpr int kInfo = 2;
constexpr int kFailuresBeforeGivingUp = 3;

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

OSLGuideLivenessAdvanceVC::FailureReason OSLGuideLivenessAdvanceVC::failureReason(int reasonIndex) {
  static constexpr std::array<FailureReason, 11> kReasons{{
      {"liveness_fail", "error_unknown", "liveness_common_error"},
      {"liveness_hold_still", "failure_too_much_movement", "liveness_error_too_much_movement"},
      {"liveness_too_bright", "failure_too_bright", "liveness_error_too_bright"},
      {"liveness_too_dark", "failure_too_dark", "liveness_error_too_dark"},
      {"liveness_angle", "failure_misaligned_face", "liveness_error_angle"},
      {"liveness_eye_closed", "failure_eyes_closed", "liveness_error_eyes_closed"},
      {"liveness_too_far", "failure_face_too_far", "liveness_message_too_far"},
      {"liveness_too_close", "failure_face_too_close", "liveness_message_too_close"},
      {"liveness_sun_glasses", "failure_sunglasses", "liveness_message_sunglasses"},
      {"liveness_face_cover", "failure_obscured_face", "liveness_message_obscured_face"},
      {"liveness_multiple_faces", "failure_multiple_faces", "liveness_message_many_faces"},
  }};
  if (reasonIndex < 0 || reasonIndex >= static_cast<int>(kReasons.size())) return kReasons[0];
  return kReasons[static_cast<std::size_t>(reasonIndex)];
}

const char* OSLGuideLivenessAdvanceVC::messageKey(const LivenessVendorError& error) {
  using Kind = LivenessVendorError::Kind;
  switch (error.kind) {
    case Kind::networkError:
      return "error_network";
    case Kind::serverError:
      return "error_service_temporary_down";
    case Kind::captureAlreadyActive:
      return "error_capture_already_active";
    case Kind::cameraPermissionDenied:
      return "check_permission_camera";
    case Kind::userTimeout:
      return "liveness_error_timeout";
    case Kind::notSupported:
      return "error_device_unsupported";
    case Kind::consentRequired:
      return "error_consent_required";
    case Kind::internalError:
      break;
  }
  return "liveness_common_error";
}

std::shared_ptr<Bundle> OSLGuideLivenessAdvanceVC::stringsBundle(
    const std::string& language, const std::shared_ptr<Bundle>& resources) {
  if (!resources) return nullptr;
  const char* folder = lowercased(language) == "vi" ? "vi" : "en";
  if (auto path = resources->pathForResource(folder, "lproj")) {
    if (auto bundle = Bundle::open(*path)) return bundle;
  }
  return resources;
}

void OSLGuideLivenessAdvanceVC::setupUI() {
  BaseViewController::setupUI();
  setupPage();
}

void OSLGuideLivenessAdvanceVC::setupPage() {
  auto appearance = currentAppearance();
  Color text = colorFromHex(appearance->mainTextColor);
  Color tint = colorFromHex(appearance->mainColor);
  if (checkListTitleLabel) {
    checkListTitleLabel->setText(osl_localize("guide_note"));
    checkListTitleLabel->setTextColor(text);
  }
  if (titleLabel) {
    titleLabel->setText(osl_localize("liveness_title"));
    titleLabel->setTextColor(text);
  }
  auto tick = tinted(bundleImage("icon_check_list"), tint);
  for (const auto& icon : checkmarkIcons) icon->setImage(tick);
  for (std::size_t i = 0; i < checkListLabel.size() && i < 4; ++i) {
    checkListLabel[i]->setText(osl_localize("guide_liveness_" + std::to_string(i + 1)));
  }
  if (verifyButton) verifyButton->setTitle(osl_localize("nfc_button_start"), ControlState::normal);
  if (rejectTitleLabel) {
    rejectTitleLabel->setText(osl_localize("guide_reject_title"));
    rejectTitleLabel->setTextColor(text);
  }
  static constexpr std::array<const char*, 3> kRejectKeys{
      "guide_liveness_reject_1", "guide_liveness_reject_2", "guide_liveness_reject_4"};
  static constexpr std::array<const char*, 3> kRejectPictures{
      "liveness_too_dark", "liveness_face_cover", "liveness_hold_still"};
  for (std::size_t i = 0; i < rejectSubTitles.size() && i < kRejectKeys.size(); ++i) {
    rejectSubTitles[i]->setTextColor(text);
    rejectSubTitles[i]->setText(osl_localize(kRejectKeys[i]));
  }
  for (std::size_t i = 0; i < rejectImages.size() && i < kRejectPictures.size(); ++i) {
    rejectImages[i]->setImage(bundleImage(kRejectPictures[i]));
  }
}

void OSLGuideLivenessAdvanceVC::viewWillAppear(bool animated) {
  BaseViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(true, false);
}

void OSLGuideLivenessAdvanceVC::viewWillDisappear(bool animated) {
  BaseViewController::viewWillDisappear(animated);
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(false, false);
}

void OSLGuideLivenessAdvanceVC::closeTapped() {
  onTapClose();
}

void OSLGuideLivenessAdvanceVC::onTapClose() {
  const std::string screen = typeNameWithoutModule(*this);
  Helpers::showAlert(
      kAlertExitConfirmation, kNoErrorCode, nullptr, std::nullopt, std::nullopt, std::nullopt,
      std::nullopt, [screen] { trackEvent(kInfo, OSLTrackingEvent::EXIT_TAP_NO, screen); },
      [screen] {
        Ostrel::shared()->close(
            true, [screen] { trackEvent(kInfo, OSLTrackingEvent::EXIT_TAP_YES, screen); });
      },
      nullptr);
  trackEvent(kInfo, OSLTrackingEvent::TAP_EXIT, screen);
}

void OSLGuideLivenessAdvanceVC::onTapVerify() {
  // A second tap (or a retry) while an attempt runs would ask for a second token and start a
  // second vendor capture over the first.
  if (attemptInFlight_) return;
  attemptInFlight_ = true;
  vendorSessionOpen_ = false;
  startAttempt();
}

void OSLGuideLivenessAdvanceVC::startAttempt() {
  const std::uint64_t attempt = ++attempt_;
  if (CameraAuthorization::authorizationStatus(MediaType::video) ==
      AuthorizationStatus::authorized) {
    requestToken(attempt);
    return;
  }
  auto weakSelf = weak<OSLGuideLivenessAdvanceVC>();
  CameraAuthorization::requestAccess(MediaType::video, [weakSelf, attempt](bool granted) {
    DispatchQueue::main()->async([weakSelf, attempt, granted] {
      auto self = weakSelf.lock();
      if (!self || !self->isCurrent(attempt)) return;
      if (granted) {
        self->requestToken(attempt);
        return;
      }
      self->endAttempt();
      Helpers::showAlert(
          kAlertCustomConfirmation, kNoErrorCode, nullptr,
          osl_localize("check_permission_camera_title"), osl_localize("check_permission_camera"),
          osl_localize("button_no"), osl_localize("button_yes"), [] { closeSessionCancelled(); },
          [] { closeSessionCancelled([] { Application::shared().openSettings(); }); }, nullptr);
    });
  });
}

void OSLGuideLivenessAdvanceVC::requestToken(std::uint64_t attempt) {
  // Without the host's show handler this is the library's own indicator, which the host's
  // hide handler (if it set only that one) would never take down.
  if (!currentConfig()->showLoadingHandler) showedBuiltInIndicator_ = true;
  Helpers::showLoading(shared<ViewController>(), std::nullopt, std::nullopt, false);
  auto weakSelf = weak<OSLGuideLivenessAdvanceVC>();
  OstrelClient::getLivenessToken([weakSelf, attempt](Outcome<std::string> outcome) {
    auto self = weakSelf.lock();
    if (!self) {
      Ostrel::shared()->hideLoading();
      return;
    }
    if (!self->isCurrent(attempt)) return;
    if (!outcome) {
      self->hideLoading();
      self->endAttempt();
      // An expired session cannot be mended by retrying; it ends like every other expiry.
      if (outcome.error().code == OstrelError::kSessionExpired) {
        Helpers::showTimeoutAlert(nullptr);
        return;
      }
      self->showRetryAlert(nullptr, std::nullopt, outcome.error().localizedDescription());
      return;
    }
    self->launchVendor(attempt, outcome.value());
  });
}

void OSLGuideLivenessAdvanceVC::launchVendor(std::uint64_t attempt, const std::string& token) {
  LivenessVendor::Options options;
  options.stringsBundle = stringsBundle(currentAppearance()->language, resourceBundle());
  vendorSessionOpen_ = true;
  auto weakSelf = weak<OSLGuideLivenessAdvanceVC>();
  // The vendor calls back on a thread of its choosing; the screen only acts on the main queue.
  std::function<void(LivenessVendor::Status)> callback = [weakSelf, attempt,
                                                          token](LivenessVendor::Status status) {
    if (auto self = weakSelf.lock()) self->handleStatus(attempt, token, status);
  };
  // The vendor keeps its session alive until it ends; the screen has no use for it.
  (void)LivenessVendor::launch(OSTREL_LIVENESS_VENDOR_URL, token, std::move(options),
                               onMain(std::move(callback)));
}

void OSLGuideLivenessAdvanceVC::handleStatus(std::uint64_t attempt, const std::string& token,
                                             const LivenessVendor::Status& status) {
  // A status of an earlier attempt, or one after this session's outcome, changes nothing.
  if (!isCurrent(attempt) || !vendorSessionOpen_) return;
  std::visit(Overloaded{
                 [](const LivenessVendor::connecting&) {},
                 [](const LivenessVendor::connected&) {},
                 [this](const LivenessVendor::processing& processing) {
                   OSLProgressHUD::show(processing.message, false);
                   showedBuiltInIndicator_ = true;
                 },
                 [&](const LivenessVendor::success&) {
                   vendorSessionOpen_ = false;
                   handleSuccess(attempt, token);
                 },
                 [&](const LivenessVendor::failure& failure) {
                   vendorSessionOpen_ = false;
                   handleFailure(token, failure.result.reason);
                 },
                 [this](const LivenessVendor::canceled&) {
                   vendorSessionOpen_ = false;
                   hideLoading();
                   endAttempt();
                 },
                 [this](const LivenessVendor::error& error) {
                   vendorSessionOpen_ = false;
                   hideLoading();
                   endAttempt();
                   showRetryAlert(nullptr, std::nullopt, osl_localize(messageKey(error.value)));
                 },
             },
             status);
}

void OSLGuideLivenessAdvanceVC::handleFailure(const std::string& token, int reasonIndex) {
  // The server hears of every failed attempt; its answer changes nothing here.
  OstrelClient::validateLiveness(token, [](const Outcome<JSON>&) {});
  ++countFailure;
  hideLoading();
  endAttempt();
  if (countFailure >= kFailuresBeforeGivingUp) {
    Helpers::showAlert(
        kAlertNetworkError, kNoErrorCode, nullptr, std::nullopt,
        osl_localize("liveness_error_too_many_attempts"), std::nullopt, std::nullopt, {},
        [] {
          closeSessionCancelled([] {
            trackEvent(kInfo, OSLTrackingEvent::TOO_MANY_ATTEMPTS, screen_names::kLivenessAdvance);
          });
        },
        nullptr);
    return;
  }
  auto reason = failureReason(reasonIndex);
  showRetryAlert(bundleImage(reason.picture), osl_localize(reason.titleKey),
                 osl_localize(reason.messageKey));
}

void OSLGuideLivenessAdvanceVC::handleSuccess(std::uint64_t attempt, const std::string& token) {
  // Held strongly: the answer must be handled even if the screen is let go meanwhile.
  auto self = shared<OSLGuideLivenessAdvanceVC>();
  OstrelClient::validateLiveness(token, [self, attempt](const Outcome<JSON>& outcome) {
    if (!self->isCurrent(attempt)) return;
    if (!outcome) {
      self->hideLoading();
      self->endAttempt();
      self->handleServerError(outcome.error());
      return;
    }
    auto weakSelf = self->weak<OSLGuideLivenessAdvanceVC>();
    OstrelClient::getImage(OstrelClient::ImageType::selfie,
                           [weakSelf, attempt](Outcome<ImagePtr> image) {
                             auto screen = weakSelf.lock();
                             if (!screen) {
                               Ostrel::shared()->hideLoading();
                               return;
                             }
                             if (!screen->isCurrent(attempt)) return;
                             screen->hideLoading();
                             screen->endAttempt();
                             if (!image) {
                               screen->handleServerError(image.error());
                               return;
                             }
                             screen->handleImage(std::move(image.value()));
                           });
  });
}

void OSLGuideLivenessAdvanceVC::handleImage(ImagePtr image) {
  // A reply without a picture would leave the run without its face image while reporting the
  // step as done; it is a failure of the server, and any picture already stored stays.
  if (!image) {
    handleServerError(OstrelError::fromCode(OstrelError::kServiceDown));
    return;
  }
  currentConfig()->faceData = std::move(image);
  if (auto next = onNext) next();
}

void OSLGuideLivenessAdvanceVC::handleServerError(const OstrelError& error) {
  if (error.code == OstrelError::kSessionExpired) {
    Helpers::showTimeoutAlert(nullptr);
    return;
  }
  if (auto handler = currentConfig()->showErrorAlertHandler) {
    handler(error.message, error.code, shared<ViewController>());
    return;
  }
  Helpers::showAlert(kAlertNetworkError, error.code, nullptr, std::nullopt, error.message,
                     std::nullopt, std::nullopt, {}, {}, nullptr);
}

void OSLGuideLivenessAdvanceVC::showRetryAlert(ImagePtr icon, std::optional<std::string> title,
                                               std::string message) {
  auto weakSelf = weak<OSLGuideLivenessAdvanceVC>();
  Helpers::showAlert(
      kAlertCustomConfirmation, kNoErrorCode, std::move(icon), std::move(title), std::move(message),
      osl_localize("button_cancel"), osl_localize("button_retry"), {},
      [weakSelf] {
        if (auto self = weakSelf.lock()) self->onTapVerify();
      },
      shared<ViewController>());
}

void OSLGuideLivenessAdvanceVC::hideLoading() {
  const bool hostHides = static_cast<bool>(currentConfig()->hideLoadingHandler);
  Ostrel::shared()->hideLoading();
  // The host's handler only knows of what the host showed.
  if (showedBuiltInIndicator_ && hostHides) OSLProgressHUD::dismiss();
  showedBuiltInIndicator_ = false;
}

void OSLGuideLivenessAdvanceVC::resetForNewRun() {
  countFailure = 0;
  ++attempt_;
  attemptInFlight_ = false;
  vendorSessionOpen_ = false;
  // Whatever the old run's vendor put up must not cover the new run.
  if (showedBuiltInIndicator_) OSLProgressHUD::dismiss();
  showedBuiltInIndicator_ = false;
  if (isViewLoaded()) setupPage();
}

}  // namespace ostrel
