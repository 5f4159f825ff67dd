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
#include "scanner/MRZFrameScanner.hpp"
#include "scanner/OSLScanVC.hpp"

namespace ostrel {

// Reads a document's machine-readable zone with the camera: every frame goes through the
// screen's `MRZFrameScanner` on the frame queue (the region of interest read, the lines through
// a line finder and the vote over frames), each line gets a red or green box, and once one zone
// has been read in enough frames and parses with a document number and both dates, the camera
// stops, the zone becomes the shared line finder's assembled zone (the chip screen logs it) and
// `completionHandler` gets the zone text (lines joined by "\n") on the main queue, once.
// Leaving the screen is the caller's business.
//
// Made by the chip screen, a new one per scan; loading the view empties the process-wide line
// finder, so that the zone of an earlier document is kept only until the next scanner opens.
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

  // The frame scanner's text request.
  const std::shared_ptr<platform::RecognizeTextRequest>& request() const { return frameScanner_.request(); }
  // Runs on the frame queue.
  const MRZFrameScanner& frameScanner() const { return frameScanner_; }
 private:
  MRZFrameScanner frameScanner_;

 public:
  // The frame scanner's vote.
  const StringTracker& mrzTracker = frameScanner_.tracker();
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
  void finishScan(const std::string& text);
  void drawBoxes(const BoxList& boxes);

  // Set on the main queue by the finish step; from then on nothing of this screen reads,
  // draws or finishes again, and frames are not recognised.
  std::atomic<bool> finished_{false};
};

}  // namespace ostrel
