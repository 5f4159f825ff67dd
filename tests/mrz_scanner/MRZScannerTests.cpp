// The MRZ scanner: recognised lines through the line finder and tracker to boxes and one
// completion, with the scripted recogniser; hostile recogniser answers and camera buffers; and
// the real zone reader on printed zones through the image-file camera.

#include <cmath>
#include <limits>

#include "platform/vision/MRZLineRecognizer.hpp"
#include "scan/MRZLineFinder.hpp"
#include "scan/MRZResult.hpp"
#include "scanner/MRZFrameScanner.hpp"
#include "testing/MRZEvaluation.hpp"
#include "testing/MRZPictureRenderer.hpp"
#include "testing/MRZTestData.hpp"
#include "testing/SamplePerson.hpp"
#include "tests/mrz_scanner/ScannerTestSupport.hpp"

namespace ostrel::scanner_test {
namespace {

using testing::samplePerson;
using testing::zoneText;

const Color kRed{1, 0, 0, 1};
const Color kGreen{0, 1, 0, 1};

class MRZScannerTest : public ScannerTest {
 protected:
  // A scanner with a running camera that reads `lines` on every frame.
  std::shared_ptr<OSLScanMRZVC> scannerReading(const std::vector<std::string>& lines) {
    recognizer->setFrameFunction([lines](const cv::Mat&) { return linesOf(lines); });
    camera->addDevice(backCamera());
    auto scanner = pushScanner();
    runUntilIdle();
    return scanner;
  }

  // One back-camera frame handed to the scanner as its video queue would, without pumping.
  static void deliverFrame(OSLScanMRZVC& scanner, PixelBufferPtr buffer) {
    auto sample = std::make_shared<SampleBuffer>();
    sample->imageBuffer = std::move(buffer);
    CaptureConnection connection;
    scanner.captureOutput(*scanner.videoDataOutput, sample, connection);
  }
};

// A zone seen on every frame: the boxes follow each frame, the frame that takes the count to
// ten completes the scan with the whole zone (a count of nine does not), the camera stops, and
// later frames are not read. The scripted recogniser reads all three lines of the card on
// every frame; the finder holds the zone from the first frame's last line on, and each frame
// counts it once, however many of its lines returned it.
TEST_F(MRZScannerTest, StableZoneCompletesOnceWithTheWholeZone) {
  const auto zone = samplePerson().td1Zone();
  auto scanner = scannerReading(zone);
  int callsAtCompletion = -1;
  scanner->completionHandler = [&](std::string text) {
    completions.push_back(std::move(text));
    callsAtCompletion = recognizer->callCount();
  };
  auto previewLayer = scanner->previewView->videoPreviewLayer();
  ASSERT_EQ(scanner->boxLayer.size(), zone.size());
  auto firstBoxes = scanner->boxLayer;
  for (const auto& box : scanner->boxLayer) {
    EXPECT_EQ(box->opacity, 0.5);
    EXPECT_EQ(box->borderWidth, 1);
    EXPECT_TRUE(box->borderColor == kRed || box->borderColor == kGreen);
    EXPECT_EQ(box->superlayer(), previewLayer);
    EXPECT_TRUE(std::isfinite(box->frame.minX()) && box->frame.width() > 0);
  }
  EXPECT_EQ(previewLayer->sublayers().at(1), scanner->boxLayer.back());

  bool sawNine = false;
  while (completions.empty() && recognizer->callCount() < 40) {
    playFrames(1);
    if (completions.empty() && scanner->mrzTracker.bestCount() == 9) sawNine = true;
  }
  EXPECT_TRUE(sawNine) << "a count of nine finishes nothing";
  for (const auto& old : firstBoxes) EXPECT_FALSE(old->superlayer()) << "last frame's boxes are removed";
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0], zoneText(zone));
  EXPECT_EQ(callsAtCompletion, 11) << "seen in eleven frames, the zone counts ten";
  EXPECT_TRUE(scanner->isFinished());

  playFrames(30);
  EXPECT_EQ(completions.size(), 1u);
  EXPECT_FALSE(scanner->captureSession->isRunning());
  EXPECT_EQ(recognizer->callCount(), callsAtCompletion) << "frames after the completion are not read";
}

// Results already queued when the first finish runs (enough for a second stable count) do not
// complete the scan a second time.
TEST_F(MRZScannerTest, QueuedResultsAfterTheFinishCompleteNothingMore) {
  const auto zone = samplePerson().td3Zone();
  auto scanner = scannerReading(zone);
  const int before = recognizer->callCount();
  for (int i = 0; i < 25; ++i) deliverFrame(*scanner, cardBuffer());
  EXPECT_EQ(recognizer->callCount(), before + 25);
  runUntilIdle();
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0], zoneText(zone));
  playFrames(5);
  EXPECT_EQ(completions.size(), 1u);
  EXPECT_FALSE(scanner->captureSession->isRunning());
}

