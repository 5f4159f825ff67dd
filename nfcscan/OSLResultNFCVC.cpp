#include "nfcscan/OSLResultNFCVC.hpp"

#include <array>
#include <vector>

#include "core/CurrentConfig.hpp"
#include "core/Localization.hpp"
#include "model/OSLNfcModel.hpp"
#include "model/OstrelResult.hpp"
#include "platform/foundation/Base64.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/Text.hpp"
#include "platform/ui/Window.hpp"
#include "results/InforCell.hpp"
#include "results/ResultDecision.hpp"
#include "ui/AttributedText.hpp"
#include "ui/OstrelBaseViews.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

// Screen title, the decision banner over the congratulation picture, the chip's face photo in
// a frame, the chip's rows in another, and the confirm button at the foot.
const LibraryNibRegistration resultNfcNib{
    "OSLResultNFCVC", [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
      Rect screen = Screen::main().bounds();
      const double w = screen.width();
      const double inner = w - 40;
      auto root = nib.makeView<View>(screen);
      auto title = nib.makeView<Label>(Rect{20, 60, inner, 28});
      title->setFont(Font::systemFont(20, FontWeight::bold));
      title->textAlignment = TextAlignment::center;
      auto background = nib.makeView<ImageView>(Rect{20, 96, inner, 120});
      background->setHidden(true);
      auto status = nib.makeView<ImageView>(Rect{w / 2 - 24, 110, 48, 48});
      auto banner = nib.makeView<Label>(Rect{20, 166, inner, 28});
      auto faceTitle = nib.makeView<Label>(Rect{20, 228, inner, 22});
      auto faceFrame = nib.makeView<View>(Rect{20, 256, inner, 180});
      auto face = nib.makeView<ImageView>(Rect{inner / 2 - 60, 10, 120, 160});
      face->setContentMode(ContentMode::scaleAspectFit);
      faceFrame->addSubview(face);
      auto infoTitle = nib.makeView<Label>(Rect{20, 448, inner, 22});
      auto infoFrame = nib.makeView<View>(Rect{20, 476, inner, screen.height() - 572});
      auto table = nib.makeView<OSLDynamicHeightTableView>(
          Rect{0, 0, inner, screen.height() - 572});
      infoFrame->addSubview(table);
      auto button = nib.makeView<OstrelButton>(Rect{20, screen.height() - 76, inner, 48});
      for (const auto& v : std::vector<std::shared_ptr<View>>{
               title, background, status, banner, faceTitle, faceFrame, infoTitle, infoFrame,
               button}) {
        root->addSubview(v);
      }
      if (auto owner = nib.owner<OSLResultNFCVC>()) {
        owner->lblScreenName = title;
        owner->completeBgImageView = background;
        owner->statusFaceImageView = status;
        owner->lblResult = banner;
        owner->faceNfcTitleLabel = faceTitle;
        owner->faceNfcView = faceFrame;
        owner->faceNfcImageView = face;
        owner->lblInfor = infoTitle;
        owner->nfcInfoView = infoFrame;
        owner->tblInfor = table;
        owner->btnConfirm = button;
        // The screen is the table's source, connected here as the nib connects it.
        std::weak_ptr<OSLResultNFCVC> weakOwner = owner;
        table->numberOfRows = [weakOwner](TableView&, int) {
          auto self = weakOwner.lock();
          return self ? self->numberOfRows() : 0;
        };
        table->cellForRow = [weakOwner](TableView& t, IndexPath path) {
          auto self = weakOwner.lock();
          return self ? self->cellForRow(t, path) : nullptr;
        };
        button->addTarget<OSLResultNFCVC>(
            owner, [](OSLResultNFCVC& s, Control&) { s.btnConfirmClicked(); },
            ControlEvent::touchUpInside);
      }
      return {root};
    }};

struct ChipRow {
  const char* titleKey;
  std::optional<std::string> OSLNfcModel::*field;
};

constexpr std::array<ChipRow, 12> kChipRows{{
    {"results_info_id", &OSLNfcModel::id_number},
    {"results_info_name", &OSLNfcModel::name},
    {"results_info_dob", &OSLNfcModel::date_of_birth},
    {"results_info_gender", &OSLNfcModel::gender},
    {"results_info_home", &OSLNfcModel::hometown},
    {"results_info_res", &OSLNfcModel::address},
    {"results_info_doi", &OSLNfcModel::date_of_issuance},
    {"results_info_doe", &OSLNfcModel::date_of_expiry},
    {"results_info_features", &OSLNfcModel::personal_identification},
    {"results_info_father", &OSLNfcModel::father_name},
    {"results_info_mother", &OSLNfcModel::mother_name},
    {"results_info_spouse", &OSLNfcModel::spouse_name},
}};

}  // namespace

