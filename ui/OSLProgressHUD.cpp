#include "ui/OSLProgressHUD.hpp"

#include <cmath>
#include <numbers>

#include "core/Localization.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/ui/Animation.hpp"
#include "platform/ui/Keyboard.hpp"
#include "platform/ui/Text.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

std::shared_ptr<OSLProgressHUD>& instance() {
  static std::shared_ptr<OSLProgressHUD> hud;
  return hud;
}

std::mutex& instanceMutex() {
  static std::mutex mutex;
  return mutex;
}

bool startsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

std::shared_ptr<AnimationGroup> dotGroup(std::vector<std::pair<const char*, double>> moves) {
  auto group = std::make_shared<AnimationGroup>();
  for (const auto& [keyPath, to] : moves) {
    auto move = std::make_shared<BasicAnimation>(keyPath);
    move->fromValue = 0;
    move->toValue = to;
    move->duration = 0.6;
    move->timingFunction = TimingFunction::easeInEaseOut;
    group->animations.push_back(move);
  }
  group->duration = 0.6;
  group->timingFunction = TimingFunction::easeInEaseOut;
  group->repeatCount = std::numeric_limits<double>::infinity();
  group->isRemovedOnCompletion = false;
  return group;
}

}  // namespace

ProgressView::ProgressView(Rect frame)
    : View(frame),
      layerCircle(std::make_shared<ShapeLayer>()),
      layerProgress(std::make_shared<ShapeLayer>()),
      labelPercentage(make<Label>()) {}

void ProgressView::draw(Rect rect) {
  View::draw(rect);
  for (auto subviews = this->subviews(); const auto& v : subviews) v->removeFromSuperview();
  layer()->removeAllSublayers();
  Point centre{bounds().width() / 2, bounds().height() / 2};
  double w = bounds().width();
  layerCircle->path =
      Path::arc(centre, w / 2, -std::numbers::pi / 2, 3 * std::numbers::pi / 2, true);
  layerCircle->fillColor = Color::clear();
  layerCircle->lineWidth = 3;
  layerCircle->strokeColor = color;
  layerProgress->path =
      Path::arc(centre, w / 2 - 5, -std::numbers::pi / 2, 3 * std::numbers::pi / 2, true);
  layerProgress->fillColor = Color::clear();
  layerProgress->lineWidth = 7;
  layerProgress->strokeColor = color;
  layerProgress->strokeEnd = 0;
  layer()->addSublayer(layerCircle);
  layer()->addSublayer(layerProgress);
  labelPercentage->setFrame(bounds());
  labelPercentage->setTextColor(color);
  labelPercentage->textAlignment = TextAlignment::center;
  addSubview(labelPercentage);
}

OSLProgressHUD::OSLProgressHUD()
    : View(Screen::main().bounds()),
      colorProgress(colorFromHex("#61A684")),
      colorAnimation(colorFromHex("#61A684")) {
  setAlpha(0);
}

std::shared_ptr<OSLProgressHUD> OSLProgressHUD::shared() {
  std::lock_guard lock(instanceMutex());
  auto& hud = instance();
  if (!hud) hud = make<OSLProgressHUD>();
  return hud;
}

void OSLProgressHUD::resetForTesting() {
  std::shared_ptr<OSLProgressHUD> old;
  {
    std::lock_guard lock(instanceMutex());
    old = std::move(instance());
  }
  if (!old) return;
  NotificationCenter::defaultCenter().removeObserver(old.get());
  if (old->viewBackground) old->viewBackground->removeFromSuperview();
}

void OSLProgressHUD::show(std::optional<std::string> status, bool interaction) {
  DispatchQueue::main()->async([status = std::move(status), interaction] {
    std::string text = status && !status->empty() ? *status : osl_localize("please_wait");
    shared()->showStatus(text, interaction);
  });
}

void OSLProgressHUD::dismiss() {
  DispatchQueue::main()->async([] { shared()->hide(); });
}

