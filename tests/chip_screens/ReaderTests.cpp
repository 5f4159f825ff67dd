#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nfc/NfcReader.hpp"
#include "platform/foundation/Make.hpp"
#include "tests/chip_screens/ChipScreensTest.hpp"

namespace ostrel::chip_screens_test {
namespace {

using ReaderTest = ChipScreenTest;

// A second read on the same reader while the first is open: the first still gets exactly one
// outcome (a cancel), and the second reads the card.
TEST_F(ReaderTest, ANewReadEndsTheOpenOneWithOneCancel) {
  backend->setDetectionDelay(std::nullopt);
  auto reader = make<NfcReader>(Log::info);
  std::vector<std::string> first;
  std::vector<std::string> second;
  auto record = [](std::vector<std::string>& into) {
    return [&into](std::shared_ptr<NFCPassportModel> model,
                   std::optional<PassportReaderError> error) {
      into.push_back(error ? error->message() : model ? "model" : "nothing");
    };
  };
  reader->startChipRead(chip->mrzKey(), {}, true, true, nullptr, record(first));
  advance(1);
  EXPECT_TRUE(first.empty());
  reader->startChipRead(chip->mrzKey(), {}, true, true, nullptr, record(second));
  runUntilIdle();
  EXPECT_EQ(first, std::vector<std::string>{"UserCanceled"});
  backend->present();
  runUntilIdle();
  advance(61);
  runUntilIdle();
  EXPECT_EQ(first, std::vector<std::string>{"UserCanceled"}) << "one outcome per read";
  EXPECT_EQ(second, std::vector<std::string>{"model"});
}

// Whoever asks, the read runs on the reader's one queue: the call returns before anything is
// done, every session the reader opens works on that queue, and each outcome (also "no NFC"
// and the end of a read the caller ends) is handed over there.
TEST_F(ReaderTest, EveryReadRunsOnTheReadersOwnQueue) {
  backend->setDetectionDelay(std::nullopt);
  auto reader = make<NfcReader>(Log::info);
  ASSERT_TRUE(reader->queue());
  ASSERT_NE(reader->queue(), DispatchQueue::main());
  std::vector<std::string> outcomes;
  auto record = [&](std::shared_ptr<NFCPassportModel> model,
                    std::optional<PassportReaderError> error) {
    outcomes.push_back((error ? error->message() : model ? "model" : "nothing") +
                       std::string(reader->queue()->isCurrent() ? "" : " off the queue"));
  };
  struct Row {
    const char* name;
    bool available;
    std::function<void()> during;  // what happens once the session is open
    std::string outcome;
  };
  const std::vector<Row> table{
      {"a read", true, [&] { backend->present(); }, "model"},
      {"a read the caller ends", true, [&] { reader->endOpenRead(); }, "UserCanceled"},
      {"no NFC", false, [] {}, "NFCNotSupported"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    outcomes.clear();
    chip->reset();
    backend->setReadingAvailable(row.available);
    reader->startChipRead(chip->mrzKey(), {}, true, true, nullptr, record);
    EXPECT_FALSE(reader->readerSession) << "nothing starts on the caller's thread";
    EXPECT_TRUE(outcomes.empty());
    runUntilIdle();
    if (row.available) {
      ASSERT_TRUE(reader->readerSession);
      EXPECT_EQ(reader->readerSession->queue(), reader->queue());
    }
    row.during();
    runUntilIdle();
    advance(1);
    runUntilIdle();
    EXPECT_EQ(outcomes, std::vector<std::string>{row.outcome});
  }
}

}  // namespace
}  // namespace ostrel::chip_screens_test
