// The real code-page conversions under Wine with LC_ALL=zh_CN.UTF-8 (ANSI
// code page 936, which scripts/wine_run.sh selects).
#include "interface/hall/ansi_text.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "interface/hall/hall_blocks.h"

namespace nfhall {
namespace {

const char kZhongGbk[] = "\xD6\xD0";       // 中 in code page 936
const char kZhongUtf8[] = "\xE4\xB8\xAD";  // 中 in UTF-8

class CodePage936 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (GetACP() != 936) GTEST_SKIP() << "ANSI code page " << GetACP() << ", not 936";
  }
};

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
