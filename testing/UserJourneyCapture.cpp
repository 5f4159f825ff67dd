// The cooperative user's steps on the camera screens that look at a document: the ID capture
// screen (the card's front, its back, a passport's data page), the QR scanner (the code on the
// card's front) and the zone scanner (the card's back). The user holds the right side up to
// the back camera of the image-file backend, waits for the screen to take the photo by itself,
// takes it by hand when the screen does not, and continues with the photo it shows. Also what
// the cameras see of the sample person: the documents and the face.
#include <algorithm>
#include <map>
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

// Where a point of a preview that shows a `picture`-sized camera picture filling itself (the
// screens' aspect fill) lies in the picture, in pixels.
cv::Point2d pictureSpot(platform::Point point, const platform::Rect& preview, cv::Size picture) {
  const double scale = std::max(preview.width() / picture.width, preview.height() / picture.height);
  const double left = (preview.width() - picture.width * scale) / 2;
  const double top = (preview.height() - picture.height * scale) / 2;
  return {(point.x - preview.minX() - left) / scale, (point.y - preview.minY() - top) / scale};
}

// `document` as a hand holds it up to a screen: over a light desk (the frame as light as the
// card, as the card detector wants it), filling `frame` (points of `preview`) but for a small
// margin, in a picture of the table's size.
cv::Mat heldInFrame(const cv::Mat& document, const platform::Rect& frame,
                    const platform::Rect& preview) {
  const cv::Mat table(sampleDocumentPictures().table.size(), CV_8UC4,
                      cv::Scalar(228, 226, 222, 255));
  const cv::Point2d topLeft = pictureSpot(frame.origin, preview, table.size());
  const cv::Point2d bottomRight =
      pictureSpot({frame.maxX(), frame.maxY()}, preview, table.size());
  const double fit = 0.94 * std::min((bottomRight.x - topLeft.x) / document.cols,
                                     (bottomRight.y - topLeft.y) / document.rows);
  const cv::Point2d centre = (topLeft + bottomRight) / 2;
  const cv::Mat place = (cv::Mat_<double>(2, 3) << fit, 0, centre.x - fit * document.cols / 2, 0,
                         fit, centre.y - fit * document.rows / 2);
  cv::Mat picture = table.clone();
  cv::warpAffine(document, picture, place, picture.size(), cv::INTER_AREA,
                 cv::BORDER_TRANSPARENT);
  return picture;
}

// The card alone, as the pictures hold it: the zone's card, or the front's middle round its
// code, at the card's shape.
cv::Mat cardOf(const cv::Mat& picture, bool aroundTheMiddle) {
  const cv::Rect region = mrzRegionInPicture();
  if (!aroundTheMiddle) return picture(region).clone();
  const cv::Rect middle{(picture.cols - region.width) / 2, (picture.rows - region.height) / 2,
                        region.width, region.height};
  return picture(middle & cv::Rect(0, 0, picture.cols, picture.rows)).clone();
}

// The picture of `side` held in `frame`, made once per side and frame (the camera keeps the
// picture it is shown by its address).
const cv::Mat& documentHeldIn(const std::string& side, const cv::Mat& document,
                              const platform::Rect& frame, const platform::Rect& preview) {
  static std::mutex mutex;
  static std::map<std::string, cv::Mat> made;
  std::lock_guard guard(mutex);
  const std::string key = side + " " + std::to_string(frame.minX()) + "," +
                          std::to_string(frame.minY()) + "," + std::to_string(frame.width()) +
                          "," + std::to_string(frame.height()) + " in " +
                          std::to_string(preview.width()) + "x" + std::to_string(preview.height());
  auto found = made.find(key);
  if (found == made.end()) found = made.emplace(key, heldInFrame(document, frame, preview)).first;
  return found->second;
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
               const bool front = !IDCaptureVC::isPassportMode() && screen->isFrontId();
               const cv::Mat& picture = IDCaptureVC::isPassportMode() ? pictures.passportPage
                                        : front                        ? pictures.front
                                                                       : pictures.back;
               // Held where the screen's hole shows it, the whole card inside.
               const cv::Mat& side = documentHeldIn(
                   sideName(*screen), cardOf(picture, front), screen->cameraMarkView->cropFrame,
                   screen->viewCamera->bounds());
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
  // The card's code inside the scanner's frame, the rest of the card round it.
  journey.on("qr: hold up the code",
             [held](const std::shared_ptr<ViewController>& top, ScriptedUser&,
                    const UserJourney::Say& say) {
               auto screen = std::dynamic_pointer_cast<OSLQRCodeScannerController>(top);
               if (!screen || !screen->isViewLoaded()) return false;
               const platform::Rect preview = screen->view()->bounds();
               const platform::Rect frame =
                   screen->qrFrameView ? screen->originQRFrameView : preview;
               const cv::Mat& front = sampleDocumentPictures().front;
               const cv::Point2d centre =
                   pictureSpot({frame.midX(), frame.midY()}, preview, front.size());
               const cv::Mat shift = (cv::Mat_<double>(2, 3) << 1, 0, centre.x - front.cols / 2.0,
                                      0, 1, centre.y - front.rows / 2.0);
               static std::mutex mutex;
               static std::map<std::pair<int, int>, cv::Mat> made;
               const cv::Mat* shown = nullptr;
               {
                 std::lock_guard guard(mutex);
                 const std::pair<int, int> key{static_cast<int>(centre.x), static_cast<int>(centre.y)};
                 auto found = made.find(key);
                 if (found == made.end()) {
                   cv::Mat moved;
                   cv::warpAffine(front, moved, shift, front.size(), cv::INTER_LINEAR,
                                  cv::BORDER_REFLECT_101);
                   found = made.emplace(key, std::move(moved)).first;
                 }
                 shown = &found->second;
               }
               if (!holdUp(*held, *shown)) return false;
               say("holds the card's QR code up to the camera");
               return true;
             });
}

}  // namespace ostrel::testing
