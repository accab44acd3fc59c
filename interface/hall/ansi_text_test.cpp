#include "interface/hall/ansi_text.h"

#include <gtest/gtest.h>

#include "interface/hall/hall_blocks.h"

namespace nfhall {
namespace {

TEST(AnsiText, Utf8RoundTripsAndMalformedBecomesReplacement) {
  const std::string text = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";  // a é 中 😀
  const std::u16string wide = Utf8ToWide(text);
  EXPECT_EQ(wide.size(), 5u);
  EXPECT_EQ(WideToUtf8(wide), text);
  EXPECT_EQ(Utf8ToWide("\xE4\xB8"), std::u16string(1, 0xFFFD));
  EXPECT_EQ(Utf8ToWide("\xC0\x80"), std::u16string(1, 0xFFFD));  // overlong
  EXPECT_EQ(WideToUtf8(std::u16string(1, 0xD800)), "\xEF\xBF\xBD");
}

TEST(AnsiText, UnitLimitNeverSplitsASurrogatePair) {
  const std::string text = "ab\xF0\x9F\x98\x80";
  EXPECT_EQ(Utf8ToWide(text, 3).size(), 2u);
  EXPECT_EQ(Utf8ToWide(text, 4).size(), 4u);
}

TEST(AnsiText, ByteLimitHoldsAndTextBlockCountsItsBytes) {
  const std::string text(2000, 'z');
  EXPECT_EQ(Utf8ToAnsi(text, kTextMaxUnits, kTextMaxBytes).size(), 1023u);
  const Block b = TextBlock(text);
  ASSERT_EQ(b.size(), 4u + 1023u);
  EXPECT_EQ(b[0] | (b[1] << 8), 4099);
  EXPECT_EQ(b[2] | (b[3] << 8), 1023);
  EXPECT_TRUE(TextBlock("").size() == 4u);
}

TEST(AnsiText, EmptyFieldGivesEmpty) {
  const char field[4] = {0, 'x', 'y', 'z'};
  EXPECT_EQ(AnsiFieldToUtf8(field, sizeof(field)), "");
  EXPECT_EQ(AnsiFieldToUtf8(nullptr, 4), "");
}

}  // namespace
}  // namespace nfhall
