// The cooperative user's steps on the camera screens that look at a document: the ID capture
// screen (the card's front, its back, a passport's data page), the QR scanner (the code on the
// card's front) and the zone scanner (the card's back). The user holds the right side up to
// the back camera of the image-file backend, waits for the screen to take the photo by itself,
// takes it by hand when the screen does not, and continues with the photo it shows. Also what
// the cameras see of the sample person: the documents and the face.
#include <memory>
#include <mutex>
#include <string>

#include <opencv2/imgproc.hpp>

#include "capture/IDCaptureVC.hpp"
#include "core/Localization.hpp"
#include "liveness/OSLFaceVC.hpp"
#include "platform/camera/CaptureDevice.hpp"
#include "platform/runtime/Runtime.hpp"
#include "scanner/OSLQRCodeScannerController.hpp"
#include "scanner/OSLScanMRZVC.hpp"
#include "testing/FacePhotographs.hpp"
#include "testing/ImageFileCamera.hpp"
#include "testing/LanguageDictionary.hpp"
#include "testing/MRZPictureRenderer.hpp"
#include "testing/QRPictures.hpp"
#include "testing/SamplePerson.hpp"
#include "testing/UserJourney.hpp"

namespace ostrel::testing {

using platform::CaptureDevicePosition;
using platform::ViewController;

namespace {

// The zone picture's card on a light table (the renderer's surrounding is dark), so the whole
// frame is as light as the card's front and the card detector finds it the same way.
cv::Mat onLightTable(const cv::Mat& zonePicture) {
  cv::Mat table(zonePicture.size(), CV_8UC1, cv::Scalar(235));
  const cv::Rect region = mrzRegionInPicture();
  zonePicture(region).copyTo(table(region));
  cv::Mat colour;
  cv::cvtColor(table, colour, cv::COLOR_GRAY2RGBA);
  return colour;
}

// What the user is holding in front of the back camera, and since when (runtime uptime).
struct HeldUp {
  std::mutex mutex;
  const cv::Mat* picture = nullptr;
  double since = 0;
};

// Puts `picture` in front of the installed image-file back camera (a real camera sees whatever
// is really there). Returns whether it changed what the camera sees.
bool holdUp(HeldUp& held, const cv::Mat& picture) {
  std::lock_guard guard(held.mutex);
  if (held.picture == &picture) return false;
  auto cameras = std::dynamic_pointer_cast<ImageFileCamera>(platform::CameraBackend::current());
  auto back = cameras ? cameras->driver(CaptureDevicePosition::back) : nullptr;
  if (!back) return false;
  back->show({ScriptedFrame::picture(picture)});
  held.picture = &picture;
  held.since = platform::Runtime::current().uptime();
  return true;
}

double heldFor(HeldUp& held) {
  std::lock_guard guard(held.mutex);
  return platform::Runtime::current().uptime() - held.since;
}

// The capture screen with its camera running, no photo under way and no preview.
bool isLive(const IDCaptureVC& screen) {
  const auto& capture = screen.viewCamera ? screen.viewCamera->videoCapture() : nullptr;
  const auto& session = capture ? capture->captureSession() : nullptr;
  return session && session->isRunning() && !screen.isPreviewShown() &&
         !screen.viewCamera->isCaptured.load() && !screen.isHandingOff();
}

bool tapIfOffered(const std::shared_ptr<platform::Control>& button, ScriptedUser& finger,
                  const UserJourney::Say& say, const std::string& what) {
  if (!button || !button->isEnabled() || button->isHidden() || button->alpha() < 1 ||
      !button->window()) {
    return false;
  }
  if (auto holder = button->superview(); holder && (holder->isHidden() || holder->alpha() < 1)) {
    return false;
  }
  say(what);
  finger.tap(button);
  return true;
}

// The rule of a scanner screen `Screen`: hold up `picture` once, saying `what`.
template <class Screen>
UserJourney::Step holdUpFor(std::shared_ptr<HeldUp> held, cv::Mat SampleDocumentPictures::*picture,
                            std::string what) {
  return [held = std::move(held), picture, what = std::move(what)](
             const std::shared_ptr<ViewController>& top, ScriptedUser&,
             const UserJourney::Say& say) {
    if (!std::dynamic_pointer_cast<Screen>(top)) return false;
    if (!holdUp(*held, sampleDocumentPictures().*picture)) return false;
    say(what);
    return true;
  };
}

std::string sideName(const IDCaptureVC& screen) {
  if (IDCaptureVC::isPassportMode()) return "the passport's data page";
  return screen.isFrontId() ? "the card's front" : "the card's back";
}

}  // namespace

const SampleDocumentPictures& sampleDocumentPictures() {
  static const SampleDocumentPictures pictures = [] {
    SampleDocumentPictures made;
    const SamplePerson& person = samplePerson();
    MRZPictureStyle style;
    made.back = onLightTable(renderMRZPicture(person.td1Zone(), style));
    made.passportPage = onLightTable(renderMRZPicture(person.td3Zone(), style));
    QRScene scene;
    scene.size = {kMRZPictureWidth, kMRZPictureHeight};
    made.front = scene.render(
        {{qrCodeModules(person.qrText(), 8), {centerOf(scene.size), 0, 1}}});
    made.table = cv::Mat(kMRZPictureHeight, kMRZPictureWidth, CV_8UC4, cv::Scalar(60, 55, 50, 255));
    return made;
  }();
  return pictures;
}

cv::Mat samplePortraitFrame() {
  // A face screen laid out on the main screen tells where its circle lies; its texts come from
  // the server's dictionary meanwhile, so no lookup is missed.
  const platform::JSON saved = languageDictionary();
  setLanguageDictionary(defaultLanguageDictionary("vi"));
  auto probe = OSLFaceVC::create(OSLFaceLivenessVersion::passive, true);
  probe->loadViewIfNeeded();
  probe->view()->layoutIfNeeded();
  const platform::Rect circle = probe->cameraMarkView->cropFrame;
  const platform::Rect preview = probe->cameraView->bounds();
  probe.reset();
  setLanguageDictionary(saved);
  return portraitFrameFor(circle, preview);
}

void addCaptureSteps(UserJourney& journey, double patience) {
  auto held = std::make_shared<HeldUp>();
  journey.on("capture: hold up the document",
             [held](const std::shared_ptr<ViewController>& top, ScriptedUser&,
                    const UserJourney::Say& say) {
               auto screen = std::dynamic_pointer_cast<IDCaptureVC>(top);
               if (!screen || !isLive(*screen)) return false;
               const auto& pictures = sampleDocumentPictures();
               const cv::Mat& side = IDCaptureVC::isPassportMode() ? pictures.passportPage
                                     : screen->isFrontId()          ? pictures.front
                                                                    : pictures.back;
               if (!holdUp(*held, side)) return false;
               say("holds " + sideName(*screen) + " up to the camera");
               return true;
             });
  journey.on("capture: take the photo",
             [held, patience](const std::shared_ptr<ViewController>& top, ScriptedUser& finger,
                              const UserJourney::Say& say) {
               auto screen = std::dynamic_pointer_cast<IDCaptureVC>(top);
               // The screen takes the photo itself when it finds the card; a user who sees
               // nothing happen for a while takes it by hand.
               if (!screen || !isLive(*screen) || heldFor(*held) < patience) return false;
               return tapIfOffered(screen->captureButton, finger, say,
                                   "takes the photo of " + sideName(*screen));
             });
  journey.on("capture: continue with the photo",
             [held](const std::shared_ptr<ViewController>& top, ScriptedUser& finger,
                    const UserJourney::Say& say) {
               auto screen = std::dynamic_pointer_cast<IDCaptureVC>(top);
               if (!screen || !screen->isPreviewShown() || screen->isHandingOff()) return false;
               if (!tapIfOffered(screen->btnConfirm, finger, say,
                                 "continues with the photo of " + sideName(*screen))) {
                 return false;
               }
               // The card goes down: the next screen sees only the table until the user holds
               // up what that screen asks for.
               holdUp(*held, sampleDocumentPictures().table);
               return true;
             });
  // A photo the host or the server turned down leaves only the retake button: the user takes
  // the photo again.
  journey.on("capture: retake the photo",
             [](const std::shared_ptr<ViewController>& top, ScriptedUser& finger,
                const UserJourney::Say& say) {
               auto screen = std::dynamic_pointer_cast<IDCaptureVC>(top);
               if (!screen || !screen->isPreviewShown() || screen->isHandingOff() ||
                   !screen->btnConfirm->isHidden()) {
                 return false;
               }
               return tapIfOffered(screen->btnRetake, finger, say,
                                   "retakes the photo of " + sideName(*screen));
             });
  // The scanners read by themselves: the user only holds up what they look for.
  journey.on("mrz: hold up the zone",
             holdUpFor<OSLScanMRZVC>(held, &SampleDocumentPictures::back,
                                     "holds the card's back up to the camera"));
  journey.on("qr: hold up the code",
             holdUpFor<OSLQRCodeScannerController>(held, &SampleDocumentPictures::front,
                                                   "holds the card's QR code up to the camera"));
}

}  // namespace ostrel::testing
