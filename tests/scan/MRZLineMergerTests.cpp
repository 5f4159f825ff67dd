// Zone lines read in part (glare washes out a stretch of a row, and moves on) completed from
// the frames that read the rest of the same line, and places misread by one frame read as the
// others read them.

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scan/MRZLineMerger.hpp"
#include "testing/MRZTestData.hpp"

namespace ostrel {
namespace {

using namespace testing;

TEST(MRZLineMergerTest, APartReadLineIsCompletedFromTheFramesThatReadTheRest) {
  const std::string name = kTD3Passport[0], numbers = kTD3Passport[1];
  MRZLineMerger merger;
  std::vector<std::string> completed;
  auto merge = [&](const std::string& line) {
    const auto result = merger.merge(line);
    completed.push_back(result ? *result : "-");
  };
  // The glare moves along both lines; nothing comes back until every place of a line has been
  // read in some frame.
  merge(washedOut(name, 10, 20));
  merge(washedOut(numbers, 10, 20));
  merge(washedOut(name, 14, 24));  // 14-19 were never read
  merge(washedOut(numbers, 20, 30));
  merge(washedOut(name, 20, 30));
  EXPECT_EQ(completed, (std::vector<std::string>{"-", "-", "-", numbers, name}));

  // A whole line is one more read of each place. A place the frames clearly agree on (two
  // thirds of at least three reads) is read as they read it, whatever this frame read; a blank
  // place takes what most frames read there; a place the reads split on keeps this frame's read.
  EXPECT_EQ(merger.merge(numbers), numbers);
  std::string misread = numbers;
  misread[15] = 'B';
  EXPECT_EQ(merger.merge(misread), numbers) << "two reads of the 0 and this B";
  EXPECT_EQ(merger.merge(washedOut(numbers, 12, 22)), numbers) << "two reads of the 0 against one B";
  EXPECT_EQ(merger.merge(misread), misread) << "two reads of the 0, two of the B";
  // Which places the reads settled: here every one but the split place, whichever way the line
  // is read there; a line taken for none has none.
  std::string settled(numbers.size(), MRZLineMerger::kSettled);
  settled[15] = MRZLineMerger::kBlank;
  EXPECT_EQ(merger.settledPlaces(numbers), settled);
  EXPECT_EQ(merger.settledPlaces(misread), settled);
  EXPECT_EQ(merger.settledPlaces(kTD3PassportEarlier[1]), "");

  // A read that disagrees with every line seen is a line of its own: the same holder's earlier
  // passport shares 20 of the 34 places read, not enough.
  const std::string other = kTD3PassportEarlier[1];
  EXPECT_EQ(merger.merge(washedOut(other, 30, 40)), std::nullopt);
  EXPECT_EQ(merger.merge(washedOut(numbers, 30, 40)), numbers);

  merger.reset();
  EXPECT_EQ(merger.merge(washedOut(numbers, 30, 40)), std::nullopt) << "reset forgets every line";
}

TEST(MRZLineMergerTest, FillersAloneDoNotTellWhichLineARowIs) {
  // A card's first and last lines both end in fillers. A read of only the last line's fillers
  // must not be taken for the first line (and completed as a copy of it), nor a few reads for
  // a line they disagree with.
  const std::string first = kTD1Card[0], last = kTD1Card[2];
  MRZLineMerger merger;
  EXPECT_EQ(merger.merge(first), first);
  const std::size_t fillers = last.find("<<<<");
  ASSERT_NE(fillers, std::string::npos);
  EXPECT_EQ(merger.merge(washedOut(last, 0, fillers)), std::nullopt);
  std::string unlike = first;
  for (std::size_t i = 0; i < 12; ++i) unlike[i] = unlike[i] == 'X' ? 'Y' : 'X';
  EXPECT_EQ(merger.merge(washedOut(unlike, 12, 20)), std::nullopt) << "12 of 22 read places differ";
}

}  // namespace
}  // namespace ostrel
