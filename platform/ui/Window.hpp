#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/View.hpp"

namespace ostrel::platform {

class WindowScene;

// A window: the root of a view hierarchy, optionally with a root view controller, and at most
// one key window at a time. Its frame is in screen coordinates.
class Window : public View {
 public:
  explicit Window(Rect frame = {});

  std::shared_ptr<Window> window() const override;

  std::shared_ptr<ViewController> rootViewController() const { return root_; }
  // Puts the controller's view in the window, filling it; its appearance callbacks follow
  // when the window is visible.
  void setRootViewController(std::shared_ptr<ViewController> controller);

  void makeKeyAndVisible();
  void makeKey();
  bool isKeyWindow() const;
  static std::shared_ptr<Window> keyWindow();

  std::shared_ptr<WindowScene> windowScene() const { return scene_.lock(); }
  double windowLevel = 0;
  // Forces an appearance for everything in this window.
  std::optional<UserInterfaceStyle> overrideUserInterfaceStyle;

  Point convertToScreen(Point p) const { return {p.x + frame().origin.x, p.y + frame().origin.y}; }
  Rect convertRectToScreen(Rect r) const { return {convertToScreen(r.origin), r.size}; }

 private:
  friend class WindowScene;
  std::shared_ptr<ViewController> root_;
  std::weak_ptr<WindowScene> scene_;
};

// A scene of the application with its windows, in the order they were added.
class WindowScene : public Object {
 public:
  enum class ActivationState { unattached, foregroundActive, foregroundInactive, background };

  ActivationState activationState = ActivationState::foregroundActive;
  const std::vector<std::shared_ptr<Window>>& windows() const { return windows_; }
  void addWindow(const std::shared_ptr<Window>& window);
  void removeWindow(const Window* window);

  // The application's connected scenes (one in practice) and every window of them, the
  // application's own window first.
  static std::vector<std::shared_ptr<WindowScene>> connectedScenes();
  static void connect(const std::shared_ptr<WindowScene>& scene);
  static void disconnectAll();
  static std::vector<std::shared_ptr<Window>> allWindows();

  // Asks the system to turn the scene to one of the orientations of the mask (raw values of
  // `InterfaceOrientationMask`). Recorded, in order; nothing turns here.
  void requestGeometryUpdate(unsigned interfaceOrientations) {
    geometryRequests_.push_back(interfaceOrientations);
  }
  const std::vector<unsigned>& geometryRequests() const { return geometryRequests_; }

 private:
  std::vector<std::shared_ptr<Window>> windows_;
  std::vector<unsigned> geometryRequests_;
};

// The device screen: bounds in points, scale, and the appearance the system is in.
class Screen {
 public:
  static Screen& main();

  Rect bounds() const { return bounds_; }
  void setBounds(Rect bounds) { bounds_ = bounds; }
  double scale() const { return scale_; }
  void setScale(double scale) { scale_ = scale; }
  UserInterfaceStyle traitStyle() const { return style_; }
  // Changes the system appearance; every view whose resolved appearance changes hears of it.
  void setTraitStyle(UserInterfaceStyle style);
  // Back to a 390 x 844 point screen at scale 3 in light appearance (between tests).
  void resetForTesting();

 private:
  Rect bounds_{0, 0, 390, 844};
  double scale_ = 3;
  UserInterfaceStyle style_ = UserInterfaceStyle::light;
};

}  // namespace ostrel::platform
