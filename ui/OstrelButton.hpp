#pragma once

#include <optional>

#include "platform/ui/Button.hpp"

namespace ostrel {

// The library's push button, themed from the host's appearance: a filled confirm style and an
// outlined normal style, a dimmed fill while pressed or disabled, and (when the appearance asks
// for it) a slight shrink while a finger is on it. The colours are those of the appearance in
// force when the button was made; the corner radius and the press animation are read again
// each time they are used.
class OstrelButton : public platform::Button {
 public:
  explicit OstrelButton(platform::Rect frame = {});
  void didMake() override;
  void awakeFromNib() override;

  bool isConfirmButton() const { return isConfirmButton_; }
  // Restyles at once.
  void setIsConfirmButton(bool isConfirm);
  // The style's look, finished with the look of the current enabled state (so restyling a
  // disabled button keeps it looking disabled).
  virtual void applyStyle(bool isConfirm);

  void setHighlighted(bool highlighted) override;
  void setEnabled(bool enabled) override;
  void touchesBegan(const platform::Touch& touch) override;
  void touchesEnded(const platform::Touch& touch) override;
  void touchesCancelled(const platform::Touch& touch) override;

  const platform::Color& mainColor() const { return _mainColor; }
  const platform::Color& textBtnColor() const { return _textBtnColor; }
  const std::optional<platform::Color>& normalBgColor() const { return _normalBgColor; }
  const std::optional<platform::Color>& highlightedBgColor() const { return _highlightedBgColor; }

  static constexpr const char* kNormalStyleFill = "F6F6F9";
  static constexpr const char* kDisabledFill = "ECECEC";
  static constexpr const char* kDisabledTitle = "717171";

 private:
  void applyEnabledLook();
  void animatePress(bool pressed);

  bool isConfirmButton_ = true;
  platform::Color _mainColor;
  platform::Color _textBtnColor;
  platform::Color _bgconfirmButtonColor;
  std::optional<platform::Color> _normalBgColor;
  std::optional<platform::Color> _highlightedBgColor;
};

}  // namespace ostrel
