#include "platform/ui/Animation.hpp"

#include "platform/runtime/DispatchQueue.hpp"
#include "platform/runtime/Runtime.hpp"

namespace ostrel::platform {

const AnimationChange* AnimationRecord::change(const View* view,
                                               const std::string& property) const {
  for (auto it = changes.rbegin(); it != changes.rend(); ++it) {
    if (it->viewIdentity == view && it->property == property) return &*it;
  }
  return nullptr;
}

bool AnimationRecord::touched(const View* view) const {
  for (const auto& c : changes) {
    if (c.viewIdentity == view) return true;
  }
  return false;
}

AnimationLog& AnimationLog::shared() {
  static AnimationLog log;
  return log;
}

void AnimationLog::noteChange(View& view, const char* property, AnimatedValue from,
                              AnimatedValue to) {
  if (!isAnimating()) return;
  std::weak_ptr<View> weakView;
  try {
    weakView = view.weak<View>();
  } catch (const std::bad_weak_ptr&) {
    // A view changed inside its own constructor is not owned yet; identity still records it.
  }
  open_.back()->changes.push_back({weakView, &view, property, std::move(from), std::move(to)});
}

std::shared_ptr<AnimationRecord> AnimationLog::begin(double duration, double delay,
                                                     AnimationOptions options,
                                                     std::optional<SpringParameters> spring) {
  auto record = std::make_shared<AnimationRecord>();
  record->duration = duration;
  record->delay = delay;
  record->options = options;
  record->spring = spring;
  record->startedAt = Runtime::current().uptime();
  // Only the recent past matters to anyone reading the log; keep it bounded.
  if (records_.size() >= 512) records_.erase(records_.begin(), records_.begin() + 256);
  records_.push_back(record);
  open_.push_back(record);
  return record;
}

void AnimationLog::end() {
  if (!open_.empty()) open_.pop_back();
}

namespace {

void completeLater(const std::shared_ptr<AnimationRecord>& record, double delay, double duration,
                   std::function<void(bool)> completion) {
  std::weak_ptr<AnimationRecord> weakRecord = record;
  DispatchQueue::main()->asyncAfter(std::max(0.0, delay) + std::max(0.0, duration),
                                    [weakRecord, completion = std::move(completion)] {
                                      if (auto r = weakRecord.lock()) r->completed = true;
                                      if (completion) completion(true);
                                    });
}

void run(double duration, double delay, AnimationOptions options,
         std::optional<SpringParameters> spring, const std::function<void()>& animations,
         std::function<void(bool)> completion) {
  auto& log = AnimationLog::shared();
  auto record = log.begin(duration, delay, options, spring);
  if (animations) animations();
  log.end();
  completeLater(record, delay, duration, std::move(completion));
}

}  // namespace

void View::animate(double duration, const std::function<void()>& animations,
                   std::function<void(bool)> completion) {
  run(duration, 0, {}, std::nullopt, animations, std::move(completion));
}

void View::animate(double duration, double delay, AnimationOptions options,
                   const std::function<void()>& animations, std::function<void(bool)> completion) {
  run(duration, delay, options, std::nullopt, animations, std::move(completion));
}

void View::animate(double duration, double delay, double dampingRatio, double initialVelocity,
                   AnimationOptions options, const std::function<void()>& animations,
                   std::function<void(bool)> completion) {
  run(duration, delay, options, SpringParameters{dampingRatio, initialVelocity}, animations,
      std::move(completion));
}

void View::performWithoutAnimation(const std::function<void()>& actions) {
  auto& log = AnimationLog::shared();
  log.beginWithoutAnimation();
  if (actions) actions();
  log.endWithoutAnimation();
}

void View::transition(const std::shared_ptr<View>& from, const std::shared_ptr<View>& to,
                      double duration, TransitionOptions options,
                      std::function<void(bool)> completion) {
  auto& log = AnimationLog::shared();
  AnimationOptions timing;
  timing.curve = options.curve;
  auto record = log.begin(duration, 0, timing, std::nullopt);
  record->transition = TransitionRecord{options.transition, options.showHideTransitionViews,
                                        from, to, from.get(), to.get()};
  if (options.showHideTransitionViews) {
    if (from) from->setHidden(true);
    if (to) to->setHidden(false);
  } else if (from) {
    auto parent = from->superview();
    if (to && parent) parent->addSubview(to);
    from->removeFromSuperview();
  }
  log.end();
  completeLater(record, 0, duration, std::move(completion));
}

}  // namespace ostrel::platform
