#pragma once

#include <memory>
#include <optional>

#include "core/OSLAtomicWithNSLock.hpp"
#include "platform/camera/CaptureSession.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/ui/Button.hpp"
#include "platform/ui/Device.hpp"
#include "platform/ui/GestureRecognizer.hpp"
#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/Layer.hpp"
#include "platform/ui/ViewController.hpp"
#include "scanner/OSLPreviewView.hpp"

namespace ostrel::platform {
class DispatchQueue;
}

namespace ostrel {

// The camera screen live text recognition is built on: the back camera with a full-screen
// preview, a dimming overlay with a guide image over the region text is read in, an
// instruction label, a torch button, the camera permission, and the geometry between the
// camera buffer, recognition results and the screen. Its frame callback does nothing;
// subclasses read the frames.
//
// Threads: views, the permission flags, the torch and the geometry live on the main queue;
// the camera is configured, started and stopped on `captureSessionQueue` (configured once per
// screen, whichever path got access first); frames arrive on `videoDataOutputQueue`, which
// reads the region and text orientation through one locked snapshot.
class OSLScanVC : public platform::ViewController,
                  public platform::CaptureVideoDataOutputSampleBufferDelegate {
 public:
  // The pair of permission flags: `Request` once access was asked for, `isShowAlert` once the
  // denial alert was shown. Never reset.
  struct CheckPermission {
    bool isShowAlert = false;
    bool Request = false;
  };

  // What the frame queue reads of the geometry, published whole by the main queue.
  struct RecognitionGeometry {
    platform::Rect regionOfInterest{0, 0, 1, 1};
    int textOrientation = 1;  // EXIF orientation of the upright text in the buffer
  };

  OSLScanVC();
  ~OSLScanVC() override;

  std::shared_ptr<OSLPreviewView> previewView;
  std::shared_ptr<platform::View> cutoutView;
  const std::shared_ptr<platform::Label>& guideLabel();
  const std::shared_ptr<platform::ImageView>& imageScanMrz();
  const std::shared_ptr<platform::ImageView>& scanBackGuideIcon();
  const std::shared_ptr<platform::Button>& flashButton();
  CheckPermission checkPermission;
  bool isFlashOn = false;
  std::shared_ptr<platform::ShapeLayer> maskLayer;
  platform::DeviceOrientation currentOrientation = platform::DeviceOrientation::portrait;
  const std::shared_ptr<platform::CaptureSession> captureSession;
  const std::shared_ptr<platform::DispatchQueue> captureSessionQueue;
  // Set by `setupCamera()` on the session queue; read by the torch on the main queue.
  platform::CaptureDevicePtr captureDevice() const { return captureDevice_.value(); }
  const std::shared_ptr<platform::CaptureVideoDataOutput> videoDataOutput;
  const std::shared_ptr<platform::DispatchQueue> videoDataOutputQueue;
  // Normalised to the upright picture the recogniser reads (origin bottom-left).
  platform::Rect regionOfInterest{0, 0, 1, 1};
  int textOrientation = 1;
  // 16/9 or 4/3 once the camera has a preset; nothing before (or when set-up failed first).
  std::optional<double> bufferAspectRatio() const { return bufferAspectRatio_.value(); }
  platform::AffineTransform uiRotationTransform;
  const platform::AffineTransform bottomToTopTransform =
      platform::AffineTransform::scale(1, -1).translatedBy(0, -1);
  platform::AffineTransform roiToGlobalTransform;
  platform::AffineTransform visionToAVFTransform;

  // The region and orientation as one consistent pair; safe from any queue.
  RecognitionGeometry recognitionGeometry() const { return geometry_.value(); }

  virtual void toggleTorch();
  virtual void calculateRegionOfInterest();
  virtual void updateCutout();
  virtual void setupOrientationAndTransform();
  // Session queue. Answers whether the camera can run (a failure has been reported).
  virtual bool setupCamera();
  virtual void checkPermissionAndStart();
  // Queues the camera's stop behind whatever start is still queued.
  virtual void stopSession();

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  void viewDidLayoutSubviews() override;
  void viewWillTransitionToSize(
      platform::Size size,
      const std::shared_ptr<platform::ViewControllerTransitionCoordinator>& coordinator) override;
  // The interactive pop gesture begins only over a stack of more than one controller.
  virtual bool gestureRecognizerShouldBegin(platform::GestureRecognizer& recognizer);
  // Every camera frame, on `videoDataOutputQueue`. Nothing here.
  void captureOutput(platform::CaptureOutput& output, const platform::SampleBufferPtr& sampleBuffer,
                     platform::CaptureConnection& connection) override;

  void toggleFlash();
  void handleTap(platform::GestureRecognizer& recognizer);
  void _didBecomeActiveNotification();

 protected:
  // Leaves the screen: pop when in a navigation stack, else dismiss.
  void leaveScreen();

 private:
  // Main queue: asks for access when it was never asked, and otherwise starts the camera
  // when it may.
  void startWhenPermitted();
  void accessAnswer(bool granted);
  // Main queue: queues "configure once, then start unless running" on the session queue.
  void queueConfigureAndStart();
  // Session queue.
  void configureAndStart();
  void reportCameraFailure();
  platform::Rect safeAreaFrame();

  std::shared_ptr<platform::Label> guideLabel_;
  std::shared_ptr<platform::ImageView> imageScanMrz_;
  std::shared_ptr<platform::ImageView> scanBackGuideIcon_;
  std::shared_ptr<platform::Button> flashButton_;
  OSLAtomicWithNSLock<platform::CaptureDevicePtr> captureDevice_;
  OSLAtomicWithNSLock<std::optional<double>> bufferAspectRatio_;
  OSLAtomicWithNSLock<RecognitionGeometry> geometry_;
  // Session queue only.
  bool cameraConfigured_ = false;
  bool cameraUsable_ = false;
};

}  // namespace ostrel
