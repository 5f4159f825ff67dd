#include "ui/TPKeyboardAvoidingState.hpp"

#include <algorithm>

#include "platform/runtime/DispatchQueue.hpp"
#include "platform/ui/Animation.hpp"
#include "platform/ui/Keyboard.hpp"

namespace ostrel {

using namespace platform;

namespace {

const char kStateKey = 0;

bool hasUserInfo(const Notification& notification) {
  return notification.userInfo.is_object() && !notification.userInfo.empty();
}

Rect frameIn(const JSON& info, const char* key) {
  auto it = info.find(key);
  if (it == info.end()) return {};
  return rectFromJSON(*it).value_or(Rect{});
}

// Depth first in subview order, each view before its own subviews; the root is not tested.
std::shared_ptr<View> findFirstResponder(const View& root) {
  for (const auto& sub : root.subviews()) {
    if (sub->isFirstResponder()) return sub;
    if (auto found = findFirstResponder(*sub)) return found;
  }
  return nullptr;
}

void restore(ScrollView& scrollView, TPKeyboardAvoidingState& state) {
  state.keyboardRect = {};
  state.keyboardVisible = false;
  EdgeInsets inset = state.priorInset;
  EdgeInsets indicators = state.priorScrollIndicatorInsets;
  bool paging = state.priorPagingEnabled;
  std::weak_ptr<ScrollView> weakScroll = scrollView.weak<ScrollView>();
  View::animate(0.25, [weakScroll, inset, indicators, paging] {
    auto scroll = weakScroll.lock();
    if (!scroll) return;
    scroll->setContentInset(inset);
    scroll->setScrollIndicatorInsets(indicators);
    scroll->isPagingEnabled = paging;
    scroll->layoutIfNeeded();
  });
}

void adjust(ScrollView& scroll, const TPKeyboardAvoidingState& state) {
  Rect bounds = scroll.bounds();
  Rect keyboard = state.keyboardRect;
  EdgeInsets inset = scroll.contentInset();
  inset.bottom = std::max(0.0, keyboard.height() - std::max(0.0, keyboard.maxY() - bounds.maxY()));
  scroll.setContentInset(inset);
  scroll.setScrollIndicatorInsets(inset);
  if (auto responder = findFirstResponder(scroll)) {
    double viewable = bounds.height() - inset.top - inset.bottom;
    Rect r = responder->convertRectTo(responder->bounds(), &scroll);
    double offset = r.minY() - (viewable - r.height()) / 2;
    // The lower limit last: content shorter than the viewable area stays at the top instead of
    // being pushed down below a blank gap.
    offset = std::min(offset, scroll.contentSize().height - viewable - inset.top);
    offset = std::max(offset, -inset.top);
    scroll.setContentOffset({scroll.contentOffset().x, offset});
  }
  scroll.layoutIfNeeded();
}

}  // namespace

TPKeyboardAvoidingState& keyboardAvoidingState(ScrollView& scrollView) {
  if (auto* slot = scrollView.associatedObject(&kStateKey)) {
    if (auto* state = std::any_cast<std::shared_ptr<TPKeyboardAvoidingState>>(slot)) {
      return **state;
    }
  }
  auto state = std::make_shared<TPKeyboardAvoidingState>();
  scrollView.setAssociatedObject(&kStateKey, state);
  return *state;
}

void TPKeyboardAvoiding_keyboardWillShow(ScrollView& scrollView, const Notification& notification) {
  if (!hasUserInfo(notification)) return;
  auto& state = keyboardAvoidingState(scrollView);
  const auto& info = notification.userInfo;
  state.animationDuration =
      numberFromJSON(info, KeyboardAnimationDurationUserInfoKey).value_or(0.25);
  Rect begin = scrollView.convertRectFrom(frameIn(info, KeyboardFrameBeginUserInfoKey), nullptr);
  Rect end = scrollView.convertRectFrom(frameIn(info, KeyboardFrameEndUserInfoKey), nullptr);
  if (end.isEmpty()) {
    // The keyboard is going away: undo what its showing did, or nothing would later.
    if (state.keyboardVisible) restore(scrollView, state);
    state.keyboardVisible = false;
    return;
  }
  if (begin == end && state.ignoringNotifications) return;
  state.keyboardRect = end;
  if (!state.keyboardVisible) {
    state.priorInset = scrollView.contentInset();
    state.priorScrollIndicatorInsets = scrollView.scrollIndicatorInsets();
    state.priorPagingEnabled = scrollView.isPagingEnabled;
  }
  state.keyboardVisible = true;
  scrollView.isPagingEnabled = false;

  std::weak_ptr<ScrollView> weakScroll = scrollView.weak<ScrollView>();
  DispatchQueue::main()->asyncAfter(0.01, [weakScroll] {
    auto scroll = weakScroll.lock();
    if (!scroll) return;
    // A hide in between has already put everything back.
    if (!keyboardAvoidingState(*scroll).keyboardVisible) return;
    View::animate(0.25, [weakScroll] {
      if (auto s = weakScroll.lock()) adjust(*s, keyboardAvoidingState(*s));
    });
  });
}

void TPKeyboardAvoiding_keyboardWillHide(ScrollView& scrollView, const Notification& notification) {
  if (!hasUserInfo(notification)) return;
  auto& state = keyboardAvoidingState(scrollView);
  if (!state.keyboardVisible) return;
  restore(scrollView, state);
}

}  // namespace ostrel
