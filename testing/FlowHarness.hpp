#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/OSLConfig.hpp"
#include "core/OSLRawDataProcessor.hpp"
#include "model/OstrelResult.hpp"
#include "platform/net/HttpTransport.hpp"
#include "testing/ImageFileCamera.hpp"
#include "testing/LanguageDictionary.hpp"
#include "testing/ScriptedCameraAuthorization.hpp"
#include "testing/ScriptedHost.hpp"
#include "testing/ScriptedUser.hpp"
#include "testing/SimulatedChip.hpp"
#include "testing/SimulatedNFCBackend.hpp"
#include "testing/TestHelpers.hpp"
#include "testing/TinyOnnxModel.hpp"
#include "testing/UserJourney.hpp"
#include "testing/VerificationServer.hpp"

namespace ostrel::testing {

// Counts the requests of the library's transport that have not had their completion yet, so a
// test on the virtual clock knows when to wait for the network's real threads.
class CountingTransport : public platform::HttpTransport {
 public:
  explicit CountingTransport(std::shared_ptr<platform::HttpTransport> inner);
  void send(platform::HttpRequest request,
            std::function<void(platform::HttpResponse)> completion) override;
  int inFlight() const;

 private:
  struct State;
  std::shared_ptr<platform::HttpTransport> inner_;
  std::shared_ptr<State> state_;
};

// The sample person's card zone as a host hands it over: its three lines joined by line breaks.
std::string sampleCardZoneText();

// Everything a whole flow needs on the deterministic runtime, as a phone and a host give it:
// the local verification server (expecting the session "token"), camera permission granted,
// image-file cameras (the back one shows the table on which the user holds up the sample card's
// sides, the front one the portrait where the face screen looks for a face), the simulated NFC
// field with the sample person's card (it arrives half a second after a read
// begins), the glare model in the model store, the cooperative user journey, the missing-key
// recorder, and the scripted host with its handlers on the configuration (`host`; the
// configured steps' completion is recorded there as "completion"). The host's own screen is
// `hostScreen`; log events are also in `logged`, the user's actions in `said`.
class FlowHarness : public UITest {
 protected:
  FlowHarness();
  ~FlowHarness() override;

  // Gives the journey every step of the cooperative user again (after a test replaced some)
  // and drops a rule named "close".
  void addUserSteps();

  // Runs `config->build` (the language and configuration sync) as a host does before a run.
  void buildConfig();
  // Builds the configuration, runs the built-in flow `name` (with `processor` when given) and
  // drives it until the session ended, within `virtualSeconds`. Returns whether it ended.
  bool runFlow(const std::string& name, std::shared_ptr<OSLRawDataProcessor> processor = nullptr,
               double virtualSeconds = 180);
  // The same for the configuration's own steps, presented from the host's screen; the run's
  // completion writes "completion".
  bool runSteps(double virtualSeconds = 180);
  // Starts the configured steps without driving them (for tests that step in between).
  void startSteps();

  // Moves the session on: the network's replies, the user's looks and the virtual clock, in
  // steps of a tenth of a second, until `done` holds or `virtualSeconds` have passed.
  bool drive(const std::function<bool()>& done, double virtualSeconds = 180);
  // Until the session that is on screen (or about to be) has ended and its last callbacks ran.
  bool driveToEnd(double virtualSeconds = 180);
  // Until the top screen is of type `Screen`.
  template <class Screen>
  std::shared_ptr<Screen> driveTo(double virtualSeconds = 60) {
    std::shared_ptr<Screen> found;
    drive(
        [&] {
          found = std::dynamic_pointer_cast<Screen>(UserJourney::topScreen(window()));
          return found != nullptr;
        },
        virtualSeconds);
    return found;
  }
  // Waits for the network and runs what it posted (never moves the virtual clock).
  void settleNetwork();

  // The host's record without the loading handlers' entries.
  std::vector<std::string> orderWithoutLoading() const;
  // The paths the server was asked for, in order, without the sync's and the model download.
  std::vector<std::string> flowPaths() const;
  // Nothing is left of the session: a minute later the host has heard nothing more, no camera
  // runs, no chip session is open, no navigation controller is held, nothing is scheduled on
  // the runtime, a fresh configuration is in place, and the server saw nothing it had to
  // refuse. Adds a failure for each.
  void expectNothingLeft();
  // No key the library looked up was missing from the server's dictionary.
  void expectNoMissingKeys() const;

  std::shared_ptr<ImageFileCameraDriver> backCamera() const;
  std::shared_ptr<ImageFileCameraDriver> frontCamera() const;

  VerificationServer server;
  std::shared_ptr<CountingTransport> transport;
  std::shared_ptr<ScriptedCameraAuthorization> authorization;
  std::shared_ptr<ImageFileCamera> cameras;
  std::shared_ptr<SimulatedNFCBackend> field;
  // The sample person's card in the field.
  std::shared_ptr<SimulatedChip> card;
  std::shared_ptr<OSLConfig> config;
  ScriptedHost host;
  std::shared_ptr<platform::ViewController> hostScreen;
  LogRecord logged;
  std::vector<std::string> said;
  UserJourney journey;
  MissingKeyRecorder missingKeys;

 private:
  std::shared_ptr<platform::HttpTransport> previousTransport_;
  bool sessionSeen_ = false;
};

}  // namespace ostrel::testing
