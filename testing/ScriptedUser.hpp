#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/media/Geometry.hpp"
#include "platform/ui/Animation.hpp"
#include "platform/ui/Bars.hpp"
#include "platform/ui/Control.hpp"
#include "platform/ui/Device.hpp"
#include "platform/ui/GestureRecognizer.hpp"
#include "platform/ui/Keyboard.hpp"
#include "platform/ui/TextField.hpp"
#include "platform/ui/Transaction.hpp"
#include "platform/ui/ViewController.hpp"
#include "platform/ui/Window.hpp"
#include "testing/RuntimeFixture.hpp"

namespace ostrel::testing {

// A finger and a keyboard driven by a test. Taps go where a real tap would: the hit-tested
// view at the point, whose tap recognisers (own or inherited from ancestors) fire first and,
// when they cancel touches, cancel the control's tracking.
class ScriptedUser {
 public:
  // Taps the point (window coordinates of `window`). Returns the view that was hit, if any.
  std::shared_ptr<platform::View> tapAt(const std::shared_ptr<platform::Window>& window,
                                        platform::Point point);
  // Taps the centre of `view` as seen in its window (so anything covering it gets the tap).
  std::shared_ptr<platform::View> tap(const std::shared_ptr<platform::View>& view);
  void tap(const std::shared_ptr<platform::BarButtonItem>& item);
  // Whether a tap at the centre of `view` would land on it (or on one of its subviews) rather
  // than on something covering it, such as the loading indicator's backdrop while it fades out.
  // A finger landing on such a cover is swallowed there; a user waits until the view is clear.
  static bool reaches(const std::shared_ptr<platform::View>& view);
  // Fires a recogniser directly (a discrete tap, or a whole pan).
  void fire(const std::shared_ptr<platform::GestureRecognizer>& recognizer);

  // Focuses the field and types each character through the delegate.
  void typeText(const std::shared_ptr<platform::TextField>& field, const std::string& text);
  void clearText(const std::shared_ptr<platform::TextField>& field);
  bool pressReturn(const std::shared_ptr<platform::TextField>& field);

  // A touch that starts at the centre of `control` and moves by each horizontal step in turn.
  void drag(const std::shared_ptr<platform::Control>& control, const std::vector<double>& steps);
  // A pan through began, changed (one per translation) and ended at the last translation.
  void pan(const std::shared_ptr<platform::PanGestureRecognizer>& recognizer,
           const std::vector<platform::Point>& translations);
};

// Records presentations (present, dismiss, refusals) while alive.
class PresentationRecorder {
 public:
  PresentationRecorder();
  ~PresentationRecorder();
  const std::vector<platform::PresentationEvent>& events() const { return *events_; }

 private:
  std::shared_ptr<std::vector<platform::PresentationEvent>> events_;
};

// A test with the deterministic runtime plus a screen, one foreground scene and a key window
// (390 x 844 by default), an empty animation log and light appearance.
class UITest : public RuntimeTest {
 protected:
  UITest();
  ~UITest() override;

  const std::shared_ptr<platform::Window>& window() const { return window_; }
  const std::shared_ptr<platform::WindowScene>& scene() const { return scene_; }
  ScriptedUser& user() { return user_; }
  // Puts `controller` as the window's root (it appears).
  void show(const std::shared_ptr<platform::ViewController>& controller);

  // Drivers.
  // The display pass the platform runs before each screen refresh: lays out `root` (the key
  // window by default) and draws every view marked as needing display.
  void runDisplayPass(const std::shared_ptr<platform::View>& root = nullptr);
  void setApplicationActive(bool active);
  // Turns the device: sets its orientation, then tells the window's root controller and every
  // controller that follows its appearance that the root view takes the new size (width and
  // height swap between portrait and landscape; face up, face down and unknown keep them), and
  // gives the window and the root view that size.
  void rotateDevice(platform::DeviceOrientation orientation);
  void setTraitStyle(platform::UserInterfaceStyle style);
  // Adds the keyboard host views and posts will/did show with the frame (screen coordinates).
  void showKeyboard(platform::Rect endFrame, double duration = 0.25);
  void hideKeyboard(double duration = 0.25);

  // The controller on top of the window's presentations (the root when nothing is presented).
  std::shared_ptr<platform::ViewController> topPresented() const;
  // Takes the action titled `title` of the system alert or action sheet on top; false when
  // there is none.
  bool tapAlertAction(const std::string& title);
  // Picks the library item at `index`, or cancels, in whichever photo picker is on top; false
  // when no picker is on top (or there is no such item).
  bool pickPhoto(std::size_t index);
  bool cancelPhotoPicker();
  // Swipes the sheet that holds `controller` away, as a user can with page and form sheets
  // (never with full-screen presentations); its presentation's delegate hears of it once the
  // sheet is gone. False when the presentation cannot be swiped away.
  bool swipeAwaySheet(const std::shared_ptr<platform::ViewController>& controller);

  const std::vector<std::shared_ptr<platform::AnimationRecord>>& animations() const {
    return platform::AnimationLog::shared().records();
  }
  std::vector<std::string> haptics() const;

 private:
  std::shared_ptr<platform::WindowScene> scene_;
  std::shared_ptr<platform::Window> window_;
  platform::KeyboardHost keyboard_;
  ScriptedUser user_;
};

}  // namespace ostrel::testing
