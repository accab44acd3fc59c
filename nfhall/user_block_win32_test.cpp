// The user block's texts through the real code page under Wine with
// LC_ALL=zh_CN.UTF-8 (ANSI code page 936, which scripts/wine_run.sh selects).
#include "nfhall/user_block.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

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

TEST_F(CodePage936, ChineseAccountFromAFullField) {
  NFHallUserInfo info;
  std::memset(&info, 0, sizeof(info));
  for (int i = 0; i < 16; ++i) std::memcpy(info.account + 2 * i, kZhongGbk, 2);  // no NUL
  const bsc::LoginUser user = DecodeUserInfo(info);
  std::string want;
  for (int i = 0; i < 16; ++i) want += kZhongUtf8;
  EXPECT_EQ(user.account, want);
}

}  // namespace
}  // namespace nfhall