void OSLProgressHUD::showStatus(const std::string& status, bool interaction) {
  ++generation_;
  // viewProgress and the timer are never made here; only the cleanup of the former remains.
  if (!main) {
    auto windows = WindowScene::allWindows();
    if (!windows.empty()) main = windows.front();
  }
  if (!viewBackground) viewBackground = make<View>(bounds());
  // Without a window the views wait unattached; a later show attaches them.
  if (main && viewBackground->superview() != main) main->addSubview(viewBackground);
  viewBackground->setBackgroundColor(interaction ? Color::clear() : colorBackground);
  viewBackground->setUserInteractionEnabled(!interaction);

  if (!toolbarHUD) {
    toolbarHUD = make<Toolbar>(Rect{});
    toolbarHUD->isTranslucent = true;
    toolbarHUD->setClipsToBounds(true);
    toolbarHUD->layer()->cornerRadius = 10;
    toolbarHUD->layer()->masksToBounds = true;
    viewBackground->addSubview(toolbarHUD);
  }
  toolbarHUD->setBackgroundColor(colorHUD);

  if (!labelStatus) {
    labelStatus = make<Label>();
    labelStatus->textAlignment = TextAlignment::center;
    labelStatus->baselineAdjustment = BaselineAdjustment::alignCenters;
    labelStatus->setNumberOfLines(0);
    toolbarHUD->addSubview(labelStatus);
  }
  labelStatus->setText(status);
  labelStatus->setFont(fontStatus);
  labelStatus->setTextColor(colorStatus);
  labelStatus->setHidden(false);

  if (viewProgress) {
    viewProgress->removeFromSuperview();
    viewProgress.reset();
  }

  if (!viewAnimation) viewAnimation = make<View>(Rect{0, 0, mediaSize, mediaSize});
  if (!viewAnimation->superview()) toolbarHUD->addSubview(viewAnimation);
  for (auto subviews = viewAnimation->subviews(); const auto& v : subviews)
    v->removeFromSuperview();
  viewAnimation->layer()->removeAllSublayers();
  drawDots();

  layoutBox(status);

  if (!didSetupNotifications) {
    auto& center = NotificationCenter::defaultCenter();
    std::weak_ptr<OSLProgressHUD> weakSelf = weak<OSLProgressHUD>();
    for (const char* name :
         {KeyboardWillShowNotification, KeyboardWillHideNotification, KeyboardDidShowNotification,
          KeyboardDidHideNotification, DeviceOrientationDidChangeNotification}) {
      center.addObserver(weak<OSLProgressHUD>(), name, [weakSelf](const Notification& n) {
        if (auto self = weakSelf.lock()) self->setupPosition(&n);
      });
    }
    didSetupNotifications = true;
  }
  setupPosition(nullptr);

  if (hiding_) {
    // The box was fading out: take it back where it rests.
    hiding_ = false;
    toolbarHUD->setAlpha(1);
    toolbarHUD->setTransform(AffineTransform::scale(1 / kEntranceScale, 1 / kEntranceScale));
  }
  if (alpha() == 0) {
    setAlpha(1);
    toolbarHUD->setAlpha(0);
    toolbarHUD->setTransform(AffineTransform::scale(kEntranceScale, kEntranceScale));
    auto box = toolbarHUD;
    AnimationOptions options;
    options.curve = TimingFunction::easeIn;
    options.allowUserInteraction = true;
    View::animate(kAnimationDuration, 0, options, [box] {
      box->setTransform(AffineTransform::scale(1 / kEntranceScale, 1 / kEntranceScale));
      box->setAlpha(1);
    });
  }
}

void OSLProgressHUD::drawDots() {
  double s = viewAnimation->frame().width();
  double h = viewAnimation->frame().height();
  double r = s / 5.5;
  double d = s - 2 * r;
  auto dot = [&](Point centre, std::vector<std::pair<const char*, double>> moves) {
    auto layer = std::make_shared<ShapeLayer>();
    layer->path = Path::arc(centre, r, 0, 2 * std::numbers::pi, true);
    layer->fillColor = colorAnimation;
    layer->addAnimation(dotGroup(std::move(moves)), "animation");
    viewAnimation->layer()->addSublayer(layer);
  };
  dot({r, r}, {{"position.x", d}});
  dot({s - r, r}, {{"position.y", d}, {"position.x", -d / 2}});
  dot({s / 2, h - r}, {{"position.y", -d}, {"position.x", -d / 2}});
}

