#pragma once

#include <memory>

#include "platform/foundation/JSON.hpp"
#include "platform/ui/GestureRecognizer.hpp"
#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "ui/BaseViewController.hpp"
#include "ui/OstrelButton.hpp"

namespace ostrel {

// The sheet that shows where the NFC antenna of the user's phone model sits. The picture comes
// from the server for the device's hardware model and is cached in the library's user
// defaults ("OSL_DEVICE_IMAGE": {"isDefault", "image"}); when the server only has its default
// picture the two guide lines are shown too, and the next opening asks again. A cached record
// of any other shape, or a picture that does not decode, counts as no picture. The sheet closes
// by any of its three buttons, a tap outside its content, or a downward drag past 150 points.
// Made with `loadFromNib`; main queue only.
class OSLNFCAntennaVC : public BaseViewController {
 public:
  static constexpr double kCloseDragDistance = 150;

  // Outlets.
  std::shared_ptr<platform::View> viewDismiss;
  std::shared_ptr<platform::Label> lblTitle;
  std::shared_ptr<platform::View> viewContent;
  std::shared_ptr<platform::View> guideStackView;
  std::shared_ptr<platform::Label> guide1Label;
  std::shared_ptr<platform::Label> guide2Label;
  std::shared_ptr<platform::ImageView> imgDevice;
  std::shared_ptr<platform::View> viewBottom;
  std::shared_ptr<OstrelButton> cancleButton;

  platform::Point initialViewOrigin;

  void setupUI() override;

  void onCloseLeft();
  void onCloseRight();
  void onCancel();
  void handleTap();
  virtual void handlePan(platform::PanGestureRecognizer& recognizer);

  const std::shared_ptr<platform::TapGestureRecognizer>& dismissTap() const { return tap_; }
  const std::shared_ptr<platform::PanGestureRecognizer>& pan() const { return pan_; }

 private:
  void fetchLocation();
  void locationAnswered(const platform::JSON& reply);
  // Dismisses the sheet and reports the close, once.
  void close();

  std::shared_ptr<platform::TapGestureRecognizer> tap_;
  std::shared_ptr<platform::PanGestureRecognizer> pan_;
  bool closing_ = false;
};

}  // namespace ostrel
