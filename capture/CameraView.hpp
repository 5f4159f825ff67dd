#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "camera/OSLVideoCapture.hpp"
#include "capture/OSLPreprocess.hpp"
#include "core/OSLAtomicWithNSLock.hpp"
#include "network/ModelDownloader.hpp"
#include "platform/runtime/DispatchSemaphore.hpp"
#include "platform/ui/ImageView.hpp"
#include "platform/vision/CoreMLRequest.hpp"
#include "ui/OstrelBaseViews.hpp"

namespace ostrel {

// Told when the card has been held well inside the capture frame long enough (main queue).
class DetectorListener {
 public:
  virtual ~DetectorListener() = default;
  // The whole frame picture the decision was made on (not the corrected card).
  virtual void didDetect(const platform::ImagePtr& image) = 0;
};

// The live camera view of the ID capture: it shows its frame source's preview, runs the
// ID-card model on every admitted frame and the glare model on the straightened card, counts
// how steadily the card stays inside `cropRect`, and hands the frame to its listener when the
// count reaches 100 without too much glare.
//
// One frame at a time is in detection: the video queue takes the single slot before a frame
// and the main queue gives it back once that frame is judged. Whenever no judgement will run
// for a frame (no model, a failed perform before any result was handed on, a glare check that
// cannot run) the slot is given back at once, so frames never stop.
class CameraView : public OstrelBaseWithoutNibView, public OSLVideoCaptureDelegate {
 public:
  static constexpr int kBadgeTag = -1;

  using OstrelBaseWithoutNibView::OstrelBaseWithoutNibView;

  void setup() override;
  void layoutSubviews() override;
  void videoCapture(OSLVideoCapture& capture, const platform::PixelBufferPtr& didCapture,
                    const platform::SampleBufferPtr& sampleBuffer,
                    platform::CMTime timestamp) override;

  const std::shared_ptr<OSLVideoCapture>& videoCapture() const { return videoCapture_; }

  // Sets up the back camera at 30 frames a second, then the preview layer and the models;
  // `completion` gets whether the camera could be set up.
  void setUpCamera(const std::function<void(bool)>& completion);
  void setUpLayers();
  void setUpModels();

  void handleCardObservations(
      const std::vector<platform::RecognizedObjectObservationPtr>& observations);
  void runGlareCheck();
  void handleGlareResult(platform::VisionRequest& request);
  bool isOverExposed(platform::VisionRequest& request);
  std::shared_ptr<platform::View> makeOverExposedBadge();

  // Frame handler (video queue).
  void processFrame(const platform::PixelBufferPtr& buffer);

  std::shared_ptr<platform::ImageView> captureImageView;
  // Set by the capture screen while it takes a photo; frames are ignored meanwhile.
  std::atomic<bool> isCaptured{false};
  std::weak_ptr<DetectorListener> detectorListener;
  int confidence = 0;
  bool isFrontId = true;
  OSLAtomicWithNSLock<platform::ImagePtr> _imageRequest;
  std::vector<platform::Point> _cropWithFourPoints;
  OSLPreprocess _preprocess;
  std::shared_ptr<platform::CoreMLRequest> _flashCardRequest;
  platform::Rect cropRect;
  // The ID-card model's request once loaded; read by the video queue.
  OSLAtomicWithNSLock<std::vector<platform::VisionRequestPtr>> requests;
  ModelDownloader modelDownloader;

  // Frames now holding the slot (0 or 1), and frames admitted to detection so far.
  int framesInDetectionForTesting() const { return framesInDetection_.load(); }
  int framesAdmittedForTesting() const { return framesAdmitted_.load(); }

 private:
  void releaseSlot();
  void captureHandOff();
  void removeBadges();
  platform::Rect viewBox(const platform::Rect& normalised) const;
  platform::Point pixelCentre(const platform::Rect& normalised, platform::Size picture) const;

  std::shared_ptr<OSLVideoCapture> videoCapture_ = std::make_shared<OSLVideoCapture>();
  platform::DispatchSemaphore _semaphore{1};
  // Whether the current frame's (or glare check's) result was handed on to the main queue;
  // then the judgement gives the slot back, and nothing else may.
  std::atomic<bool> cardResultHandedOn_{false};
  std::atomic<bool> glareResultHandedOn_{false};
  std::atomic<int> framesInDetection_{0};
  std::atomic<int> framesAdmitted_{0};
};

}  // namespace ostrel
