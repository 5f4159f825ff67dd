#include "capture/CameraView.hpp"

#include <cmath>
#include <limits>

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "core/Helpers.hpp"
#include "core/Localization.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/Text.hpp"
#include "platform/ui/Transaction.hpp"
#include "platform/vision/ImageRequestHandler.hpp"
#include "platform/vision/MLModel.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel {

using namespace platform;

namespace {

constexpr int kUsableObservations = 5;
constexpr float kLabelThreshold = 0.7f;
constexpr int kStep = 10;
constexpr int kThreshold = 100;
constexpr double kLetterbox = 480;
constexpr float kGlareBoxThreshold = 0.4f;
constexpr int kOverExposedCells = 50;
constexpr int kCameraOrientation = 6;  // the back camera's buffer is seen turned a quarter right

// Case- and diacritic-insensitive containment, as the platform's localised standard search.
icu::UnicodeString folded(const std::string& text) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
  icu::UnicodeString source = icu::UnicodeString::fromUTF8(text);
  if (U_FAILURE(status)) return source.foldCase();
  icu::UnicodeString decomposed = nfd->normalize(source, status);
  if (U_FAILURE(status)) return source.foldCase();
  icu::UnicodeString bare;
  for (int32_t i = 0; i < decomposed.length();) {
    UChar32 c = decomposed.char32At(i);
    if (u_charType(c) != U_NON_SPACING_MARK) bare.append(c);
    i += U16_LENGTH(c);
  }
  return bare.foldCase();
}

bool containsCard(const std::string& text) {
  static const icu::UnicodeString card = folded("card");
  return folded(text).indexOf(card) >= 0;
}

std::vector<RecognizedObjectObservationPtr> recognizedObjects(VisionRequest& request) {
  std::vector<RecognizedObjectObservationPtr> found;
  for (const auto& o : request.results()) {
    if (auto object = std::dynamic_pointer_cast<RecognizedObjectObservation>(o)) {
      found.push_back(std::move(object));
    }
  }
  return found;
}

}  // namespace

void CameraView::setup() {
  captureImageView = make<ImageView>();
  captureImageView->setContentMode(ContentMode::scaleAspectFill);
  captureImageView->translatesAutoresizingMaskIntoConstraints = false;
  addSubview(captureImageView);
  pinEdges(captureImageView, shared<View>());
  // Nothing solves constraints here: the pinned view takes the bounds in layout.
  captureImageView->setFrame(bounds());
  videoCapture_->setDelegate(std::static_pointer_cast<OSLVideoCaptureDelegate>(
      shared<CameraView>()));
}

void CameraView::layoutSubviews() {
  OstrelBaseWithoutNibView::layoutSubviews();
  if (captureImageView && captureImageView->superview().get() == this) {
    captureImageView->setFrame(bounds());
  }
  if (videoCapture_->previewLayer) videoCapture_->previewLayer->frame = bounds();
}

void CameraView::videoCapture(OSLVideoCapture&, const PixelBufferPtr& didCapture,
                              const SampleBufferPtr&, CMTime) {
  processFrame(didCapture);
}

void CameraView::setUpCamera(const std::function<void(bool)>& completion) {
  // A new run starts without the previous run's card.
  _preprocess = {};
  auto weakSelf = weak<CameraView>();
  videoCapture_->setUp(LayerVideoGravity::resizeAspectFill, CaptureDevicePosition::back, 30,
                       [weakSelf, completion](bool success) {
                         if (auto self = weakSelf.lock()) self->setUpLayers();
                         if (auto self = weakSelf.lock()) self->setUpModels();
                         if (completion) completion(success);
                       });
}

void CameraView::setUpLayers() {
  if (videoCapture_->previewLayer) layer()->addSublayer(videoCapture_->previewLayer);
}

