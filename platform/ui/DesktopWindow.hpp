#pragma once

#include <functional>
#include <memory>
#include <string>

#include <opencv2/core.hpp>

#include "platform/ui/Keyboard.hpp"
#include "platform/ui/PointerInput.hpp"
#include "platform/ui/Renderer.hpp"
#include "platform/ui/Window.hpp"

struct SDL_Window;
union SDL_Event;

namespace ostrel::platform {

// The application's windows shown in a desktop window (SDL): the key window's contents and the
// windows above it, scaled to fit and letterboxed, drawn again whenever the picture changes.
// The mouse becomes one finger (`PointerInput`), the keyboard types into the first responder
// and the on-screen keyboard is announced while a text field edits; closing the window is the
// user closing the application. Everything runs on the main queue, a frame at a time, and never
// waits for events.
class DesktopWindow : public std::enable_shared_from_this<DesktopWindow> {
 public:
  struct Options {
    std::string title = "Ostrel";
    // Window pixels per point; 0 fits the screen's bounds in the display's usable area.
    double scale = 0;
    double framesPerSecond = 60;
    // Called once on the main queue when the user closes the window.
    std::function<void()> onClose;
  };

  // Whether a window can be opened: a display server is named (DISPLAY, WAYLAND_DISPLAY) or SDL
  // is told to draw without one (SDL_VIDEODRIVER=offscreen, as in CI).
  static bool displayAvailable();
  // Opens the window; nothing, with the reason in `error`, when it cannot.
  static std::shared_ptr<DesktopWindow> open(Options options, std::string& error);
  ~DesktopWindow();

  // Pumps every frame on the main queue until the window closes.
  void start();
  // Handles the queued events, then draws and shows the frame when it changed.
  void pumpEvents();
  // Closes the window (no `onClose`: that is for the user's closing).
  void close();
  bool isOpen() const { return window_ != nullptr; }

  // What the window shows now (Cairo's premultiplied pixels, window-sized).
  const cv::Mat& lastFrame() const { return frame_; }
  int framesShown() const { return framesShown_; }
  // A point of the window (pixels) in the key window's coordinates.
  Point pointFromWindowPixel(double x, double y) const;
  // The reverse, for drivers that want to click where a view is.
  Point windowPixelFromPoint(Point point) const;

 private:
  explicit DesktopWindow(Options options) : options_(std::move(options)) {}
  void handle(const SDL_Event& event);
  void followFirstResponder();
  void drawFrame();

  Options options_;
  SDL_Window* window_ = nullptr;
  ViewRenderer renderer_;
  PointerInput pointer_;
  KeyboardHost keyboard_;
  cv::Mat frame_;
  cv::Mat scratch_;
  int framesShown_ = 0;
  double fitScale_ = 1;
  Point fitOffset_;
  bool forceRedraw_ = true;
};

}  // namespace ostrel::platform
