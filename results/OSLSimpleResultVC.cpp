#include "results/OSLSimpleResultVC.hpp"

#include <vector>

#include "core/Localization.hpp"
#include "session/Ostrel.hpp"
#include "model/OstrelResult.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/Window.hpp"
#include "core/CurrentConfig.hpp"
#include "ui/OstrelBaseViews.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

// Title, subtitle and decision over a framed list of reasons, the confirm button at the foot.
const LibraryNibRegistration simpleResultNib{
    "OSLSimpleResultVC", [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
      Rect screen = Screen::main().bounds();
      double w = screen.width();
      double inner = w - 40;
      auto root = nib.makeView<View>(screen);
      auto title = nib.makeView<Label>(Rect{20, 60, inner, 28});
      title->setFont(Font::systemFont(20, FontWeight::bold));
      title->textAlignment = TextAlignment::center;
      auto subtitle = nib.makeView<Label>(Rect{20, 96, inner, 40});
      subtitle->setFont(Font::systemFont(14));
      subtitle->setNumberOfLines(0);
      subtitle->textAlignment = TextAlignment::center;
      auto decision = nib.makeView<Label>(Rect{20, 150, inner, 28});
      decision->setFont(Font::systemFont(18, FontWeight::bold));
      decision->textAlignment = TextAlignment::center;
      auto reasonView = nib.makeView<View>(Rect{20, 196, inner, screen.height() - 300});
      reasonView->setHidden(true);
      auto table = nib.makeView<TableView>(Rect{0, 0, inner, screen.height() - 300});
      reasonView->addSubview(table);
      auto button = nib.makeView<OstrelButton>(Rect{20, screen.height() - 76, inner, 48});
      for (const auto& v :
           std::vector<std::shared_ptr<View>>{title, subtitle, decision, reasonView, button}) {
        root->addSubview(v);
      }
      if (auto owner = nib.owner<OSLSimpleResultVC>()) {
        owner->lblScreenName = title;
        owner->lblResult = decision;
        owner->subTitleLabel = subtitle;
        owner->btnConfirm = button;
        owner->viewReason = reasonView;
        owner->optionRejectTableView = table;
        button->addTarget<OSLSimpleResultVC>(
            owner, [](OSLSimpleResultVC& screen, Control&) { screen.btnConfirmClicked(); },
            ControlEvent::touchUpInside);
      }
      return {root};
    }};

}  // namespace

std::shared_ptr<OSLSimpleResultVC> OSLSimpleResultVC::create(
    std::shared_ptr<OstrelResult> result) {
  auto screen = loadFromNib<OSLSimpleResultVC>();
  screen->result = std::move(result);
  return screen;
}

void OSLSimpleResultVC::viewDidLoad() {
  ResultScreen::viewDidLoad();
  setupUI();
}

void OSLSimpleResultVC::setupUI() {
  auto appearance = currentAppearance();
  const Color mainColor = colorFromHex(appearance->mainColor);
  const Color mainTextColor = colorFromHex(appearance->mainTextColor);
  if (lblScreenName) {
    lblScreenName->setText(osl_localize("results_title_1"));
    lblScreenName->setTextColor(mainTextColor);
  }
  if (subTitleLabel) {
    subTitleLabel->setText(osl_localize("results_subtitle"));
    subTitleLabel->setTextColor(mainTextColor);
  }
  if (btnConfirm) btnConfirm->setTitle(osl_localize("button_confirm"), ControlState::normal);
  if (optionRejectTableView) {
    auto& table = *optionRejectTableView;
    table.registerNib(InforCell::kReuseIdentifier, resourceBundle(), InforCell::kReuseIdentifier);
    table.rowHeight = TableView::automaticDimension;
    table.estimatedRowHeight = 50;
    std::weak_ptr<OSLSimpleResultVC> weakSelf = weak<OSLSimpleResultVC>();
    table.numberOfRows = [weakSelf](TableView&, int) {
      auto self = weakSelf.lock();
      return self ? self->numberOfRows() : 0;
    };
    table.cellForRow = [weakSelf](TableView& t, IndexPath path) {
      auto self = weakSelf.lock();
      return self ? self->cellForRow(t, path) : nullptr;
    };
    table.setHidden(false);
  }
  if (lblResult) lblResult->setTextColor(mainTextColor);
  if (viewReason) {
    setBorderColors(*viewReason, mainColor);
    setCornerRadius(*viewReason, 15);
    setBorderWidth(*viewReason, 1);
  }
  showDecision();
}

void OSLSimpleResultVC::showDecision() {
  const auto kind =
      result_decision::kindOf(result, Ostrel::shared()->flowType().isPassport());
  if (lblResult) {
    result_decision::show(*lblResult, kind, colorFromHex(currentAppearance()->mainTextColor));
  }
  if (kind == result_decision::Kind::approved) {
    if (viewReason) viewReason->setHidden(true);
    reloadTables();
    return;
  }
  auto reasons = result_decision::reasonsOf(result, currentAppearance()->language);
  if (!reasons) return;
  reasonData = std::move(*reasons);
  if (viewReason) viewReason->setHidden(false);
  reloadTables();
}

void OSLSimpleResultVC::reloadTables() {
  if (optionRejectTableView) optionRejectTableView->reloadData();
}

std::shared_ptr<TableViewCell> OSLSimpleResultVC::cellForRow(TableView& table, IndexPath path) {
  std::shared_ptr<TableViewCell> cell;
  auto inforCell = result_decision::dequeueInforCell(table, cell);
  if (!inforCell) return cell;
  const auto row = static_cast<std::size_t>(path.row);
  if (row < reasonData.size()) {
    const auto& reason = reasonData[row];
    inforCell->configure(reason.isPass, false, reason.reasonString.value_or("--"), "");
  }
  if (inforCell->viewDevide) inforCell->viewDevide->setHidden(true);
  return cell;
}

void OSLSimpleResultVC::btnConfirmClicked() {
  result_decision::closeWithResult(result);
}

}  // namespace ostrel
