#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/ScrollView.hpp"

namespace ostrel {

// The one row of the result screens: either an information pair (a field's title and value) or
// a reason behind a decision (an icon that tells a failed check from an undetermined one, and
// its text). Each kind sits in containers of its own (the labels' superviews); `configure`
// shows one kind by hiding the other's. Made only from the nib "InforCell", registered by the
// screens under `kReuseIdentifier`. The divider belongs to the screens: the cell never sets it.
class InforCell : public platform::TableViewCell {
 public:
  using TableViewCell::TableViewCell;

  static constexpr const char* kReuseIdentifier = "InforCell";

  // Outlets; any of them may be missing from a nib.
  std::shared_ptr<platform::Label> titleInfoLabel;
  std::shared_ptr<platform::Label> titleResonLabel;
  std::shared_ptr<platform::Label> lblInfor;
  std::shared_ptr<platform::View> viewDevide;
  std::shared_ptr<platform::ImageView> imgReject;

  void awakeFromNib() override;
  // Fonts, colours and line counts; every label and the icon shown.
  virtual void setupUI();
  // `isInfo` true: the pair `title` / `value` (absent shows empty); the icon keeps whatever it
  // had. False: a reason, with the error icon when `isPass` is 0, else the question icon. Both
  // labels always get the title; only the containers decide which one is seen.
  virtual void configure(int isPass, bool isInfo, const std::string& title,
                         const std::optional<std::string>& value);

  // The height the visible kind needs at `size.width` (the cell's own width when 0).
  platform::Size sizeThatFits(platform::Size size) const override;
  // The containers, labels, icon and divider follow the cell's bounds: a table gives its cells
  // its own width and each row the height its text needs.
  void layoutSubviews() override;
};

}  // namespace ostrel
