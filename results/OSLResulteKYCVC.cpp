#include "results/OSLResulteKYCVC.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/Localization.hpp"
#include "session/Ostrel.hpp"
#include "model/OSLFrontResult.hpp"
#include "model/OSLNfcModel.hpp"
#include "model/OSLPassport.hpp"
#include "model/OstrelResult.hpp"
#include "platform/foundation/Base64.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/Text.hpp"
#include "platform/ui/Window.hpp"
#include "core/CurrentConfig.hpp"
#include "ui/OstrelBaseViews.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

constexpr const char* kMissing = "--";

// A scroll view with the title, the face and card pictures, the decision and its reasons, the
// recognised data and the chip section, and the confirm button under it.
const LibraryNibRegistration resultNib{
    "OSLResulteKYCVC", [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
      Rect screen = Screen::main().bounds();
      double w = screen.width();
      double inner = w - 40;
      auto root = nib.makeView<View>(screen);
      auto scroll = nib.makeView<ScrollView>(Rect{0, 0, w, screen.height() - 96});
      root->addSubview(scroll);
      auto title = nib.makeView<Label>(Rect{20, 20, inner, 28});
      title->setFont(Font::systemFont(20, FontWeight::bold));
      title->textAlignment = TextAlignment::center;
      auto face = nib.makeView<ImageView>(Rect{w / 2 - 50, 60, 100, 100});
      double card = (inner - 10) / 2;
      auto front = nib.makeView<ImageView>(Rect{20, 180, card, 110});
      auto back = nib.makeView<ImageView>(Rect{30 + card, 180, card, 110});
      auto decision = nib.makeView<Label>(Rect{20, 306, inner, 28});
      decision->setFont(Font::systemFont(18, FontWeight::bold));
      decision->textAlignment = TextAlignment::center;
      // The framed boxes: the reasons, the recognised data and the two halves of the chip
      // section; a box's title sits at its top.
      auto box = [&](Rect frame) {
        auto v = nib.makeView<View>(frame);
        setBorderWidth(*v, 1);
        setCornerRadius(*v, 15);
        return v;
      };
      auto boxTitle = [&](const std::shared_ptr<View>& owner) {
        auto l = nib.makeView<Label>(Rect{16, 12, inner - 32, 22});
        owner->addSubview(l);
        return l;
      };
      auto boxes = nib.makeView<StackView>(Rect{20, 344, inner, 1776});
      boxes->axis = LayoutConstraintAxis::vertical;
      boxes->spacing = 16;
      auto reasonView = box(Rect{0, 0, inner, 160});
      reasonView->setHidden(true);
      auto reasons = nib.makeView<OSLDynamicHeightTableView>(Rect{0, 0, inner, 160});
      reasonView->addSubview(reasons);
      auto ocrView = box(Rect{0, 176, inner, 620});
      auto ocrTitle = boxTitle(ocrView);
      auto ocr = nib.makeView<OSLDynamicHeightTableView>(Rect{0, 44, inner, 570});
      ocrView->addSubview(ocr);
      auto chipSection = nib.makeView<View>(Rect{0, 812, inner, 950});
      chipSection->setHidden(true);
      auto chipInfo = box(Rect{0, 0, inner, 680});
      auto chipTitle = boxTitle(chipInfo);
      auto chip = nib.makeView<OSLDynamicHeightTableView>(Rect{0, 44, inner, 630});
      chipInfo->addSubview(chip);
      auto chipFace = box(Rect{0, 696, inner, 240});
      auto chipFaceTitle = boxTitle(chipFace);
      auto chipFaceImage = nib.makeView<ImageView>(Rect{inner / 2 - 80, 44, 160, 180});
      chipFaceImage->setContentMode(ContentMode::scaleAspectFit);
      chipFace->addSubview(chipFaceImage);
      chipSection->addSubview(chipInfo);
      chipSection->addSubview(chipFace);
      for (const auto& v : std::vector<std::shared_ptr<View>>{reasonView, ocrView, chipSection}) {
        boxes->addArrangedSubview(v);
      }
      for (const auto& v :
           std::vector<std::shared_ptr<View>>{title, face, front, back, decision, boxes}) {
        scroll->addSubview(v);
      }
      scroll->setContentSize({w, 2120});
      auto button = nib.makeView<OstrelButton>(Rect{20, screen.height() - 76, inner, 48});
      root->addSubview(button);
      if (auto owner = nib.owner<OSLResulteKYCVC>()) {
        owner->imgFace = face;
        owner->imgFrontId = front;
        owner->imgBackId = back;
        owner->ocrTableView = ocr;
        owner->optionRejectTableView = reasons;
        owner->nfcTableView = chip;
        owner->nfcTitleLabel = chipTitle;
        owner->nfcInfoView = chipInfo;
        owner->nfcFaceView = chipFace;
        owner->nfcFaceTitleLabel = chipFaceTitle;
        owner->nfcFaceImageView = chipFaceImage;
        owner->lblInfor = ocrTitle;
        owner->lblResult = decision;
        owner->btnConfirm = button;
        owner->viewReason = reasonView;
        owner->lblScreenName = title;
        owner->viewOCR = ocrView;
        owner->boxStack = boxes;
        button->addTarget<OSLResulteKYCVC>(
            owner, [](OSLResulteKYCVC& screen, Control&) { screen.btnConfirmClicked(); },
            ControlEvent::touchUpInside);
      }
      return {root};
    }};

