#include "results/InforCell.hpp"

#include <algorithm>
#include <vector>

#include "platform/media/Image.hpp"
#include "platform/ui/Text.hpp"
#include "core/CurrentConfig.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

constexpr double kRowHeight = 50;
constexpr double kInset = 16;
constexpr double kVerticalPadding = 12;
constexpr double kIconSize = 24;
// The pair's title takes this share of the width, the value the rest.
constexpr double kTitleShare = 0.4;

const LibraryNibRegistration inforCellNib{
    "InforCell", [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
      double w = 390;
      double titleWidth = std::round(w * kTitleShare);
      double labelHeight = kRowHeight - 2 * kVerticalPadding;
      auto cell = nib.makeView<InforCell>(Rect{0, 0, w, kRowHeight});
      auto infoTitleView = nib.makeView<View>(Rect{0, 0, titleWidth, kRowHeight});
      auto titleInfo = nib.makeView<Label>(
          Rect{kInset, kVerticalPadding, titleWidth - kInset - 8, labelHeight});
      infoTitleView->addSubview(titleInfo);
      auto infoValueView = nib.makeView<View>(Rect{titleWidth, 0, w - titleWidth, kRowHeight});
      auto value = nib.makeView<Label>(
          Rect{0, kVerticalPadding, w - titleWidth - kInset, labelHeight});
      value->textAlignment = TextAlignment::right;
      infoValueView->addSubview(value);
      auto reasonView = nib.makeView<View>(Rect{0, 0, w, kRowHeight});
      auto icon = nib.makeView<ImageView>(
          Rect{kInset, (kRowHeight - kIconSize) / 2, kIconSize, kIconSize});
      icon->setContentMode(ContentMode::scaleAspectFit);
      auto reason = nib.makeView<Label>(Rect{kInset + kIconSize + 8, kVerticalPadding,
                                             w - 2 * kInset - kIconSize - 8, labelHeight});
      reasonView->addSubview(icon);
      reasonView->addSubview(reason);
      auto divider = nib.makeView<View>(Rect{kInset, kRowHeight - 1, w - 2 * kInset, 1});
      divider->setBackgroundColor(colorFromHex("E4E7EC"));
      for (const auto& v : std::vector<std::shared_ptr<View>>{infoTitleView, infoValueView,
                                                              reasonView, divider}) {
        cell->addSubview(v);
      }
      cell->titleInfoLabel = titleInfo;
      cell->titleResonLabel = reason;
      cell->lblInfor = value;
      cell->viewDevide = divider;
      cell->imgReject = icon;
      return {cell};
    }};

void setContainerHidden(const std::shared_ptr<View>& view, bool hidden) {
  if (!view) return;
  if (auto container = view->superview()) container->setHidden(hidden);
}

bool containerShown(const std::shared_ptr<View>& view) {
  if (!view) return false;
  auto container = view->superview();
  return container ? !container->isHidden() : !view->isHidden();
}

// The pair's title column: its share of the width, wider when the title needs it (English
// titles run longer than Vietnamese ones) up to the most the value can give up; a title longer
// still shrinks to fit its one line.
constexpr double kLargestTitleShare = 0.55;
double titleColumnWidth(const std::shared_ptr<Label>& title, double width) {
  const double share = std::round(width * kTitleShare);
  if (!title || !title->text() || title->text()->empty()) return share;
  const double needed =
      std::ceil(TextMeasurer::shared().lineWidth(*title->text(), title->font())) + kInset + 8;
  return std::clamp(needed, share, std::round(width * kLargestTitleShare));
}

double textHeight(const std::shared_ptr<Label>& label, double width) {
  if (!label) return 0;
  const std::string text = label->text().value_or("");
  if (text.empty()) return label->font().lineHeight();
  return TextMeasurer::shared()
      .boundingSize(text, label->font(), {std::max(1.0, width), 1e6}, label->numberOfLines())
      .height;
}

}  // namespace