void OSLProgressHUD::layoutBox(const std::string& status) {
  Size text = TextMeasurer::shared().boundingSize(status, fontStatus, {250, 250});
  double m = mediaSize;
  double g = marginSize;
  double w = std::max(m + 2 * g, text.width + 2 * g);
  double h = std::max(m + 2 * g, m + text.height + 2 * g);
  toolbarHUD->setBounds({0, 0, std::ceil(w), std::ceil(h)});
  Point centre{w / 2, m / 2 + g};
  viewAnimation->setCenter(centre);
  if (viewProgress) viewProgress->setCenter(centre);
  if (viewLiveIcon) viewLiveIcon->setCenter(centre);
  if (viewStaticImage) viewStaticImage->setCenter(centre);
  labelStatus->setFrame(
      {(w - text.width) / 2, (m + g) / 2 + (h - text.height) / 2, text.width, text.height});
}

double OSLProgressHUD::keyboardHeightProbe() {
  for (const auto& window : WindowScene::allWindows()) {
    for (const auto& container : window->subviews()) {
      if (!startsWith(typeNameWithoutModule(*container), "UIInputSetContainerView")) continue;
      for (const auto& host : container->subviews()) {
        if (!startsWith(typeNameWithoutModule(*host), "UIInputSetHostView")) continue;
        if (window->convertRectToScreen(host->frame()).intersects(Screen::main().bounds())) {
          return host->frame().height();
        }
      }
    }
  }
  return 0;
}

void OSLProgressHUD::setupPosition(const Notification* notification) {
  double keyboard = 0;
  double duration = 0;
  if (!notification) {
    keyboard = keyboardHeightProbe();
  } else {
    const auto& info = notification->userInfo;
    double height = 0;
    if (info.is_object()) {
      if (auto it = info.find(KeyboardFrameEndUserInfoKey); it != info.end()) {
        if (auto frame = rectFromJSON(*it)) height = frame->height();
      }
      duration = numberFromJSON(info, KeyboardAnimationDurationUserInfoKey).value_or(0);
    }
    const auto& name = notification->name;
    if (name == KeyboardWillShowNotification || name == KeyboardDidShowNotification) {
      keyboard = height;
    } else if (name == KeyboardWillHideNotification || name == KeyboardDidHideNotification) {
      keyboard = 0;
    } else {
      keyboard = keyboardHeightProbe();
    }
  }
  std::weak_ptr<OSLProgressHUD> weakSelf = weak<OSLProgressHUD>();
  DispatchQueue::main()->async([weakSelf, keyboard, duration] {
    auto self = weakSelf.lock();
    if (!self || !self->main) return;
    auto window = self->main;
    auto backdrop = self->viewBackground;
    auto box = self->toolbarHUD;
    AnimationOptions options;
    options.allowUserInteraction = true;
    View::animate(duration, 0, options, [window, backdrop, box, keyboard] {
      if (backdrop) backdrop->setFrame(window->bounds());
      if (box) {
        box->setCenter({window->bounds().width() / 2, (window->bounds().height() - keyboard) / 2});
      }
    });
  });
}

void OSLProgressHUD::hide() {
  if (alpha() != 1 || hiding_) return;
  hiding_ = true;
  auto generation = generation_;
  auto box = toolbarHUD;
  AnimationOptions options;
  options.curve = TimingFunction::easeIn;
  options.allowUserInteraction = true;
  std::weak_ptr<OSLProgressHUD> weakSelf = weak<OSLProgressHUD>();
  View::animate(
      kAnimationDuration, 0, options,
      [box] {
        if (!box) return;
        box->setTransform(AffineTransform::scale(0.3, 0.3));
        box->setAlpha(0);
      },
      [weakSelf, generation](bool) {
        auto self = weakSelf.lock();
        // A show since this hide began keeps the indicator.
        if (!self || self->generation_ != generation || !self->hiding_) return;
        self->hiding_ = false;
        if (self->didSetupNotifications) {
          NotificationCenter::defaultCenter().removeObserver(self.get());
          self->didSetupNotifications = false;
        }
        auto drop = [](auto& view) {
          if (view) view->removeFromSuperview();
          view.reset();
        };
        drop(self->viewProgress);
        drop(self->viewAnimation);
        drop(self->labelStatus);
        drop(self->toolbarHUD);
        drop(self->viewBackground);
        self->setAlpha(0);
      });
}

}  // namespace ostrel
