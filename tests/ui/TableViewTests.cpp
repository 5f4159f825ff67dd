#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/foundation/Make.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/Nib.hpp"
#include "platform/ui/ScrollView.hpp"
#include "testing/ScriptedUser.hpp"

namespace ostrel::platform {
namespace {

// A result-screen style row: a title, and a bottom rule that only the last row hides.
class TitleCell : public TableViewCell {
 public:
  using TableViewCell::TableViewCell;
  std::shared_ptr<Label> title;
  bool ruleHidden = false;
  int preparations = 0;
  void prepareForReuse() override {
    ++preparations;
    ruleHidden = false;
    title->setText("");
  }
};

class TableViewTest : public testing::UITest {
 protected:
  void SetUp() override {
    NibRegistry::add({}, "TitleCell", [](NibLoader& nib) -> std::vector<std::shared_ptr<Object>> {
      auto cell = nib.makeView<TitleCell>(Rect{0, 0, 320, 44});
      cell->title = nib.makeView<Label>(Rect{16, 0, 288, 44});
      cell->addSubview(cell->title);
      return {cell};
    });
  }
  // Fills `rows` through cells dequeued by identifier, the last row without its rule.
  void fill(TableView& table, std::vector<std::string> rows) {
    table.numberOfRows = [rows](TableView&, int) { return static_cast<int>(rows.size()); };
    table.cellForRow = [rows](TableView& t, IndexPath path) -> std::shared_ptr<TableViewCell> {
      auto cell = std::dynamic_pointer_cast<TitleCell>(t.dequeueReusableCell("title"));
      if (!cell) return nullptr;
      cell->title->setText(rows[static_cast<std::size_t>(path.row)]);
      if (path.row + 1 == static_cast<int>(rows.size())) cell->ruleHidden = true;
      return cell;
    };
    table.reloadData();
  }
};

TEST_F(TableViewTest, CellsThatLeftAreHandedOutAgainPreparedForTheirNewRow) {
  auto table = make<TableView>(Rect{0, 0, 320, 400});
  table->registerNib("TitleCell", nullptr, "title");
  fill(*table, {"Name", "Birth date", "Address"});
  ASSERT_EQ(table->visibleCells().size(), 3u);
  std::vector<std::shared_ptr<TableViewCell>> first = table->visibleCells();
  auto last = std::dynamic_pointer_cast<TitleCell>(first.back());
  ASSERT_TRUE(last);
  EXPECT_TRUE(last->ruleHidden);
  EXPECT_EQ(last->reuseIdentifier, "title");

  // Four rows now: the three cells come back, a fourth is made from the nib.
  fill(*table, {"Document number", "Sex", "Nationality", "Expiry"});
  const auto& second = table->visibleCells();
  ASSERT_EQ(second.size(), 4u);
  int reused = 0;
  for (std::size_t row = 0; row < second.size(); ++row) {
    SCOPED_TRACE(row);
    auto cell = std::dynamic_pointer_cast<TitleCell>(second[row]);
    ASSERT_TRUE(cell);
    const bool wasHere = std::find(first.begin(), first.end(), second[row]) != first.end();
    reused += wasHere;
    EXPECT_EQ(cell->preparations, wasHere ? 1 : 0);
    EXPECT_EQ(cell->ruleHidden, row == 3) << "only the new last row hides its rule";
    EXPECT_EQ(cell->superview().get(), table.get());
  }
  EXPECT_EQ(reused, 3);
  // The old last row now sits elsewhere, its text that of its new row.
  auto it = std::find(second.begin(), second.end(), first.back());
  ASSERT_NE(it, second.end());
  EXPECT_NE(it - second.begin(), 3);
  EXPECT_EQ(last->title->text(), std::vector<std::string>({"Document number", "Sex", "Nationality",
                                                           "Expiry"})[it - second.begin()]);

  // Cells are kept per identifier: another identifier gets none of them.
  auto other = table->dequeueReusableCell("other");
  EXPECT_EQ(std::dynamic_pointer_cast<TitleCell>(other), nullptr);
  EXPECT_EQ(other->reuseIdentifier, "other");
}

}  // namespace
}  // namespace ostrel::platform
