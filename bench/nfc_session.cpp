// A whole chip read (COM, SOD, DG1, DG2, DG11-DG15 of the simulated passport) in process and
// through pcscd + vpcd: APDUs and bytes per read, CPU and wall time per read, and the overhead
// of one PC/SC round trip. The PC/SC cases report an error when pcscd is not running
// (run under scripts/with-pcscd).

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>

#include "nfc/NfcReader.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/nfc/NFCTagReaderSession.hpp"
#include "platform/nfc/PCSCReaderBackend.hpp"
#include "testing/DeterministicRuntime.hpp"
#include "testing/PCSCTestSupport.hpp"
#include "testing/SimulatedChip.hpp"
#include "testing/SimulatedNFCBackend.hpp"
#include "testing/VirtualCardAdapter.hpp"

namespace {

using namespace ostrel;

struct Counters {
  std::size_t apdus = 0;
  std::size_t bytes = 0;
};

// Counts what the card sees by wrapping its command function.
std::function<platform::Bytes(const platform::Bytes&)> counted(
    std::shared_ptr<testing::SimulatedChip> chip, Counters& counters) {
  auto card = testing::cardOf(std::move(chip));
  return [card, &counters](const platform::Bytes& command) {
    auto answer = card(command);
    ++counters.apdus;
    counters.bytes += command.size() + answer.size();
    return answer;
  };
}

bool readOnce(testing::DeterministicRuntime& runtime, const std::string& key, bool live) {
  auto reader = platform::make<NfcReader>(Log::error);
  bool done = false;
  bool ok = false;
  reader->startChipRead(
      key, {}, true, true, nullptr,
      [&](std::shared_ptr<NFCPassportModel> m, std::optional<PassportReaderError> e) {
        done = true;
        ok = m && !e;
      });
  if (live) {
    runtime.waitUntil([&] { return done; }, 30);
  } else {
    runtime.advance(1);
  }
  runtime.runUntilIdle();
  return ok;
}

void BM_WholeReadInProcess(benchmark::State& state) {
  auto runtime = std::make_shared<testing::DeterministicRuntime>();
  platform::Runtime::install(runtime);
  auto backend = std::make_shared<testing::SimulatedNFCBackend>();
  platform::NFCReaderBackend::install(backend);
  Counters counters;
  for (auto _ : state) {
    auto chip = testing::SimulatedChip::passport();
    // The in-process tag calls the chip directly; count through a scripted tag over it.
    backend->setTags([chip, &counters](const std::shared_ptr<platform::DispatchQueue>& q) {
      std::vector<std::shared_ptr<platform::NFCTag>> tags{
          std::make_shared<testing::ScriptedISO7816Tag>(
              q, [chip, &counters](const platform::Bytes& command) {
                auto answer = chip->process(command).value_or(
                    platform::NFCTransmission::answer({}, 0x6F, 0x00));
                ++counters.apdus;
                counters.bytes += command.size() + answer.data.size() + 2;
                return answer;
              })};
      return tags;
    });
    if (!readOnce(*runtime, chip->mrzKey(), false)) state.SkipWithError("read failed");
  }
  state.counters["apdus/read"] = benchmark::Counter(static_cast<double>(counters.apdus) /
                                                    static_cast<double>(state.iterations()));
  state.counters["bytes/read"] = benchmark::Counter(static_cast<double>(counters.bytes) /
                                                    static_cast<double>(state.iterations()));
  platform::NFCReaderBackend::install(nullptr);
  platform::Runtime::install(nullptr);
}
BENCHMARK(BM_WholeReadInProcess)->Unit(benchmark::kMillisecond);

void BM_WholeReadThroughPcscd(benchmark::State& state) {
  if (auto reason = testing::virtualReadersUnavailableReason()) {
    state.SkipWithError(("pcscd not available: " + *reason).c_str());
    for (auto _ : state) {
    }
    return;
  }
  testing::VirtualReaderLock lock;
  auto runtime = std::make_shared<testing::DeterministicRuntime>();
  platform::Runtime::install(runtime);
  platform::NFCReaderBackend::install(
      std::make_shared<platform::PCSCReaderBackend>(testing::kVirtualReaderName));
  Counters counters;
  for (auto _ : state) {
    state.PauseTiming();
    auto chip = testing::SimulatedChip::passport();
    testing::VirtualCardAdapter adapter(counted(chip, counters));
    bool started =
        adapter.start() && testing::waitForCardPresence(testing::virtualReaderName(0), true);
    state.ResumeTiming();
    if (!started || !readOnce(*runtime, chip->mrzKey(), true)) state.SkipWithError("read failed");
    state.PauseTiming();
    adapter.stop();
    testing::waitForCardPresence(testing::virtualReaderName(0), false);
    state.ResumeTiming();
  }
  state.counters["apdus/read"] = benchmark::Counter(static_cast<double>(counters.apdus) /
                                                    static_cast<double>(state.iterations()));
  state.counters["bytes/read"] = benchmark::Counter(static_cast<double>(counters.bytes) /
                                                    static_cast<double>(state.iterations()));
  platform::NFCReaderBackend::install(nullptr);
  platform::Runtime::install(nullptr);
}
BENCHMARK(BM_WholeReadThroughPcscd)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// One GET CHALLENGE round trip through pcscd and vpcd (the in-process equivalent is a function
// call), i.e. the per-APDU overhead of the PC/SC path.
void BM_PcscRoundTrip(benchmark::State& state) {
  if (auto reason = testing::virtualReadersUnavailableReason()) {
    state.SkipWithError(("pcscd not available: " + *reason).c_str());
    for (auto _ : state) {
    }
    return;
  }
  testing::VirtualReaderLock lock;
  auto runtime = std::make_shared<testing::DeterministicRuntime>();
  platform::Runtime::install(runtime);
  platform::NFCReaderBackend::install(
      std::make_shared<platform::PCSCReaderBackend>(testing::kVirtualReaderName));
  auto chip = testing::SimulatedChip::passport();
  {
    testing::VirtualCardAdapter adapter(testing::cardOf(chip));
    struct Delegate : platform::NFCTagReaderSessionDelegate {
      std::shared_ptr<platform::NFCISO7816Tag> tag;
      void tagReaderSession(const std::shared_ptr<platform::NFCTagReaderSession>&,
                            const std::vector<std::shared_ptr<platform::NFCTag>>& tags) override {
        tag = std::dynamic_pointer_cast<platform::NFCISO7816Tag>(tags.at(0));
      }
      void tagReaderSession(const std::shared_ptr<platform::NFCTagReaderSession>&,
                            const platform::NFCReaderError&) override {}
    };
    auto delegate = std::make_shared<Delegate>();
    auto session = std::make_shared<platform::NFCTagReaderSession>(
        platform::NFCPollingOption::iso14443, delegate);
    // A card of an earlier run may still show in the reader until pcscd notices it left.
    testing::waitForCardPresence(testing::virtualReaderName(0), false);
    if (!adapter.start() || !testing::waitForCardPresence(testing::virtualReaderName(0), true)) {
      state.SkipWithError("vpcd not reachable");
    }
    session->begin();
    runtime->waitUntil([&] { return delegate->tag != nullptr; }, 10);
    const platform::NFCISO7816APDU challenge(0x00, 0x84, 0x00, 0x00, {}, 8);
    for (auto _ : state) {
      if (!delegate->tag) {
        state.SkipWithError("no card detected");
        break;
      }
      bool answered = false;
      delegate->tag->sendCommand(challenge,
                                 [&](platform::Bytes, std::uint8_t, std::uint8_t,
                                     std::optional<platform::NFCReaderError>) { answered = true; });
      runtime->waitUntil([&] { return answered; }, 5);
    }
    session->invalidate();
    runtime->runUntilIdle();
  }
  platform::NFCReaderBackend::install(nullptr);
  platform::Runtime::install(nullptr);
}
BENCHMARK(BM_PcscRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
