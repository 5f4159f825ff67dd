#include "testing/ScriptedUser.hpp"

#include "platform/ui/AlertController.hpp"
#include "platform/ui/PhotoPickers.hpp"

#include "platform/foundation/Make.hpp"
#include "platform/runtime/Application.hpp"
#include "platform/runtime/NotificationCenter.hpp"
#include "platform/ui/Keyboard.hpp"

namespace ostrel::testing {

using namespace platform;

namespace {

// Tap recognisers that would see a touch on `view`: its own and its ancestors'.
std::vector<std::shared_ptr<GestureRecognizer>> tapRecognizersFor(
    const std::shared_ptr<View>& view) {
  std::vector<std::shared_ptr<GestureRecognizer>> found;
  for (auto v = view; v; v = v->superview()) {
    for (const auto& r : v->gestureRecognizers()) {
      if (std::dynamic_pointer_cast<TapGestureRecognizer>(r) && r->isEnabled) found.push_back(r);
    }
  }
  return found;
}

}  // namespace

std::shared_ptr<View> ScriptedUser::tapAt(const std::shared_ptr<Window>& window, Point point) {
  if (!window) return nullptr;
  auto hit = window->hitTest(point);
  if (!hit) return nullptr;
  Touch touch{hit, window, point, point};
  bool cancelled = false;
  for (const auto& r : tapRecognizersFor(hit)) {
    if (r->drive(GestureState::ended, point) && r->cancelsTouchesInView) cancelled = true;
  }
  hit->touchesBegan(touch);
  if (cancelled) {
    hit->touchesCancelled(touch);
  } else {
    hit->touchesEnded(touch);
  }
  return hit;
}

std::shared_ptr<View> ScriptedUser::tap(const std::shared_ptr<View>& view) {
  if (!view) return nullptr;
  auto window = view->window();
  if (!window) return nullptr;
  Rect b = view->bounds();
  return tapAt(window, view->convertPointTo({b.midX(), b.midY()}, nullptr));
}

void ScriptedUser::tap(const std::shared_ptr<BarButtonItem>& item) {
  if (!item) return;
  // A bar on screen shows the item as a view: the finger taps what the bar drew.
  if (auto shown = item->shownView(); shown && shown->window()) {
    tap(shown);
  } else if (item->customView) {
    tap(item->customView);
  } else {
    item->performAction();
  }
}

void ScriptedUser::fire(const std::shared_ptr<GestureRecognizer>& recognizer) {
  if (!recognizer) return;
  auto view = recognizer->view();
  Point at = view ? view->convertPointTo({view->bounds().midX(), view->bounds().midY()}, nullptr)
                  : Point{};
  if (auto pan = std::dynamic_pointer_cast<PanGestureRecognizer>(recognizer)) {
    recognizer->drive(GestureState::began, at);
    recognizer->drive(GestureState::ended, at);
    return;
  }
  recognizer->drive(GestureState::ended, at);
}

void ScriptedUser::typeText(const std::shared_ptr<TextField>& field, const std::string& text) {
  if (!field) return;
  field->becomeFirstResponder();
  std::size_t i = 0;
  while (i < text.size()) {
    // One UTF-8 character at a time.
    std::size_t len = 1;
    auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0xF0)
      len = 4;
    else if (c >= 0xE0)
      len = 3;
    else if (c >= 0xC0)
      len = 2;
    field->insertText(text.substr(i, len));
    i += len;
  }
}

void ScriptedUser::clearText(const std::shared_ptr<TextField>& field) {
  if (!field) return;
  field->becomeFirstResponder();
  field->replaceCharacters({0, utf16Length(field->text())}, "");
}

bool ScriptedUser::pressReturn(const std::shared_ptr<TextField>& field) {
  return field && field->returnKey();
}

void ScriptedUser::drag(const std::shared_ptr<Control>& control, const std::vector<double>& steps) {
  if (!control) return;
  auto window = control->window();
  Rect b = control->bounds();
  Point at = control->convertPointTo({b.midX(), b.midY()}, nullptr);
  Touch touch{control, window, at, at};
  control->touchesBegan(touch);
  for (double dx : steps) {
    touch.previousLocationInWindow = touch.locationInWindow;
    touch.locationInWindow.x += dx;
    control->touchesMoved(touch);
  }
  control->touchesEnded(touch);
}

void ScriptedUser::pan(const std::shared_ptr<PanGestureRecognizer>& recognizer,
                       const std::vector<Point>& translations) {
  if (!recognizer) return;
  recognizer->setTranslation({0, 0}, nullptr);
  if (!recognizer->drive(GestureState::began, {})) return;
  for (const auto& t : translations) {
    recognizer->setTranslation(t, nullptr);
    recognizer->drive(GestureState::changed, t);
  }
  recognizer->drive(GestureState::ended, translations.empty() ? Point{} : translations.back());
}

PresentationRecorder::PresentationRecorder()
    : events_(std::make_shared<std::vector<PresentationEvent>>()) {
  auto events = events_;
  ViewController::setPresentationObserver(
      [events](const PresentationEvent& e) { events->push_back(e); });
}

