#include "testing/MRZEvaluation.hpp"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>

#include "platform/camera/CaptureDevice.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/runtime/Runtime.hpp"
#include "platform/vision/ImageRequestHandler.hpp"
#include "platform/vision/RecognizeTextRequest.hpp"
#include "scan/MRZLineFinder.hpp"
#include "scan/MRZResult.hpp"
#include "scan/StringTracker.hpp"
#include "scanner/MRZFrameScanner.hpp"
#include "scanner/OSLScanMRZVC.hpp"
#include "testing/DeterministicRuntime.hpp"
#include "testing/ImageFileCamera.hpp"
#include "testing/MRZTestData.hpp"

namespace ostrel::testing {

namespace {

const std::vector<std::string> kSurnames = {"ERIKSSON", "NGUYEN", "TRAN", "SMITH", "GARCIA",
                                            "MULLER", "OCONNOR", "LEE", "PHAM", "ROSSI",
                                            "DUBOIS", "KOWALSKI", "VAN<DER<BERG", "LE"};
const std::vector<std::string> kGivenNames = {"ANNA", "MARIA", "VAN<AN", "THI<MAI", "JOHN",
                                              "PETER", "LINH", "HUNG", "SOPHIE", "LUCA", "Q"};
const std::vector<std::string> kNationalities = {"UTO", "VNM", "D<<", "FRA", "GBR",
                                                 "USA", "ITA", "POL"};

std::string twoDigits(int value) {
  value %= 100;
  return {static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10)};
}

template <typename T>
const T& pick(std::mt19937& random, const std::vector<T>& items) {
  return items[random() % items.size()];
}

int uniformInt(std::mt19937& random, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(random);
}

double uniform(std::mt19937& random, double low, double high) {
  return std::uniform_real_distribution<double>(low, high)(random);
}

}  // namespace

MRZEvaluationZone evaluationZone(int index) {
  std::mt19937 random(1000u + static_cast<unsigned>(index));
  const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ", digits = "0123456789";
  MRZEvaluationZone zone;
  const int leadingLetters = uniformInt(random, 1, 2);
  for (int i = 0; i < 9; ++i) {
    zone.documentNumber += i < leadingLetters ? letters[random() % 26] : digits[random() % 10];
  }
  zone.birth = twoDigits(uniformInt(random, 1940, 2005)) + twoDigits(uniformInt(random, 1, 12)) +
               twoDigits(uniformInt(random, 1, 28));
  zone.expiry = twoDigits(uniformInt(random, 2027, 2036)) + twoDigits(uniformInt(random, 1, 12)) +
                twoDigits(uniformInt(random, 1, 28));
  MRZFields fields;
  fields.documentCode = index % 2 == 0 ? "I<" : "P<";
  fields.issuingState = fields.nationality = pick(random, kNationalities);
  fields.documentNumber = zone.documentNumber;
  fields.birth = zone.birth;
  fields.sex = "MF<"[random() % 3];
  fields.expiry = zone.expiry;
  fields.names = pick(random, kSurnames) + "<<" + pick(random, kGivenNames);
  zone.lines = index % 2 == 0 ? td1Zone(fields) : td3Zone(fields);
  return zone;
}

MRZPictureStyle evaluationStyle(int index) {
  std::mt19937 random(5000u + static_cast<unsigned>(index));
  MRZPictureStyle style;
  const int characters = index % 2 == 0 ? 30 : 44;
  const int fits = static_cast<int>(0.92 * mrzRegionInPicture().width / (characters * 0.7059));
  style.characterHeight = std::min(uniformInt(random, 18, 40), fits);
  style.rotationDegrees = uniform(random, -5, 5);
  style.blurSigma = uniform(random, 0, 1.5);
  style.noiseSigma = uniform(random, 2, 8);
  style.unevenLight = uniform(random, 0, 1);
  style.jpegQuality = 60;
  style.offsetX = uniform(random, -30, 30);
  style.offsetY = uniform(random, -40, 10);
  style.otherCardText = index % 3 != 0;
  style.seed = 9000u + static_cast<unsigned>(index);
  return style;
}

