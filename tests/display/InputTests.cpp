#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include <SDL.h>

#include "session/Ostrel.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/runtime/NotificationCenter.hpp"
#include "platform/ui/Button.hpp"
#include "platform/ui/DesktopWindow.hpp"
#include "platform/ui/Keyboard.hpp"
#include "platform/ui/PointerInput.hpp"
#include "platform/ui/TextField.hpp"
#include "testing/ScriptedUser.hpp"
#include "ui/OstrelSwitch.hpp"

namespace ostrel::testing {
namespace {

using namespace platform;

class PointerTest : public UITest {
 protected:
  PointerTest() { Ostrel::shared()->setConfig(OSLConfig::Builder("token")); }
  ~PointerTest() override { Ostrel::shared()->setConfig(nullptr); }

  Point centre(const View& view) {
    return view.convertPointTo({view.bounds().midX(), view.bounds().midY()}, nullptr);
  }
  PointerInput pointer;
};

TEST_F(PointerTest, ClicksReachEnabledButtonsOnlyAndFallThroughDisabledOnes) {
  auto backdrop = make<Control>(Rect{0, 0, 390, 400});
  window()->addSubview(backdrop);
  auto button = make<Button>(Rect{50, 50, 200, 44});
  button->setTitle("OK", ControlState::normal);
  window()->addSubview(button);
  int buttonTaps = 0, backdropTaps = 0;
  button->addTarget(
      std::weak_ptr<const void>(button), [&](Control&) { ++buttonTaps; },
      ControlEvent::touchUpInside);
  backdrop->addTarget(
      std::weak_ptr<const void>(backdrop), [&](Control&) { ++backdropTaps; },
      ControlEvent::touchUpInside);

  pointer.press(window(), centre(*button));
  EXPECT_TRUE(button->isHighlighted()) << "pressed, not yet released";
  pointer.release(centre(*button));
  EXPECT_FALSE(button->isHighlighted());
  EXPECT_EQ(buttonTaps, 1);

  button->setEnabled(false);
  pointer.press(window(), centre(*button));
  pointer.release(centre(*button));
  EXPECT_EQ(buttonTaps, 1) << "a disabled button does nothing";
  EXPECT_EQ(backdropTaps, 1) << "the click goes to what lies beneath";

  // Pressed on the button, released away from it: no tap.
  button->setEnabled(true);
  pointer.press(window(), centre(*button));
  pointer.move({centre(*button).x, 300});
  pointer.release({centre(*button).x, 300});
  EXPECT_EQ(buttonTaps, 1);
  EXPECT_FALSE(pointer.isPressed());
}

TEST_F(PointerTest, DragOnTheSwitchFlipsItAndAClickTapsIt) {
  auto control = make<OstrelSwitch>(Rect{100, 100, 60, 30});
  window()->addSubview(control);
  control->layoutIfNeeded();
  std::vector<bool> reported;
  control->onValueChanged = [&](bool on) { reported.push_back(on); };
  ASSERT_TRUE(control->isOn);

  Point at = centre(*control);
  pointer.press(window(), at);
  pointer.move({at.x - 6, at.y});
  pointer.move({at.x - 20, at.y});
  pointer.release({at.x - 20, at.y});
  EXPECT_FALSE(control->isOn) << "dragged left";
  EXPECT_EQ(reported, std::vector<bool>{false}) << "a drag is not also a tap";

  pointer.press(window(), at);
  pointer.release(at);
  EXPECT_TRUE(control->isOn) << "clicked";
  EXPECT_EQ(reported, (std::vector<bool>{false, true}));
}

TEST_F(PointerTest, PressesThatTravelDriveThePanRecogniserWithTranslation) {
  auto sheet = make<View>(Rect{0, 400, 390, 444});
  window()->addSubview(sheet);
  auto pan = make<PanGestureRecognizer>();
  std::vector<std::pair<GestureState, Point>> seen;
  auto owner = std::make_shared<int>(0);
  pan->addTarget(std::weak_ptr<const void>(owner), [&](GestureRecognizer& r) {
    seen.emplace_back(r.state(), static_cast<PanGestureRecognizer&>(r).translation(nullptr));
  });
  sheet->addGestureRecognizer(pan);
  auto tap = make<TapGestureRecognizer>();
  int taps = 0;
  tap->addTarget(std::weak_ptr<const void>(owner), [&](GestureRecognizer&) { ++taps; });
  sheet->addGestureRecognizer(tap);

  pointer.press(window(), {100, 500});
  pointer.move({100, 505});
  EXPECT_TRUE(seen.empty()) << "within the slop nothing pans yet";
  pointer.move({100, 560});
  pointer.release({100, 600});
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.front().first, GestureState::began);
  EXPECT_EQ(seen.back().first, GestureState::ended);
  EXPECT_EQ(seen.back().second.y, 100);
  EXPECT_EQ(taps, 0);
  pointer.press(window(), {100, 500});
  pointer.release({100, 502});
  EXPECT_EQ(taps, 1) << "a press that stays put is a tap";
}

// The SDL window on SDL's offscreen driver: no display server needed.
class DesktopWindowTest : public UITest {
 protected:
  DesktopWindowTest() { setenv("SDL_VIDEODRIVER", "offscreen", 1); }

