#include "scanner/OSLScanMRZVC.hpp"

#include <cmath>

#include "core/Localization.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/media/Image.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/ui/Bars.hpp"
#include "platform/ui/Button.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/vision/ImageRequestHandler.hpp"
#include "scan/MRZLineFinder.hpp"
#include "scan/MRZResult.hpp"
#include "ui/ResourceBundle.hpp"

namespace ostrel {

using namespace ostrel::platform;

namespace {

constexpr std::int64_t kStableCount = 10;

bool isFinite(const Rect& r) {
  return std::isfinite(r.minX()) && std::isfinite(r.minY()) && std::isfinite(r.width()) &&
         std::isfinite(r.height());
}

// A recogniser's box kept inside the region it was read in (0...1 both ways); nothing for a box
// that is not a finite rectangle or lies wholly outside.
std::optional<Rect> boxInsideRegion(const Rect& box) {
  if (!isFinite(box)) return std::nullopt;
  const double x0 = std::clamp(std::min(box.minX(), box.maxX()), 0.0, 1.0);
  const double x1 = std::clamp(std::max(box.minX(), box.maxX()), 0.0, 1.0);
  const double y0 = std::clamp(std::min(box.minY(), box.maxY()), 0.0, 1.0);
  const double y1 = std::clamp(std::max(box.minY(), box.maxY()), 0.0, 1.0);
  if (!std::isfinite(x1 - x0) || !std::isfinite(y1 - y0)) return std::nullopt;
  return Rect{x0, y0, x1 - x0, y1 - y0};
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0;;) {
    const auto end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

}  // namespace

const std::shared_ptr<RecognizeTextRequest>& OSLScanMRZVC::request() {
  if (!request_) {
    std::weak_ptr<OSLScanMRZVC> weakSelf = shared<OSLScanMRZVC>();
    request_ = std::make_shared<RecognizeTextRequest>(
        [weakSelf](VisionRequest& request, const std::optional<PlatformError>&) {
          auto results = request.results();
          DispatchQueue::main()->async([weakSelf, results = std::move(results)] {
            if (auto self = weakSelf.lock()) self->handleRecognizedText(results);
          });
        });
  }
  return request_;
}

void OSLScanMRZVC::viewDidLoad() {
  // A zone another scanner left half assembled must not complete this one.
  resetMRZLineFinder();
  auto back = make<Button>(Rect{0, 0, 40, 44});
  back->setImage(Image::named("ic_back", *resourceBundle()), ControlState::normal);
  back->addTarget<OSLScanMRZVC>(shared<OSLScanMRZVC>(),
                                [](OSLScanMRZVC& self, Control&) { self.backAction(); },
                                ControlEvent::touchUpInside);
  back->imageEdgeInsets = EdgeInsets{0, -10, 0, 0};
  navigationItem()->leftBarButtonItems = {std::make_shared<BarButtonItem>(back)};
  OSLScanVC::viewDidLoad();
}

void OSLScanMRZVC::viewWillAppear(bool animated) {
  OSLScanVC::viewWillAppear(animated);
  title = osl_localize("mrz_scan_title");
  if (auto navigation = navigationController()) {
    const auto& bar = navigation->navigationBar();
    bar->setBackgroundImage(std::make_shared<Image>(Size{0, 0}), BarMetrics::defaultMetrics);
    bar->shadowImage = std::make_shared<Image>(Size{0, 0});
    bar->isTranslucent = true;
    bar->barTintColor = Color::clear();
    bar->setTintColor(Color::white());
    bar->titleTextAttributes = TextAttributes{Color::white()};
  }
}

void OSLScanMRZVC::backAction() {
  leaveScreen();
}

// --- Frames (frame queue) --------------------------------------------------------------------

void OSLScanMRZVC::captureOutput(CaptureOutput&, const SampleBufferPtr& sampleBuffer, CaptureConnection&) {
  if (finished_.load()) return;
  recognizeText(sampleBuffer);
}

void OSLScanMRZVC::recognizeText(const SampleBufferPtr& sampleBuffer) {
  if (!sampleBuffer || !sampleBuffer->imageBuffer) return;
  const RecognitionGeometry geometry = recognitionGeometry();
  const auto& textRequest = request();
  textRequest->recognitionLevel = RecognizeTextRequest::RecognitionLevel::fast;
  textRequest->usesLanguageCorrection = false;
  textRequest->regionOfInterest = geometry.regionOfInterest;
  try {
    ImageRequestHandler(sampleBuffer->imageBuffer, geometry.textOrientation).perform({textRequest});
  } catch (const std::exception& error) {
    // The frame is lost; the next one is read as usual.
    debugLog(std::string("OSLScanMRZVC: text recognition failed: ") + error.what());
  }
}

// --- Results (main queue) --------------------------------------------------------------------

void OSLScanMRZVC::handleRecognizedText(const std::vector<ObservationPtr>& results) {
  if (finished_.load() || results.empty()) return;
  std::vector<std::shared_ptr<RecognizedTextObservation>> observations;
  observations.reserve(results.size());
  for (const auto& result : results) {
    auto observation = std::dynamic_pointer_cast<RecognizedTextObservation>(result);
    if (!observation) return;
    observations.push_back(std::move(observation));
  }

  std::vector<std::string> strings;
  std::vector<Rect> red, green;
  for (const auto& observation : observations) {
    const auto candidates = observation->topCandidates(1);
    if (candidates.empty()) continue;
    std::string line = candidates.front().string;
    std::erase(line, ' ');
    const auto zone = findMRZLines(line);
    const auto box = boxInsideRegion(observation->boundingBox);
    if (!zone || *zone == "nil") {
      if (box) red.push_back(*box);
    } else {
      strings.push_back(*zone);
      if (box) green.push_back(*box);
    }
  }
  mrzTracker.logFrame(strings);
  showBoxes({{Color{1, 0, 0, 1}, std::move(red)}, {Color{0, 1, 0, 1}, std::move(green)}});

  if (mrzTracker.bestCount() >= kStableCount) {
    const std::string text = mrzTracker.bestString();
    mrzTracker.reset(text);
    std::weak_ptr<OSLScanMRZVC> weakSelf = shared<OSLScanMRZVC>();
    DispatchQueue::main()->async([weakSelf, text] {
      if (auto self = weakSelf.lock()) self->finishScan(text);
    });
  }
}

std::optional<OSLScanMRZVC::ParsedZone> OSLScanMRZVC::parseMRZ(const std::string& text) {
  const auto formatter = makeMRZDateFormatter();
  const auto parsed = ostrel::parseMRZ(splitLines(text), true, *formatter);
  // A number made only of fillers parses as "": no chip key can be made of it.
  if (!parsed || !parsed->documentNumber || parsed->documentNumber->empty() || !parsed->birthdate ||
      !parsed->expiryDate)
    return std::nullopt;
  return ParsedZone{*parsed->documentNumber, *parsed->birthdate, *parsed->expiryDate};
}

void OSLScanMRZVC::finishScan(const std::string& text) {
  if (finished_.load() || text.empty()) return;
  if (!parseMRZ(text)) return;
  finished_.store(true);
  stopSession();
  if (auto handler = completionHandler) handler(text);
}

void OSLScanMRZVC::showBoxes(BoxList boxes) {
  std::weak_ptr<OSLScanMRZVC> weakSelf = shared<OSLScanMRZVC>();
  DispatchQueue::main()->async([weakSelf, boxes = std::move(boxes)] {
    if (auto self = weakSelf.lock()) self->drawBoxes(boxes);
  });
}

void OSLScanMRZVC::drawBoxes(const BoxList& boxes) {
  if (finished_.load()) return;
  for (const auto& layer : boxLayer) layer->removeFromSuperlayer();
  boxLayer.clear();
  if (!previewView) return;
  const auto previewLayer = previewView->videoPreviewLayer();
  for (const auto& [color, rects] : boxes) {
    for (const Rect& rect : rects) {
      const Rect frame = previewLayer->rectForMetadataOutputRectOfInterest(visionToAVFTransform.apply(rect));
      if (!isFinite(frame)) continue;
      auto layer = std::make_shared<ShapeLayer>();
      layer->opacity = 0.5;
      layer->borderColor = color;
      layer->borderWidth = 1;
      layer->frame = frame;
      boxLayer.push_back(layer);
      previewLayer->insertSublayer(layer, 1);
    }
  }
}

}  // namespace ostrel
