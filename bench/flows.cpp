// What a whole flow costs: `ekyc` and `nfc_only` on the embedded defaults, headless on the
// virtual clock with the verification server in process, each run in a fresh process (this
// program runs itself again with --flow-run NAME), so the peak memory and the one-time loads
// (landmark model, detection model, fonts) are the flow's own. Reports only; nothing gates on it.
//
// Per flow: the CPU time of the whole process (the benchmark's time) and its split:
//   detection    frame work while a capture or scanner screen is on top (card detection, MRZ)
//   face         frame work while the face screen is on top (face detection and checks)
//   chip         the chip session's queue (protocol, secure messaging, the simulated card)
//   screens      the main queue and the rest of the library's queues (screens, client, JSON)
//   camera       composing the stand-in cameras' frames (what a phone's camera does for free)
//   server_http  every other thread: the server in process and the HTTP transport's threads
//   encoding     the flow's uploaded pictures encoded again as an upload encodes them (a part of
//                `screens`, measured apart)
// the peak resident memory (the kernel's count for the child process), the server's round
// trips (all, and those of the flow itself, without the language and configuration sync) and the
// wall time. The face screen captures by itself from the portrait the front camera shows, so the
// face checks run on every frame as on a phone.
//
// nfc_only_pcscd runs nfc_only with the card served by vpcd through pcscd (run the program under
// scripts/with-pcscd; without them it reports an error): chip_wall_s is the wall time from the
// card laid in the reader to the chip session's last work. Its wall_s is mostly the run's own
// pacing (each tenth of a virtual second waits a moment for pcscd's threads), not the library's.
//
// The benchmark's Time column is the CPU time of the whole process (every thread, user and
// system) while the flow ran; process_cpu_s adds the process's start and the stand-ins' set-up
// (the portrait the front camera shows is placed with the landmark detector, which also puts
// the landmark model in the peak memory of every run).
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "network/OstrelClient.hpp"
#include "platform/media/Image.hpp"
#include "platform/nfc/NFCReaderBackend.hpp"
#include "platform/nfc/PCSCReaderBackend.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "session/Ostrel.hpp"
#include "testing/FlowHarness.hpp"
#include "testing/PCSCTestSupport.hpp"
#include "testing/VirtualCardAdapter.hpp"

extern char** environ;

namespace {

using namespace ostrel;
using platform::JSON;

constexpr const char* kRunOption = "--flow-run";
constexpr const char* kMeasurePrefix = "flow-measure: ";

double threadCpu() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

bool contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

double wallNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// One whole flow, driven as the end-to-end tests drive it.
class FlowRun : public ostrel::testing::FlowHarness {
 public:
  void TestBody() override {}

  // The chip through pcscd and vpcd: the card goes into vpcd's reader when the user lays it.
  // Nothing when no virtual reader can be reached (the reason is returned).
  std::optional<std::string> readThroughPcscd() {
    if (auto reason = ostrel::testing::virtualReadersUnavailableReason()) return reason;
    lock_ = std::make_unique<ostrel::testing::VirtualReaderLock>();
    if (!ostrel::testing::waitForCardPresence(ostrel::testing::virtualReaderName(0), false))
      return "a card is still in the virtual reader";
    platform::NFCReaderBackend::install(
        std::make_shared<platform::PCSCReaderBackend>(ostrel::testing::kVirtualReaderName));
    // The journey's chip steps, with the card going into vpcd's reader (once: it stays there).
    ostrel::testing::addChipSteps(journey, [this] {
      if (adapter_) return;
      cardLaidAt_ = wallNow();
      adapter_ = std::make_unique<ostrel::testing::VirtualCardAdapter>(card);
      adapter_->start();
    });
    pcscd_ = true;
    return std::nullopt;
  }

  ~FlowRun() override {
    if (adapter_) adapter_->stop();
    if (pcscd_) platform::NFCReaderBackend::install(nullptr);
  }