  static void click(const DesktopWindow& desktop, Point point) {
    Point pixel = desktop.windowPixelFromPoint(point);
    for (Uint32 type : {SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
      SDL_Event event{};
      event.type = type;
      event.button.button = SDL_BUTTON_LEFT;
      event.button.clicks = 1;
      event.button.x = static_cast<Sint32>(pixel.x);
      event.button.y = static_cast<Sint32>(pixel.y);
      SDL_PushEvent(&event);
    }
  }
  static void type(const char* text) {
    SDL_Event event{};
    event.type = SDL_TEXTINPUT;
    std::strncpy(event.text.text, text, sizeof(event.text.text) - 1);
    SDL_PushEvent(&event);
  }
  static void key(SDL_Keycode code) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = code;
    SDL_PushEvent(&event);
  }
};

TEST_F(DesktopWindowTest, TypingIntoAFieldMovesTheCaretAndAClosedWindowEndsTheApp) {
  auto backdrop = make<View>(window()->bounds());
  backdrop->setBackgroundColor(Color::white());
  window()->addSubview(backdrop);
  auto field = make<TextField>(Rect{20, 100, 300, 44});
  window()->addSubview(field);
  std::vector<unsigned> events;
  for (unsigned e :
       {ControlEvent::editingDidBegin, ControlEvent::editingChanged, ControlEvent::editingDidEnd}) {
    field->addTarget(
        std::weak_ptr<const void>(field), [&events, e](Control&) { events.push_back(e); }, e);
  }
  std::vector<std::string> keyboard;
  auto observer = std::make_shared<int>(0);
  for (const char* name : {KeyboardWillShowNotification, KeyboardDidShowNotification,
                           KeyboardWillHideNotification, KeyboardDidHideNotification}) {
    NotificationCenter::defaultCenter().addObserver(
        std::weak_ptr<const void>(observer), name,
        [&keyboard, name](const Notification&) { keyboard.push_back(name); });
  }

  DesktopWindow::Options options;
  options.scale = 1;
  int closed = 0;
  options.onClose = [&] { ++closed; };
  std::string error;
  auto desktop = DesktopWindow::open(options, error);
  ASSERT_TRUE(desktop) << error;
  // The first frames follow the window's own start-up events (shown, exposed).
  desktop->pumpEvents();
  desktop->pumpEvents();
  EXPECT_EQ(desktop->lastFrame().cols, 390);
  EXPECT_EQ(desktop->lastFrame().rows, 844);
  int shown = desktop->framesShown();
  desktop->pumpEvents();
  EXPECT_EQ(desktop->framesShown(), shown) << "an unchanged tree is not shown again";

  click(*desktop, {170, 122});
  desktop->pumpEvents();
  ASSERT_TRUE(field->isFirstResponder());
  EXPECT_EQ(keyboard,
            (std::vector<std::string>{KeyboardWillShowNotification, KeyboardDidShowNotification}));
  ViewRenderer renderer;
  Rect before = renderer.caretRect(*field);

  type("X");
  type("ư");
  desktop->pumpEvents();
  EXPECT_EQ(field->text(), "Xư");
  Rect after = renderer.caretRect(*field);
  EXPECT_GT(after.minX(), before.minX() + 10) << "the caret follows the text";
  // The caret is drawn where it says, in the tint colour (blue in B, G, R, A order).
  Point caretPixel =
      desktop->windowPixelFromPoint(field->convertPointTo({after.midX(), after.midY()}, nullptr));
  auto pixel = desktop->lastFrame().at<cv::Vec4b>(static_cast<int>(caretPixel.y),
                                                  static_cast<int>(caretPixel.x));
  EXPECT_EQ(pixel, (cv::Vec4b{255, 122, 0, 255}));

  key(SDLK_BACKSPACE);
  desktop->pumpEvents();
  EXPECT_EQ(field->text(), "X");
  EXPECT_EQ(events,
            (std::vector<unsigned>{ControlEvent::editingDidBegin, ControlEvent::editingChanged,
                                   ControlEvent::editingChanged, ControlEvent::editingChanged}));

  field->resignFirstResponder();
  desktop->pumpEvents();
  EXPECT_EQ(keyboard.back(), KeyboardDidHideNotification);

  SDL_Event close{};
  close.type = SDL_WINDOWEVENT;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  SDL_PushEvent(&close);
  desktop->pumpEvents();
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(desktop->isOpen());
  desktop->pumpEvents();
  EXPECT_EQ(closed, 1);
}

TEST_F(DesktopWindowTest, WithoutADisplayTheWindowSaysSo) {
  const char* saved[] = {std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY")};
  std::string keep[] = {saved[0] ? saved[0] : "", saved[1] ? saved[1] : ""};
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("SDL_VIDEODRIVER");
  std::string error;
  EXPECT_FALSE(DesktopWindow::open({}, error));
  EXPECT_NE(error.find("DISPLAY"), std::string::npos);
  if (saved[0]) setenv("DISPLAY", keep[0].c_str(), 1);
  if (saved[1]) setenv("WAYLAND_DISPLAY", keep[1].c_str(), 1);
}

}  // namespace
}  // namespace ostrel::testing
