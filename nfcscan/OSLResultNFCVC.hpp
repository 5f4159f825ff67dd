#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/ScrollView.hpp"
#include "results/ResultScreen.hpp"
#include "ui/OSLDynamicHeightTableView.hpp"
#include "ui/OstrelButton.hpp"

namespace ostrel {

class OstrelResult;

// The closing screen of the chip-only flow: the face photo read from the chip, the identity
// the server returned for the chip in twelve rows, and a banner with the decision. Its confirm
// button closes the session (reported as a cancel) and then hands the result to the host's
// result handler. Made from the nib "OSLResultNFCVC" by `create`, whose table closures (set in
// the nib) hold the screen weakly; main queue only.
class OSLResultNFCVC : public ResultScreen {
 public:
  static std::shared_ptr<OSLResultNFCVC> create(std::shared_ptr<OstrelResult> result);

  // Outlets; any of them may be missing from a nib.
  std::shared_ptr<OSLDynamicHeightTableView> tblInfor;
  std::shared_ptr<platform::Label> lblInfor;
  std::shared_ptr<platform::Label> faceNfcTitleLabel;
  std::shared_ptr<platform::Label> lblResult;
  std::shared_ptr<OstrelButton> btnConfirm;
  std::shared_ptr<platform::Label> lblScreenName;
  std::shared_ptr<platform::View> faceNfcView;
  std::shared_ptr<platform::View> nfcInfoView;
  std::shared_ptr<platform::ImageView> faceNfcImageView;
  std::shared_ptr<platform::ImageView> statusFaceImageView;
  std::shared_ptr<platform::ImageView> completeBgImageView;

  std::vector<std::optional<std::string>> listTitle;
  std::vector<std::optional<std::string>> listData;
  std::shared_ptr<OstrelResult> result;

  void viewDidLoad() override;

  virtual void setupUI();
  virtual void populate();

  int numberOfRows() const { return static_cast<int>(listTitle.size()); }
  std::shared_ptr<platform::TableViewCell> cellForRow(platform::TableView& table,
                                                      platform::IndexPath path);
  void btnConfirmClicked();

 protected:
  void reloadTables() override;
};

}  // namespace ostrel
