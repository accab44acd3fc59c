// The user block's texts through the real code page under Wine with
// LC_ALL=zh_CN.UTF-8 (ANSI code page 936, which scripts/wine_run.sh selects).
#include "nfhall/user_block.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "interface/hall/code_page_936_test_util.h"

namespace nfhall {
namespace {

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
