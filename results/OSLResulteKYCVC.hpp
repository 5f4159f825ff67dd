#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/ScrollView.hpp"
#include "platform/ui/StackView.hpp"
#include "results/ResultDecision.hpp"
#include "results/ResultScreen.hpp"
#include "ui/OSLDynamicHeightTableView.hpp"
#include "ui/OstrelButton.hpp"

namespace ostrel {

class OstrelResult;

// The closing screen of the ID-card flows (when the host asks for a result screen) and of the
// passport flow: the face and card pictures, the recognised data, the chip's data in the
// `nfc_ekyc` flow, the decision and the reasons behind a manual or rejected one. Its confirm
// button closes the session (reported as a cancel, as the host has always seen it) and then
// hands the result to the host's result handler. Made from the nib "OSLResulteKYCVC" by
// `create`; main queue only.
class OSLResulteKYCVC : public ResultScreen {
 public:
  struct Row {
    std::optional<std::string> title;
    std::optional<std::string> value;
  };

  static std::shared_ptr<OSLResulteKYCVC> create(std::shared_ptr<OstrelResult> result);

  // Outlets.
  std::shared_ptr<platform::ImageView> imgFace;
  std::shared_ptr<platform::ImageView> imgFrontId;
  std::shared_ptr<platform::ImageView> imgBackId;
  std::shared_ptr<OSLDynamicHeightTableView> ocrTableView;
  std::shared_ptr<OSLDynamicHeightTableView> optionRejectTableView;
  std::shared_ptr<OSLDynamicHeightTableView> nfcTableView;
  std::shared_ptr<platform::Label> nfcTitleLabel;
  // Its superview is the whole chip section.
  std::shared_ptr<platform::View> nfcInfoView;
  std::shared_ptr<platform::View> nfcFaceView;
  std::shared_ptr<platform::Label> nfcFaceTitleLabel;
  std::shared_ptr<platform::ImageView> nfcFaceImageView;
  std::shared_ptr<platform::Label> lblInfor;
  std::shared_ptr<platform::Label> lblResult;
  std::shared_ptr<OstrelButton> btnConfirm;
  std::shared_ptr<platform::View> viewReason;
  std::shared_ptr<platform::Label> lblScreenName;
  std::shared_ptr<platform::View> viewOCR;
  // The boxes under the decision (reasons, recognised data, chip section), one after the
  // other; a hidden box takes no room.
  std::shared_ptr<platform::StackView> boxStack;

  std::shared_ptr<OstrelResult> result;
  std::vector<Row> ocrRowData;
  std::vector<result_decision::Reason> reasonData;
  std::vector<Row> nfcRowData;

  void viewDidLoad() override;

  virtual void setupUI();
  virtual void populateRows();

  // The three tables' data source, told apart by identity.
  int numberOfRows(platform::TableView& table) const;
  std::shared_ptr<platform::TableViewCell> cellForRow(platform::TableView& table,
                                                      platform::IndexPath path);
  void btnConfirmClicked();

 protected:
  void reloadTables() override;

 private:
  // Fits the box stack to the boxes on show and the scrolled content to the stack.
  void layoutBoxes();
};

}  // namespace ostrel
