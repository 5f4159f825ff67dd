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

  static PixelBufferPtr cardBuffer() {
    return testing::cameraBufferFromUpright(cv::Mat(192, 108, CV_8UC1, cv::Scalar(200)));
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


// The per-frame reader on its own, as a benchmark or a host's evaluation drives it: nothing
// until the eleventh frame that read the zone, then the zone once and a fresh start; a frame
// whose misread name is a minority is outvoted; a frame without lines keeps the last boxes;
// a zone that gives no chip key is never handed back; reset forgets the votes.
TEST_F(MRZScannerTest, TheFrameScannerHandsBackAZoneSeenInElevenFrames) {
  const auto zone = samplePerson().td3Zone();
  auto misread = zone;
  misread[0][5] = misread[0][5] == 'Q' ? 'R' : 'Q';  // the surname's first letter
  MRZFrameScanner scanner(testing::portraitRegionOfInterest());
  const auto buffer = cardBuffer();
  std::vector<int> completedAt;
  for (int frame = 1; frame <= 30; ++frame) {
    recognizer->queueLines(linesOf(frame % 7 == 2 ? misread : zone));
    if (const auto text = scanner.push(buffer, 6)) {
      EXPECT_EQ(*text, zoneText(zone)) << frame;
      completedAt.push_back(frame);
    }
  }
  // Each zone's eleventh frame is its second to misread the name, more than a sixth of them: the
  // name settles a frame later.
  EXPECT_EQ(completedAt, (std::vector<int>{12, 24})) << "one completion per eleven frames or so";
  ASSERT_TRUE(scanner.lastBoxes());
  ASSERT_EQ(scanner.lastBoxes()->size(), zone.size());
  EXPECT_TRUE(scanner.lastBoxes()->back().inZone);
  EXPECT_TRUE(scanner.lastBoxes()->front().inZone) << "once assembled, every line returns the zone";

  recognizer->queueLines({});
  EXPECT_FALSE(scanner.push(buffer, 6));
  EXPECT_EQ(scanner.lastBoxes()->size(), zone.size()) << "a frame without lines keeps the boxes";
  EXPECT_FALSE(scanner.push(nullptr, 6));
  recognizer->queueFailure("no text");
  EXPECT_FALSE(scanner.push(buffer, 6));

  scanner.reset();
  EXPECT_EQ(scanner.tracker().bestCount(), 0);
  EXPECT_FALSE(scanner.lastBoxes());
  EXPECT_EQ(scanner.finder().assembledMRZText(), "");

  // Once a zone is assembled the finder answers it for any line; frames that read only the
  // card's other print did not see the zone and do not vote for it.
  for (int frame = 1; frame <= 3; ++frame) {
    recognizer->queueLines(linesOf(zone));
    EXPECT_FALSE(scanner.push(buffer, 6));
  }
  for (int frame = 1; frame <= 20; ++frame) {
    recognizer->queueLines(linesOf({"REPUBLIC OF UTOPIA", "IDENTITY CARD"}));
    EXPECT_FALSE(scanner.push(buffer, 6)) << frame;
  }
  EXPECT_EQ(scanner.tracker().bestCount(), 2);
  EXPECT_TRUE(scanner.lastBoxes()->front().inZone) << "the boxes still show the zone";
  scanner.reset();

  // The finder fills a line a frame did not read from an earlier frame. A misread name read in
  // one frame is not voted for again by the frames after it that read only the other lines: the
  // name waits for frames that read it, and follows them.
  const auto card = samplePerson().td1Zone();
  auto misreadName = card;
  misreadName[2][0] = misreadName[2][0] == 'Q' ? 'R' : 'Q';
  recognizer->queueLines(linesOf(misreadName));
  EXPECT_FALSE(scanner.push(buffer, 6));
  for (int frame = 2; frame <= 15; ++frame) {
    recognizer->queueLines(linesOf({card[0], card[1]}));
    EXPECT_FALSE(scanner.push(buffer, 6)) << frame;
  }
  std::vector<int> cardAt;
  for (int frame = 16; frame <= 25; ++frame) {
    recognizer->queueLines(linesOf(card));
    if (const auto text = scanner.push(buffer, 6)) {
      EXPECT_EQ(*text, zoneText(card));
      cardAt.push_back(frame);
    }
  }
  EXPECT_EQ(cardAt, (std::vector<int>{21})) << "once a third of the frames read the name";
  scanner.reset();

  // A mark of the card beside a line, read as a glyph of its own after a blank, is not part of
  // the line; a row holding two pieces of a line's width is neither of them.
  for (int frame = 1; frame <= 11; ++frame) {
    recognizer->queueLines(linesOf({"9 " + card[0], card[1], card[2] + " N"}));
    const auto text = scanner.push(buffer, 6);
    EXPECT_EQ(text.has_value(), frame == 11) << frame;
    if (text) {
      EXPECT_EQ(*text, zoneText(card));
    }
  }
  scanner.reset();
  for (int frame = 1; frame <= 15; ++frame) {
    recognizer->queueLines(linesOf({card[0] + " " + card[0], card[1], card[2]}));
    EXPECT_FALSE(scanner.push(buffer, 6)) << frame;
  }
  scanner.reset();

  auto fields = samplePerson().cardFields();
  fields.expiry = "301399";  // passes its check digit, no real day: no chip key
  const auto noKey = testing::td1Zone(fields);
  for (int frame = 0; frame < 30; ++frame) {
    recognizer->queueLines(linesOf(noKey));
    EXPECT_FALSE(scanner.push(buffer, 6)) << frame;
  }
}

// Glare washes out a stretch of each line and wanders on: rows come back with blanks there. A
// line is completed from the frames that read the rest of it, and each frame votes only for
// the places it read: a misread name filled into later frames' blanks is not counted again.
TEST_F(MRZScannerTest, LinesReadInPartAreCompletedAcrossFrames) {
  const auto zone = samplePerson().td3Zone();
  MRZFrameScanner scanner(testing::portraitRegionOfInterest());
  const auto buffer = cardBuffer();
  std::vector<int> completedAt;
  for (int frame = 0; frame < 30 && completedAt.empty(); ++frame) {
    const std::size_t from = 10 + static_cast<std::size_t>(frame);
    recognizer->queueLines(linesOf({testing::washedOut(zone[0], from, from + 10), testing::washedOut(zone[1], from, from + 10)}));
    if (const auto text = scanner.push(buffer, 6)) {
      EXPECT_EQ(*text, zoneText(zone));
      completedAt.push_back(frame);
    }
  }
  // The zone is whole from frame 10, when place 19 is first read, and frames vote from then on.
  // The places the glare has just left were read by few of them: the last is read by a third
  // of the voting frames in frame 26.
  EXPECT_EQ(completedAt, (std::vector<int>{26}));

  scanner.reset();
  auto misread = zone;
  misread[0][5] = misread[0][5] == 'Q' ? 'R' : 'Q';
  recognizer->queueLines(linesOf(misread));
  EXPECT_FALSE(scanner.push(buffer, 6));
  for (int frame = 2; frame <= 15; ++frame) {
    recognizer->queueLines(linesOf({testing::washedOut(zone[0], 2, 9), zone[1]}));
    EXPECT_FALSE(scanner.push(buffer, 6)) << frame;
  }
  for (int frame = 16; frame <= 30; ++frame) {
    recognizer->queueLines(linesOf(zone));
    if (const auto text = scanner.push(buffer, 6)) {
      EXPECT_EQ(*text, zoneText(zone)) << frame;
      break;
    }
    ASSERT_LT(frame, 30) << "never completed";
  }
}

// The card's pattern or its edge beside a line, read as glyphs with no gap before the line's
// first or after its last character: the row is a few positions longer than any zone line.
// Once a frame has read the line alone, the stretch of such a row that reads as that line is
// the line, and the frames that read it so vote for the zone; before, such rows say nothing.
TEST_F(MRZScannerTest, MarksGluedToALinesEndAreLeftOutOnceTheLineIsKnown) {
  const auto card = samplePerson().td1Zone();
  const std::vector<std::string> glued = {"RT" + card[0], card[1], card[2] + "<G1"};
  MRZFrameScanner scanner(testing::portraitRegionOfInterest());
  const auto buffer = cardBuffer();
  for (int frame = 1; frame <= 30; ++frame) {
    recognizer->queueLines(linesOf(glued));
    EXPECT_FALSE(scanner.push(buffer, 6)) << frame;
  }
  scanner.reset();
  std::vector<int> completedAt;
  for (int frame = 1; frame <= 30 && completedAt.empty(); ++frame) {
    recognizer->queueLines(linesOf(frame == 1 ? card : glued));
    if (const auto text = scanner.push(buffer, 6)) {
      EXPECT_EQ(*text, zoneText(card)) << frame;
      completedAt.push_back(frame);
    }
  }
  EXPECT_EQ(completedAt, (std::vector<int>{11}));

  // A row holding two such pieces is neither of them.
  scanner.reset();
  const std::vector<std::string> twice = {glued[0] + " " + glued[0], card[1], card[2]};
  for (int frame = 1; frame <= 15; ++frame) {
    recognizer->queueLines(linesOf(frame == 1 ? card : twice));
    EXPECT_FALSE(scanner.push(buffer, 6)) << frame;
  }
}

// Small, blurred print is misread at a place or two in every frame, each frame at others: no
// two frames read the document number alike, so no zone is read the same in ten frames. The
// places the frames clearly agree on are read as they read them, and the zone is accepted
// once ten frames have read it so. The names, which no check digit covers, are voted for only
// with what each frame read itself.
TEST_F(MRZScannerTest, EachFramesOwnMisreadIsOutvotedByTheOthers) {
  const auto zone = samplePerson().td3Zone();
  MRZFrameScanner scanner(testing::portraitRegionOfInterest());
  const auto buffer = cardBuffer();
  // A different wrong character: each one fails the number's check digit (a change of one
  // in a character's value, times a weight of 7, 3 or 1).
  auto unlike = [](char c) -> char {
    if (c >= '0' && c <= '9') return c == '9' ? '0' : static_cast<char>(c + 1);
    return c == 'Z' ? 'Y' : static_cast<char>(c + 1);
  };
  std::vector<int> completedAt;
  for (int frame = 1; frame <= 30 && completedAt.empty(); ++frame) {
    auto read = zone;
    char& place = read[1][static_cast<std::size_t>(frame % 9)];
    place = unlike(place);
    recognizer->queueLines(linesOf(read));
    if (const auto text = scanner.push(buffer, 6)) {
      EXPECT_EQ(*text, zoneText(zone)) << frame;
      completedAt.push_back(frame);
    }
  }
  // From the third frame on, each place misread was read right by the two frames before.
  EXPECT_EQ(completedAt, (std::vector<int>{13}));

  // The surname misread in the first four frames: for two frames after, the line is read as
  // those four read it. Each frame still votes only for what it read itself there, so the name
  // settles once five sixths of the frames have read it right, and not as misread in frame 11.
  scanner.reset();
  auto misread = zone;
  misread[0][5] = misread[0][5] == 'Q' ? 'R' : 'Q';
  completedAt.clear();
  for (int frame = 1; frame <= 30 && completedAt.empty(); ++frame) {
    recognizer->queueLines(linesOf(frame <= 4 ? misread : zone));
    if (const auto text = scanner.push(buffer, 6)) {
      EXPECT_EQ(*text, zoneText(zone)) << frame;
      completedAt.push_back(frame);
    }
  }
  EXPECT_EQ(completedAt, (std::vector<int>{24}));

  // Glare over the number: every other frame reads its 6 as O. The check digit then fails, and
  // turning the 0 two places on into an O would pass it; but every frame read that 0, so the
  // O-frames vote for a number that fails, and the zone is the one the other frames read.
  scanner.reset();
  auto fields = samplePerson().passportFields();
  fields.documentNumber = "NN6401928";
  const auto numbered = testing::td3Zone(fields);
  auto sixAsO = numbered;
  sixAsO[1][2] = 'O';
  completedAt.clear();
  for (int frame = 1; frame <= 30; ++frame) {
    recognizer->queueLines(linesOf(frame % 2 == 1 ? sixAsO : numbered));
    if (const auto text = scanner.push(buffer, 6)) {
      EXPECT_EQ(*text, zoneText(numbered)) << frame;
      completedAt.push_back(frame);
    }
  }
  EXPECT_EQ(completedAt, (std::vector<int>{22})) << "the eleventh frame that read the 6";
}

// The recogniser marks a glyph it read as a guess. The same print gives the same guess in every
// frame, so at a place no check digit covers a guess counts against the vote, however many
// frames agree on it; where a check digit covers the place, it settles the guess.
TEST_F(MRZScannerTest, AGuessIsTakenOnlyWhereACheckDigitCoversIt) {
  const auto zone = samplePerson().td3Zone();
  MRZFrameScanner scanner(testing::portraitRegionOfInterest());
  const auto buffer = cardBuffer();
  // The zone's lines with the place `at` of line `line` read as a guess in every frame.
  auto guessed = [&](std::size_t line, std::size_t at) {
    auto lines = linesOf(zone);
    for (auto& read : lines) read.unsure.assign(read.string.size(), false);
    lines[line].unsure[at] = true;
    return lines;
  };
  struct Case {
    const char* what;
    std::size_t line, at;
    bool completes;
  };
  const Case cases[] = {{"a letter of the surname", 0, 6, false},
                        {"the issuing state", 0, 3, false},
                        {"a character of the document number", 1, 1, true},
                        {"the birth date's check digit", 1, 19, true}};
  for (const Case& c : cases) {
    scanner.reset();
    std::vector<int> completedAt;
    for (int frame = 1; frame <= 30 && completedAt.empty(); ++frame) {
      recognizer->queueLines(guessed(c.line, c.at));
      if (const auto text = scanner.push(buffer, 6)) {
        EXPECT_EQ(*text, zoneText(zone)) << c.what;
        completedAt.push_back(frame);
      }
    }
    EXPECT_EQ(completedAt, c.completes ? std::vector<int>{11} : std::vector<int>{}) << c.what;
  }
}

// Where only a letter or the filler can stand, a frame votes for the recogniser's likeliest letter
// rather than for its digit read as a letter: a G read as 0 is not taken for an O when the
// recogniser's letters say G, and a glyph its letters cannot tell apart counts as a guess.
TEST_F(MRZScannerTest, WhereOnlyLettersStandTheLikeliestLetterIsVotedFor) {
  const auto zone = samplePerson().td3Zone();
  ASSERT_EQ(zone[0].substr(5, 6), "NGUYEN");
  MRZFrameScanner scanner(testing::portraitRegionOfInterest());
  const auto buffer = cardBuffer();
  struct Case {
    const char* what;
    std::size_t line, at;
    char printed, read, letter;
    bool unsureLetter;
    bool completes;
  };
  const Case cases[] = {
      {"the surname's G read as 0, its letter G", 0, 6, 'G', '0', 'G', false, true},
      {"the surname's G read as 0, its letter a guess", 0, 6, 'G', '0', 'O', true, false},
      {"the nationality's N read as 0, its letter N", 1, 11, 'N', '0', 'N', false, true},
      // Where digits stand, the letters say nothing.
      {"the birth date's 9 read as 9, its letter a guess", 1, 13, '9', '9', 'S', true, true},
  };
  for (const Case& c : cases) {
    scanner.reset();
    auto lines = linesOf(zone);
    for (auto& read : lines) {
      read.unsure.assign(read.string.size(), false);
      read.letters = read.string;
      read.unsureLetters.assign(read.string.size(), false);
    }
    ASSERT_EQ(lines[c.line].string[c.at], c.printed) << c.what;
    lines[c.line].string[c.at] = c.read;
    lines[c.line].letters[c.at] = c.letter;
    lines[c.line].unsureLetters[c.at] = c.unsureLetter;
    std::vector<int> completedAt;
    for (int frame = 1; frame <= 30 && completedAt.empty(); ++frame) {
      recognizer->queueLines(lines);
      if (const auto text = scanner.push(buffer, 6)) {
        EXPECT_EQ(*text, zoneText(zone)) << c.what;
        completedAt.push_back(frame);
      }
    }
    EXPECT_EQ(completedAt, c.completes ? std::vector<int>{11} : std::vector<int>{}) << c.what;
  }
}

}  // namespace
}  // namespace ostrel::scanner_test