using Row = OSLResulteKYCVC::Row;

std::vector<Row> idCardRows(const std::shared_ptr<OSLFrontResult>& front) {
  std::shared_ptr<Field> fields = front ? front->fields : nullptr;
  auto row = [&](const char* key, std::optional<std::string> Field::*member) {
    return Row{osl_localize(key), fields ? fields.get()->*member : std::nullopt};
  };
  return {row("results_info_id", &Field::idNumber),    row("results_info_name", &Field::name),
          row("results_info_dob", &Field::birthday),   row("results_info_gender", &Field::gender),
          row("results_info_home", &Field::home),      row("results_info_res", &Field::resident),
          row("results_info_doi", &Field::doi),        row("results_info_doe", &Field::doe),
          row("results_info_poi", &Field::poi),        row("results_info_features", &Field::features),
          row("results_info_type", &Field::type)};
}

std::vector<Row> passportRows(const std::shared_ptr<OSLPassport>& passport) {
  auto row = [&](const char* key, std::string OSLPassport::*member) {
    return Row{osl_localize(key),
               passport ? std::optional<std::string>(passport.get()->*member) : std::nullopt};
  };
  return {row("results_info_id", &OSLPassport::idNumber),
          row("results_info_name", &OSLPassport::name),
          row("results_info_dob", &OSLPassport::birthday),
          row("results_info_gender", &OSLPassport::gender),
          row("results_info_doe", &OSLPassport::doe),
          row("results_info_nationality", &OSLPassport::nationality),
          Row{osl_localize("results_info_type"),
              uppercased(osl_localize("ekyc_passport"))}};
}

std::vector<Row> chipRows(const OSLNfcModel& chip) {
  auto row = [&](const char* key, const std::optional<std::string>& value) {
    return Row{osl_localize(key), value};
  };
  return {row("results_info_id", chip.id_number),
          row("results_info_name", chip.name),
          row("results_info_dob", chip.date_of_birth),
          row("results_info_gender", chip.gender),
          row("results_info_home", chip.hometown),
          row("results_info_res", chip.address),
          row("results_info_doi", chip.date_of_issuance),
          row("results_info_doe", chip.date_of_expiry),
          row("results_info_features", chip.personal_identification),
          row("results_info_father", chip.father_name),
          row("results_info_mother", chip.mother_name),
          row("results_info_spouse", chip.spouse_name)};
}

}  // namespace

std::shared_ptr<OSLResulteKYCVC> OSLResulteKYCVC::create(std::shared_ptr<OstrelResult> result) {
  auto screen = loadFromNib<OSLResulteKYCVC>();
  screen->result = std::move(result);
  return screen;
}

