#include "platform/ui/TextField.hpp"

#include <algorithm>

#include <unicode/unistr.h>

namespace ostrel::platform {

std::size_t utf16Length(const std::string& text) {
  return static_cast<std::size_t>(icu::UnicodeString::fromUTF8(text).length());
}

std::optional<std::string> replacingCharacters(const std::string& text, TextRange range,
                                               const std::string& replacement) {
  auto unicode = icu::UnicodeString::fromUTF8(text);
  auto length = static_cast<std::size_t>(unicode.length());
  if (range.location > length || range.length > length - range.location) return std::nullopt;
  auto start = static_cast<int32_t>(range.location);
  auto end = static_cast<int32_t>(range.location + range.length);
  // An index between the two halves of a pair: the unit before it is a lead surrogate.
  auto splitsPair = [&](int32_t at) {
    return at > 0 && at < unicode.length() && U16_IS_LEAD(unicode.charAt(at - 1)) &&
           U16_IS_TRAIL(unicode.charAt(at));
  };
  if (splitsPair(start) || splitsPair(end)) return std::nullopt;
  unicode.replace(start, end - start, icu::UnicodeString::fromUTF8(replacement));
  std::string out;
  unicode.toUTF8String(out);
  return out;
}

bool TextField::becomeFirstResponder() {
  if (isFirstResponder()) return true;
  if (auto d = delegate.lock(); d && !d->textFieldShouldBeginEditing(*this)) return false;
  return Control::becomeFirstResponder();
}

void TextField::didBecomeFirstResponder() {
  auto self = shared<TextField>();
  if (auto d = delegate.lock()) d->textFieldDidBeginEditing(*this);
  sendActions(ControlEvent::editingDidBegin);
}

void TextField::didResignFirstResponder() {
  auto self = shared<TextField>();
  if (auto d = delegate.lock()) d->textFieldDidEndEditing(*this);
  sendActions(ControlEvent::editingDidEnd);
}

bool TextField::replaceCharacters(TextRange range, const std::string& replacement) {
  auto self = shared<TextField>();
  auto unicode = icu::UnicodeString::fromUTF8(text_);
  auto length = static_cast<std::size_t>(unicode.length());
  range.location = std::min(range.location, length);
  range.length = std::min(range.length, length - range.location);
  if (auto d = delegate.lock(); d && !d->textFieldShouldChangeCharacters(*this, range, replacement))
    return false;
  unicode.replace(static_cast<int32_t>(range.location), static_cast<int32_t>(range.length),
                  icu::UnicodeString::fromUTF8(replacement));
  text_.clear();
  unicode.toUTF8String(text_);
  sendActions(ControlEvent::editingChanged);
  return true;
}

bool TextField::deleteBackward() {
  auto unicode = icu::UnicodeString::fromUTF8(text_);
  if (unicode.length() == 0) return false;
  // One character back, keeping surrogate pairs whole.
  int32_t end = unicode.length();
  int32_t start = unicode.moveIndex32(end, -1);
  return replaceCharacters({static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)},
                           "");
}

bool TextField::returnKey() {
  auto self = shared<TextField>();
  if (auto d = delegate.lock()) return d->textFieldShouldReturn(*this);
  return true;
}

void TextField::touchesEnded(const Touch& touch) {
  Control::touchesEnded(touch);
  if (bounds().contains(touch.location(this))) becomeFirstResponder();
}

}  // namespace ostrel::platform
