#include <gtest/gtest.h>

#include "platform/ui/Animation.hpp"
#include "platform/ui/Nib.hpp"
#include "tests/uikit/UIKitTest.hpp"
#include "ui/OSLMainColorLabel.hpp"
#include "ui/OstrelButton.hpp"
#include "ui/OstrelSwitch.hpp"
#include "ui/OstrelToast.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel::uikit_test {
namespace {

class WidgetTest : public UIKitTest {
 protected:
  std::shared_ptr<View> screenView() {
    auto screen = make<ViewController>();
    show(screen);
    return screen->view();
  }
  // Records whose block changed `property` of `view`.
  std::vector<std::shared_ptr<AnimationRecord>> recordsTouching(const View* view,
                                                                const std::string& property) {
    std::vector<std::shared_ptr<AnimationRecord>> found;
    for (const auto& r : animations())
      if (r->change(view, property)) found.push_back(r);
    return found;
  }
};

TEST_F(WidgetTest, ButtonStylesFollowTheAppearanceOfItsCreation) {
  config->appearance->withMainColor("112233").withBtnTextColor("445566").withCornerRadiusButton(7);
  auto button = make<OstrelButton>(Rect{0, 0, 200, 48});
  const Color main = colorFromHex("112233");
  const Color text = colorFromHex("445566");
  const Color pale = colorFromHex("F6F6F9");

  struct Row {
    bool confirm;
    Color fill;
    double border;
    std::optional<Color> borderColor;
    Color title;
    Color tint;
  };
  for (const Row& row :
       {Row{true, main, 0, Color::clear(), text, pale}, Row{false, pale, 1, main, main, main},
        Row{true, main, 0, Color::clear(), text, pale}}) {
    SCOPED_TRACE(row.confirm);
    button->setIsConfirmButton(row.confirm);
    EXPECT_EQ(button->backgroundColor(), row.fill);
    EXPECT_EQ(borderWidth(*button), row.border);
    EXPECT_EQ(borderColors(*button), row.borderColor);
    EXPECT_EQ(button->titleColor(ControlState::normal), row.title);
    EXPECT_EQ(button->titleLabel()->textColor(), row.title);
    EXPECT_EQ(button->tintColor(), row.tint);
    EXPECT_EQ(button->titleLabel()->font(), Font::systemFont(17, FontWeight::bold));
    EXPECT_EQ(button->highlightedBgColor(), row.fill.withAlphaComponent(0.7));
    EXPECT_EQ(cornerRadius(*button), 7);
  }

  // A style applied directly is the one shown, whatever the stored style says.
  button->setIsConfirmButton(true);
  button->applyStyle(false);
  EXPECT_EQ(button->backgroundColor(), pale);
  EXPECT_EQ(button->titleColor(ControlState::normal), main);
  EXPECT_EQ(borderWidth(*button), 1);

  // Colours stay those of creation; the corner radius is read again on each restyle.
  config->appearance->withMainColor("FF0000").withCornerRadiusButton(3);
  button->setIsConfirmButton(true);
  EXPECT_EQ(button->backgroundColor(), main);
  EXPECT_EQ(cornerRadius(*button), 3);
  EXPECT_EQ(make<OstrelButton>()->backgroundColor(), colorFromHex("FF0000"));
}

TEST_F(WidgetTest, ButtonDisabledLookSurvivesARestyle) {
  for (bool confirm : {true, false}) {
    SCOPED_TRACE(confirm);
    auto button = make<OstrelButton>(Rect{0, 0, 200, 48});
    button->setIsConfirmButton(confirm);
    Color enabledFill = *button->backgroundColor();
    Color enabledTitle = *button->titleColor(ControlState::normal);
    button->setEnabled(false);
    EXPECT_EQ(button->backgroundColor(), colorFromHex("ECECEC"));
    EXPECT_EQ(button->titleColor(ControlState::normal), colorFromHex("717171"));
    // Switching style (or waking from a nib that made it disabled) keeps the disabled look.
    button->setIsConfirmButton(!confirm);
    EXPECT_EQ(button->backgroundColor(), colorFromHex("ECECEC"));
    EXPECT_EQ(button->titleColor(ControlState::normal), colorFromHex("717171"));
    button->awakeFromNib();
    EXPECT_EQ(button->backgroundColor(), colorFromHex("ECECEC"));
    button->setIsConfirmButton(confirm);
    button->setEnabled(true);
    EXPECT_EQ(button->backgroundColor(), enabledFill);
    EXPECT_EQ(button->titleColor(ControlState::normal), enabledTitle);
  }
}

TEST_F(WidgetTest, ButtonPressDimsAndShrinksOnlyWhenAnimated) {
  auto root = screenView();
  auto button = make<OstrelButton>(Rect{20, 100, 200, 48});
  root->addSubview(button);
  int taps = 0;
  button->addTarget(
      std::weak_ptr<const void>(button), [&](Control&) { ++taps; }, ControlEvent::touchUpInside);
  Color fill = *button->backgroundColor();
  Touch touch{button, window(), {120, 124}, {120, 124}};

  button->touchesBegan(touch);
  EXPECT_EQ(button->backgroundColor(), fill.withAlphaComponent(0.7));
  EXPECT_EQ(button->transform(), AffineTransform::scale(0.94, 0.9));
  button->touchesEnded(touch);
  EXPECT_EQ(button->backgroundColor(), fill);
  EXPECT_EQ(taps, 1);
  auto moves = recordsTouching(button.get(), "transform");
  ASSERT_EQ(moves.size(), 2u);
  EXPECT_EQ(moves[0]->duration, 0.2);
  EXPECT_EQ(button->transform(), AffineTransform::identity());

  button->touchesBegan(touch);
  button->touchesCancelled(touch);
  EXPECT_EQ(taps, 1);
  EXPECT_EQ(button->transform(), AffineTransform::identity());
  EXPECT_EQ(recordsTouching(button.get(), "transform").size(), 4u);

  config->appearance->withIsAnimatedButton(false);
  user().tap(button);
  EXPECT_EQ(taps, 2);
  EXPECT_EQ(recordsTouching(button.get(), "transform").size(), 4u);
}

const LibraryNibRegistration mainColorLabelNib{
    "MainColorLabelHolder", [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
      return {nib.makeView<OSLMainColorLabel>(Rect{0, 0, 100, 20})};
    }};

TEST_F(WidgetTest, MainColourLabelTakesTheMainColourFromItsNib) {
  config->appearance->withMainColor("1ABB6C");
  auto nib = Nib::load("MainColorLabelHolder", resourceBundle());
  ASSERT_TRUE(nib);
  auto objects = nib->instantiate(nullptr);
  auto label = std::dynamic_pointer_cast<OSLMainColorLabel>(objects.at(0));
  ASSERT_TRUE(label);
  EXPECT_EQ(label->textColor(), colorFromHex("1ABB6C"));
}

TEST_F(WidgetTest, SwitchThumbSitsAtTheEndOfItsState) {
  auto control = make<OstrelSwitch>(Rect{0, 0, 60, 30});
  control->layoutIfNeeded();
  auto thumb = control->switchView;
  EXPECT_TRUE(control->isOn);
  EXPECT_EQ(thumb->frame(), (Rect{30, 0, 30, 30}));
  EXPECT_EQ(thumb->backgroundColor(), colorFromHex("3270EA"));
  EXPECT_EQ(cornerRadius(*thumb), 15);
  EXPECT_EQ(borderWidth(*thumb), 1);
  EXPECT_EQ(borderColors(*thumb), colorFromHex("3270EA"));
  EXPECT_EQ(control->backgroundColor(), Color::clear());
  control->isOn = false;
  control->setNeedsLayout();
  control->layoutIfNeeded();
  EXPECT_EQ(thumb->frame(), (Rect{0, 0, 30, 30}));
}

TEST_F(WidgetTest, SwitchTapFlipsOnceWithHapticAndCallback) {
  auto root = screenView();
  auto control = make<OstrelSwitch>(Rect{100, 100, 60, 30});
  root->addSubview(control);
  control->layoutIfNeeded();
  int valueChanged = 0;
  control->addTarget(
      std::weak_ptr<const void>(control), [&](Control&) { ++valueChanged; },
      ControlEvent::valueChanged);
  std::vector<bool> reported;
  control->onValueChanged = [&](bool on) { reported.push_back(on); };

  user().tap(control);
  EXPECT_FALSE(control->isOn);
  EXPECT_EQ(valueChanged, 1);
  EXPECT_EQ(reported, std::vector<bool>{false});
  EXPECT_EQ(haptics(), std::vector<std::string>{"impact.heavy"});
  EXPECT_EQ(control->switchView->backgroundColor(), Color::white());
  EXPECT_EQ(control->switchView->frame().origin.x, 0);
  auto slide = recordsTouching(control->switchView.get(), "backgroundColor");
  ASSERT_EQ(slide.size(), 1u);
  EXPECT_EQ(slide[0]->duration, 0.3);
}

TEST_F(WidgetTest, SwitchDragFlipsTowardTheOtherStateAndReportsIt) {
  auto root = screenView();
  auto control = make<OstrelSwitch>(Rect{100, 100, 60, 30});
  root->addSubview(control);
  int valueChanged = 0;
  control->addTarget(
      std::weak_ptr<const void>(control), [&](Control&) { ++valueChanged; },
      ControlEvent::valueChanged);
  std::vector<bool> reported;
  control->onValueChanged = [&](bool on) { reported.push_back(on); };

  // Right while on: tracking ends at once, nothing flips; the release still sends once.
  user().drag(control, {5, -5});
  EXPECT_TRUE(control->isOn);
  EXPECT_TRUE(reported.empty());
  EXPECT_EQ(valueChanged, 0);  // tracking had ended, so no end-of-tracking
  EXPECT_TRUE(haptics().empty());

  // Left flips it off and tracking goes on; right flips it back on; the end sends again.
  user().drag(control, {-5, 5});
  EXPECT_TRUE(control->isOn);
  EXPECT_EQ(reported, (std::vector<bool>{false, true}));
  EXPECT_EQ(valueChanged, 3);
  EXPECT_EQ(haptics().size(), 2u);
}

TEST_F(WidgetTest, ToastWithoutSuperviewDoesNothing) {
  auto toast = make<OstrelToast>("Hello");
  toast->show();
  EXPECT_TRUE(toast->constraints().empty());
  EXPECT_TRUE(toast->messageLabel->superview() == nullptr);
  EXPECT_EQ(toast->layer()->zPosition, 0);
  EXPECT_EQ(toast->messageLabel->text(), "Hello");
  EXPECT_EQ(toast->messageLabel->font(), Font::systemFont(14, FontWeight::semibold));
}

TEST_F(WidgetTest, ToastFrameFollowsItsTextWithinTheSuperview) {
  auto root = screenView();
  root->setLayoutMargins({20, 8, 8, 8});
  struct Row {
    std::string text;
    double width;
    double height;
  };
  std::string longText(200, 'w');
  for (const Row& row : {Row{"Hi", 150, 58}, Row{std::string(30, 'a'), 30 * 7 + 36, 58},
                         Row{longText, 390 - 20, 58}}) {
    SCOPED_TRACE(row.text.size());
    auto toast = make<OstrelToast>(row.text);
    toast->show(root);
    EXPECT_EQ(toast->superview(), root);
    EXPECT_EQ(toast->frame(), (Rect{(390 - row.width) / 2, 20, row.width, row.height}));
    EXPECT_EQ(toast->layer()->cornerRadius, row.height / 2);
    EXPECT_EQ(toast->layer()->zPosition, 999);
    EXPECT_FALSE(toast->layer()->masksToBounds);
    EXPECT_EQ(toast->layer()->shadowOffset, (Size{0, 4}));
    EXPECT_EQ(toast->layer()->shadowColor, Color::black().withAlphaComponent(0.09));
    EXPECT_EQ(toast->layer()->shadowOpacity, 1.0);
    EXPECT_EQ(toast->layer()->shadowRadius, 8);
    EXPECT_EQ(toast->messageLabel->frame(), (Rect{18, 10, row.width - 36, row.height - 20}));
    toast->removeFromSuperview();
  }
}

TEST_F(WidgetTest, ToastFollowsLightAndDarkInHalfASecond) {
  auto root = screenView();
  auto toast = make<OstrelToast>("Hi");
  toast->show(root);
  EXPECT_EQ(toast->backgroundColor(), (Color{0.99, 0.99, 0.99, 1}));
  setTraitStyle(UserInterfaceStyle::dark);
  EXPECT_EQ(toast->backgroundColor(), (Color{0.13, 0.13, 0.13, 1}));
  auto change = recordsTouching(toast.get(), "backgroundColor");
  ASSERT_EQ(change.size(), 1u);
  EXPECT_EQ(change[0]->duration, 0.5);
  setTraitStyle(UserInterfaceStyle::light);
  EXPECT_EQ(toast->backgroundColor(), (Color{0.99, 0.99, 0.99, 1}));
}

TEST_F(WidgetTest, ToastHidesAfterItsDelayAndNotOnceRemoved) {
  auto root = screenView();
  std::weak_ptr<OstrelToast> weakToast;
  {
    auto toast = make<OstrelToast>("Bye");
    toast->show(root);
    toast->hide(2);
    weakToast = toast;
  }
  advance(1.9);
  EXPECT_TRUE(weakToast.lock());
  EXPECT_TRUE(recordsTouching(weakToast.lock().get(), "transform").empty());
  advance(0.1);
  auto toast = weakToast.lock();
  ASSERT_TRUE(toast);
  auto hide = recordsTouching(toast.get(), "transform");
  ASSERT_EQ(hide.size(), 1u);
  EXPECT_EQ(hide[0]->duration, 0.2);
  EXPECT_TRUE(hide[0]->options.beginFromCurrentState);
  EXPECT_EQ(hide[0]->options.curve, TimingFunction::easeIn);
  EXPECT_EQ(toast->transform().ty, -90);
  EXPECT_EQ(toast->transform().a, 0.9);
  toast.reset();
  advance(0.2);
  EXPECT_FALSE(weakToast.lock());  // removed, and nobody else held it

  auto early = make<OstrelToast>("Gone");
  early->show(root);
  early->hide(1);
  early->removeFromSuperview();
  AnimationLog::shared().clear();
  advance(2);
  EXPECT_TRUE(animations().empty());
}

}  // namespace
}  // namespace ostrel::uikit_test
