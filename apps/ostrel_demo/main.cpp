// ostrel_demo: a host application of the library, as an integrator writes one. It builds a
// configuration, runs one flow and prints what its handlers hear. Around it stands what a phone
// would give: a window with the host's own root screen, cameras, an NFC reader, a user and,
// unless told otherwise, the verification server (all stand-ins from testing/).
//
// Exit status: 0 after a result (or the configured steps' completion), 1 when the session
// ended without one, 2 for bad options, something that cannot be reached or opened, or the
// time limit. The last line always says which.
#include <curl/curl.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/OSLAppearance.hpp"
#include "core/OSLConfig.hpp"
#include "core/OSLFlowType.hpp"
#include "model/OstrelResult.hpp"
#include "network/ModelDownloader.hpp"
#include "platform/camera/VideoIOCameraBackend.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/foundation/Paths.hpp"
#include "platform/nfc/NFCReaderBackend.hpp"
#include "platform/nfc/PCSCReaderBackend.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/runtime/LiveRuntime.hpp"
#include "platform/ui/DesktopWindow.hpp"
#include "platform/ui/PangoText.hpp"
#include "platform/ui/ScreenSnapshots.hpp"
#include "platform/ui/ViewController.hpp"
#include "platform/ui/Window.hpp"
#include "session/Ostrel.hpp"
#include "testing/ImageFileCamera.hpp"
#include "testing/SamplePerson.hpp"
#include "testing/ScriptedLivenessVendor.hpp"
#include "testing/SimulatedChip.hpp"
#include "testing/SimulatedNFCBackend.hpp"
#include "testing/TinyOnnxModel.hpp"
#include "testing/UserJourney.hpp"
#include "testing/VerificationServer.hpp"

namespace {

using namespace ostrel;
using platform::JSON;
// The stand-ins for the phone, the user and the server.
namespace doubles = ostrel::testing;

constexpr const char* kUsage =
    "usage: ostrel_demo [--flow ekyc|nfc_ekyc|nfc_only|passport|steps] [--base-url URL]\n"
    "                   [--session TOKEN] [--language CODE] [--qr] [--show-result-screen]\n"
    "                   [--camera /dev/videoN] [--reader pcsc] [--mrz TEXT] [--timeout SECONDS]\n"
    "                   [--window] [--snapshots DIR]\n";

struct Options {
  std::string flow = "ekyc";
  std::optional<std::string> baseUrl;
  std::string session = "demo-session";
  std::string language = "vi";
  bool qr = false;
  bool showResultScreen = false;
  std::optional<std::string> camera;
  bool pcsc = false;
  std::optional<std::string> mrz;
  double timeoutSeconds = 120;
  bool window = false;
  std::optional<std::filesystem::path> snapshots;
};

// Pixels per point of the screen pictures.
constexpr double kSnapshotScale = 2.0;

// The temporary data directory made for this run, removed when it ends.
std::filesystem::path& temporaryDataDirectory() {
  static std::filesystem::path made;
  return made;
}

// Ends the program with the one line that says why. Queue threads and the server may still be
// running, so nothing is torn down behind them: the process ends at once.
[[noreturn]] void finish(int status, const std::string& why) {
  std::cout << "demo: " << why << " (exit " << status << ")" << std::endl;
  if (!temporaryDataDirectory().empty()) {
    std::error_code ec;
    std::filesystem::remove_all(temporaryDataDirectory(), ec);
  }
  std::fflush(nullptr);
  std::_Exit(status);
}

// Parses the options; a problem ends the program with the usage and status 2.
Options parseOptions(int argc, char** argv) {
  Options options;
  auto bad = [](const std::string& why) {
    std::cout << kUsage;
    finish(2, why);
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) bad(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--flow") {
      options.flow = value();
      if (options.flow != "steps" && !OSLFlowType::fromKey(options.flow)) {
        bad("unknown flow \"" + options.flow + "\"");
      }
    } else if (arg == "--base-url") {
      options.baseUrl = value();
    } else if (arg == "--session") {
      options.session = value();
    } else if (arg == "--language") {
      options.language = value();
    } else if (arg == "--qr") {
      options.qr = true;
    } else if (arg == "--show-result-screen") {
      options.showResultScreen = true;
    } else if (arg == "--camera") {
      options.camera = value();
    } else if (arg == "--reader") {
      if (value() != "pcsc") bad("the only reader is \"pcsc\"");
      options.pcsc = true;
    } else if (arg == "--mrz") {
      options.mrz = value();
    } else if (arg == "--timeout") {
      const std::string text = value();
      char* end = nullptr;
      options.timeoutSeconds = std::strtod(text.c_str(), &end);
      if (end == text.c_str() || *end || !(options.timeoutSeconds > 0)) {
        bad("--timeout needs a positive number of seconds, not \"" + text + "\"");
      }
    } else if (arg == "--window") {
      options.window = true;
    } else if (arg == "--snapshots") {
      options.snapshots = value();
      if (options.snapshots->empty()) bad("--snapshots needs a directory");
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      std::exit(0);
    } else {
      bad("unknown option \"" + arg + "\"");
    }
  }
  return options;
}

