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
#include "scan/StringTracker.hpp"
#include "ui/ResourceBundle.hpp"

namespace ostrel {

using namespace ostrel::platform;

namespace {

bool isFinite(const Rect& r) {
  return std::isfinite(r.minX()) && std::isfinite(r.minY()) && std::isfinite(r.width()) &&
         std::isfinite(r.height());
}

}  // namespace

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
  frameScanner_.setRegionOfInterest(geometry.regionOfInterest);
  const auto accepted = frameScanner_.push(sampleBuffer->imageBuffer, geometry.textOrientation);
  if (const auto& lines = frameScanner_.lastBoxes()) {
    std::vector<Rect> red, green;
    for (const auto& line : *lines) (line.inZone ? green : red).push_back(line.box);
    showBoxes({{Color{1, 0, 0, 1}, std::move(red)}, {Color{0, 1, 0, 1}, std::move(green)}});
  }
  if (!accepted) return;
  std::weak_ptr<OSLScanMRZVC> weakSelf = shared<OSLScanMRZVC>();
  DispatchQueue::main()->async([weakSelf, text = *accepted] {
    if (auto self = weakSelf.lock()) self->finishScan(text);
  });
}

// --- Results (main queue) --------------------------------------------------------------------

std::optional<OSLScanMRZVC::ParsedZone> OSLScanMRZVC::parseMRZ(const std::string& text) {
  const auto formatter = makeMRZDateFormatter();
  const auto parsed = ostrel::parseMRZ(ostrel::mrzZoneLines(text), true, *formatter);
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
  // The chip screen logs the zone the camera assembled, from the shared finder; it stays there
  // until the next scanner opens.
  const auto finder = MRZLineFinder::shared();
  finder->reset();
  for (const auto& line : ostrel::mrzZoneLines(text)) (void)finder->findMRZLines(line);
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
