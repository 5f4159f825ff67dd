#include "platform/ui/GestureRecognizer.hpp"

#include "platform/ui/View.hpp"

namespace ostrel::platform {

void GestureRecognizer::addTarget(std::weak_ptr<const void> target, Action action) {
  targets_.push_back({std::move(target), std::move(action)});
}

Point GestureRecognizer::location(const View* in) const {
  if (!in) return location_;
  return in->convertPointFrom(location_, nullptr);
}

bool GestureRecognizer::drive(GestureState state, Point locationInWindow) {
  if (!isEnabled) return false;
  bool starting = state == GestureState::began ||
                  (state == GestureState::ended &&
                   (state_ == GestureState::possible || state_ == GestureState::failed ||
                    state_ == GestureState::ended || state_ == GestureState::cancelled));
  location_ = locationInWindow;
  if (starting && shouldBegin && !shouldBegin(*this)) {
    state_ = GestureState::failed;
    return false;
  }
  state_ = state;
  if (state == GestureState::failed || state == GestureState::possible) return false;
  auto self = shared_from_this();  // an action may drop the last other reference
  auto targets = targets_;
  for (auto& t : targets) {
    if (!t.owner.expired() && t.action) t.action(*this);
  }
  std::erase_if(targets_, [](const Target& t) { return t.owner.expired(); });
  return true;
}

}  // namespace ostrel::platform
