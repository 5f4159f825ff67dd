#include "platform/ui/Keyboard.hpp"

#include "platform/foundation/Make.hpp"
#include "platform/runtime/NotificationCenter.hpp"

namespace ostrel::platform {

JSON rectToJSON(const Rect& rect) {
  return {
      {"x", rect.minX()}, {"y", rect.minY()}, {"width", rect.width()}, {"height", rect.height()}};
}

std::optional<Rect> rectFromJSON(const JSON& value) {
  if (!value.is_object()) return std::nullopt;
  double parts[4];
  const char* keys[4] = {"x", "y", "width", "height"};
  for (int i = 0; i < 4; ++i) {
    auto it = value.find(keys[i]);
    if (it == value.end() || !it->is_number()) return std::nullopt;
    parts[i] = it->get<double>();
  }
  return Rect{parts[0], parts[1], parts[2], parts[3]};
}

std::optional<double> numberFromJSON(const JSON& object, const char* key) {
  if (!object.is_object()) return std::nullopt;
  auto it = object.find(key);
  if (it == object.end() || !it->is_number()) return std::nullopt;
  return it->get<double>();
}

namespace {

void postKeyboard(const char* will, const char* did, Rect begin, Rect end, double duration) {
  JSON info = {{KeyboardFrameBeginUserInfoKey, rectToJSON(begin)},
               {KeyboardFrameEndUserInfoKey, rectToJSON(end)},
               {KeyboardAnimationDurationUserInfoKey, duration}};
  NotificationCenter::defaultCenter().post(will, info);
  NotificationCenter::defaultCenter().post(did, info);
}

}  // namespace

void KeyboardHost::show(const std::shared_ptr<WindowScene>& scene, Rect endFrame,
                        double duration) {
  Rect screen = Screen::main().bounds();
  if (!window_) {
    window_ = make<Window>(screen);
    window_->windowLevel = 1e7;
    auto container = make<UIInputSetContainerView>(screen);
    auto host = make<UIInputSetHostView>(endFrame);
    host->setBackgroundColor(Color{0.82, 0.83, 0.86, 1});
    container->addSubview(host);
    window_->addSubview(container);
    if (scene) scene->addWindow(window_);
    scene_ = scene;
  } else {
    window_->subviews().front()->subviews().front()->setFrame(endFrame);
  }
  Rect begin = frame_.value_or(Rect{endFrame.minX(), screen.maxY(), endFrame.width(), endFrame.height()});
  frame_ = endFrame;
  postKeyboard(KeyboardWillShowNotification, KeyboardDidShowNotification, begin, endFrame,
               duration);
}

void KeyboardHost::hide(double duration) {
  if (!frame_) return;
  Rect begin = *frame_;
  Rect end{begin.minX(), Screen::main().bounds().maxY(), begin.width(), begin.height()};
  if (auto scene = scene_.lock(); scene && window_) scene->removeWindow(window_.get());
  window_.reset();
  frame_.reset();
  postKeyboard(KeyboardWillHideNotification, KeyboardDidHideNotification, begin, end, duration);
}

}  // namespace ostrel::platform
