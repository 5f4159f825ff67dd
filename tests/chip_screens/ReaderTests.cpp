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
  EXPECT_EQ(first, std::vector<std::string>{"UserCanceled"});
  backend->present();
  runUntilIdle();
  advance(61);
  runUntilIdle();
  EXPECT_EQ(first, std::vector<std::string>{"UserCanceled"}) << "one outcome per read";
  EXPECT_EQ(second, std::vector<std::string>{"model"});
}

}  // namespace
}  // namespace ostrel::chip_screens_test
