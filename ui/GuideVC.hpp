#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/GestureRecognizer.hpp"
#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/LayoutConstraint.hpp"
#include "ui/BaseViewController.hpp"
#include "ui/OstrelButton.hpp"

namespace ostrel {

// The guide sheet the capture and face screens open from their tutorial button: an example
// picture, four tips and three examples of rejected photos. It closes by its button, by a tap
// above the sheet or by dragging the sheet down past 150 points, and reports one
// "GUIDE_TAP_CLOSE" per close. Loaded from the nib "GuideVC"; presenters show it as a form sheet.
class GuideVC : public BaseViewController {
 public:
  enum class TypeOfGuide { frontId, backId, liveness, passport };

  static std::shared_ptr<GuideVC> create(TypeOfGuide typeOfGuide);
  // The screen name a kind's close is reported with.
  static const char* screenName(TypeOfGuide type);

  static constexpr double kCloseDragDistance = 150;

  // Outlets.
  std::shared_ptr<platform::Label> lblTitle;
  std::shared_ptr<platform::ImageView> imgScreen;
  std::shared_ptr<platform::LayoutConstraint> heightImageCT;
  std::shared_ptr<platform::View> viewDismiss;
  std::shared_ptr<platform::Label> lblCheckListTitle;
  std::shared_ptr<platform::View> viewMain;
  std::vector<std::shared_ptr<platform::Label>> listLblChecklist;
  std::vector<std::shared_ptr<platform::ImageView>> checklistImageViews;
  std::vector<std::shared_ptr<platform::Label>> listLblRejectContent;
  std::vector<std::shared_ptr<platform::ImageView>> listImgReject;
  std::shared_ptr<platform::Label> lblRejectTitle;
  std::shared_ptr<OstrelButton> btnConfirm;

  int numberOfGuide = 4;
  int numberOfReason = 3;
  platform::Point initialViewOrigin;
  TypeOfGuide typeOfGuide = TypeOfGuide::frontId;

  void setupUI() override;
  virtual void handlePanGesture(platform::PanGestureRecognizer& recognizer);
  virtual void setupContent();
  virtual void setupFrontIdContent();
  virtual void setupBackIdContent();
  virtual void setupLivenessContent();
  virtual void setupPassportContent();
  // Dismisses the guide and reports the close, once.
  virtual void closeGuide();

  const std::shared_ptr<platform::TapGestureRecognizer>& dismissTap() const { return tap_; }
  const std::shared_ptr<platform::PanGestureRecognizer>& pan() const { return pan_; }

 private:
  void fillKind(const char* titleKey, const char* picture, const char* rejectKeyPrefix,
                const char* rejectPicturePrefix);

  std::shared_ptr<platform::TapGestureRecognizer> tap_;
  std::shared_ptr<platform::PanGestureRecognizer> pan_;
  bool closing_ = false;
};

}  // namespace ostrel