void CameraView::setUpModels() {
  auto weakSelf = weak<CameraView>();
  try {
    auto model = CoreMLModel::forModel(MLModel::contentsOf(modelDownloader.modelURL("idcard_model")));
    auto request = std::make_shared<CoreMLRequest>(
        model, [weakSelf](VisionRequest& finished, const std::optional<PlatformError>&) {
          auto self = weakSelf.lock();
          if (!self) return;
          auto observations = recognizedObjects(finished);
          self->cardResultHandedOn_ = true;
          DispatchQueue::global()->async([weakSelf, observations] {
            if (!weakSelf.lock()) return;
            DispatchQueue::main()->async([weakSelf, observations] {
              if (auto view = weakSelf.lock()) view->handleCardObservations(observations);
            });
          });
        });
    requests.setValue({request});
  } catch (const std::exception& e) {
    debugLog(std::string("Idcard model loading went wrong: ") + e.what());
  }
  try {
    auto model =
        CoreMLModel::forModel(MLModel::contentsOf(modelDownloader.modelURL("flashcard_model")));
    _flashCardRequest = std::make_shared<CoreMLRequest>(
        model, [weakSelf](VisionRequest& finished, const std::optional<PlatformError>&) {
          auto self = weakSelf.lock();
          if (!self) return;
          self->glareResultHandedOn_ = true;
          // The request object outlives the hops: the view keeps it for its whole life.
          auto request = self->_flashCardRequest;
          (void)finished;
          DispatchQueue::global()->async([weakSelf, request] {
            if (!weakSelf.lock()) return;
            DispatchQueue::main()->async([weakSelf, request] {
              if (auto view = weakSelf.lock()) view->handleGlareResult(*request);
            });
          });
        });
  } catch (const std::exception& e) {
    debugLog(std::string("Flashcard model loading went wrong: ") + e.what());
  }
}

void CameraView::processFrame(const PixelBufferPtr& buffer) {
  if (isCaptured.load() || !buffer) return;
  _semaphore.wait();
  ++framesInDetection_;
  ++framesAdmitted_;
  _imageRequest.setValue(Helpers::imageFromPixelBuffer(buffer, kCameraOrientation));
  const auto toPerform = requests.value();
  cardResultHandedOn_ = false;
  if (!toPerform.empty()) {
    try {
      ImageRequestHandler(buffer, kCameraOrientation).perform(toPerform);
    } catch (const std::exception& e) {
      debugLog(std::string("Card detection failed: ") + e.what());
    }
  }
  // Nothing will judge this frame unless its result went on to the main queue.
  if (!cardResultHandedOn_.load()) releaseSlot();
}

void CameraView::releaseSlot() {
  --framesInDetection_;
  _semaphore.signal();
}

Rect CameraView::viewBox(const Rect& b) const {
  const Rect bounds = this->bounds();
  return {b.minX() * bounds.width(), (1 - b.minY() - b.height()) * bounds.height(),
          b.width() * bounds.width(), b.height() * bounds.height()};
}

Point CameraView::pixelCentre(const Rect& b, Size picture) const {
  const Rect box{b.minX() * picture.width, (1 - b.minY() - b.height()) * picture.height,
                 b.width() * picture.width, b.height() * picture.height};
  return {box.midX(), box.midY()};
}

void CameraView::removeBadges() {
  auto children = subviews();
  for (const auto& child : children) {
    if (child->tag() == kBadgeTag) child->removeFromSuperview();
  }
}

void CameraView::handleCardObservations(
    const std::vector<RecognizedObjectObservationPtr>& observations) {
  CATransaction::begin();
  CATransaction::setDisableActions(true);
  struct Commit {
    ~Commit() { CATransaction::commit(); }
  } commit;

  auto children = subviews();
  for (const auto& child : children) {
    if (child->tag() != kBadgeTag) child->removeFromSuperview();
  }
  if (observations.size() != kUsableObservations) {
    removeBadges();
    releaseSlot();
    return;
  }

  _cropWithFourPoints.clear();
  const auto picture = _imageRequest.value();
  const Size pictureSize = picture ? picture->size() : Size{0, 0};
  for (const auto& observation : observations) {
    if (!observation) continue;
    for (const auto& label : observation->labels) {
      if (label.confidence > kLabelThreshold && label.identifier.find("corner") != std::string::npos) {
        _cropWithFourPoints.push_back(pixelCentre(observation->boundingBox, pictureSize));
        break;
      }
    }
    if (!observation->labels.empty() && containsCard(observation->labels.front().identifier)) {
      const Rect box = viewBox(observation->boundingBox);
      const bool wellPlaced = cropRect.minX() <= box.minX() && cropRect.minY() <= box.minY() &&
                              box.minY() + box.height() <= cropRect.minY() + cropRect.height() &&
                              box.minX() + box.width() <= cropRect.minX() + cropRect.width() &&
                              observation->confidence > kLabelThreshold;
      if (wellPlaced) {
        auto marker = make<View>(Rect{cropRect.midX() - 23, cropRect.midY() - 13, 46, 26});
        marker->setBackgroundColor(Color::systemGreen().withAlphaComponent(0.4));
        marker->layer()->cornerRadius = 2;
        addSubview(marker);
        confidence += kStep;
      } else {
        confidence -= kStep;
      }
    }
  }

  if (confidence < kThreshold) {
    if (confidence < 0) confidence = 0;
    releaseSlot();
    return;
  }
  if (_flashCardRequest) {
    runGlareCheck();
    return;
  }
  if (picture && picture->hasBitmap() && _cropWithFourPoints.size() == 4) {
    _preprocess = correctPerspective(picture, _cropWithFourPoints, kLetterbox, kLetterbox);
  }
  captureHandOff();
  releaseSlot();
}