MRZFrameSequence evaluationSequence(int index) {
  return MRZFrameSequence(evaluationZone(index).lines, evaluationStyle(index));
}

platform::Rect portraitRegionOfInterest() {
  const double width = 0.9, height = 0.6484375 * width / (16.0 / 9.0);
  return {(1 - width) / 2, (1 - height) / 1.5, width, height};
}

MRZScanRun scanLikeTheScanner(const MRZFrameSequence& sequence, int maxFrames) {
  MRZFrameScanner scanner(portraitRegionOfInterest());
  MRZScanRun run;
  for (int frame = 0; frame < maxFrames; ++frame) {
    run.framesRead = frame + 1;
    const auto buffer = cameraBufferFromUpright(uprightPictureWithRegion(sequence.regionFrame(frame)));
    if (const auto text = scanner.push(buffer, 6); text && fillCompletion(run, *text)) return run;
  }
  return run;
}

bool fillCompletion(MRZScanRun& run, const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0;;) {
    const auto end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  const auto formatter = makeMRZDateFormatter();
  const auto parsed = parseMRZ(lines, true, *formatter);
  if (!parsed || !parsed->documentNumber || parsed->documentNumber->empty() || !parsed->birthdate ||
      !parsed->expiryDate) {
    return false;
  }
  run.zoneText = text;
  run.documentNumber = parsed->documentNumberRawString;
  run.birth = parsed->birthdateRawString;
  run.expiry = parsed->expiryDateRawString;
  return true;
}

MRZScanRun scanThroughTheScanner(const MRZFrameSequence& sequence, int maxFrames) {
  auto runtime = std::dynamic_pointer_cast<DeterministicRuntime>(platform::Runtime::currentShared());
  if (!runtime) throw std::logic_error("scanThroughTheScanner needs the deterministic runtime");
  // A back camera that gives the scanner its 16/9 preset; the frames themselves are handed to
  // the scanner here, one at a time, as its video queue would.
  const auto previousCamera = platform::CameraBackend::current();
  auto camera = ImageFileCamera::install();
  camera->addDevice(ScriptedCameraDevice::make(
      platform::CaptureDevicePosition::back,
      {ScriptedFrame::picture(cv::Mat(192, 108, CV_8UC4, cv::Scalar(128, 128, 128, 255)))}));
  auto scanner = platform::make<OSLScanMRZVC>();
  std::optional<std::string> completed;
  scanner->completionHandler = [&completed](std::string text) { completed = std::move(text); };
  scanner->loadViewIfNeeded();
  runtime->runUntilIdle();

  MRZScanRun run;
  platform::CaptureConnection connection;
  for (int frame = 0; frame < maxFrames && !completed; ++frame) {
    run.framesRead = frame + 1;
    auto sample = std::make_shared<platform::SampleBuffer>();
    sample->imageBuffer = cameraBufferFromUpright(uprightPictureWithRegion(sequence.regionFrame(frame)));
    scanner->captureOutput(*scanner->videoDataOutput, sample, connection);
    runtime->runUntilIdle();
  }
  if (completed && !fillCompletion(run, *completed)) run.zoneText = *completed;
  scanner->stopSession();
  runtime->runUntilIdle();
  platform::CameraBackend::install(previousCamera);
  return run;
}

void printLinesRead(const MRZFrameScanner& scanner, int frame) {
  if (frame >= 0) std::fprintf(stderr, "  frame %d:\n", frame);
  else std::fprintf(stderr, "  frame:\n");
  for (const auto& result : scanner.request()->results()) {
    const auto text = std::dynamic_pointer_cast<platform::RecognizedTextObservation>(result);
    if (!text) continue;
    const auto candidates = text->topCandidates(1);
    if (!candidates.empty()) std::fprintf(stderr, "    %s\n", candidates.front().string.c_str());
  }
}

}  // namespace ostrel::testing