PresentationRecorder::~PresentationRecorder() {
  ViewController::setPresentationObserver({});
}

UITest::UITest() {
  Screen::main().resetForTesting();
  AnimationLog::shared().clear();
  CATransaction::reset();
  WindowScene::disconnectAll();
  scene_ = make<WindowScene>();
  WindowScene::connect(scene_);
  window_ = make<Window>(Screen::main().bounds());
  scene_->addWindow(window_);
  window_->makeKeyAndVisible();
}

UITest::~UITest() {
  if (auto responder = Responder::currentFirstResponder()) responder->resignFirstResponder();
  ViewController::setPresentationObserver({});
  WindowScene::disconnectAll();
  AnimationLog::shared().clear();
  CATransaction::reset();
  Screen::main().resetForTesting();
}

std::shared_ptr<ViewController> UITest::topPresented() const {
  std::shared_ptr<ViewController> top = window_->rootViewController();
  while (top && top->presentedViewController()) top = top->presentedViewController();
  return top;
}

bool UITest::tapAlertAction(const std::string& title) {
  auto alert = std::dynamic_pointer_cast<AlertController>(topPresented());
  return alert && alert->performAction(title);
}

bool UITest::pickPhoto(std::size_t index) {
  auto top = topPresented();
  if (auto modern = std::dynamic_pointer_cast<PHPickerViewController>(top)) return modern->pick(index);
  if (auto legacy = std::dynamic_pointer_cast<ImagePickerController>(top)) return legacy->pick(index);
  return false;
}

bool UITest::cancelPhotoPicker() {
  auto top = topPresented();
  if (auto modern = std::dynamic_pointer_cast<PHPickerViewController>(top)) {
    modern->cancel();
    return true;
  }
  if (auto legacy = std::dynamic_pointer_cast<ImagePickerController>(top)) {
    legacy->cancel();
    return true;
  }
  return false;
}

bool UITest::swipeAwaySheet(const std::shared_ptr<ViewController>& controller) {
  if (!controller) return false;
  std::shared_ptr<ViewController> outermost = controller;
  while (auto up = outermost->parent()) outermost = up;
  if (!outermost->presentingViewController()) return false;
  switch (outermost->modalPresentationStyle) {
    case ModalPresentationStyle::automatic:
    case ModalPresentationStyle::pageSheet:
    case ModalPresentationStyle::formSheet:
      break;
    default:
      return false;
  }
  auto presentation = outermost->presentationController();
  return outermost->dismiss(true, [presentation] {
    if (auto delegate = presentation->delegate.lock())
      delegate->presentationControllerDidDismiss(*presentation);
  });
}

void UITest::runDisplayPass(const std::shared_ptr<View>& root) {
  (root ? root : std::static_pointer_cast<View>(window_))->displayIfNeeded();
}

void UITest::show(const std::shared_ptr<ViewController>& controller) {
  window_->setRootViewController(controller);
  runUntilIdle();
}

void UITest::setApplicationActive(bool active) {
  scene_->activationState = active ? WindowScene::ActivationState::foregroundActive
                                   : WindowScene::ActivationState::background;
  Application::shared().setApplicationState(active ? ApplicationState::active
                                                   : ApplicationState::background);
}

void UITest::rotateDevice(DeviceOrientation orientation) {
  Device::current().setOrientation(orientation);
  Rect frame = window_->frame();
  const double shortSide = std::min(frame.width(), frame.height());
  const double longSide = std::max(frame.width(), frame.height());
  switch (orientation) {
    case DeviceOrientation::portrait:
    case DeviceOrientation::portraitUpsideDown: frame.size = {shortSide, longSide}; break;
    case DeviceOrientation::landscapeLeft:
    case DeviceOrientation::landscapeRight: frame.size = {longSide, shortSide}; break;
    default: break;
  }
  auto coordinator = std::make_shared<ViewControllerTransitionCoordinator>();
  std::function<void(const std::shared_ptr<ViewController>&)> tell =
      [&](const std::shared_ptr<ViewController>& controller) {
        controller->viewWillTransitionToSize(frame.size, coordinator);
        for (const auto& child : controller->childrenForAppearanceForwarding()) tell(child);
      };
  if (auto root = window_->rootViewController()) tell(root);
  window_->setFrame(frame);
  if (auto root = window_->rootViewController(); root && root->isViewLoaded())
    root->view()->setFrame({{0, 0}, frame.size});
}

void UITest::setTraitStyle(UserInterfaceStyle style) {
  Screen::main().setTraitStyle(style);
}

void UITest::showKeyboard(Rect endFrame, double duration) {
  keyboard_.show(scene_, endFrame, duration);
}

void UITest::hideKeyboard(double duration) {
  keyboard_.hide(duration);
}

std::vector<std::string> UITest::haptics() const {
  return Application::shared().feedbackLog();
}

}  // namespace ostrel::testing
