#include "ui/OSLAlertVC.hpp"

#include <algorithm>

#include "core/CloseSession.hpp"
#include "core/CurrentConfig.hpp"
#include "core/Localization.hpp"
#include "platform/ui/Text.hpp"
#include "ui/OstrelBaseViews.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

constexpr double kPadding = 20;
constexpr double kButtonHeight = 48;
constexpr double kButtonGap = 12;

// The card: icon on top, title, message, then the buttons side by side (confirm alone when
// cancel is hidden). Sizes itself to its content for a given width.
class AlertCardView : public View {
 public:
  using View::View;
  std::weak_ptr<ImageView> icon;
  std::weak_ptr<LayoutConstraint> iconSize;
  std::weak_ptr<Label> title;
  std::weak_ptr<Label> message;
  std::weak_ptr<Button> cancel;
  std::weak_ptr<Button> confirm;

  Size sizeThatFits(Size size) const override { return {size.width, place(size.width, false)}; }
  void layoutSubviews() override { place(bounds().width(), true); }

 private:
  static double textHeight(const Label& label, double width) {
    if (!label.text() || label.text()->empty()) return 0;
    return TextMeasurer::shared()
        .boundingSize(*label.text(), label.font(), {width, 10000}, label.numberOfLines())
        .height;
  }

  double place(double width, bool apply) const {
    double inner = std::max(0.0, width - 2 * kPadding);
    double y = kPadding;
    auto constraint = iconSize.lock();
    double side = constraint ? constraint->constant : OSLAlertVC::kSmallIcon;
    if (auto i = icon.lock(); i && apply) i->setFrame({(width - side) / 2, y, side, side});
    y += side + 16;
    for (const auto& weakLabel : {title, message}) {
      auto label = weakLabel.lock();
      if (!label) continue;
      double h = textHeight(*label, inner);
      if (apply) label->setFrame({kPadding, y, inner, h});
      y += h + 8;
    }
    y += 16;
    auto c = cancel.lock();
    auto k = confirm.lock();
    bool two = c && !c->isHidden();
    double half = (inner - kButtonGap) / 2;
    if (apply) {
      if (two) {
        c->setFrame({kPadding, y, half, kButtonHeight});
        if (k) k->setFrame({kPadding + half + kButtonGap, y, half, kButtonHeight});
      } else if (k) {
        k->setFrame({kPadding, y, inner, kButtonHeight});
      }
    }
    return y + kButtonHeight + kPadding;
  }
};

const LibraryNibRegistration alertNib{
    "OSLAlertVC", [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
      auto card = nib.makeView<AlertCardView>(Rect{0, 0, 350, 260});
      card->setBackgroundColor(Color::white());
      auto icon = nib.makeView<ImageView>(Rect{150, 20, 50, 50});
      icon->setContentMode(ContentMode::scaleAspectFit);
      auto size = icon->widthAnchor().constraintEqualToConstant(50);
      auto square = icon->heightAnchor().constraintEqualTo(icon->widthAnchor());
      auto title = nib.makeView<Label>(Rect{20, 86, 310, 24});
      title->textAlignment = TextAlignment::center;
      title->setNumberOfLines(0);
      auto message = nib.makeView<Label>(Rect{20, 118, 310, 40});
      message->textAlignment = TextAlignment::center;
      message->setNumberOfLines(0);
      auto cancel = nib.makeView<OstrelButton>(Rect{20, 190, 149, 48});
      auto confirm = nib.makeView<OstrelButton>(Rect{181, 190, 149, 48});
      for (const auto& v :
           std::vector<std::shared_ptr<View>>{icon, title, message, cancel, confirm})
        card->addSubview(v);
      LayoutConstraint::activate({size, square});
      card->icon = icon;
      card->iconSize = size;
      card->title = title;
      card->message = message;
      card->cancel = cancel;
      card->confirm = confirm;
      if (auto owner = nib.owner<OSLAlertVC>()) {
        owner->imgIcon = icon;
        owner->widthHeightIconCT = size;
        owner->lblTitle = title;
        owner->lblMessage = message;
        owner->btnCancel = cancel;
        owner->btnConfirm = confirm;
        cancel->addTarget<OSLAlertVC>(
            owner, [](OSLAlertVC& vc, Control& sender) { vc.btnCancelClicked(sender); },
            ControlEvent::touchUpInside);
        confirm->addTarget<OSLAlertVC>(
            owner, [](OSLAlertVC& vc, Control& sender) { vc.btnConfirmClicked(sender); },
            ControlEvent::touchUpInside);
      }
      // Set in the nib: the outlined style for cancel, the filled one for confirm (decoded
      // values are in place before `awakeFromNib` restyles).
      cancel->setIsConfirmButton(false);
      return {card};
    }};

std::string textOr(const std::optional<std::string>& given, const char* key) {
  return given ? *given : osl_localize(key);
}

}  // namespace