// A frame with lines that are no zone logs an empty frame and draws only red; two lines make
// two boxes, and a zone that does not parse (no real expiry day) reaches a stable count, is
// dropped, and the count starts again from zero while the camera keeps running.
TEST_F(MRZScannerTest, LinesThatAreNoZoneAreRedAndAZoneThatDoesNotParseIsCountedAgain) {
  camera->addDevice(backCamera());
  auto scanner = pushScanner();
  runUntilIdle();
  recognizer->queueLines(linesOf({"SOME CARD TEXT", "MORE TEXT"}));
  recognizer->queueLines(linesOf({"ONE LINE"}));
  deliverFrame(*scanner, cardBuffer());
  runUntilIdle();
  ASSERT_EQ(scanner->boxLayer.size(), 2u);
  for (const auto& box : scanner->boxLayer) EXPECT_EQ(box->borderColor, kRed);
  const auto frameIndex = scanner->mrzTracker.frameIndex();
  deliverFrame(*scanner, cardBuffer());
  runUntilIdle();
  EXPECT_EQ(scanner->mrzTracker.frameIndex(), frameIndex + 1) << "an empty frame is still logged";
  ASSERT_EQ(scanner->boxLayer.size(), 1u);
  EXPECT_EQ(scanner->boxLayer[0]->borderColor, kRed);
  EXPECT_EQ(scanner->mrzTracker.bestCount(), 0);

  auto fields = samplePerson().cardFields();
  fields.expiry = "301399";  // month 13: the check digits pass, the day does not exist
  const auto zone = testing::td1Zone(fields);
  ASSERT_FALSE(scanner->parseMRZ(zoneText(zone)));
  ASSERT_TRUE(scanner->parseMRZ(zoneText(samplePerson().td1Zone())));
  recognizer->setFrameFunction([zone](const cv::Mat&) { return linesOf(zone); });
  std::vector<std::int64_t> counts;
  for (int i = 0; i < 22; ++i) {
    deliverFrame(*scanner, cardBuffer());
    runUntilIdle();
    counts.push_back(scanner->mrzTracker.bestCount());
    if (i == 8) {
      EXPECT_EQ(scanner->mrzTracker.bestString(), zoneText(zone));
    }
  }
  // One count per frame; the finder assembles the zone again on the first frame after each reset.
  EXPECT_EQ(counts, (std::vector<std::int64_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0,
                                               0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}));
  EXPECT_TRUE(completions.empty());
  EXPECT_TRUE(scanner->captureSession->isRunning());
}

// Going back never completes.
TEST_F(MRZScannerTest, BackLeavesWithoutCompleting) {
  auto scanner = scannerReading(samplePerson().td1Zone());
  playFrames(1);
  ASSERT_EQ(navigation->viewControllers().size(), 2u);
  ASSERT_EQ(scanner->navigationItem()->leftBarButtonItems.size(), 1u);
  auto back = std::dynamic_pointer_cast<Button>(scanner->navigationItem()->leftBarButtonItems[0]->customView);
  ASSERT_TRUE(back);
  back->sendActions(ControlEvent::touchUpInside);
  runUntilIdle();
  playFrames(5);
  EXPECT_EQ(navigation->viewControllers().size(), 1u);
  EXPECT_TRUE(completions.empty());
  EXPECT_FALSE(scanner->captureSession->isRunning());

  // Without a navigation stack it dismisses itself.
  auto host = make<ViewController>();
  show(host);
  auto presented = make<OSLScanMRZVC>();
  host->present(presented, false);
  runUntilIdle();
  presented->backAction();
  advance(1);
  runUntilIdle();
  EXPECT_FALSE(host->presentedViewController());
}

// Lines another scanner left in the shared finder never complete a new scanner that sees only
// the last line of a zone.
TEST_F(MRZScannerTest, LinesLeftByAnEarlierScannerDoNotComplete) {
  const auto zone = samplePerson().td1Zone();
  resetMRZLineFinder();
  (void)findMRZLines(zone[0]);
  (void)findMRZLines(zone[1]);
  auto scanner = scannerReading({zone[2]});
  playFrames(20);
  EXPECT_TRUE(completions.empty());
  EXPECT_EQ(scanner->mrzTracker.bestCount(), 0);
}

