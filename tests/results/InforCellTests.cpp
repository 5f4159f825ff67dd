#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/ui/Nib.hpp"
#include "tests/results/ResultsTest.hpp"

namespace ostrel::results_test {
namespace {

class InforCellTest : public ResultsTest {
 protected:
  static std::shared_ptr<InforCell> cellFromNib() {
    auto nib = Nib::load("InforCell", resourceBundle());
    if (!nib) return nullptr;
    for (const auto& object : nib->instantiate(nullptr)) {
      if (auto cell = std::dynamic_pointer_cast<InforCell>(object)) return cell;
    }
    return nullptr;
  }
  static bool pairShown(const InforCell& cell) {
    return !cell.titleInfoLabel->superview()->isHidden() && !cell.lblInfor->superview()->isHidden();
  }
  static bool reasonShown(const InforCell& cell) {
    return !cell.titleResonLabel->superview()->isHidden();
  }
  // A table `width` wide with automatic heights and two rows of cells from the nib, each set up
  // by `configure` with its row.
  static std::shared_ptr<TableView> tableOfTwo(double width,
                                               std::function<void(InforCell&, int)> configure) {
    auto table = make<TableView>(Rect{0, 0, width, 600});
    table->registerNib("InforCell", resourceBundle(), "InforCell");
    table->rowHeight = TableView::automaticDimension;
    table->estimatedRowHeight = 50;
    table->numberOfRows = [](TableView&, int) { return 2; };
    table->cellForRow = [configure](TableView& t, IndexPath path) -> std::shared_ptr<TableViewCell> {
      auto c = std::dynamic_pointer_cast<InforCell>(t.dequeueReusableCell("InforCell"));
      if (c) configure(*c, path.row);
      return c;
    };
    table->reloadData();
    return table;
  }
};

TEST_F(InforCellTest, ShowsEitherAPairOrAReasonWithItsIcon) {
  config->appearance->mainTextColor = "102030";
  auto cell = cellFromNib();
  ASSERT_TRUE(cell);
  EXPECT_EQ(cell->selectionStyle, CellSelectionStyle::none);
  EXPECT_EQ(cell->titleInfoLabel->font(), Font::systemFont(14, FontWeight::semibold));
  EXPECT_EQ(cell->titleInfoLabel->numberOfLines(), 1);
  EXPECT_EQ(cell->lblInfor->numberOfLines(), 0);
  EXPECT_EQ(cell->titleResonLabel->font(), Font::systemFont(14));
  EXPECT_EQ(cell->lblInfor->textColor(), colorFromHex("102030"));
  const auto error = bundleImage("icon_error");
  const auto question = bundleImage("ic_question_reason");
  ASSERT_TRUE(error && question);

  struct Row {
    int isPass;
    bool errorIcon;
  };
  for (const Row& row : {Row{0, true}, Row{-1, false}, Row{1, false}, Row{7, false}}) {
    SCOPED_TRACE(row.isPass);
    cell->configure(row.isPass, false, "Ảnh bị mờ", "ignored");
    EXPECT_TRUE(reasonShown(*cell));
    EXPECT_TRUE(cell->titleInfoLabel->superview()->isHidden());
    EXPECT_TRUE(cell->lblInfor->superview()->isHidden());
    EXPECT_FALSE(cell->imgReject->isHidden());
    EXPECT_TRUE(samePixels(cell->imgReject->image(), row.errorIcon ? error : question));
    // Both labels get the title; the containers decide which one is seen.
    EXPECT_EQ(cell->titleResonLabel->text(), "Ảnh bị mờ");
    EXPECT_EQ(cell->titleInfoLabel->text(), "Ảnh bị mờ");
  }
  // A reason, then a pair: only the pair shows; the icon keeps its picture.
  cell->configure(0, false, "Reason", std::nullopt);
  cell->configure(5, true, "Họ tên", "NGUYỄN VĂN A");
  EXPECT_TRUE(pairShown(*cell));
  EXPECT_FALSE(reasonShown(*cell));
  EXPECT_TRUE(samePixels(cell->imgReject->image(), error));
  EXPECT_EQ(cell->titleInfoLabel->text(), "Họ tên");
  EXPECT_EQ(cell->titleResonLabel->text(), "Họ tên");
  EXPECT_EQ(cell->lblInfor->text(), "NGUYỄN VĂN A");
  cell->configure(0, true, "Ngày hết hạn", std::nullopt);
  EXPECT_EQ(cell->lblInfor->text(), "");
  // The divider is the screens' business.
  cell->viewDevide->setHidden(true);
  cell->configure(0, false, "x", "y");
  EXPECT_TRUE(cell->viewDevide->isHidden());
}

TEST_F(InforCellTest, ARowIsAsTallAsItsText) {
  std::string longText;
  for (int i = 0; i < 80; ++i) longText += "word ";
  auto cell = cellFromNib();
  ASSERT_TRUE(cell);
  cell->configure(0, false, "short", "");
  const double one = cell->sizeThatFits({390, 0}).height;
  cell->configure(0, false, longText, "");
  const double many = cell->sizeThatFits({390, 0}).height;
  EXPECT_GE(one, 50);
  EXPECT_GT(many, one);
  // In a table with automatic heights the row takes that height.
  auto table = tableOfTwo(390, [&](InforCell& c, int row) {
    c.configure(0, false, row == 0 ? "short" : longText, "");
  });
  ASSERT_EQ(table->visibleCells().size(), 2u);
  EXPECT_EQ(table->visibleCells()[0]->frame().height(), one);
  EXPECT_GT(table->visibleCells()[1]->frame().height(), one);
  EXPECT_EQ(table->contentSize().height, table->visibleCells()[0]->frame().height() +
                                             table->visibleCells()[1]->frame().height());
}

// The result screens' tables are narrower than the screen and give long values taller rows:
// everything of the cell lies inside it, and a long value has the row's height to wrap in.
TEST_F(InforCellTest, ItsPartsFollowTheWidthAndHeightTheTableGives) {
  std::string address;
  for (int i = 0; i < 12; ++i) address += "Phường Phạm Đình Hổ ";
  // A pair with a long value; a reason (its text is the title) that long too.
  auto table = tableOfTwo(350, [&](InforCell& c, int row) {
    c.configure(0, row == 0, row == 0 ? "Nơi thường trú" : address, address);
  });
  table->layoutIfNeeded();
  ASSERT_EQ(table->visibleCells().size(), 2u);
  for (const auto& row : table->visibleCells()) {
    auto cell = std::dynamic_pointer_cast<InforCell>(row);
    ASSERT_TRUE(cell);
    cell->layoutIfNeeded();
    const Rect inside = cell->bounds();
    EXPECT_GT(inside.height(), 50) << "the long text makes the row taller";
    for (const std::shared_ptr<View>& part : std::vector<std::shared_ptr<View>>{
             cell->titleInfoLabel, cell->lblInfor, cell->titleResonLabel, cell->imgReject,
             cell->viewDevide, cell->lblInfor->superview(), cell->titleResonLabel->superview()}) {
      const Rect frame = part->convertRectTo(part->bounds(), cell.get());
      SCOPED_TRACE(part->className() + " at " + std::to_string(frame.minX()) + ", " +
                   std::to_string(frame.minY()) + " size " + std::to_string(frame.width()) +
                   " x " + std::to_string(frame.height()));
      EXPECT_GE(frame.minX(), 0);
      EXPECT_LE(frame.maxX(), inside.width() + 1e-9);
      EXPECT_LE(frame.maxY(), inside.height() + 1e-9);
    }
  }
  auto pair = std::dynamic_pointer_cast<InforCell>(table->visibleCells()[0]);
  const double needed = TextMeasurer::shared()
                            .boundingSize(address, pair->lblInfor->font(),
                                          {pair->lblInfor->bounds().width(), 1e6})
                            .height;
  EXPECT_GE(pair->lblInfor->bounds().height() + 1e-9, needed) << "the value has room to wrap";
}

}  // namespace
}  // namespace ostrel::results_test
