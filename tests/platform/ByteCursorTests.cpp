#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/ByteCursor.hpp"
#include "testing/TestHelpers.hpp"

namespace ostrel {
namespace {

using ostrel::testing::hex;
using platform::ByteCursor;
using platform::Bytes;

// Every failed read leaves the cursor where it was, so a parser can try another form.
TEST(ByteCursorTest, FailedReadsDoNotMove) {
  struct Case {
    const char* name;
    const char* input;
    std::function<bool(ByteCursor&)> read;  // true when the read succeeded
  };
  const std::vector<Case> cases = {
      {"u8 of nothing", "", [](ByteCursor& c) { return c.readU8().has_value(); }},
      {"uint of 3 from 2", "0102", [](ByteCursor& c) { return c.readUInt(3).has_value(); }},
      {"uint of 5", "0102030405", [](ByteCursor& c) { return c.readUInt(5).has_value(); }},
      {"bytes past the end", "0102", [](ByteCursor& c) { return c.readBytes(3).has_value(); }},
      {"tag of another number", "5302AABB",
       [](ByteCursor& c) { return c.readTlv(0x54).has_value(); }},
      {"value past the end", "5303AABB", [](ByteCursor& c) { return c.readTlv(0x53).has_value(); }},
      {"length field cut", "538201", [](ByteCursor& c) { return c.readTlv(0x53).has_value(); }},
      {"length form 84", "538400000001AA",
       [](ByteCursor& c) { return c.readTlv(0x53).has_value(); }},
      {"length form 80", "5380", [](ByteCursor& c) { return c.readTlv(0x53).has_value(); }},
      {"two-byte tag cut", "7F", [](ByteCursor& c) { return c.readTag().has_value(); }},
      {"four-byte tag", "7F818181", [](ByteCursor& c) { return c.readTag().has_value(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes input = hex(c.input);
    ByteCursor cursor(input);
    EXPECT_FALSE(c.read(cursor));
    EXPECT_EQ(cursor.remaining(), input.size());
  }
}

TEST(ByteCursorTest, ReadsFieldsAndElementsInOrder) {
  const Bytes input = hex("7F61" "03" "AABBCC" "53" "8180" + std::string(256, '5') + "0102");
  ByteCursor cursor(input);
  auto outer = cursor.readTlv(0x7F61);
  ASSERT_TRUE(outer);
  EXPECT_EQ(hex(outer->value), "aabbcc");
  EXPECT_EQ(hex(outer->whole), "7f6103aabbcc");
  auto long1 = cursor.readTlv(0x53);
  ASSERT_TRUE(long1);
  EXPECT_EQ(long1->value.size(), 128u);
  EXPECT_EQ(long1->whole.size(), 131u);
  EXPECT_EQ(cursor.readUInt(2), 0x0102u);
  EXPECT_TRUE(cursor.empty());
}

}  // namespace
}  // namespace ostrel
