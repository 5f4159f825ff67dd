// Secure messaging per APDU (the reader's protect and unprotect of one 160-byte READ BINARY),
// and a whole in-process read of COM, DG1, a 20 KB DG2 and SOD from the simulated chip, both
// sides of the protocol included (APDU count reported as a counter).
#include <benchmark/benchmark.h>

#include "nfc/BACHandler.hpp"
#include "nfc/SecureMessaging.hpp"
#include "nfc/TagReader.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/runtime/Runtime.hpp"
#include "testing/ChipFiles.hpp"
#include "testing/DeterministicRuntime.hpp"
#include "testing/SimulatedChip.hpp"

namespace {

using namespace ostrel;

void BM_ProtectUnprotectReadBinary(benchmark::State& state) {
  // The reader's side only: the chip's answer is made with the timer paused.
  SecureMessaging terminal(Bytes(24, 0x11), Bytes(24, 0x22), Bytes(8, 0));
  SessionCiphers chip(Bytes(24, 0x11), Bytes(24, 0x22));
  const platform::NFCISO7816APDU read(0x00, 0xB0, 0x01, 0x00, {}, 160);
  const Bytes chunk(160, 0x5A);
  for (auto _ : state) {
    auto cmd = terminal.protect(read);
    benchmark::DoNotOptimize(cmd);
    state.PauseTiming();
    // The chip's answer, MACed one counter step after the command.
    Bytes answer = Bytes{0x87, 0x81, 0xA9, 0x01};
    auto enc = chip.encrypt(padIso9797(chunk, 8));
    answer.insert(answer.end(), enc.begin(), enc.end());
    Bytes k = terminal.ssc();
    for (int i = 7; i >= 0; --i) {
      if (++k[i] != 0) break;
    }
    Bytes macInput = k;
    macInput.insert(macInput.end(), answer.begin(), answer.end());
    for (std::uint8_t b : {0x99, 0x02, 0x90, 0x00}) {
      answer.push_back(b);
      macInput.push_back(b);
    }
    auto mac = chip.mac(padIso9797(macInput, 8));
    answer.push_back(0x8E);
    answer.push_back(0x08);
    answer.insert(answer.end(), mac.begin(), mac.end());
    state.ResumeTiming();
    auto plain = terminal.unprotect({answer, 0x90, 0x00});
    if (plain.data != chunk) state.SkipWithError("unprotect mismatch");
  }
}
BENCHMARK(BM_ProtectUnprotectReadBinary);

void BM_WholeSimulatedRead(benchmark::State& state) {
  auto runtime = std::make_shared<testing::DeterministicRuntime>();
  platform::Runtime::install(runtime);
  auto queue = platform::DispatchQueue::make("nfc");
  double apdus = 0;
  for (auto _ : state) {
    auto chip = testing::SimulatedChip::passport();
    chip->setFile(0x0102, testing::ChipFiles::dg2(testing::ChipFiles::jpegJFIF(20000)));
    auto tag = testing::SimulatedChipTag::connect(chip, queue);
    auto reader = std::make_shared<TagReader>(tag);
    auto bac = std::make_shared<BACHandler>(reader);
    int filesRead = 0;
    std::vector<std::uint16_t> files{0x011E, 0x0101, 0x0102, 0x011D};
    std::function<void(std::size_t)> next = [&](std::size_t i) {
      if (i == files.size()) return;
      reader->selectFile({0x01, static_cast<std::uint8_t>(files[i])}, [&, i](auto answer, auto) {
        if (answer) ++filesRead;
        next(i + 1);
      });
    };
    queue->async([&] {
      bac->runAccessControl(chip->mrzKey(), [&](auto error) {
        if (!error) next(0);
      });
    });
    runtime->runUntilIdle();
    if (filesRead != 4) state.SkipWithError("read failed");
    apdus = chip->commandCount();
  }
  state.counters["apdus"] = apdus;
  platform::Runtime::install(nullptr);
}
BENCHMARK(BM_WholeSimulatedRead)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