void OSLResulteKYCVC::viewDidLoad() {
  ResultScreen::viewDidLoad();
  setupUI();
}

void OSLResulteKYCVC::setupUI() {
  auto config = currentConfig();
  auto appearance = currentAppearance();
  const Color mainColor = colorFromHex(appearance->mainColor);
  const Color mainTextColor = colorFromHex(appearance->mainTextColor);
  if (lblInfor) {
    lblInfor->setTextColor(mainColor);
    lblInfor->setFont(Font::systemFont(16, FontWeight::bold));
  }
  if (imgFace) {
    imgFace->setImage(config->faceData);
    dropShadow(*imgFace, 10, {50, 5});
    setCornerRadius(*imgFace, imgFace->bounds().width() / 2);
  }
  if (imgFrontId) {
    imgFrontId->setImage(config->frontImage);
    setCornerRadius(*imgFrontId, 20);
  }
  if (imgBackId) {
    imgBackId->setImage(config->backImage);
    setCornerRadius(*imgBackId, 20);
    imgBackId->setHidden(Ostrel::shared()->flowType().isPassport());
  }
  if (lblScreenName) {
    lblScreenName->setText(osl_localize("results_title_1"));
    lblScreenName->setTextColor(mainTextColor);
  }
  if (btnConfirm) btnConfirm->setTitle(osl_localize("button_confirm"), ControlState::normal);
  if (lblResult) {
    lblResult->setText("");
    lblResult->setTextColor(mainTextColor);
  }
  if (lblInfor) lblInfor->setText(osl_localize("results_ocr_title"));
  for (const auto& v : {viewOCR, viewReason}) {
    if (v) setBorderColors(*v, mainColor);
  }
  std::weak_ptr<OSLResulteKYCVC> weakSelf = weak<OSLResulteKYCVC>();
  for (const auto& table : {ocrTableView, optionRejectTableView, nfcTableView}) {
    if (!table) continue;
    table->registerNib(InforCell::kReuseIdentifier, resourceBundle(), InforCell::kReuseIdentifier);
    table->rowHeight = TableView::automaticDimension;
    table->estimatedRowHeight = 50;
    table->numberOfRows = [weakSelf](TableView& t, int) {
      auto self = weakSelf.lock();
      return self ? self->numberOfRows(t) : 0;
    };
    table->cellForRow = [weakSelf](TableView& t, IndexPath path) {
      auto self = weakSelf.lock();
      return self ? self->cellForRow(t, path) : nullptr;
    };
  }
  for (const auto& [label, key] : {std::pair{nfcTitleLabel, "results_title_chip"},
                                   std::pair{nfcFaceTitleLabel, "results_chip_image"}}) {
    if (!label) continue;
    label->setTextColor(mainColor);
    label->setText(osl_localize(key));
    label->setFont(Font::systemFont(16, FontWeight::bold));
  }
  for (const auto& v : {nfcInfoView, nfcFaceView}) {
    if (v) setBorderColors(*v, mainColor);
  }
  populateRows();
  layoutBoxes();
}

void OSLResulteKYCVC::populateRows() {
  auto config = currentConfig();
  const OSLFlowType flow = Ostrel::shared()->flowType();
  ocrRowData = flow.isPassport() ? passportRows(config->passport) : idCardRows(config->frontResult);

  auto chipSection = nfcInfoView ? nfcInfoView->superview() : nullptr;
  std::shared_ptr<OSLNfcModel> chip = result ? result->nfcModel : nullptr;
  if (chip && flow.kind == OSLFlowType::Kind::nfc_ekyc) {
    auto data = base64Decode(chip->faceImageBase64().value_or(""));
    if (nfcFaceImageView) nfcFaceImageView->setImage(Image::decode(data.value_or(Bytes{})));
    nfcRowData = chipRows(*chip);
    if (chipSection) chipSection->setHidden(false);
  } else if (chipSection) {
    chipSection->setHidden(true);
  }

  const auto kind = result_decision::kindOf(result, flow.isPassport());
  if (lblResult) {
    result_decision::show(*lblResult, kind,
                          colorFromHex(currentAppearance()->mainTextColor));
  }
  if (kind == result_decision::Kind::approved) {
    if (viewReason) viewReason->setHidden(true);
    return;
  }
  auto reasons = result_decision::reasonsOf(result, currentAppearance()->language);
  if (!reasons) return;
  reasonData = std::move(*reasons);
  if (viewReason) viewReason->setHidden(false);
}