std::optional<OSLAlertVC::TypeOfAlert> OSLAlertVC::typeOfAlert(int rawValue) {
  if (rawValue < 0 || rawValue > 4) return std::nullopt;
  return static_cast<TypeOfAlert>(rawValue);
}

std::shared_ptr<OSLAlertVC> OSLAlertVC::newVC(TypeOfAlert alertType, ImagePtr titleIcon,
                                              std::optional<std::string> title,
                                              std::optional<std::string> message,
                                              std::optional<std::string> titleCancel,
                                              std::optional<std::string> titleConfirm) {
  auto vc = loadFromNib<OSLAlertVC>();
  vc->alert = alertType;
  vc->titleIcon = std::move(titleIcon);
  vc->titleAlert = std::move(title);
  vc->message = std::move(message);
  vc->titleCancel = std::move(titleCancel);
  vc->titleConfirm = std::move(titleConfirm);
  return vc;
}

void OSLAlertVC::viewDidLoad() {
  ViewController::viewDidLoad();
  configureAlert();
}

void OSLAlertVC::configureAlert() {
  if (!imgIcon || !widthHeightIconCT || !lblTitle || !lblMessage || !btnCancel || !btnConfirm)
    return;
  widthHeightIconCT->constant = kSmallIcon;
  lblTitle->setFont(Font::systemFont(17, FontWeight::semibold));
  lblTitle->setTextColor(Color::black());
  lblMessage->setFont(Font::systemFont(15, FontWeight::medium));
  lblMessage->setTextColor(Color::gray());

  bool showCancel = false;
  switch (alert) {
    case TypeOfAlert::timeout:
      widthHeightIconCT->constant = kSmallIcon;
      imgIcon->setImage(bundleImage("icon_alert_timeout"));
      lblTitle->setText(osl_localize("error_unknown"));
      lblMessage->setText(osl_localize("error_timeout"));
      btnConfirm->setTitle(osl_localize("button_retry"), ControlState::normal);
      break;
    case TypeOfAlert::networkError:
      widthHeightIconCT->constant = titleIcon ? kLargeIcon : kSmallIcon;
      imgIcon->setImage(titleIcon ? titleIcon : bundleImage("icon_alert_error"));
      lblTitle->setText(textOr(titleAlert, "error_unknown"));
      lblMessage->setText(textOr(message, "error_network"));
      btnConfirm->setTitle(textOr(titleConfirm, "button_confirm"), ControlState::normal);
      break;
    case TypeOfAlert::exitConfirmation:
      widthHeightIconCT->constant = kLargeIcon;
      imgIcon->setImage(bundleImage("qirta_warning"));
      lblTitle->setText(osl_localize("exit_confirm_title"));
      lblMessage->setText(osl_localize("exit_confirm_message"));
      btnConfirm->setTitle(textOr(titleConfirm, "button_confirm"), ControlState::normal);
      btnCancel->setTitle(textOr(titleCancel, "button_cancel"), ControlState::normal);
      showCancel = true;
      break;
    case TypeOfAlert::generalError:
      widthHeightIconCT->constant = kSmallIcon;
      imgIcon->setImage(bundleImage("icon_alert_error"));
      lblTitle->setText(textOr(titleAlert, "error_unknown"));
      lblMessage->setText(message.value_or(""));
      btnConfirm->setTitle(osl_localize("button_confirm"), ControlState::normal);
      break;
    case TypeOfAlert::customConfirmation:
      widthHeightIconCT->constant = kLargeIcon;
      imgIcon->setImage(titleIcon ? titleIcon : bundleImage("qirta_warning"));
      lblTitle->setText(textOr(titleAlert, "exit_confirm_title"));
      lblMessage->setText(textOr(message, "exit_confirm_message"));
      btnConfirm->setTitle(textOr(titleConfirm, "button_confirm"), ControlState::normal);
      btnCancel->setTitle(textOr(titleCancel, "button_cancel"), ControlState::normal);
      showCancel = true;
      break;
  }
  btnCancel->setHidden(!showCancel);
  btnConfirm->setHidden(false);
  view()->setNeedsLayout();
}

void OSLAlertVC::btnConfirmClicked(Control&) {
  if (ending_) return;
  auto kind = alert;
  auto action = onConfirmAction;
  bool dismissing = dismiss(true, [kind, action] {
    if (action) action();
    if (kind == TypeOfAlert::timeout) {
      closeSessionCancelled([] {
        auto config = currentConfig();
        if (config->eventHandler) {
          config->eventHandler(OSLConfig::Event::expired);
        } else if (config->expiredHandler) {
          config->expiredHandler();
        }
      });
    }
  });
  // A tap the platform refused (the popup still arriving) leaves the alert live.
  ending_ = dismissing;
}

void OSLAlertVC::btnCancelClicked(Control&) {
  if (ending_) return;
  auto action = onCancelAction;
  ending_ = dismiss(true, [action] {
    if (action) action();
  });
}

}  // namespace ostrel
