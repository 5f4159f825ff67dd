#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/ui/ViewController.hpp"
#include "platform/ui/Window.hpp"
#include "testing/ScriptedUser.hpp"

namespace ostrel::testing {

class ScriptedFaceDetector;

// A cooperative user in front of the library's screens: on each look it finds the screen on top
// of the window and does there what such a user does (confirm the review, confirm a result,
// confirm an alert, start the vendor's check), through `ScriptedUser`, so every tap goes through
// hit testing as a finger does. Each action is told through `say` as one "user: ..." line.
//
// A screen's step is a rule: a name and a function that looks at the top screen and acts when
// the screen is its own, returning whether it did. Rules are tried in order; a later `on` with
// the same name replaces the earlier rule, so a test or a new screen overrides or adds steps.
// A rule acts at most once on the same screen object until that screen leaves the top.
//
// Works on either runtime: call `look()` after each step of the deterministic one, or
// `attach()` it to the live main queue, where it looks every `interval` seconds.
class UserJourney {
 public:
  using Say = std::function<void(const std::string&)>;
  // Looks at `top` (the controller on top: the presented one, or a navigation stack's top) and
  // acts when it is this rule's screen; `say` tells what it did.
  using Step = std::function<bool(const std::shared_ptr<platform::ViewController>& top,
                                  ScriptedUser& finger, const Say& say)>;

  explicit UserJourney(Say say);

  // Adds the rule `name`, or replaces the rule of that name in place.
  void on(const std::string& name, Step step);
  // Removes the rule `name` (the user then waits on that screen).
  void remove(const std::string& name);

  // The steps for the library's screens: the document camera screens (`addCaptureSteps`), the
  // review screen's confirm once its fields are filled, a result screen's confirm, an alert's
  // confirm, the vendor screen's start, the face screen's steps (`addFaceSteps`), the chip
  // screen's scan with the card laid in the simulated field (`addChipSteps` without a card).
  void addCooperativeSteps();

  // One look at the key window (or `window`); returns whether an action was taken.
  bool look(const std::shared_ptr<platform::Window>& window = nullptr);
  // Looks every `interval` seconds on the main queue until `detach` or destruction.
  void attach(double interval = 0.1);
  void detach();
  ~UserJourney();

  // Attached looks hold on to this object: it stays where it was made.
  UserJourney(const UserJourney&) = delete;
  UserJourney& operator=(const UserJourney&) = delete;

  // The controller on top of `window`: the last presented one, a navigation stack's top, a
  // popup's content.
  static std::shared_ptr<platform::ViewController> topScreen(
      const std::shared_ptr<platform::Window>& window);
  // Whether no presentation of `window` is still arriving or leaving. A finger that lands
  // during such a transition is lost (the platform refuses the dismissal it would start), so
  // the user waits for the screen to settle.
  static bool isSettled(const std::shared_ptr<platform::Window>& window);

 private:
  struct Rule {
    std::string name;
    Step step;
  };
  void scheduleLook(double interval);

  Say say_;
  std::vector<Rule> rules_;
  ScriptedUser finger_;
  // The screen last acted on and by which rule, so one screen is not tapped twice.
  std::weak_ptr<platform::ViewController> lastScreen_;
  std::string lastRule_;
  // Shared with the scheduled looks, which stop once it is false.
  std::shared_ptr<bool> attached_ = std::make_shared<bool>(false);
};

// The sample person's documents as the back camera sees them held up (upright RGBA, the back
// camera's portrait picture size): the card's front with its QR code, the card's back with its
// zone, the passport's data page with its zone; and the dark table the camera sees while no
// document is held up. Made once, at first use.
struct SampleDocumentPictures {
  cv::Mat front;
  cv::Mat back;
  cv::Mat passportPage;
  cv::Mat table;
};
const SampleDocumentPictures& sampleDocumentPictures();

// The sample person's face (the portrait of `facePhotographRGBA`) as the front camera sees it
// when the user looks into the face screen: where that screen's circle lies on the main screen
// (set it before), at a size its checks accept. Lays a face screen out to find the circle.
cv::Mat samplePortraitFrame();

// The steps on the document camera screens (UserJourneyCapture.cpp): on the ID capture screen
// the user holds up the side it asks for (the passport's page in the passport flow) to the
// image-file back camera, waits `patience` seconds for the screen to take the photo by itself,
// else taps the capture button, then continues with the photo (and retakes a photo that was
// turned down); on the QR scanner the user
// holds up the card's front with its code, on the zone scanner the card's back.
void addCaptureSteps(UserJourney& journey, double patience = 1.5);

// The face screen's steps (testing/UserJourneyFace.cpp): the picture taken by hand in manual
// mode, the face shown and held still in automatic mode, each head movement made, then the
// picture continued with. With `vision`, the scripted detector the test or the demo installed,
// the user's face is scripted through it on every look; without it the camera's pictures must
// show the face themselves. Added by `addCooperativeSteps` without vision; a later call with
// vision replaces those rules.
void addFaceSteps(UserJourney& journey);
void addFaceSteps(UserJourney& journey, std::shared_ptr<ScriptedFaceDetector> vision);

// The chip screen's steps: once the screen is ready for a read, the user taps its scan button;
// while that read is open, lays the card, which `layCard` does (a simulated field's `present`,
// inserting the card into vpcd). Without `layCard` nothing more is done: the simulated field
// brings its card in by itself after its detection delay, as a user holding the card there.
void addChipSteps(UserJourney& journey, std::function<void()> layCard = {});

}  // namespace ostrel::testing
