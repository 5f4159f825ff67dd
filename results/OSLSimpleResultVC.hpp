#pragma once

#include <memory>
#include <vector>

#include "platform/ui/Label.hpp"
#include "platform/ui/ScrollView.hpp"
#include "results/ResultDecision.hpp"
#include "results/ResultScreen.hpp"
#include "ui/OstrelButton.hpp"

namespace ostrel {

class OstrelResult;

// The reasons-only result screen, shown in place of every other result screen when the host
// sets `isOnlyShowReasonInResultVC`: a title, a subtitle, the decision and the reasons behind a
// manual or rejected one. Its confirm button closes the session (reported as a cancel) and then
// hands the result to the host's result handler. Made from the nib "OSLSimpleResultVC" by
// `create`; main queue only.
class OSLSimpleResultVC : public ResultScreen {
 public:
  static std::shared_ptr<OSLSimpleResultVC> create(std::shared_ptr<OstrelResult> result);

  // Outlets.
  std::shared_ptr<platform::Label> lblScreenName;
  std::shared_ptr<platform::Label> lblResult;
  std::shared_ptr<platform::Label> subTitleLabel;
  std::shared_ptr<OstrelButton> btnConfirm;
  std::shared_ptr<platform::View> viewReason;
  std::shared_ptr<platform::TableView> optionRejectTableView;

  std::vector<result_decision::Reason> reasonData;
  std::shared_ptr<OstrelResult> result;

  void viewDidLoad() override;

  virtual void setupUI();
  virtual void showDecision();

  int numberOfRows() const { return static_cast<int>(reasonData.size()); }
  std::shared_ptr<platform::TableViewCell> cellForRow(platform::TableView& table,
                                                      platform::IndexPath path);
  void btnConfirmClicked();

 protected:
  void reloadTables() override;
};

}  // namespace ostrel