void CameraView::captureHandOff() {
  confidence = 0;
  removeBadges();
  if (auto listener = detectorListener.lock()) listener->didDetect(_imageRequest.value());
}

void CameraView::runGlareCheck() {
  const auto picture = _imageRequest.value();
  // A picture without pixels cannot be checked: it is handed on as if there were none.
  if (!_flashCardRequest || !picture || !picture->hasBitmap() || _cropWithFourPoints.size() != 4) {
    captureHandOff();
    releaseSlot();
    return;
  }
  _preprocess = correctPerspective(picture, _cropWithFourPoints, kLetterbox, kLetterbox);
  if (!_preprocess.image || !_preprocess.image->hasBitmap()) {
    releaseSlot();
    return;
  }
  glareResultHandedOn_ = false;
  try {
    ImageRequestHandler(_preprocess.image->bitmap()).perform({_flashCardRequest});
  } catch (const std::exception& e) {
    debugLog(std::string("Glare check failed: ") + e.what());
    // A failed request has still handed its (empty) result on, and that judgement gives the
    // slot back; only a perform that never reached the request must do it here.
    if (!glareResultHandedOn_.load()) releaseSlot();
  }
}

void CameraView::handleGlareResult(VisionRequest& request) {
  if (isOverExposed(request)) {
    confidence = 0;
    if (!viewWithTag(kBadgeTag)) addSubview(makeOverExposedBadge());
  } else {
    if (confidence >= kThreshold) captureHandOff();
    if (confidence < 0) confidence = 0;
  }
  releaseSlot();
}

bool CameraView::isOverExposed(VisionRequest& request) {
  std::vector<Box> boxes;
  bool any = false;
  for (const auto& observation : recognizedObjects(request)) {
    if (!(observation->confidence >= kGlareBoxThreshold)) continue;
    any = true;
    if (auto box = scaleBox(observation->boundingBox, kLetterbox, kLetterbox)) boxes.push_back(*box);
  }
  if (!any) return false;
  CellMask mask = maskSideRegions(
      unletterboxMask(maskFromBoxes(boxes, kLetterbox, kLetterbox), _preprocess), isFrontId);
  int lit = 0;
  for (const auto& row : mask) {
    for (auto cell : row) lit += cell != 0 ? 1 : 0;
  }
  return lit > kOverExposedCells;
}

std::shared_ptr<View> CameraView::makeOverExposedBadge() {
  const std::string text = osl_localize("id_capture_over_exposed");
  const Font font = Font::systemFont(11, FontWeight::semibold);
  const double textWidth =
      std::ceil(TextMeasurer::shared()
                    .boundingSize(text, font, {std::numeric_limits<double>::max(), 14})
                    .width);
  const double width = std::min(textWidth + 41, cropRect.width());
  const double x = std::max(cropRect.midX() - width / 2, cropRect.minX());
  auto badge = make<View>(Rect{x, cropRect.maxY() - 31, width, 22});
  badge->setTag(kBadgeTag);
  badge->setBackgroundColor(Color::systemRed().withAlphaComponent(0.4));
  setCornerRadius(*badge, 5);

  auto icon = make<ImageView>(Image::named("ic_error_size_10", *resourceBundle()));
  icon->translatesAutoresizingMaskIntoConstraints = false;
  auto label = make<Label>();
  label->setTextColor(Color::white());
  label->setText(text);
  label->textAlignment = TextAlignment::left;
  label->setFont(font);
  label->translatesAutoresizingMaskIntoConstraints = false;
  badge->addSubview(icon);
  badge->addSubview(label);
  LayoutConstraint::activate({
      icon->leadingAnchor().constraintEqualTo(badge->leadingAnchor(), 10),
      label->leadingAnchor().constraintEqualTo(icon->trailingAnchor(), 8),
      icon->widthAnchor().constraintEqualToConstant(13),
      icon->heightAnchor().constraintEqualToConstant(13),
      icon->centerYAnchor().constraintEqualTo(badge->centerYAnchor()),
      label->topAnchor().constraintEqualTo(badge->topAnchor()),
      label->bottomAnchor().constraintEqualTo(badge->bottomAnchor()),
      label->trailingAnchor().constraintEqualTo(badge->trailingAnchor(), -10),
  });
  // The frames those constraints give (nothing solves constraints here).
  icon->setFrame({10, (22 - 13) / 2.0, 13, 13});
  label->setFrame({31, 0, std::max(0.0, width - 41), 22});
  return badge;
}

}  // namespace ostrel
