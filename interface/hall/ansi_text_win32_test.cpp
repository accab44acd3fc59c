// The real code-page conversions under Wine with LC_ALL=zh_CN.UTF-8 (ANSI
// code page 936, which scripts/wine_run.sh selects).
#include "interface/hall/ansi_text.h"

#include <string>

#include <gtest/gtest.h>

#include "interface/hall/code_page_936_test_util.h"

#include "interface/hall/hall_blocks.h"

namespace nfhall {
namespace {

TEST_F(CodePage936, CutsFallBetweenDoubleByteCharacters) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += kZhongUtf8;  // 200 ANSI bytes
  const std::string ansi = Utf8ToAnsi(text, 172, 149);
  EXPECT_EQ(ansi.size(), 148u);  // 149 would split the 75th character
  EXPECT_EQ(ansi.substr(0, 2), kZhongGbk);
  bs::hallclient::PrizeItem prize;
  prize.set_other_award("a" + text);
  const Block b = PrizeBlock(prize);
  EXPECT_EQ(b.size(), 22u + 149u);  // 'a' plus 74 characters
  EXPECT_EQ(b[20], 149);

  std::string longText;
  for (int i = 0; i < 600; ++i) longText += kZhongUtf8;
  const Block t = TextBlock(longText);
  EXPECT_EQ(t.size(), 4u + 1024u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.data()) + 4, 2), kZhongGbk);
}

}  // namespace
}  // namespace nfhall