void OSLResulteKYCVC::reloadTables() {
  for (const auto& table : {ocrTableView, nfcTableView, optionRejectTableView}) {
    if (table) table->reloadData();
  }
  layoutBoxes();
}

void OSLResulteKYCVC::layoutBoxes() {
  if (!boxStack) return;
  // Each box as tall as its table's rows, which grow to their text; the margin under the table
  // is kept. The chip's face box follows the chip rows' box.
  for (const auto& [box, table] : {std::pair{viewOCR, ocrTableView},
                                   std::pair{nfcInfoView, nfcTableView},
                                   std::pair{viewReason, optionRejectTableView}}) {
    if (!box || !table) continue;
    table->layoutIfNeeded();
    const double rows = table->intrinsicContentSize().height;
    if (rows <= 0) continue;
    const Rect inner = table->frame();
    const double below = std::max(0.0, box->bounds().height() - inner.maxY());
    table->setFrame({inner.origin, {inner.width(), rows}});
    const Rect outer = box->frame();
    box->setFrame({outer.origin, {outer.width(), inner.minY() + rows + below}});
  }
  if (nfcInfoView && nfcFaceView) {
    const Rect face = nfcFaceView->frame();
    nfcFaceView->setFrame({{face.minX(), nfcInfoView->frame().maxY() + 16}, face.size});
    if (auto section = nfcInfoView->superview()) {
      const Rect all = section->frame();
      section->setFrame({all.origin, {all.width(), nfcFaceView->frame().maxY()}});
    }
  }
  const Rect frame = boxStack->frame();
  boxStack->setFrame({frame.origin, {frame.width(), boxStack->intrinsicContentSize().height}});
  boxStack->setNeedsLayout();
  boxStack->layoutIfNeeded();
  if (auto scroll = std::dynamic_pointer_cast<ScrollView>(boxStack->superview())) {
    scroll->setContentSize({scroll->contentSize().width, boxStack->frame().maxY() + 14});
  }
}

int OSLResulteKYCVC::numberOfRows(TableView& table) const {
  if (&table == ocrTableView.get()) return static_cast<int>(ocrRowData.size());
  if (&table == optionRejectTableView.get()) return static_cast<int>(reasonData.size());
  if (&table == nfcTableView.get()) return static_cast<int>(nfcRowData.size());
  return 0;
}

std::shared_ptr<TableViewCell> OSLResulteKYCVC::cellForRow(TableView& table, IndexPath path) {
  std::shared_ptr<TableViewCell> cell;
  auto inforCell = result_decision::dequeueInforCell(table, cell);
  if (!inforCell) return cell;
  const auto row = static_cast<std::size_t>(path.row);
  std::size_t count = 0;
  if (&table == optionRejectTableView.get()) {
    count = reasonData.size();
    if (row < count) {
      const auto& reason = reasonData[row];
      inforCell->configure(reason.isPass, false, reason.reasonString.value_or(kMissing), "");
    }
  } else {
    const auto& rows = &table == nfcTableView.get() ? nfcRowData : ocrRowData;
    count = rows.size();
    if (row < count) {
      inforCell->configure(0, true, rows[row].title.value_or(kMissing),
                           rows[row].value.value_or(kMissing));
    }
  }
  // Every row sets its divider: a reused cell must not keep the state of its earlier row.
  if (inforCell->viewDevide) inforCell->viewDevide->setHidden(row + 1 == count);
  return cell;
}

void OSLResulteKYCVC::btnConfirmClicked() {
  result_decision::closeWithResult(result);
}

}  // namespace ostrel
