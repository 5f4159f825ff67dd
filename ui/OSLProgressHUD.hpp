#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/runtime/NotificationCenter.hpp"
#include "platform/ui/Bars.hpp"
#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/Window.hpp"

namespace ostrel {

// A circular progress ring with a percentage label; declared for the loading indicator, which
// never makes one.
class ProgressView : public platform::View {
 public:
  explicit ProgressView(platform::Rect frame = {});
  platform::Color color = platform::Color::systemBackground();
  double progress = 0;
  std::shared_ptr<platform::ShapeLayer> layerCircle;
  std::shared_ptr<platform::ShapeLayer> layerProgress;
  std::shared_ptr<platform::Label> labelPercentage;
  void draw(platform::Rect rect) override;
};

// The library's loading indicator: a rounded box with three dots chasing each other round a
// triangle and a status text, centred above the keyboard over a dimming (or pass-through)
// backdrop. One shared instance; `show` and `dismiss` may be called from any thread and do
// their work on the main queue, in call order. The indicator's alpha is its visibility flag;
// its visible views live in `main`, the application's first window.
class OSLProgressHUD : public platform::View {
 public:
  static std::shared_ptr<OSLProgressHUD> shared();
  // An absent or empty status shows the localised "please_wait". `interaction` lets touches
  // through to the screen beneath.
  static void show(std::optional<std::string> status = std::nullopt, bool interaction = false);
  static void dismiss();
  // A fresh indicator with no window (between tests).
  static void resetForTesting();

  static constexpr double kEntranceScale = 1.4;
  static constexpr double kAnimationDuration = 0.15;

  OSLProgressHUD();

  std::shared_ptr<platform::Window> main;
  double mediaSize = 60;
  double marginSize = 30;
  std::shared_ptr<platform::View> viewBackground;
  std::shared_ptr<platform::Toolbar> toolbarHUD;
  std::shared_ptr<platform::Label> labelStatus;
  std::shared_ptr<ProgressView> viewProgress;
  std::shared_ptr<platform::View> viewLiveIcon;
  std::shared_ptr<platform::ImageView> viewStaticImage;
  std::shared_ptr<platform::View> viewAnimation;
  std::string animationSymbol = "sun.max";
  platform::Color colorBackground = platform::Color::black().withAlphaComponent(0.2);
  platform::Color colorHUD = platform::Color::systemGray();
  platform::Color colorStatus = platform::Color::label();
  platform::Color colorProgress;
  platform::Color colorAnimation;
  platform::Font fontStatus = platform::Font::boldSystemFont(24);
  bool didSetupNotifications = false;

  // Recentres the box above the keyboard; the target of the keyboard and orientation
  // notifications, and run (without a notification) by every show.
  void setupPosition(const platform::Notification* notification);
  // The height of the system keyboard on screen, found through its host views; 0 without one.
  static double keyboardHeightProbe();

 private:
  void showStatus(const std::string& status, bool interaction);
  void hide();
  void drawDots();
  void layoutBox(const std::string& status);

  // Bumped by every show: a hide's pending teardown that sees another value stands down, so a
  // show right after a dismiss keeps the indicator up.
  std::uint64_t generation_ = 0;
  bool hiding_ = false;
};

}  // namespace ostrel
