#include "capture/IDCaptureVC.hpp"

#include "platform/foundation/Make.hpp"
#include "platform/ui/Animation.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

// ------------------------------------------------------------------------------ preview

void IDCaptureVC::showPreview(const ImagePtr& cropped, bool isAuto) {
  previewShown_ = true;
  if (isAuto && viewCamera->_preprocess.imageCropFit) {
    auto thumbnail = make<ImageView>(cameraMarkView->cropFrame);
    thumbnail->setImage(viewCamera->_preprocess.imageCropFit);
    thumbnail->setTag(kThumbnailTag);
    setCornerRadius(*thumbnail, 15);
    thumbnail->setAlpha(0);
    thumbnail->setTransform(AffineTransform::scale(0.6, 0.6));
    cameraMarkView->addSubview(thumbnail);
    std::weak_ptr<ImageView> weakThumbnail = thumbnail;
    View::animate(0.25, 0, AnimationOptions{false, false, TimingFunction::easeIn}, [weakThumbnail] {
      if (auto t = weakThumbnail.lock()) {
        t->setAlpha(1);
        t->setTransform(AffineTransform::identity());
      }
    });
  }
  cardImageView->setImage(cropped);
  cardImageView->setHidden(false);
  viewCamera->setHidden(true);
  btnRetake->setAlpha(0);
  btnConfirm->setAlpha(0);
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  const int generation = generation_;
  View::animate(
      0.15, 0, AnimationOptions{false, false, TimingFunction::easeOut},
      [weakSelf] {
        if (auto self = weakSelf.lock()) self->captureButton->superview()->setAlpha(0);
      },
      [weakSelf, generation, isAuto](bool) {
        auto self = weakSelf.lock();
        if (!self || self->generation_ != generation || !self->previewShown_) return;
        if (isAuto) {
          self->viewCaptureSuccess->setHidden(false);
          self->viewCaptureSuccess->setAlpha(0);
        }
        auto holder = self->captureButton->superview();
        holder->setHidden(true);
        holder->setAlpha(1);
        self->btnRetake->setHidden(false);
        // A failed hand-off already took continue away.
        if (!self->handOffInFlight_) self->btnConfirm->setHidden(false);
        View::animate(0.15, 0, AnimationOptions{false, false, TimingFunction::easeIn},
                      [weakSelf, isAuto] {
                        auto s = weakSelf.lock();
                        if (!s) return;
                        if (isAuto) s->viewCaptureSuccess->setAlpha(1);
                        s->btnRetake->setAlpha(1);
                        s->btnConfirm->setAlpha(1);
                      });
      });
}

void IDCaptureVC::retakePhotoButtonTouchUpInside() {
  // The picture on its way to the host or the server stays the one answered for.
  if (handOffInFlight_) return;
  previewShown_ = false;
  for (const auto& child : std::vector<std::shared_ptr<View>>(cameraMarkView->subviews())) {
    if (child->tag() == kThumbnailTag) child->removeFromSuperview();
  }
  cardImageView->setHidden(true);
  cardImageView->setImage(nullptr);
  viewCamera->setHidden(false);
  state_.withValue([](const std::shared_ptr<State>& s) { s->checkPermission = {}; });
  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  const int generation = generation_;
  View::animate(
      0.15, 0, AnimationOptions{false, false, TimingFunction::easeOut},
      [weakSelf] {
        auto self = weakSelf.lock();
        if (!self) return;
        self->btnRetake->setAlpha(0);
        self->btnConfirm->setAlpha(0);
        self->viewCaptureSuccess->setAlpha(0);
        self->restoreGuideLine();
      },
      [weakSelf, generation](bool) {
        auto self = weakSelf.lock();
        if (!self || self->generation_ != generation || self->previewShown_) return;
        self->showLiveControls();
        auto holder = self->captureButton->superview();
        holder->setAlpha(0);
        std::weak_ptr<View> weakHolder = holder;
        View::animate(0.15, 0, AnimationOptions{false, false, TimingFunction::easeIn}, [weakHolder] {
          if (auto h = weakHolder.lock()) h->setAlpha(1);
        });
      });
  restartCamera();
  track(OSLTrackingEvent::TAP_RETRY);
}

void IDCaptureVC::showLiveControls() {
  viewCaptureSuccess->setHidden(true);
  btnRetake->setHidden(true);
  btnConfirm->setHidden(true);
  captureButton->superview()->setHidden(false);
}

