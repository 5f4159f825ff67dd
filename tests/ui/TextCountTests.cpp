#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Bars.hpp"
#include "platform/ui/Text.hpp"
#include "platform/ui/TextField.hpp"

namespace ostrel::platform {
namespace {

// "ữ" precomposed, and as u with a horn and a tilde.
const std::string kComposed = "\xE1\xBB\xAF";
const std::string kDecomposed = "u\xCC\x9B\xCC\x83";

TEST(TextCountTest, CharactersCountAsTheUserSeesThem) {
  struct Row {
    const char* name;
    std::string text;
    std::size_t count;
  };
  const std::vector<Row> rows = {
      {"empty", "", 0},
      {"ASCII", "Ha Noi", 6},
      {"precomposed Vietnamese", "Nguy" + kComposed + "n", 6},
      {"decomposed Vietnamese", "Nguy" + kDecomposed + "n", 6},
      {"emoji with a skin tone", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 1},
      {"family emoji", "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7",
       1},
      {"flag", "\xF0\x9F\x87\xBB\xF0\x9F\x87\xB3", 1},
      {"carriage return and line feed", "a\r\nb", 3},
      {"invalid UTF-8", "a\xFF" "b", 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(characterCount(row.text), row.count);
  }
}

TEST(TextCountTest, CompositionMakesCanonicallyEqualTextsEqual) {
  EXPECT_NE(kDecomposed, kComposed);
  EXPECT_EQ(precomposed(kDecomposed), kComposed);
  EXPECT_EQ(precomposed("n" + kDecomposed), lowercased(precomposed("N" + kDecomposed)));
  EXPECT_EQ(precomposed("plain"), "plain");
  EXPECT_EQ(precomposed(""), "");
}

TEST(TextCountTest, ReplacingNeverCutsACharacterInHalf) {
  const std::string face = "\xF0\x9F\x98\x80";  // two UTF-16 units
  struct Row {
    const char* name;
    std::string text;
    TextRange range;
    std::string replacement;
    std::optional<std::string> expected;
  };
  const std::vector<Row> rows = {
      {"insert at the end", "ab", {2, 0}, "c", "abc"},
      {"replace the middle", "abc", {1, 1}, "X", "aXc"},
      {"delete a whole pair", "a" + face, {1, 2}, "", "a"},
      {"into an empty text", "", {0, 0}, "x", "x"},
      {"past the end", "ab", {3, 0}, "c", std::nullopt},
      {"longer than the text", "ab", {1, 5}, "", std::nullopt},
      {"inside a pair", "a" + face, {2, 0}, "x", std::nullopt},
      {"half a pair", "a" + face, {1, 1}, "", std::nullopt},
      {"up to half a pair", "a" + face + "b", {2, 2}, "", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(replacingCharacters(row.text, row.range, row.replacement), row.expected);
  }
}

TEST(BarsTest, ToolbarItemsAndTaggedSystemItems) {
  auto toolbar = std::make_shared<Toolbar>(Rect{0, 0, 320, 0});
  toolbar->sizeToFit();
  EXPECT_EQ(toolbar->bounds().size, (Size{320, 44}));
  auto done = std::make_shared<BarButtonItem>(BarButtonItem::SystemItem::done);
  done->tag = 3;
  toolbar->setItems({done}, true);
  ASSERT_EQ(toolbar->items().size(), 1u);
  EXPECT_EQ(toolbar->items().front()->systemItem, BarButtonItem::SystemItem::done);
  EXPECT_EQ(toolbar->items().front()->tag, 3);
}

}  // namespace
}  // namespace ostrel::platform
