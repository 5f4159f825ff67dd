// A whole chip read (COM, SOD, DG1, DG2, DG11-DG15 of the simulated passport) in process and
// through pcscd + vpcd: APDUs and bytes per read, CPU and wall time per read, and the overhead
// of one PC/SC round trip. In process also two chips that make reads go wrong easily: one with a
// 42 KB face read past 32 KB by B1, whose Le counts file bytes and which answers a read past a
// file's end with 6C xx; and one whose files carry fill bytes after their objects, read with a
// read size of 256 (the host's override) through a reader that passes long answers. The PC/SC cases report an error when pcscd is not running
// (run under scripts/with-pcscd).

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>

#include "nfc/NfcReader.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/nfc/NFCTagReaderSession.hpp"
#include "platform/nfc/PCSCReaderBackend.hpp"
#include "testing/ChipFiles.hpp"
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

// Nothing when the read succeeded, else what it ended with.
std::optional<std::string> readOnce(testing::DeterministicRuntime& runtime, const std::string& key,
                                    bool live, std::optional<int> readSize = {}) {
  auto reader = platform::make<NfcReader>(Log::error);
  reader->dataAmountToReadOverride = readSize;
  bool done = false;
  std::optional<std::string> failure = "no outcome";
  reader->startChipRead(
      key, {}, true, true, nullptr,
      [&](std::shared_ptr<NFCPassportModel> m, std::optional<PassportReaderError> e) {
        done = true;
        failure = e ? std::optional<std::string>(e->message())
                    : (m ? std::nullopt : std::optional<std::string>("no model"));
      });
  if (live) {
    runtime.waitUntil([&] { return done; }, 30);
  } else {
    runtime.advance(1);
  }
  runtime.runUntilIdle();
  return failure;
}

enum class BenchChip { passport, exactLengthPastEnd, readSize256 };

std::shared_ptr<testing::SimulatedChip> benchChip(BenchChip kind) {
  auto chip = testing::SimulatedChip::passport();
  if (kind == BenchChip::exactLengthPastEnd) {
    chip->setFile(0x0102, testing::ChipFiles::dg2(testing::ChipFiles::jpegJFIF(42000)));
    chip->oddReadLeCountsFileBytes = true;
    chip->exactLengthPastEnd = true;
  } else if (kind == BenchChip::readSize256) {
    chip->fillAfterObject = 64;
    chip->fillByte = 0x00;
    chip->oversizedAnswer = testing::SimulatedChip::OversizedAnswer::send;
  }
  return chip;
}

void BM_WholeReadInProcess(benchmark::State& state) {
  const auto kind = static_cast<BenchChip>(state.range(0));
  auto runtime = std::make_shared<testing::DeterministicRuntime>();
  platform::Runtime::install(runtime);
  auto backend = std::make_shared<testing::SimulatedNFCBackend>();
  platform::NFCReaderBackend::install(backend);
  Counters counters;
  for (auto _ : state) {
    auto chip = benchChip(kind);
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
    const auto readSize = kind == BenchChip::readSize256 ? std::optional<int>(256) : std::nullopt;
    if (auto failure = readOnce(*runtime, chip->mrzKey(), false, readSize)) {
      const std::string text = "read failed after " + std::to_string(counters.apdus) +
                               " APDUs: " + *failure;
      state.SkipWithError(text.c_str());
      break;
    }
  }
  state.counters["apdus/read"] = benchmark::Counter(static_cast<double>(counters.apdus) /
                                                    static_cast<double>(state.iterations()));
  state.counters["bytes/read"] = benchmark::Counter(static_cast<double>(counters.bytes) /
                                                    static_cast<double>(state.iterations()));
  platform::NFCReaderBackend::install(nullptr);
  platform::Runtime::install(nullptr);
}
BENCHMARK(BM_WholeReadInProcess)
    ->ArgName("chip")
    ->Arg(static_cast<int>(BenchChip::passport))
    ->Arg(static_cast<int>(BenchChip::exactLengthPastEnd))
    ->Arg(static_cast<int>(BenchChip::readSize256))
    ->Unit(benchmark::kMillisecond);

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
    if (!started || readOnce(*runtime, chip->mrzKey(), true)) state.SkipWithError("read failed");
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
