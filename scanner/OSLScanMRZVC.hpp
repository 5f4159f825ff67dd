#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Date.hpp"
#include "platform/media/Color.hpp"
#include "platform/vision/Observation.hpp"
#include "platform/vision/RecognizeTextRequest.hpp"
#include "scan/StringTracker.hpp"
#include "scanner/OSLScanVC.hpp"

namespace ostrel {

// Reads a document's machine-readable zone with the camera: every frame's lines inside the
// region of interest go through the line finder and a stability tracker, each line gets a red
// or green box, and once one zone has been seen ten times and parses with a document number
// and both dates, the camera stops and `completionHandler` gets the zone text (lines joined by
// "\n") on the main queue, once. Leaving the screen is the caller's business.
//
// Made by the chip screen, a new one per scan; the line finder is process-wide, so loading the
// view empties it first.
class OSLScanMRZVC : public OSLScanVC {
 public:
  struct ParsedZone {
    std::string documentNumber;
    platform::Date birthdate;
    platform::Date expiryDate;
  };
  // A colour and its rectangles, normalised to the region of interest (origin bottom-left).
  using BoxList = std::vector<std::pair<platform::Color, std::vector<platform::Rect>>>;

  OSLScanMRZVC() = default;

  // Made on first use, on the frame queue.
  const std::shared_ptr<platform::RecognizeTextRequest>& request();
  StringTracker mrzTracker;
  std::function<void(std::string)> completionHandler;
  std::vector<std::shared_ptr<platform::ShapeLayer>> boxLayer;

  // The zone's number and dates when it parses (with correction) and has all three.
  virtual std::optional<ParsedZone> parseMRZ(const std::string& text);
  // Queues the drawing of the boxes on the main queue.
  virtual void showBoxes(BoxList boxes);
  void backAction();

  // Whether the scan has completed (main queue).
  bool isFinished() const { return finished_.load(); }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void captureOutput(platform::CaptureOutput& output, const platform::SampleBufferPtr& sampleBuffer,
                     platform::CaptureConnection& connection) override;

 private:
  // Frame queue.
  void recognizeText(const platform::SampleBufferPtr& sampleBuffer);
  // Main queue.
  void handleRecognizedText(const std::vector<platform::ObservationPtr>& results);
  void finishScan(const std::string& text);
  void drawBoxes(const BoxList& boxes);

  std::shared_ptr<platform::RecognizeTextRequest> request_;
  // Set on the main queue by the finish step; from then on nothing of this screen reads,
  // draws or finishes again, and frames are not recognised.
  std::atomic<bool> finished_{false};
};

}  // namespace ostrel
