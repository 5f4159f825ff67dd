// Cost of reading a machine-readable zone: one parse of a card (TD1) and of a passport (TD3),
// and the line finder over one camera frame's worth of recognised lines.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "scan/MRZLineFinder.hpp"
#include "scan/MRZResult.hpp"
#include "scan/StringTracker.hpp"

namespace {

using namespace ostrel;

const std::vector<std::string> kCard = {"I<UTOD231458907<<<<<<<<<<<<<<<",
                                        "7408122F1204159UTO<<<<<<<<<<<6",
                                        "ERIKSSON<<ANNA<MARIA<<<<<<<<<<"};
const std::vector<std::string> kPassport = {"P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<",
                                            "L898902C36UTO7408122F1204159ZE184226B<<<<<10"};

const MRZClock kClock = [] { return platform::Date{1782864000}; };  // mid-2026

void parseZone(benchmark::State& state, const std::vector<std::string>& lines) {
  const auto formatter = makeMRZDateFormatter();
  for (auto _ : state) {
    auto result = parseMRZ(lines, true, *formatter, kClock);
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_ParseTD1(benchmark::State& state) {
  parseZone(state, kCard);
}
void BM_ParseTD3(benchmark::State& state) {
  parseZone(state, kPassport);
}

// As the callers do it: a new formatter for every parse.
void BM_ParseTD3WithNewFormatter(benchmark::State& state) {
  for (auto _ : state) {
    const auto formatter = makeMRZDateFormatter();
    auto result = parseMRZ(kPassport, true, *formatter, kClock);
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations());
}

// One frame of a card in view: the three zone lines among the card's other printed text,
// some of it exactly a zone line's width.
std::vector<std::string> cardFrame() {
  std::vector<std::string> lines = {"REPUBLICOFUTOPIA", "IDENTITYCARD", "CARTEDIDENTITE"};
  for (int i = 0; lines.size() < 26; ++i) {
    lines.push_back(std::string(static_cast<std::size_t>(8 + i % 40), 'A' + i % 26));
  }
  lines.push_back(std::string(30, 'X'));
  lines.insert(lines.begin() + 10, kCard[0]);
  lines.insert(lines.begin() + 20, kCard[1]);
  lines.push_back(kCard[2]);
  return lines;
}

void BM_FindMRZLinesFrame(benchmark::State& state) {
  auto finder = std::make_shared<MRZLineFinder>();
  StringTracker tracker(finder);
  const auto frame = cardFrame();
  for (auto _ : state) {
    finder->reset();
    std::vector<std::string> found;
    for (const auto& line : frame) {
      if (auto zone = finder->findMRZLines(line)) found.push_back(std::move(*zone));
    }
    tracker.logFrame(found);
  }
  state.counters["lines"] = static_cast<double>(frame.size());
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_ParseTD1);
BENCHMARK(BM_ParseTD3);
BENCHMARK(BM_ParseTD3WithNewFormatter);
BENCHMARK(BM_FindMRZLinesFrame);

}  // namespace

BENCHMARK_MAIN();
