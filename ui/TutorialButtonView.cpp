#include "ui/TutorialButtonView.hpp"

#include "core/CurrentConfig.hpp"
#include "core/Localization.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

const LibraryNibRegistration tutorialNib{
    "TutorialButtonView", [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
      auto root = nib.makeView<View>(Rect{0, 0, 160, 36});
      auto title = nib.makeView<Label>(Rect{8, 8, 144, 20});
      title->textAlignment = TextAlignment::center;
      auto button = nib.makeView<Button>(Rect{0, 0, 160, 36});
      root->addSubview(title);
      root->addSubview(button);
      if (auto owner = nib.owner<TutorialButtonView>()) {
        owner->lblTitle = title;
        owner->button = button;
        button->addTarget<TutorialButtonView>(
            owner, [](TutorialButtonView& view, Control&) { view.btnTutorialClicked(); },
            ControlEvent::touchUpInside);
      }
      return {root};
    }};

}  // namespace

void TutorialButtonView::setupView() {
  OstrelBaseNibView::setupView();
  configureTitle();
}

void TutorialButtonView::configureTitle() {
  if (!lblTitle) return;
  lblTitle->setFont(Font::systemFont(14, FontWeight::semibold));
  lblTitle->setText(osl_localize("guide_button_open"));
  lblTitle->setTextColor(colorFromHex(currentAppearance()->mainColor));
}

void TutorialButtonView::btnTutorialClicked() {
  if (onShowTutorial) onShowTutorial();
}

}  // namespace ostrel
