#include "ui/OSLPopupHolderViewController.hpp"

#include <charconv>
#include <cmath>

#include "platform/foundation/Debug.hpp"
#include "platform/foundation/Make.hpp"
#include "ui/OstrelBaseViews.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

// Lays the card out as the nib's constraints ask (nothing solves them here): the leading and
// trailing margins, the top margin when that constraint is active, else centred; the height is
// what the card's content needs for that width.
class PopupHolderRootView : public View {
 public:
  using View::View;
  std::weak_ptr<View> card;
  std::weak_ptr<LayoutConstraint> top;
  std::weak_ptr<LayoutConstraint> leading;
  std::weak_ptr<LayoutConstraint> trailing;

  void layoutSubviews() override {
    auto c = card.lock();
    if (!c) return;
    auto lead = leading.lock();
    auto trail = trailing.lock();
    double left = lead ? lead->constant : 20;
    double right = trail ? trail->constant : 20;
    double width = std::max(0.0, bounds().width() - left - right);
    double height = 0;
    for (const auto& sub : c->subviews()) {
      height = std::max(height, sub->sizeThatFits({width, bounds().height()}).height);
    }
    auto topConstraint = top.lock();
    double y = topConstraint && topConstraint->isActive()
                   ? safeAreaInsets().top + topConstraint->constant
                   : (bounds().height() - height) / 2;
    c->setFrame({left, y, width, height});
    // The child is pinned to the card's edges.
    for (const auto& sub : c->subviews()) sub->setFrame(c->bounds());
  }
};

const LibraryNibRegistration holderNib{
    "OSLPopupHolderViewController", [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
      auto root = nib.makeView<PopupHolderRootView>(Screen::main().bounds());
      root->setBackgroundColor(Color::black().withAlphaComponent(0.4));
      auto card = nib.makeView<View>(Rect{20, 300, 350, 240});
      card->setBackgroundColor(Color::white());
      setCornerRadius(*card, 16);
      root->addSubview(card);
      card->translatesAutoresizingMaskIntoConstraints = false;
      auto top = card->topAnchor().constraintEqualTo(root->safeAreaLayoutGuide()->topAnchor(), 0);
      auto lead = card->leadingAnchor().constraintEqualTo(root->leadingAnchor(), 20);
      auto trail = root->trailingAnchor().constraintEqualTo(card->trailingAnchor(), 20);
      auto centre = card->centerYAnchor().constraintEqualTo(root->centerYAnchor());
      centre->priority = 750;
      LayoutConstraint::activate({top, lead, trail, centre});
      root->card = card;
      root->top = top;
      root->leading = lead;
      root->trailing = trail;
      if (auto owner = nib.owner<OSLPopupHolderViewController>()) {
        owner->setView(root);
        owner->mainPopView = card;
        owner->fixedContrainTop = top;
        owner->fixedContrainLeading = lead;
        owner->fixedContrainTrailing = trail;
      }
      return {root};
    }};

}  // namespace

std::string visualFormatNumber(double value) {
  if (std::isfinite(value) && value == std::floor(value) && std::abs(value) < 1e15) {
    char buffer[32];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    if (ec == std::errc()) return std::string(buffer, end);
  }
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : std::string("0.0");
}

std::shared_ptr<OSLPopupHolderViewController> OSLPopupHolderViewController::makeHolder(
    std::shared_ptr<ViewController> child) {
  auto holder = loadFromNib<OSLPopupHolderViewController>();
  holder->mainPopVC = std::move(child);
  holder->fixedTop.reset();
  holder->fixedLeading = 20;
  holder->fixedTrailing = 20;
  holder->modalPresentationStyle = ModalPresentationStyle::overFullScreen;
  holder->transitioningDelegate =
      std::dynamic_pointer_cast<ViewControllerTransitioningDelegate>(holder->shared<Object>());
  return holder;
}

void OSLPopupHolderViewController::viewDidLoad() {
  OSLPopupViewController::viewDidLoad();
  if (fixedContrainTop) {
    if (fixedTop) {
      fixedContrainTop->setActive(true);
      fixedContrainTop->constant = *fixedTop;
    } else {
      fixedContrainTop->setActive(false);
    }
  }
  if (fixedContrainLeading) fixedContrainLeading->constant = fixedLeading;
  if (fixedContrainTrailing) fixedContrainTrailing->constant = fixedTrailing;
  popViews.clear();
  if (mainPopView) popViews.push_back(mainPopView);
  if (!mainPopVC || !mainPopView) {
    // A holder is meant to be given its child first; without one it shows an empty card
    // rather than failing.
    debugLog("OSLPopupHolderViewController loaded without a child to show");
    return;
  }
  addChild(mainPopVC);
  pin(mainPopVC->view(), mainPopView, {});
  mainPopVC->didMoveToParent(shared<ViewController>());
}

StatusBarStyle OSLPopupHolderViewController::preferredStatusBarStyle() const {
  return presentingViewController() ? StatusBarStyle::lightContent : StatusBarStyle::defaultStyle;
}

void OSLPopupHolderViewController::pin(const std::shared_ptr<View>& child,
                                       const std::shared_ptr<View>& container, EdgeInsets insets) {
  child->translatesAutoresizingMaskIntoConstraints = false;
  container->addSubview(child);
  pinFormats_ = {"H:|-(" + visualFormatNumber(insets.left) + ")-[subview]-(" +
                     visualFormatNumber(insets.right) + ")-|",
                 "V:|-(" + visualFormatNumber(insets.top) + ")-[subview]-(" +
                     visualFormatNumber(insets.bottom) + ")-|"};
  // What the two formats make: both horizontal edges, then both vertical ones.
  auto equal = [](LayoutAnchor a, LayoutAnchor b, double constant) {
    auto c = a.constraintEqualTo(b, constant);
    return c;
  };
  std::vector<std::shared_ptr<LayoutConstraint>> all{
      equal(child->leadingAnchor(), container->leadingAnchor(), insets.left),
      equal(container->trailingAnchor(), child->trailingAnchor(), insets.right),
      equal(child->topAnchor(), container->topAnchor(), insets.top),
      equal(container->bottomAnchor(), child->bottomAnchor(), insets.bottom)};
  for (const auto& c : all) {
    c->setActive(true);
  }
  child->setFrame(container->bounds().insetBy(insets));
}

}  // namespace ostrel