  JSON measure(const std::string& flow) {
    std::map<std::string, double> split{
        {"detection", 0}, {"face", 0}, {"chip", 0}, {"screens", 0}, {"camera", 0}};
    double lastChipBlock = 0;
    runtime().setBlockObserver([&](const platform::DispatchQueue& queue, double cpu) {
      const std::string kind = kindOf(queue);
      split[kind] += cpu;
      if (kind == "chip") lastChipBlock = wallNow();
    });
    const double mainBefore = threadCpu();
    const double wallBefore = wallNow();
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const bool ended = pcscd_ ? runWaitingForReaders(flow) : runFlow(flow);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    const double mainCpu = threadCpu() - mainBefore;
    const double wall = wallNow() - wallBefore;

    runtime().setBlockObserver({});

    const double processCpu = seconds(after.ru_utime) + seconds(after.ru_stime) -
                              seconds(before.ru_utime) - seconds(before.ru_stime);
    JSON report = {{"ended", ended && host.count("result") > 0},
                   {"requests_all", server.requests().size()},
                   {"requests_flow", flowPaths().size()},
                   {"flow_paths", flowPaths()},
                   {"server_http", std::max(0.0, processCpu - mainCpu)},
                   {"encoding", encodingAgain()},
                   {"pictures_encoded", picturesEncoded_},
                   {"wall", wall},
                   {"flow_cpu", processCpu}};
    if (cardLaidAt_ > 0 && lastChipBlock > cardLaidAt_) report["chip_wall"] = lastChipBlock - cardLaidAt_;
    for (const auto& [kind, cpu] : split) report[kind] = cpu;
    // Main-thread work outside any queue block (the harness's own driving) counts as screens.
    double queued = 0;
    for (const auto& [kind, cpu] : split) queued += cpu;
    report["screens"] = split["screens"] + std::max(0.0, mainCpu - queued);
    return report;
  }

 private:
  // As `runFlow`, but each step also gives pcscd's and vpcd's threads a moment to post.
  bool runWaitingForReaders(const std::string& flow) {
    buildConfig();
    Ostrel::shared()->run(flow, config);
    bool seen = false;
    auto ended = [&] {
      if (Ostrel::shared()->naviViewController()) seen = true;
      return seen && !Ostrel::shared()->naviViewController();
    };
    for (int step = 0; step < 1800 && !ended(); ++step) {
      settleNetwork();
      runDisplayPass();
      if (journey.look(window())) settleNetwork();
      waitUntil(ended, 0.02);
      advance(0.1);
    }
    advance(1);
    settleNetwork();
    return ended();
  }

  // Frame work goes to the screen it was for; the chip queue to the chip; the rest to screens.
  std::string kindOf(const platform::DispatchQueue& queue) {
    const std::string& label = queue.label();
    if (contains(label, ".nfc")) return "chip";
    // Composing the pictures the stand-in cameras show: a phone's camera does this for free.
    if (contains(label, "ImageFileCamera")) return "camera";
    if (&queue == platform::DispatchQueue::main().get()) return "screens";
    auto top = ostrel::testing::UserJourney::topScreen(window());
    const std::string screen = top ? top->className() : "";
    if (contains(screen, "Face") || contains(screen, "Liveness")) return "face";
    if (contains(screen, "Capture") || contains(screen, "Scan") || contains(screen, "QR"))
      return contains(screen, "NFC") ? "chip" : "detection";
    return "screens";
  }

  // The pictures the flow uploaded, encoded again the way an upload encodes them.
  double encodingAgain() {
    std::vector<platform::ImagePtr> pictures;
    for (const auto& request : server.requests()) {
      for (const auto& part : request.parts) {
        if (!contains(part.contentType, "image")) continue;
        cv::Mat bgr = cv::imdecode(cv::Mat(1, static_cast<int>(part.content.size()), CV_8UC1,
                                           const_cast<char*>(part.content.data())),
                                   cv::IMREAD_COLOR);
        if (bgr.empty()) continue;
        cv::Mat rgba;
        cv::cvtColor(bgr, rgba, cv::COLOR_BGR2RGBA);
        pictures.push_back(std::make_shared<platform::Image>(rgba));
      }
    }
    picturesEncoded_ = static_cast<int>(pictures.size());
    const double start = threadCpu();
    for (const auto& picture : pictures) benchmark::DoNotOptimize(OstrelClient::uploadData(picture));
    return threadCpu() - start;
  }

