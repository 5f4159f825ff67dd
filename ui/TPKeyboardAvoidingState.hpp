#pragma once

#include <memory>

#include "platform/runtime/NotificationCenter.hpp"
#include "platform/ui/ScrollView.hpp"

namespace ostrel {

// What a scroll view remembers while the keyboard covers it; one per scroll view, attached to
// it and made on first use.
struct TPKeyboardAvoidingState {
  platform::EdgeInsets priorInset;
  platform::EdgeInsets priorScrollIndicatorInsets;
  bool keyboardVisible = false;
  // The keyboard's end frame in the scroll view's coordinates.
  platform::Rect keyboardRect;
  platform::Size priorContentSize;
  bool priorPagingEnabled = false;
  // When set, a will-show whose begin and end frames are equal is ignored.
  bool ignoringNotifications = false;
  bool keyboardAnimationInProgress = false;
  double animationDuration = 0;
};

// The scroll view's state, made on first use.
TPKeyboardAvoidingState& keyboardAvoidingState(platform::ScrollView& scrollView);

// For the keyboard will-show notification: makes room at the bottom for the part of the keyboard
// that covers the scroll view and centres the focused field in what stays visible (0.01 s later,
// in a 0.25 s animation). The insets and paging in place before the keyboard came are kept for
// the hide; an empty end frame counts as the keyboard going away.
void TPKeyboardAvoiding_keyboardWillShow(platform::ScrollView& scrollView,
                                         const platform::Notification& notification);
// For the keyboard will-hide notification: puts back the insets and paging of before.
void TPKeyboardAvoiding_keyboardWillHide(platform::ScrollView& scrollView,
                                         const platform::Notification& notification);

}  // namespace ostrel
