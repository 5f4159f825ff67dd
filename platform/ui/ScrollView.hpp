#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Label.hpp"
#include "platform/ui/View.hpp"

namespace ostrel::platform {

enum class KeyboardDismissMode { none, onDrag, interactive };

// A scrolling view: the content offset is the bounds origin, so subviews convert through it.
class ScrollView : public View {
 public:
  // Clips its content to its bounds, as the platform's scroll views do.
  explicit ScrollView(Rect frame = {});

  Point contentOffset() const { return bounds().origin; }
  void setContentOffset(Point offset);
  Size contentSize() const { return contentSize_; }
  virtual void setContentSize(Size size) { contentSize_ = size; }
  EdgeInsets contentInset() const { return contentInset_; }
  void setContentInset(EdgeInsets insets);
  EdgeInsets scrollIndicatorInsets() const { return indicatorInsets_; }
  void setScrollIndicatorInsets(EdgeInsets insets);
  bool isPagingEnabled = false;
  bool isScrollEnabled = true;
  bool bounces = true;
  bool showsVerticalScrollIndicator = true;
  bool showsHorizontalScrollIndicator = true;
  KeyboardDismissMode keyboardDismissMode = KeyboardDismissMode::none;

 private:
  Size contentSize_;
  EdgeInsets contentInset_;
  EdgeInsets indicatorInsets_;
};

struct IndexPath {
  int section = 0;
  int row = 0;
  bool operator==(const IndexPath&) const = default;
};

enum class CellSelectionStyle { none, blue, gray, defaultStyle };

class TableViewCell : public View {
 public:
  explicit TableViewCell(Rect frame = {}) : View(frame) {}
  std::string reuseIdentifier;
  CellSelectionStyle selectionStyle = CellSelectionStyle::defaultStyle;
  virtual void prepareForReuse() {}
};

// A single-section table: rows come from the data source closures; `reloadData` stacks the
// cells top to bottom and sets the content size to their total height. Every row is laid out
// (nothing is scrolled out of the table), so a reload is when cells leave it: the ones made by
// `dequeueReusableCell` wait under their identifier to be handed out again.
class TableView : public ScrollView {
 public:
  using ScrollView::ScrollView;

  std::function<int(TableView&, int section)> numberOfRows;
  std::function<std::shared_ptr<TableViewCell>(TableView&, IndexPath)> cellForRow;
  std::function<double(TableView&, IndexPath)> heightForRow;
  std::function<void(TableView&, IndexPath)> didSelectRow;
  // As `rowHeight`: each row takes the height its cell fits in at the table's width (its
  // `sizeThatFits`), or the estimated height when the cell reports none.
  static constexpr double automaticDimension = -1;
  double rowHeight = 44;
  double estimatedRowHeight = 44;

  // Cells made from a nib in the given bundle (or by a factory) under an identifier.
  void registerNib(const std::string& nibName, std::shared_ptr<class Bundle> bundle,
                   const std::string& identifier);
  void registerCell(std::function<std::shared_ptr<TableViewCell>()> factory,
                    const std::string& identifier);
  // A cell that left the table under `identifier`, after its `prepareForReuse`; else a new one
  // from what is registered under it (a plain cell when nothing is).
  std::shared_ptr<TableViewCell> dequeueReusableCell(const std::string& identifier);

  void reloadData();
  const std::vector<std::shared_ptr<TableViewCell>>& visibleCells() const { return cells_; }
  std::shared_ptr<TableViewCell> cellForRowAt(IndexPath path) const;

 private:
  std::map<std::string, std::function<std::shared_ptr<TableViewCell>()>> factories_;
  std::vector<std::shared_ptr<TableViewCell>> cells_;
  std::map<std::string, std::vector<std::shared_ptr<TableViewCell>>> reusable_;
};

}  // namespace ostrel::platform