  int picturesEncoded_ = 0;
  bool pcscd_ = false;
  double cardLaidAt_ = 0;
  std::unique_ptr<ostrel::testing::VirtualReaderLock> lock_;
  std::unique_ptr<ostrel::testing::VirtualCardAdapter> adapter_;
};

// The child: runs `flow` once ("nfc_only_pcscd": nfc_only with the card in vpcd's reader) and
// prints the measures on one line.
int runChild(const std::string& which) {
  JSON report;
  {
    FlowRun run;
    std::string flow = which;
    if (which == "nfc_only_pcscd") {
      flow = "nfc_only";
      if (auto reason = run.readThroughPcscd()) {
        std::cout << kMeasurePrefix << JSON{{"unavailable", "pcscd: " + *reason}}.dump() << std::endl;
        return 1;
      }
    }
    report = run.measure(flow);
  }
  std::cout << kMeasurePrefix << report.dump() << std::endl;
  return report.value("ended", false) ? 0 : 1;
}

struct ChildResult {
  JSON report;
  double cpu = 0;
  double peakMegabytes = 0;
  std::string error;
};

// Runs this program again for `flow` and collects what it reports and what the kernel counted.
ChildResult runFlowProcess(const std::string& flow) {
  ChildResult result;
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) {
    result.error = "no pipe";
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  std::string self = "/proc/self/exe";
  std::vector<char*> argv{self.data(), const_cast<char*>(kRunOption),
                          const_cast<char*>(flow.c_str()), nullptr};
  pid_t child = 0;
  const int spawned = posix_spawn(&child, self.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  if (spawned != 0) {
    close(pipeEnds[0]);
    result.error = std::string("cannot start the flow process: ") + std::strerror(spawned);
    return result;
  }
  std::string output;
  char buffer[4096];
  for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) output.append(buffer, n);
  close(pipeEnds[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  result.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  result.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
  const auto at = output.rfind(kMeasurePrefix);
  if (at == std::string::npos) {
    result.error = "the flow process reported nothing (status " + std::to_string(status) + ")";
    return result;
  }
  const auto end = output.find('\n', at);
  result.report = JSON::parse(output.substr(at + std::strlen(kMeasurePrefix),
                                            end == std::string::npos ? end : end - at -
                                                std::strlen(kMeasurePrefix)),
                              nullptr, false);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    result.error = "the flow did not end with a result";
  }
  return result;
}

void BM_WholeFlow(benchmark::State& state, const std::string& flow, const std::string& targets) {
  std::string problem;
  for (auto _ : state) {
    ChildResult run = runFlowProcess(flow);
    if (run.report.is_discarded() || run.report.is_null()) {
      state.SkipWithError(run.error.c_str());
      break;
    }
    if (run.report.contains("unavailable")) {
      state.SkipWithError(run.report["unavailable"].get<std::string>().c_str());
      break;
    }
    // A flow that stopped short is still reported, with what stopped it in the label.
    if (!run.error.empty()) problem = run.error;
    state.SetIterationTime(run.report.value("flow_cpu", run.cpu));
    state.counters["process_cpu_s"] = run.cpu;
    for (const char* kind :
         {"detection", "face", "chip", "screens", "camera", "server_http", "encoding"}) {
      state.counters[std::string(kind) + "_s"] = run.report.value(kind, 0.0);
    }
    state.counters["peak_MB"] = run.peakMegabytes;
    state.counters["requests_all"] = run.report.value("requests_all", 0);
    state.counters["requests_flow"] = run.report.value("requests_flow", 0);
    state.counters["pictures"] = run.report.value("pictures_encoded", 0);
    state.counters["wall_s"] = run.report.value("wall", 0.0);
    if (run.report.contains("chip_wall")) state.counters["chip_wall_s"] = run.report["chip_wall"];
  }
  state.SetLabel(problem.empty() ? targets : targets + "; " + problem);
}

BENCHMARK_CAPTURE(BM_WholeFlow, ekyc, std::string("ekyc"),
                  std::string("target: <= 3 s CPU, <= 400 MB peak, 5 flow requests"))
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_WholeFlow, nfc_only, std::string("nfc_only"),
                  std::string("target: <= 0.5 s CPU, <= 150 MB peak, 3 flow requests"))
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
// Under scripts/with-pcscd; reports an error without pcscd and vpcd.
BENCHMARK_CAPTURE(BM_WholeFlow, nfc_only_pcscd, std::string("nfc_only_pcscd"),
                  std::string("target: chip part <= 1 s wall (chip_wall_s)"))
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], kRunOption) == 0) return runChild(argv[2]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
