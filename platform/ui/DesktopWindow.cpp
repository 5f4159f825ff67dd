#include "platform/ui/DesktopWindow.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <SDL.h>

#include "platform/runtime/DispatchQueue.hpp"
#include "platform/ui/TextField.hpp"

namespace ostrel::platform {
namespace {

bool named(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

std::shared_ptr<TextField> editingField() {
  return std::dynamic_pointer_cast<TextField>(Responder::currentFirstResponder());
}

}  // namespace

bool DesktopWindow::displayAvailable() {
  if (named("DISPLAY") || named("WAYLAND_DISPLAY")) return true;
  // Drivers that need no display server.
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  return driver && (std::string_view(driver) == "offscreen" || std::string_view(driver) == "dummy");
}

std::shared_ptr<DesktopWindow> DesktopWindow::open(Options options, std::string& error) {
  if (!displayAvailable()) {
    error = "no display: a window needs DISPLAY or WAYLAND_DISPLAY";
    return nullptr;
  }
  // Frames are drawn by Cairo and copied to the window's own surface; a GPU renderer behind
  // the surface would only add a GL stack (and its driver's load-time allocations) for a copy.
  // The environment variable of the same name still overrides this.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    error = std::string("cannot start the display: ") + SDL_GetError();
    return nullptr;
  }
  auto key = Window::keyWindow();
  Rect bounds = key ? key->bounds() : Screen::main().bounds();
  double scale = options.scale;
  if (scale <= 0) {
    scale = 1;
    SDL_Rect usable;
    if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > 0 && usable.h > 0) {
      scale = std::min({1.0, usable.w / bounds.width(), 0.95 * usable.h / bounds.height()});
    }
  }
  int w = std::max(1, static_cast<int>(std::lround(bounds.width() * scale)));
  int h = std::max(1, static_cast<int>(std::lround(bounds.height() * scale)));
  SDL_Window* sdl = SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_CENTERED,
                                     SDL_WINDOWPOS_CENTERED, w, h, SDL_WINDOW_RESIZABLE);
  if (!sdl) {
    error = std::string("cannot open a window: ") + SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return nullptr;
  }
  SDL_StartTextInput();
  std::shared_ptr<DesktopWindow> window(new DesktopWindow(std::move(options)));
  window->window_ = sdl;
  return window;
}

DesktopWindow::~DesktopWindow() {
  close();
}

void DesktopWindow::start() {
  std::weak_ptr<DesktopWindow> weak = weak_from_this();
  double interval = 1.0 / std::max(1.0, options_.framesPerSecond);
  DispatchQueue::main()->asyncAfter(interval, [weak] {
    auto self = weak.lock();
    if (!self || !self->isOpen()) return;
    self->pumpEvents();
    if (self->isOpen()) self->start();
  });
}

void DesktopWindow::close() {
  if (!window_) return;
  pointer_.cancel();
  keyboard_.hide(0);
  SDL_StopTextInput();
  SDL_DestroyWindow(window_);
  window_ = nullptr;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void DesktopWindow::pumpEvents() {
  SDL_Event event;
  while (window_ && SDL_PollEvent(&event)) handle(event);
  if (!window_) return;
  followFirstResponder();
  drawFrame();
}

Point DesktopWindow::pointFromWindowPixel(double x, double y) const {
  return {(x - fitOffset_.x) / fitScale_, (y - fitOffset_.y) / fitScale_};
}

Point DesktopWindow::windowPixelFromPoint(Point point) const {
  return {point.x * fitScale_ + fitOffset_.x, point.y * fitScale_ + fitOffset_.y};
}

void DesktopWindow::handle(const SDL_Event& event) {
  // Mouse positions come in window units, which differ from pixels on high-density screens.
  auto pixel = [this](int x, int y) {
    int ww = 1, wh = 1;
    SDL_GetWindowSize(window_, &ww, &wh);
    double ratio = frame_.empty() || ww <= 0 ? 1.0 : static_cast<double>(frame_.cols) / ww;
    return pointFromWindowPixel(x * ratio, y * ratio);
  };
  switch (event.type) {
    case SDL_QUIT:
      break;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) break;
      forceRedraw_ = true;
      return;
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.button == SDL_BUTTON_LEFT)
        pointer_.press(Window::keyWindow(), pixel(event.button.x, event.button.y));
      return;
    case SDL_MOUSEMOTION:
      if (pointer_.isPressed()) pointer_.move(pixel(event.motion.x, event.motion.y));
      return;
    case SDL_MOUSEBUTTONUP:
      if (event.button.button == SDL_BUTTON_LEFT)
        pointer_.release(pixel(event.button.x, event.button.y),
                         std::max<int>(1, event.button.clicks));
      return;
    case SDL_TEXTINPUT:
      if (auto field = editingField()) field->insertText(event.text.text);
      return;
    case SDL_KEYDOWN:
      if (auto field = editingField()) {
        if (event.key.keysym.sym == SDLK_BACKSPACE) field->deleteBackward();
        if (event.key.keysym.sym == SDLK_RETURN || event.key.keysym.sym == SDLK_KP_ENTER)
          field->returnKey();
      }
      return;
    default:
      return;
  }
  // The user closed the window: the application goes away with it.
  auto onClose = std::move(options_.onClose);
  close();
  if (onClose) onClose();
}

void DesktopWindow::followFirstResponder() {
  auto field = editingField();
  bool editing = field && field->window();
  if (editing && !keyboard_.frame()) {
    Rect screen = Screen::main().bounds();
    double height = std::min(300.0, screen.height() * 0.4);
    auto key = Window::keyWindow();
    auto scene = key ? key->windowScene() : nullptr;
    if (!scene && !WindowScene::connectedScenes().empty())
      scene = WindowScene::connectedScenes().front();
    keyboard_.show(scene, {screen.minX(), screen.maxY() - height, screen.width(), height});
  } else if (!editing && keyboard_.frame()) {
    keyboard_.hide();
  }
}

void DesktopWindow::drawFrame() {
  SDL_Surface* surface = SDL_GetWindowSurface(window_);
  if (!surface) return;
  if (scratch_.rows != surface->h || scratch_.cols != surface->w) {
    scratch_.create(surface->h, surface->w, CV_8UC4);
    forceRedraw_ = true;
  }
  auto key = Window::keyWindow();
  if (key) {
    // The host's part of a frame on the platform: layout and the display pass, then drawing.
    key->displayIfNeeded();
    Fit fit = fitInside(key->bounds().size,
                        {static_cast<double>(surface->w), static_cast<double>(surface->h)});
    fitScale_ = fit.scale > 0 ? fit.scale : 1;
    fitOffset_ = fit.offset;
    renderer_.drawScreen(scratch_, *key);
  } else {
    scratch_.setTo(cv::Scalar(0, 0, 0, 255));
  }
  bool same = !forceRedraw_ && frame_.size() == scratch_.size() &&
              std::memcmp(frame_.data, scratch_.data, scratch_.total() * scratch_.elemSize()) == 0;
  if (same) return;
  scratch_.copyTo(frame_);
  forceRedraw_ = false;
  if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
  SDL_ConvertPixels(surface->w, surface->h, SDL_PIXELFORMAT_ARGB8888, frame_.data,
                    static_cast<int>(frame_.step[0]), surface->format->format, surface->pixels,
                    surface->pitch);
  if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  SDL_UpdateWindowSurface(window_);
  ++framesShown_;
}

}  // namespace ostrel::platform