// Whether anything answers HTTP at `url` within a few seconds; the reason when not.
std::optional<std::string> unreachable(const std::string& url) {
  CURL* curl = curl_easy_init();
  if (!curl) return "libcurl could not start";
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 5L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
  const CURLcode code = curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  if (code == CURLE_OK) return std::nullopt;
  return curl_easy_strerror(code);
}

// The data directory: OSTREL_DATA_DIR when set, else a fresh temporary folder removed at the end.
void useDataDirectory() {
  if (const char* given = std::getenv("OSTREL_DATA_DIR"); given && *given) return;
  std::string pattern = (std::filesystem::temp_directory_path() / "ostrel-demo-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) finish(2, "cannot make a temporary data directory");
  temporaryDataDirectory() = pattern;
  platform::Paths::setApplicationDataDirectory(temporaryDataDirectory());
}

// The glare model ships with the host (the library only downloads the card model).
void installGlareModel() {
  try {
    doubles::storeShippedGlareModel();
  } catch (const ModelDownloader::DownloadError& error) {
    finish(2, std::string("cannot store the glare model: ") + error.what());
  }
}

// The cameras: a V4L2 device, or image files (at the back the table on which the user lays the
// sample card's sides, at the front the sample person's face).
void installCameras(const Options& options) {
  if (options.camera) {
    auto backend = std::make_shared<platform::VideoIOCameraBackend>(
        platform::VideoIOSource{*options.camera});
    if (backend->devices().empty()) finish(2, "cannot open the camera " + *options.camera);
    platform::CameraBackend::install(backend);
    return;
  }
  auto cameras = doubles::ImageFileCamera::install();
  cameras->addDevice(doubles::ScriptedCameraDevice::make(
      platform::CaptureDevicePosition::back,
      {doubles::ScriptedFrame::picture(doubles::sampleDocumentPictures().table)}));
  cameras->addDevice(doubles::ScriptedCameraDevice::make(
      platform::CaptureDevicePosition::front,
      {doubles::ScriptedFrame::picture(doubles::samplePortraitFrame())}));
}

// The NFC reader: any PC/SC reader, or the simulated field where the sample card arrives a
// moment after a read begins.
void installReader(const Options& options) {
  if (options.pcsc) {
    auto backend = std::make_shared<platform::PCSCReaderBackend>();
    if (!backend->readingAvailable()) finish(2, "no PC/SC reader can be reached (is pcscd running?)");
    platform::NFCReaderBackend::install(backend);
    return;
  }
  auto field = std::make_shared<doubles::SimulatedNFCBackend>();
  field->setTags(doubles::SimulatedNFCBackend::chips({doubles::SimulatedChip::idCard()}));
  field->setDetectionDelay(1.0);
  platform::NFCReaderBackend::install(field);
}

// ---------------------------------------------------------------- the host's own code

std::string text(const JSON& value) { return value.is_null() ? "{}" : value.dump(); }

// What the host hears, and how the run ended.
struct Outcome {
  bool ended = false;
  int status = 1;
  std::string why = "the session ended without a result";
  bool heardResult = false;
};

std::shared_ptr<OSLConfig> makeConfig(const Options& options, const std::string& baseUrl,
                                      const std::shared_ptr<Outcome>& outcome) {
  auto appearance = OSLAppearance::create();
  appearance->language = options.language;
  auto config = OSLConfig::Builder(options.session);
  config->withBaseUrl(baseUrl)
      .withAppearance(appearance)
      .withShowResultScreen(options.showResultScreen)
      .withIsQRCodeScanEnabled(options.qr)
      .withGetFullResult(true)
      .withMrz(options.mrz);

  config->withLogHandler([](OSLLogLevel level, const std::string& event, const std::string& screen,
                            const JSON& data, const JSON&) {
    std::cout << "log: " << name(level) << " " << event << " screen=" << screen
              << " data=" << text(data) << std::endl;
  });
  config->withEventHandler([outcome](OSLConfig::Event event) {
    const char* named = event == OSLConfig::Event::cancelled ? "cancelled"
                        : event == OSLConfig::Event::expired ? "expired"
                                                             : "reserved";
    std::cout << "session event: " << named << std::endl;
    // A result may still follow (a result screen's confirm reports the cancel first).
    platform::Runtime::current().mainQueue()->asyncAfter(0.5, [outcome] {
      if (!outcome->heardResult) outcome->ended = true;
    });
  });
  config->withResultHandler([outcome](std::shared_ptr<OstrelResult> result) {
    if (!result) {
      std::cout << "result: none" << std::endl;
      return;
    }
    std::cout << "result: " << result->toDictionary().dump(2) << std::endl;
    outcome->heardResult = true;
    outcome->ended = true;
    outcome->status = 0;
    outcome->why = "the session ended with a result";
  });
  config->withShowLoadingHandler([](std::shared_ptr<platform::ViewController>) {
    std::cout << "host: loading shown" << std::endl;
  });
  config->withHideLoadingHandler([] { std::cout << "host: loading hidden" << std::endl; });
  config->withExpiredHandler([] { std::cout << "host: session expired" << std::endl; });
  config->withCancelSessionHandler([] { std::cout << "host: session cancelled" << std::endl; });
  return config;
}

// Every tenth of a second while `looking` holds: the recorder looks, then the user acts.
void lookWithRecorder(const std::shared_ptr<platform::ScreenSnapshotRecorder>& recorder,
                      doubles::UserJourney& user, const std::shared_ptr<bool>& looking) {
  if (!*looking) return;
  recorder->poll();
  user.look();
  platform::DispatchQueue::main()->asyncAfter(
      0.1, [recorder, &user, looking] { lookWithRecorder(recorder, user, looking); });
}

// The desktop window; closing it is the user closing the application, which ends the session as
// cancelled (and the demo at once when no session is on screen yet).
std::shared_ptr<platform::DesktopWindow> openDesktopWindow(const std::shared_ptr<Outcome>& outcome) {
  platform::DesktopWindow::Options options;
  options.title = "Ostrel demo";
  options.onClose = [outcome] {
    std::cout << "user: closes the window" << std::endl;
    outcome->why = "the window was closed";
    if (!Ostrel::shared()->naviViewController()) {
      outcome->ended = true;
      return;
    }
    Ostrel::shared()->close(true);
  };
  std::string error;
  auto desktop = platform::DesktopWindow::open(std::move(options), error);
  if (!desktop) finish(2, "cannot open the window: " + error);
  desktop->start();
  return desktop;
}

// The configured steps' hand-offs: this host takes the raw data itself and accepts it.
void addSteps(OSLConfig& config) {
  auto picture = [](const char* side) {
    return [side](const platform::Bytes& imageData, const std::string&,
                  OSLConfig::ResultCompletion done) {
      std::cout << "host: " << side << " picture, " << imageData.size() << " bytes" << std::endl;
      done(OSLConfig::Result::success());
    };
  };
  config.withIDStep(true, picture("front"));
  config.withIDStep(false, picture("back"));
  config.withFaceStep(OSLFaceLivenessVersion::semiActive,
                      [](const platform::Bytes& imageData, const std::string&,
                         const std::string& variant, OSLConfig::ResultCompletion done) {
                        std::cout << "host: face picture (" << variant << "), " << imageData.size()
                                  << " bytes" << std::endl;
                        done(OSLConfig::Result::success());
                      });
  config.withNFCStep(config.mrz, [](const JSON& dataGroups, OSLConfig::ResultCompletion done) {
    std::cout << "host: chip data groups";
    if (dataGroups.is_object()) {
      for (const auto& [group, value] : dataGroups.items()) std::cout << " " << group;
    }
    std::cout << std::endl;
    done(OSLConfig::Result::success());
  });
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parseOptions(argc, argv);
  if (options.window && !platform::DesktopWindow::displayAvailable()) {
    finish(2, "--window needs a display, and neither DISPLAY nor WAYLAND_DISPLAY is set");
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);

  auto runtime = std::make_shared<platform::LiveRuntime>();
  platform::Runtime::install(runtime);
  useDataDirectory();

  // The server: the local one in process, or the one named.
  std::unique_ptr<doubles::VerificationServer> localServer;
  std::string baseUrl;
  if (options.baseUrl) {
    baseUrl = *options.baseUrl;
    if (auto why = unreachable(baseUrl)) finish(2, "cannot reach the server " + baseUrl + ": " + *why);
  } else {
    localServer = std::make_unique<doubles::VerificationServer>();
    if (localServer->port() <= 0) finish(2, "the local verification server could not listen");
    baseUrl = localServer->baseUrl();
  }
  installCameras(options);
  installReader(options);
  installGlareModel();
  auto vendor = doubles::ScriptedLivenessVendor::install();
  for (int attempt = 0; attempt < 3; ++attempt) {
    vendor->scriptNextLaunch({platform::LivenessVendor::connecting{},
                              platform::LivenessVendor::connected{},
                              platform::LivenessVendor::success{}});
  }

  // The phone's window with the host's own root screen.
  auto scene = platform::make<platform::WindowScene>();
  platform::WindowScene::connect(scene);
  auto window = platform::make<platform::Window>(platform::Screen::main().bounds());
  scene->addWindow(window);
  auto hostRoot = platform::make<platform::ViewController>();
  window->setRootViewController(hostRoot);
  window->makeKeyAndVisible();

  // What a person sees: the same screens drawn, with text measured in the fonts they are drawn
  // in, in a desktop window and/or as one picture per screen.
  if (options.window || options.snapshots) platform::PangoTextMeasurer::install();
  auto outcome = std::make_shared<Outcome>();
  std::shared_ptr<platform::DesktopWindow> desktop;
  if (options.window) desktop = openDesktopWindow(outcome);
  std::shared_ptr<platform::ScreenSnapshotRecorder> recorder;
  if (options.snapshots) {
    recorder = std::make_shared<platform::ScreenSnapshotRecorder>(*options.snapshots, kSnapshotScale);
    const platform::Size size = window->bounds().size;
    std::cout << "demo: screen pictures of " << std::lround(size.width * kSnapshotScale) << " x "
              << std::lround(size.height * kSnapshotScale) << " pixels in "
              << options.snapshots->string() << std::endl;
  }

  doubles::UserJourney user([](const std::string& action) {
    std::cout << "user: " << action << std::endl;
  });
  user.addCooperativeSteps();
  // The user looks at the screen every tenth of a second. With pictures asked for, the recorder
  // looks first each time, so a screen the user leaves at once is still pictured.
  auto looking = std::make_shared<bool>(true);
  if (recorder) {
    platform::DispatchQueue::main()->async(
        [recorder, &user, looking] { lookWithRecorder(recorder, user, looking); });
  } else {
    user.attach();
  }

  auto config = makeConfig(options, baseUrl, outcome);
  if (options.flow == "steps") addSteps(*config);
  std::cout << "demo: running " << options.flow << " against " << baseUrl << std::endl;

  try {
    config->build([config, options, hostRoot, outcome] {
      if (options.flow == "steps") {
        Ostrel::shared()->run(config, hostRoot, true, [outcome] {
          std::cout << "host: configured steps completed" << std::endl;
          outcome->ended = true;
          outcome->status = 0;
          outcome->why = "the configured steps completed";
        });
      } else {
        Ostrel::shared()->run(options.flow, config);
      }
    });
  } catch (const OSLConfigError& error) {
    finish(2, std::string("the configuration was refused: ") + error.what());
  }

  const bool ended = runtime->runMainLoop([outcome] { return outcome->ended; },
                                          options.timeoutSeconds);
  user.detach();
  *looking = false;
  if (desktop) desktop->close();
  // The last screen may have left since the recorder last looked.
  if (recorder) recorder->poll();
  if (!ended) {
    // Leave as a host does when it gives up: close the session and stop what it started.
    Ostrel::shared()->close(true);
    runtime->runMainLoop({}, 1.0);
    if (localServer) localServer->stop();
    std::ostringstream limit;
    limit << options.timeoutSeconds;
    finish(2, "no outcome within the time limit of " + limit.str() + " s");
  }
  if (localServer) localServer->stop();
  finish(outcome->status, outcome->why);
}
