#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/OSLNfcModel.hpp"
#include "model/OstrelResult.hpp"
#include "platform/foundation/Base64.hpp"
#include "platform/ui/Text.hpp"
#include "results/InforCell.hpp"
#include "tests/chip_screens/ChipScreensTest.hpp"

namespace ostrel::chip_screens_test {
namespace {

class ResultNFCTest : public ChipScreenTest {
 protected:
  static std::shared_ptr<OstrelResult> resultWith(std::optional<std::string> decision,
                                                   std::shared_ptr<OSLNfcModel> chip) {
    auto result = std::make_shared<OstrelResult>();
    result->decision = std::move(decision);
    result->nfcModel = std::move(chip);
    return result;
  }
  static std::shared_ptr<OSLNfcModel> sampleChip(const std::string& faceImage) {
    return OSLNfcModel::decode(testing::samplePerson().chipRecordJSON(faceImage));
  }

  std::shared_ptr<OSLResultNFCVC> push(std::shared_ptr<OstrelResult> result) {
    auto navi = startSession(make<ViewController>());
    auto screen = OSLResultNFCVC::create(std::move(result));
    navi->pushViewController(screen, false);
    advance(1);
    return screen;
  }

  // "title=value" of each row, and whether its divider shows.
  static std::vector<std::string> rows(const TableView& table) {
    std::vector<std::string> out;
    for (const auto& c : table.visibleCells()) {
      auto cell = std::dynamic_pointer_cast<InforCell>(c);
      if (!cell) {
        out.push_back("(not an information cell)");
        continue;
      }
      out.push_back(cell->titleInfoLabel->text().value_or("") + "=" +
                    cell->lblInfor->text().value_or("") +
                    (cell->viewDevide->isHidden() ? " (no divider)" : ""));
    }
    return out;
  }
};

TEST_F(ResultNFCTest, ShowsTheChipRowsAndPhotoAndHidesOnlyTheLastDivider) {
  const auto& person = testing::samplePerson();
  const std::string png = base64Encode(bundleImage("icon_done")->pngData().value_or(Bytes{}));
  auto screen = push(resultWith("APPROVED", sampleChip("data:image/png;base64," + png)));
  EXPECT_TRUE(screen->navigationController()->isNavigationBarHidden());

  auto shown = rows(*screen->tblInfor);
  ASSERT_EQ(shown.size(), 12u);
  EXPECT_EQ(shown[0], "[results_info_id]=" + person.idNumber);
  EXPECT_EQ(shown[1], "[results_info_name]=" + person.printedName);
  EXPECT_EQ(shown[11], "[results_info_spouse]=" + person.spouseName + " (no divider)");
  for (std::size_t i = 0; i + 1 < shown.size(); ++i) {
    EXPECT_EQ(shown[i].find("(no divider)"), std::string::npos) << shown[i];
  }
  // The data-URL prefix is cut before the photo is decoded.
  ASSERT_TRUE(screen->faceNfcImageView->image());
  EXPECT_TRUE(samePixels(screen->faceNfcImageView->image(), bundleImage("icon_done")));
  EXPECT_EQ(screen->lblInfor->text(), "[results_title_chip]");
  EXPECT_EQ(screen->faceNfcTitleLabel->text(), "[results_chip_image]");

  // A reload with one more row: the cells come back from the reuse pool, the one that was last
  // now for another row, and only the new last row hides its divider.
  screen->listTitle.push_back("[extra]");
  screen->listData.push_back("x");
  screen->tblInfor->reloadData();
  shown = rows(*screen->tblInfor);
  ASSERT_EQ(shown.size(), 13u);
  for (std::size_t i = 0; i + 1 < shown.size(); ++i) {
    EXPECT_EQ(shown[i].find("(no divider)"), std::string::npos) << "row " << i << " " << shown[i];
  }
  EXPECT_EQ(shown[12], "[extra]=x (no divider)");
}

TEST_F(ResultNFCTest, WithoutChipDataEveryValueIsADashAndThePhotoEmpty) {
  for (auto result : {resultWith("APPROVED", nullptr), std::shared_ptr<OstrelResult>()}) {
    SCOPED_TRACE(result ? "no chip model" : "no result");
    auto screen = push(result);
    auto shown = rows(*screen->tblInfor);
    ASSERT_EQ(shown.size(), 12u);
    for (const auto& row : shown) EXPECT_NE(row.find("=--"), std::string::npos) << row;
    EXPECT_FALSE(screen->faceNfcImageView->image());
  }
  auto undecodable = push(resultWith("APPROVED", sampleChip("not base64 !!")));
  EXPECT_FALSE(undecodable->faceNfcImageView->image());
}

TEST_F(ResultNFCTest, TheBannerFollowsTheDecision) {
  struct Row {
    std::optional<std::string> decision;
    std::string text;
    std::string colour;
    bool success;
  };
  const std::vector<Row> table{
      {"APPROVED", uppercased("[results_title_2_success]"), "1ABB6C", true},
      {"approved", uppercased("[results_title_2_success]"), "1ABB6C", true},
      {std::nullopt, uppercased("[results_title_2_success]"), "1ABB6C", true},
      {"MANUAL", "[results_decision_manual]", currentAppearance()->mainTextColor, false},
      {"REJECTED", "[results_decision_rejected]", "EC2A2A", false},
      {"SOMETHING", "[results_decision_rejected]", "EC2A2A", false},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.decision.value_or("(absent)"));
    auto screen = push(resultWith(row.decision, nullptr));
    auto& banner = *screen->lblResult;
    const auto attributed = banner.attributedText();
    const std::string text = attributed ? attributed->string : banner.text().value_or("");
    EXPECT_EQ(text, row.text);
    const Color colour = attributed ? attributed->foregroundColor.value_or(Color::clear())
                                    : banner.textColor();
    EXPECT_TRUE(colour.isApproximately(colorFromHex(row.colour)));
    EXPECT_EQ(screen->statusFaceImageView->image() != nullptr, row.success);
    EXPECT_EQ(!screen->completeBgImageView->isHidden(), row.success);
    EXPECT_EQ(screen->completeBgImageView->image() != nullptr, row.success);
  }
}

TEST_F(ResultNFCTest, ConfirmClosesAsCancelledThenHandsTheResultOnce) {
  auto result = resultWith("APPROVED", nullptr);
  auto screen = push(result);
  user().tap(screen->btnConfirm);
  user().tap(screen->btnConfirm);
  advance(2);
  runUntilIdle();
  EXPECT_EQ(*heard, (std::vector<std::string>{"event 0", "result"}));
  ASSERT_EQ(results->size(), 1u);
  EXPECT_EQ(results->front(), result);
  EXPECT_FALSE(Ostrel::shared()->naviViewController());
}

}  // namespace
}  // namespace ostrel::chip_screens_test
