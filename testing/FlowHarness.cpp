#include "testing/FlowHarness.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>

#include <gtest/gtest.h>

#include "core/Localization.hpp"
#include "liveness/OSLFaceVC.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/nfc/NFCReaderBackend.hpp"
#include "platform/ui/NavigationController.hpp"
#include "session/Ostrel.hpp"
#include "testing/FacePhotographs.hpp"
#include "testing/SamplePerson.hpp"
#include "testing/TinyOnnxModel.hpp"
#include "ui/OSLProgressHUD.hpp"

namespace ostrel::testing {

using platform::CaptureDevicePosition;
using platform::JSON;

// ------------------------------------------------------------------------------ transport

struct CountingTransport::State {
  std::atomic<int> inFlight{0};
};

CountingTransport::CountingTransport(std::shared_ptr<platform::HttpTransport> inner)
    : inner_(std::move(inner)), state_(std::make_shared<State>()) {}

void CountingTransport::send(platform::HttpRequest request,
                             std::function<void(platform::HttpResponse)> completion) {
  ++state_->inFlight;
  inner_->send(std::move(request),
               [state = state_, completion = std::move(completion)](platform::HttpResponse response) {
                 // The completion posts its work first, so a count of zero means it is queued.
                 if (completion) completion(std::move(response));
                 --state->inFlight;
               });
}

int CountingTransport::inFlight() const { return state_->inFlight.load(); }

// ------------------------------------------------------------------------------ harness

std::string sampleCardZoneText() {
  const auto lines = samplePerson().td1Zone();
  return lines[0] + "\n" + lines[1] + "\n" + lines[2];
}

namespace {

bool isSyncPath(const std::string& path) {
  return path.rfind("/lang/", 0) == 0 || path.rfind("/api/sdk-model", 0) == 0 ||
         path.rfind("/api/sdk/", 0) == 0 || path.find("config") != std::string::npos;
}

}  // namespace

FlowHarness::FlowHarness()
    : journey([this](const std::string& line) { said.push_back(line); }) {
  OSLProgressHUD::resetForTesting();
  Ostrel::shared()->setNaviViewController(nullptr);
  previousTransport_ = platform::HttpTransport::shared();
  transport = std::make_shared<CountingTransport>(previousTransport_);
  platform::HttpTransport::setShared(transport);
  server.setExpectedAuthorization("token");

  authorization = ScriptedCameraAuthorization::install();
  cameras = ImageFileCamera::install();
  cameras->addDevice(ScriptedCameraDevice::make(
      CaptureDevicePosition::back, {ScriptedFrame::picture(sampleDocumentPictures().table)}));
  cameras->addDevice(ScriptedCameraDevice::make(CaptureDevicePosition::front,
                                                {ScriptedFrame::picture(samplePortraitFrame())}));

  field = std::make_shared<SimulatedNFCBackend>();
  card = SimulatedChip::idCard();
  field->setTags(SimulatedNFCBackend::chips({card}));
  platform::NFCReaderBackend::install(field);

  storeShippedGlareModel();

  config = OSLConfig::Builder("token");
  config->withBaseUrl(server.baseUrl());
  logged = recordLog(*config);
  host.install(*config);

  hostScreen = platform::make<platform::ViewController>();
  show(hostScreen);
  addUserSteps();
}

void FlowHarness::addUserSteps() {
  journey.remove("close");
  journey.addCooperativeSteps();
}

FlowHarness::~FlowHarness() {
  // Screens still on show stop their cameras while the backends are there.
  Ostrel::shared()->setNaviViewController(nullptr);
  Ostrel::shared()->setConfig(nullptr);
  runUntilIdle();
  OSLProgressHUD::resetForTesting();
  setLanguageDictionary(JSON::object());
  // Replies still on their way finish before the server and the transport go.
  waitUntil([this] { return transport->inFlight() == 0; }, 5);
  runUntilIdle();
  platform::HttpTransport::setShared(previousTransport_);
}

void FlowHarness::buildConfig() {
  bool built = false;
  config->build([&built] { built = true; });
  ASSERT_TRUE(drive([&] { return built; }, 30)) << "the configuration's build never ended";
}

bool FlowHarness::runFlow(const std::string& name, std::shared_ptr<OSLRawDataProcessor> processor,
                          double virtualSeconds) {
  buildConfig();
  if (processor) {
    Ostrel::shared()->run(name, config, std::move(processor));
  } else {
    Ostrel::shared()->run(name, config);
  }
  return driveToEnd(virtualSeconds);
}

void FlowHarness::startSteps() {
  Ostrel::shared()->run(config, hostScreen, true, host.runCompletion());
}

bool FlowHarness::runSteps(double virtualSeconds) {
  buildConfig();
  startSteps();
  return driveToEnd(virtualSeconds);
}

void FlowHarness::settleNetwork() {
  // Short waits with the queues run in between: a reply may need the main queue's turn before
  // its request counts as done.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  runUntilIdle();
  while (transport->inFlight() > 0 && std::chrono::steady_clock::now() < deadline) {
    waitUntil([this] { return transport->inFlight() == 0; }, 0.02);
    runUntilIdle();
  }
  runUntilIdle();
}

bool FlowHarness::drive(const std::function<bool()>& done, double virtualSeconds) {
  const double end = runtime().uptime() + virtualSeconds;
  while (true) {
    settleNetwork();
    runDisplayPass();
    if (Ostrel::shared()->naviViewController()) sessionSeen_ = true;
    if (done()) return true;
    if (runtime().uptime() >= end) return false;
    if (journey.look(window())) settleNetwork();
    advance(0.1);
  }
}

bool FlowHarness::driveToEnd(double virtualSeconds) {
  sessionSeen_ = false;
  const bool ended =
      drive([this] { return sessionSeen_ && !Ostrel::shared()->naviViewController(); },
            virtualSeconds);
  // The dismissal's last callbacks and animations.
  advance(1);
  settleNetwork();
  return ended;
}

std::vector<std::string> FlowHarness::orderWithoutLoading() const {
  std::vector<std::string> kept;
  for (const auto& entry : host.order()) {
    if (entry != "showLoading" && entry != "hideLoading") kept.push_back(entry);
  }
  return kept;
}

std::vector<std::string> FlowHarness::flowPaths() const {
  std::vector<std::string> paths;
  for (const auto& request : server.requests()) {
    if (!isSyncPath(request.path)) paths.push_back(request.path);
  }
  return paths;
}

std::shared_ptr<ImageFileCameraDriver> FlowHarness::backCamera() const {
  return cameras->driver(CaptureDevicePosition::back);
}

std::shared_ptr<ImageFileCameraDriver> FlowHarness::frontCamera() const {
  return cameras->driver(CaptureDevicePosition::front);
}

void FlowHarness::expectNothingLeft() {
  // Long enough for any time limit of the session (the chip reader's is a minute) to pass: it
  // must find nothing left to do and tell the host nothing more.
  const auto heardBefore = host.order();
  advance(65);
  settleNetwork();
  EXPECT_EQ(host.order(), heardBefore) << "the host heard from a session that had ended";
  EXPECT_FALSE(backCamera()->isStreaming()) << "the back camera still runs";
  EXPECT_FALSE(frontCamera()->isStreaming()) << "the front camera still runs";
  EXPECT_EQ(field->sessionsOpen(), 0) << "a chip session is still open";
  EXPECT_EQ(Ostrel::shared()->naviViewController(), nullptr) << "the navigation stayed";
  EXPECT_NE(Ostrel::shared()->config(), config) << "the session's configuration stayed";
  EXPECT_EQ(runtime().pendingCount(), 0u) << "something is still scheduled";
  EXPECT_TRUE(server.problems().empty()) << ::testing::PrintToString(server.problems());
}

void FlowHarness::expectNoMissingKeys() const {
  EXPECT_TRUE(missingKeys.keys().empty())
      << "missing keys: " << ::testing::PrintToString(missingKeys.keys());
}

}  // namespace ostrel::testing
