#include "platform/ui/ScrollView.hpp"

#include "platform/foundation/Bundle.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/ui/Nib.hpp"

namespace ostrel::platform {

ScrollView::ScrollView(Rect frame) : View(frame) {
  setClipsToBounds(true);
}

void ScrollView::setContentOffset(Point offset) {
  Rect b = bounds();
  b.origin = offset;
  setBounds(b);
}

void ScrollView::setContentInset(EdgeInsets insets) {
  if (insets == contentInset_) return;
  recordChange("contentInset", contentInset_, insets);
  contentInset_ = insets;
}

void ScrollView::setScrollIndicatorInsets(EdgeInsets insets) {
  if (insets == indicatorInsets_) return;
  recordChange("scrollIndicatorInsets", indicatorInsets_, insets);
  indicatorInsets_ = insets;
}

void TableView::registerNib(const std::string& nibName, std::shared_ptr<Bundle> bundle,
                            const std::string& identifier) {
  factories_[identifier] = [nibName, bundle]() -> std::shared_ptr<TableViewCell> {
    auto nib = Nib::load(nibName, bundle);
    if (!nib) {
      debugLog("cell nib \"" + nibName + "\" is not registered");
      return nullptr;
    }
    for (const auto& o : nib->instantiate(nullptr)) {
      if (auto cell = std::dynamic_pointer_cast<TableViewCell>(o)) return cell;
    }
    return nullptr;
  };
}

void TableView::registerCell(std::function<std::shared_ptr<TableViewCell>()> factory,
                             const std::string& identifier) {
  factories_[identifier] = std::move(factory);
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCell(const std::string& identifier) {
  auto& waiting = reusable_[identifier];
  if (!waiting.empty()) {
    auto cell = std::move(waiting.back());
    waiting.pop_back();
    cell->prepareForReuse();
    return cell;
  }
  auto it = factories_.find(identifier);
  std::shared_ptr<TableViewCell> cell = it != factories_.end() ? it->second() : nullptr;
  if (!cell) cell = make<TableViewCell>(Rect{0, 0, bounds().width(), std::max(0.0, rowHeight)});
  cell->reuseIdentifier = identifier;
  return cell;
}

void TableView::reloadData() {
  for (auto& c : cells_) {
    c->removeFromSuperview();
    // Only cells handed out by identifier come back; one the data source made itself is its own.
    if (!c->reuseIdentifier.empty()) reusable_[c->reuseIdentifier].push_back(c);
  }
  cells_.clear();
  int rows = numberOfRows ? std::max(0, numberOfRows(*this, 0)) : 0;
  double y = 0;
  for (int row = 0; row < rows; ++row) {
    IndexPath path{0, row};
    auto cell = cellForRow ? cellForRow(*this, path) : nullptr;
    if (!cell) cell = make<TableViewCell>();
    double h = heightForRow ? heightForRow(*this, path) : rowHeight;
    if (!heightForRow && rowHeight == automaticDimension) {
      double fitted = cell->sizeThatFits({bounds().width(), 0}).height;
      h = fitted > 0 ? fitted : estimatedRowHeight;
    }
    cell->setFrame({0, y, bounds().width(), h});
    addSubview(cell);
    cells_.push_back(cell);
    y += h;
  }
  setContentSize({bounds().width(), y});
}

std::shared_ptr<TableViewCell> TableView::cellForRowAt(IndexPath path) const {
  if (path.section != 0 || path.row < 0 || path.row >= static_cast<int>(cells_.size()))
    return nullptr;
  return cells_[static_cast<std::size_t>(path.row)];
}

}  // namespace ostrel::platform