// Bad recogniser answers and bad buffers: no crash, no completion, and frames keep coming.
TEST_F(MRZScannerTest, HostileRecognitionAndBuffersAreSurvived) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  using Lines = ScriptedTextRecognizer::Lines;
  Lines thousands;
  for (int i = 0; i < 3000; ++i) thousands.push_back({"LINE" + std::to_string(i), 0.5f, Rect{0, 0, 0.1, 0.001}});
  struct Row {
    const char* name;
    std::optional<Lines> lines;  // nothing: the recogniser throws
  };
  const Row rows[] = {
      {"recogniser throws", std::nullopt},
      {"nothing read", Lines{}},
      {"empty strings", Lines{{"", 0.5f, Rect{0, 0, 1, 0.1}}, {"   ", 0.5f, Rect{0, 0.2, 1, 0.1}}}},
      {"10 KB line", Lines{{std::string(10240, '<'), 0.5f, Rect{0, 0, 1, 0.1}}}},
      {"non-ASCII", Lines{{"\xC3\x84\xC3\x96\xE2\x82\xAC \xE6\x97\xA5\xFF\xFE", 0.5f, Rect{0, 0, 1, 0.1}}}},
      {"thousands of lines", thousands},
      {"bad boxes",
       Lines{{"A", 0.5f, Rect{nan, 0, 1, 1}},
             {"B", 0.5f, Rect{0, inf, 1, 1}},
             {"C", 0.5f, Rect{-5, -5, -3, -2}},
             {"D", 0.5f, Rect{-1e300, -1e300, 1e300, 1e300}},
             {"E", 0.5f, Rect{1e308, 1e308, 1e308, 1e308}}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    recognizer = ScriptedTextRecognizer::install();
    for (int i = 0; i < 3; ++i) {
      if (row.lines) recognizer->queueLines(*row.lines);
      else recognizer->queueFailure("the recogniser broke");
    }
    auto scanner = restartWith(backCamera());
    playFrames(5);
    EXPECT_TRUE(completions.empty());
    EXPECT_GE(recognizer->callCount(), 5);
    EXPECT_TRUE(scanner->captureSession->isRunning());
    for (const auto& box : scanner->boxLayer) {
      const Rect& f = box->frame;
      EXPECT_TRUE(std::isfinite(f.minX()) && std::isfinite(f.minY()) && std::isfinite(f.width()) &&
                  std::isfinite(f.height()));
    }
    scanner->stopSession();
    runUntilIdle();
  }

  SCOPED_TRACE("bad camera buffers");
  recognizer = ScriptedTextRecognizer::install();
  auto scanner = restartWith(backCamera({ScriptedFrame::noImageBuffer()}));
  playFrames(3);
  EXPECT_EQ(recognizer->callCount(), 0);
  deliverFrame(*scanner, nullptr);
  deliverFrame(*scanner, PixelBuffer::makeBGRA(0, 0));
  auto shortStride = std::make_shared<PixelBuffer>(
      PixelFormat::yCbCr420BiPlanarFullRange, 64, 64,
      std::vector<PixelPlane>{{64, 64, 16, std::vector<std::uint8_t>(16 * 64)},
                              {32, 32, 64, std::vector<std::uint8_t>(64 * 32)}});
  deliverFrame(*scanner, shortStride);
  runUntilIdle();
  EXPECT_EQ(recognizer->callCount(), 0);
  EXPECT_TRUE(completions.empty());
  deliverFrame(*scanner, cardBuffer());
  runUntilIdle();
  EXPECT_EQ(recognizer->callCount(), 1) << "a good frame after bad ones is read";
}

// The real zone reader on the sample person's card and passport printed in OCR-B, through the
// image-file camera, the scanner's frame step, the finder, the tracker and the parser.
TEST_F(MRZScannerTest, PrintedZonesCompleteThroughTheZoneReader) {
  TextRecognizerBackend::install(std::make_shared<MRZLineRecognizer>());
  struct Row {
    const char* name;
    std::vector<std::string> lines;
    testing::MRZFields fields;
  };
  const Row rows[] = {
      {"card", samplePerson().td1Zone(), samplePerson().cardFields()},
      {"passport", samplePerson().td3Zone(), samplePerson().passportFields()},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testing::MRZPictureStyle style;
    style.characterHeight = 26;
    style.rotationDegrees = 1.5;
    style.blurSigma = 0.8;
    style.noiseSigma = 4;
    style.jpegQuality = 80;
    const testing::MRZFrameSequence sequence(row.lines, style);
    std::vector<ScriptedFrame> frames;
    for (int i = 0; i < 4; ++i) {
      cv::Mat rgba;
      cv::cvtColor(testing::uprightPictureWithRegion(sequence.regionFrame(i)), rgba, cv::COLOR_GRAY2RGBA);
      frames.push_back(ScriptedFrame::picture(rgba));
    }
    auto scanner = restartWith(backCamera(frames));
    for (int frame = 0; frame < 40 && completions.empty(); ++frame) playFrames(1);
    ASSERT_EQ(completions.size(), 1u);
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; start <= completions[0].size(); start = end + 1) {
      end = completions[0].find('\n', start);
      if (end == std::string::npos) end = completions[0].size();
      lines.push_back(completions[0].substr(start, end - start));
    }
    const auto parsed = parseMRZ(lines, true, *makeMRZDateFormatter());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->documentNumberRawString, testing::mrzField(row.fields.documentNumber, 9));
    EXPECT_EQ(parsed->birthdateRawString, row.fields.birth);
    EXPECT_EQ(parsed->expiryDateRawString, row.fields.expiry);
  }
}

}  // namespace
}  // namespace ostrel::scanner_test