void InforCell::awakeFromNib() {
  TableViewCell::awakeFromNib();
  setupUI();
}

void InforCell::setupUI() {
  selectionStyle = CellSelectionStyle::none;
  Color text = colorFromHex(currentAppearance()->mainTextColor);
  auto style = [&](const std::shared_ptr<Label>& label, FontWeight weight, int lines) {
    if (!label) return;
    label->setFont(Font::systemFont(14, weight));
    label->setTextColor(text);
    label->setNumberOfLines(lines);
    label->setHidden(false);
  };
  style(titleInfoLabel, FontWeight::semibold, 1);
  if (titleInfoLabel) titleInfoLabel->adjustsFontSizeToFitWidth = true;
  style(titleResonLabel, FontWeight::regular, 0);
  style(lblInfor, FontWeight::regular, 0);
  if (imgReject) imgReject->setHidden(false);
}

void InforCell::configure(int isPass, bool isInfo, const std::string& title,
                          const std::optional<std::string>& value) {
  if (!isInfo && imgReject) {
    imgReject->setHidden(false);
    imgReject->setImage(
        Image::named(isPass == 0 ? "icon_error" : "ic_question_reason", *resourceBundle()));
  }
  setContainerHidden(titleInfoLabel, !isInfo);
  if (titleInfoLabel) titleInfoLabel->setText(title);
  if (lblInfor) lblInfor->setText(value.value_or(""));
  setContainerHidden(lblInfor, !isInfo);
  if (titleResonLabel) titleResonLabel->setText(title);
  setContainerHidden(titleResonLabel, isInfo);
}

void InforCell::layoutSubviews() {
  TableViewCell::layoutSubviews();
  const double w = bounds().width(), h = bounds().height();
  const double titleWidth = titleColumnWidth(titleInfoLabel, w);
  const double labelHeight = std::max(0.0, h - 2 * kVerticalPadding);
  auto place = [](const std::shared_ptr<View>& view, Rect frame) {
    if (view) view->setFrame(frame);
  };
  auto container = [](const std::shared_ptr<View>& view) {
    return view ? view->superview() : nullptr;
  };
  place(container(titleInfoLabel), {0, 0, titleWidth, h});
  place(titleInfoLabel,
        {kInset, kVerticalPadding, std::max(0.0, titleWidth - kInset - 8), labelHeight});
  place(container(lblInfor), {titleWidth, 0, std::max(0.0, w - titleWidth), h});
  place(lblInfor, {0, kVerticalPadding, std::max(0.0, w - titleWidth - kInset), labelHeight});
  place(container(titleResonLabel), {0, 0, w, h});
  place(titleResonLabel, {kInset + kIconSize + 8, kVerticalPadding,
                          std::max(0.0, w - 2 * kInset - kIconSize - 8), labelHeight});
  place(imgReject, {kInset, (h - kIconSize) / 2, kIconSize, kIconSize});
  place(viewDevide, {kInset, h - 1, std::max(0.0, w - 2 * kInset), 1});
}

Size InforCell::sizeThatFits(Size size) const {
  double width = size.width > 0 ? size.width : bounds().width();
  double content = 0;
  if (containerShown(titleResonLabel)) {
    double textWidth = width - 2 * kInset - kIconSize - 8;
    content = std::max(content, std::max(kIconSize, textHeight(titleResonLabel, textWidth)));
  }
  if (containerShown(titleInfoLabel) || containerShown(lblInfor)) {
    double titleWidth = titleColumnWidth(titleInfoLabel, width);
    content = std::max(content, textHeight(titleInfoLabel, titleWidth - kInset - 8));
    content = std::max(content, textHeight(lblInfor, width - titleWidth - kInset));
  }
  return {width, std::max(kRowHeight, std::ceil(content + 2 * kVerticalPadding))};
}

}  // namespace ostrel