std::shared_ptr<OSLResultNFCVC> OSLResultNFCVC::create(std::shared_ptr<OstrelResult> result) {
  auto screen = loadFromNib<OSLResultNFCVC>();
  screen->result = std::move(result);
  return screen;
}

void OSLResultNFCVC::viewDidLoad() {
  ResultScreen::viewDidLoad();
  setupUI();
}

void OSLResultNFCVC::setupUI() {
  auto appearance = currentAppearance();
  const Color mainColor = colorFromHex(appearance->mainColor);
  const Color mainTextColor = colorFromHex(appearance->mainTextColor);
  if (lblScreenName) {
    lblScreenName->setText(osl_localize("results_title_1"));
    lblScreenName->setTextColor(mainTextColor);
  }
  if (btnConfirm) btnConfirm->setTitle(osl_localize("button_confirm"), ControlState::normal);
  if (tblInfor) {
    tblInfor->registerNib(InforCell::kReuseIdentifier, resourceBundle(),
                          InforCell::kReuseIdentifier);
    tblInfor->rowHeight = TableView::automaticDimension;
    tblInfor->estimatedRowHeight = 50;
  }
  for (const auto& [label, key] : {std::pair{lblInfor, "results_title_chip"},
                                   std::pair{faceNfcTitleLabel, "results_chip_image"}}) {
    if (!label) continue;
    label->setTextColor(mainColor);
    label->setText(osl_localize(key));
    label->setFont(Font::systemFont(16, FontWeight::bold));
  }
  for (const auto& frame : {nfcInfoView, faceNfcView}) {
    if (frame) setBorderColors(*frame, mainColor);
  }
  populate();
}

void OSLResultNFCVC::populate() {
  std::shared_ptr<OSLNfcModel> chip = result ? result->nfcModel : nullptr;
  if (faceNfcImageView) {
    const std::string face = chip ? chip->faceImageBase64().value_or("") : "";
    faceNfcImageView->setImage(Image::decode(base64Decode(face).value_or(Bytes{})));
  }
  listTitle.clear();
  listData.clear();
  for (const auto& row : kChipRows) {
    listTitle.emplace_back(osl_localize(row.titleKey));
    std::optional<std::string> value = chip ? (*chip).*row.field : std::nullopt;
    listData.emplace_back(value.value_or("--"));
  }
  // The banner tells the decision: only an approved (or undecided) result gets the green
  // congratulation, so a rejected or manual one is never shown to the user as a success.
  const auto kind = result_decision::kindOf(result, /*passportFlow=*/true);
  const bool success = kind == result_decision::Kind::approved;
  if (lblResult) {
    if (success) {
      lblResult->setAttributedText(
          makeAttributedText(uppercased(osl_localize("results_title_2_success")),
                             colorFromHex("1ABB6C"), Font::systemFont(17, FontWeight::semibold),
                             TextAlignment::center, false, std::nullopt,
                             LineBreakMode::byTruncatingTail, false));
    } else {
      lblResult->setAttributedText(std::nullopt);
      result_decision::show(*lblResult, kind, colorFromHex(currentAppearance()->mainTextColor));
    }
  }
  auto bundle = resourceBundle();
  if (statusFaceImageView) {
    statusFaceImageView->setImage(success ? Image::named("icon_done", *bundle) : nullptr);
    statusFaceImageView->setHidden(!success);
  }
  if (completeBgImageView) {
    completeBgImageView->setHidden(!success);
    completeBgImageView->setImage(success ? Image::named("ic_congratulation", *bundle) : nullptr);
  }
}

void OSLResultNFCVC::reloadTables() {
  if (tblInfor) tblInfor->reloadData();
}

std::shared_ptr<TableViewCell> OSLResultNFCVC::cellForRow(TableView& table, IndexPath path) {
  std::shared_ptr<TableViewCell> cell;
  auto inforCell = result_decision::dequeueInforCell(table, cell);
  if (!inforCell) return cell;
  const auto row = static_cast<std::size_t>(path.row);
  if (row < listTitle.size()) {
    inforCell->configure(0, true, listTitle[row].value_or(""),
                         row < listData.size() ? listData[row] : std::nullopt);
  }
  // Set on every fill: a reused cell must not carry the last row's hidden divider elsewhere.
  if (inforCell->viewDevide) inforCell->viewDevide->setHidden(row + 1 == listTitle.size());
  return cell;
}

void OSLResultNFCVC::btnConfirmClicked() {
  result_decision::closeWithResult(result);
}

}  // namespace ostrel
