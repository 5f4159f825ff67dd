// The cooperative user's steps on the face screen: in manual mode they take the picture
// themselves; in automatic mode they show their face and hold still, and in the active version
// they make each head movement asked for; once the picture is taken they continue with it.
//
// With the image-file camera a still picture cannot turn its head: a test or the demo that
// wants the movements (or a face placed just so) gives the journey the scripted detector it
// installed, and each look then sets what that detector sees.

#include <memory>
#include <optional>
#include <string>

#include "liveness/OSLFaceVC.hpp"
#include "testing/ScriptedFaceDetector.hpp"
#include "testing/UserJourney.hpp"

namespace ostrel::testing {

using platform::ViewController;

namespace {

bool canTap(const std::shared_ptr<platform::Control>& button) {
  return button && button->isEnabled() && !button->isHidden() && button->alpha() > 0 &&
         button->window() && ScriptedUser::reaches(button);
}

// The pose that completes `action` (signs as `FaceObservation` documents them), with what the
// user is seen doing.
struct Movement {
  std::optional<float> pitch, yaw, roll;
  const char* what;
};

Movement movementFor(OSLFaceAction action) {
  switch (action) {
    case OSLFaceAction::turnUp: return {-0.6f, 0.0f, 0.0f, "raises the chin"};
    case OSLFaceAction::turnDown: return {0.4f, 0.0f, 0.0f, "lowers the chin"};
    case OSLFaceAction::turnLeft: return {0.0f, -0.6f, 0.0f, "turns the head left"};
    case OSLFaceAction::turnRight: return {0.0f, 0.6f, 0.0f, "turns the head right"};
    case OSLFaceAction::tiltLeft: return {0.0f, 0.0f, 0.45f, "tilts the head left"};
    case OSLFaceAction::tiltRight: return {0.0f, 0.0f, -0.5f, "tilts the head right"};
  }
  return {0.0f, 0.0f, 0.0f, "looks straight"};
}

// What the user last showed, so that each change is told once.
struct Shown {
  std::weak_ptr<OSLFaceVC> screen;
  std::string what;
};

}  // namespace

void addFaceSteps(UserJourney& journey) {
  addFaceSteps(journey, nullptr);
}

void addFaceSteps(UserJourney& journey, std::shared_ptr<ScriptedFaceDetector> vision) {
  // Never counts as an action: the face is shown on every look while the screen judges it.
  journey.on("face shown", [vision, shown = std::make_shared<Shown>()](
                               const std::shared_ptr<ViewController>& top, ScriptedUser&,
                               const UserJourney::Say& say) {
    auto face = std::dynamic_pointer_cast<OSLFaceVC>(top);
    if (!face || !vision || !face->isViewLoaded()) return false;
    auto state = face->state();
    const platform::Rect crop = face->cameraMarkView->cropFrame;
    const platform::Rect reference = face->cameraView->bounds();
    // Nothing to show once the picture is taken, or while the screen cannot judge yet.
    if (state->isManualLivenessCaptureEnabled || !state->isCaptureRunning || crop.isEmpty() ||
        reference.isEmpty()) {
      return false;
    }
    Movement pose{0.0f, 0.0f, 0.0f, "shows the face and holds still"};
    if (!state->faceActions.empty()) pose = movementFor(state->faceActions.front().action);
    // A face 0.4 of the circle wide, in its middle.
    const double w = crop.width() * 0.4;
    vision->setFallback(std::vector<platform::FaceObservationPtr>{faceObservationFor(
        {crop.midX() - w / 2, crop.midY() - w / 2, w, w}, reference, pose.pitch, pose.yaw,
        pose.roll)});
    if (shown->screen.lock() != face || shown->what != pose.what) {
      shown->screen = face;
      shown->what = pose.what;
      say(pose.what);
    }
    return false;
  });
  journey.on("face capture", [](const std::shared_ptr<ViewController>& top, ScriptedUser& finger,
                                const UserJourney::Say& say) {
    auto face = std::dynamic_pointer_cast<OSLFaceVC>(top);
    if (!face || !face->state()->isManualLivenessCaptureEnabled ||
        !canTap(face->captureButton)) {
      return false;
    }
    say("takes the face picture");
    finger.tap(face->captureButton);
    return true;
  });
  journey.on("face continue", [](const std::shared_ptr<ViewController>& top, ScriptedUser& finger,
                                 const UserJourney::Say& say) {
    auto face = std::dynamic_pointer_cast<OSLFaceVC>(top);
    if (!face || face->isHandingOff() || !canTap(face->continueButton)) return false;
    say("continues with the face picture");
    finger.tap(face->continueButton);
    return true;
  });
}

}  // namespace ostrel::testing
