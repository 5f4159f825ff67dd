#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/Control.hpp"
#include "platform/ui/Text.hpp"

namespace ostrel::platform {

class TextField;

// A range of text in UTF-16 code units, as the platform's text delegates receive it.
struct TextRange {
  std::size_t location = 0;
  std::size_t length = 0;
  bool operator==(const TextRange&) const = default;
};

// Length of a UTF-8 text in UTF-16 code units.
std::size_t utf16Length(const std::string& text);
// `text` with the UTF-16 `range` replaced; nothing when the range reaches past the text or
// either end falls inside a surrogate pair (half a character cannot be replaced).
std::optional<std::string> replacingCharacters(const std::string& text, TextRange range,
                                               const std::string& replacement);

class TextFieldDelegate {
 public:
  virtual ~TextFieldDelegate() = default;
  virtual bool textFieldShouldBeginEditing(TextField& field) {
    (void)field;
    return true;
  }
  virtual void textFieldDidBeginEditing(TextField& field) { (void)field; }
  virtual bool textFieldShouldReturn(TextField& field) {
    (void)field;
    return true;
  }
  virtual bool textFieldShouldChangeCharacters(TextField& field, TextRange range,
                                               const std::string& replacement) {
    (void)field, (void)range, (void)replacement;
    return true;
  }
  virtual void textFieldDidEndEditing(TextField& field) { (void)field; }
};

enum class TextBorderStyle { none, line, bezel, roundedRect };
enum class TextAutocorrectionType { defaultType, no, yes };
enum class KeyboardType { defaultType, numberPad, phonePad, emailAddress, asciiCapable };

// An editable one-line text. Input (the keyboard, or the scripted user in tests) goes through
// `replaceCharacters`, which asks the delegate first, as the platform does.
class TextField : public Control {
 public:
  using Control::Control;

  const std::string& text() const { return text_; }
  // Programmatic change: no delegate question, no editing event.
  void setText(std::optional<std::string> text) { text_ = text.value_or(""); }
  std::optional<std::string> placeholder;
  Font font = Font::systemFont(17);
  Color textColor = Color::black();
  TextAlignment textAlignment = TextAlignment::natural;
  TextBorderStyle borderStyle = TextBorderStyle::none;
  TextAutocorrectionType autocorrectionType = TextAutocorrectionType::defaultType;
  KeyboardType keyboardType = KeyboardType::defaultType;
  bool isSecureTextEntry = false;
  std::weak_ptr<TextFieldDelegate> delegate;
  std::shared_ptr<View> inputView;
  std::shared_ptr<View> inputAccessoryView;

  bool canBecomeFirstResponder() const override { return isEnabled(); }
  bool becomeFirstResponder() override;
  bool isEditing() const { return isFirstResponder(); }

  // Replaces `range` (clamped to the text) when the delegate agrees; sends editingChanged.
  bool replaceCharacters(TextRange range, const std::string& replacement);
  bool insertText(const std::string& text) {
    return replaceCharacters({utf16Length(text_), 0}, text);
  }
  bool deleteBackward();
  // The return key: asks the delegate; true when it agreed.
  bool returnKey();

  void touchesEnded(const Touch& touch) override;

 protected:
  void didBecomeFirstResponder() override;
  void didResignFirstResponder() override;

 private:
  std::string text_;
};

}  // namespace ostrel::platform