// ------------------------------------------------------------------------------ intro

std::shared_ptr<ImageView> IDCaptureVC::frontImageView() {
  if (!frontImageView_) {
    frontImageView_ = make<ImageView>(Rect{});
    frontImageView_->translatesAutoresizingMaskIntoConstraints = false;
    frontImageView_->setContentMode(ContentMode::scaleAspectFit);
    frontImageView_->setImage(bundleImage(isPassportMode() ? "ic_passport" : "ic_guide_front"));
  }
  return frontImageView_;
}

std::shared_ptr<ImageView> IDCaptureVC::backImageView() {
  if (!backImageView_) {
    backImageView_ = make<ImageView>(Rect{});
    backImageView_->translatesAutoresizingMaskIntoConstraints = false;
    backImageView_->setContentMode(ContentMode::scaleAspectFit);
    backImageView_->setImage(bundleImage("ic_guide_id_back"));
  }
  return backImageView_;
}

void IDCaptureVC::removeIntro() {
  if (containerView_) containerView_->removeFromSuperview();
  if (frontImageView_) frontImageView_->removeFromSuperview();
  if (backImageView_) backImageView_->removeFromSuperview();
  containerView_ = nullptr;
  frontImageView_ = nullptr;
  backImageView_ = nullptr;
}

void IDCaptureVC::playIntro() {
  removeIntro();
  containerView_ = make<View>(Rect{});
  containerView_->setBackgroundColor(Color::clear());
  containerView_->setUserInteractionEnabled(false);
  view()->addSubview(containerView_);
  const bool back = !isFrontId();
  pinEdges(containerView_, targetView, false,
           back ? EdgeInsets{30, 20, 20, 30} : EdgeInsets{25, 20, 25, 20});
  auto front = frontImageView();
  containerView_->addSubview(front);
  pinEdges(front, containerView_);
  if (back) {
    auto backImage = backImageView();
    backImage->setHidden(true);
    containerView_->addSubview(backImage);
    pinEdges(backImage, containerView_);
  }
  applyLayout();

  std::weak_ptr<IDCaptureVC> weakSelf = weak<IDCaptureVC>();
  const int generation = generation_;
  auto container = containerView_;
  std::weak_ptr<View> weakContainer = container;
  auto finished = [weakSelf, generation, weakContainer](bool) {
    auto self = weakSelf.lock();
    // Only the intro still on show goes; a newer one keeps its views.
    if (!self || self->generation_ != generation || self->containerView_ != weakContainer.lock()) {
      return;
    }
    self->removeIntro();
  };
  if (!back) {
    container->setAlpha(0);
    container->setTransform(AffineTransform::scale(0.6, 0.6));
    View::animate(
        0.8, 0, AnimationOptions{false, false, TimingFunction::easeIn},
        [weakContainer] {
          if (auto c = weakContainer.lock()) {
            c->setAlpha(1);
            c->setTransform(AffineTransform::identity());
          }
        },
        [weakContainer, finished](bool) {
          View::animate(
              0.25, 0.6, AnimationOptions{false, false, TimingFunction::easeOut},
              [weakContainer] {
                if (auto c = weakContainer.lock()) c->setAlpha(0);
              },
              finished);
        });
    return;
  }
  container->setAlpha(0);
  std::weak_ptr<ImageView> weakFront = front;
  std::weak_ptr<ImageView> weakBack = backImageView_;
  View::animate(
      0.25, 0, AnimationOptions{false, false, TimingFunction::easeIn},
      [weakContainer] {
        if (auto c = weakContainer.lock()) c->setAlpha(1);
      },
      [weakContainer, weakFront, weakBack, finished](bool) {
        auto frontView = weakFront.lock();
        auto backView = weakBack.lock();
        if (!frontView || !backView) return;
        TransitionOptions flip;
        flip.transition = ViewTransition::flipFromLeft;
        flip.showHideTransitionViews = true;
        View::transition(frontView, backView, 1.0, flip, [weakContainer, finished](bool) {
          View::animate(
              0.3, 0, AnimationOptions{false, false, TimingFunction::easeOut},
              [weakContainer] {
                if (auto c = weakContainer.lock()) c->setAlpha(0);
              },
              finished);
        });
      });
}

}  // namespace ostrel
