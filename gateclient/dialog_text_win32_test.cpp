// The debug dialog's byte limits in code page 936 (the test runs under
// LC_ALL=zh_CN.UTF-8, scripts/wine_run.sh): a cut never splits a
// double-byte character, and UTF-8 reaches the pane as the ANSI text.
#include "gateclient/dialog_text.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "gateclient/dlg_show.h"

namespace {

TEST(DialogText, CutsBetweenDoubleByteCharactersAtTheDialogsLimits) {
  if (GetACP() != 936) GTEST_SKIP() << "needs code page 936 (zh_CN locale)";
  // One ASCII byte, then double-byte characters: every limit falls inside one.
  std::wstring wide = L"x";
  for (int i = 0; i < 600; ++i) wide += L"报";
  const std::string line = bsc::WideToAnsi(wide, DlgShow::kMaxLineBytes);
  EXPECT_EQ(DlgShow::kMaxLineBytes, line.size());  // 1 + 511 * 2
  const std::string account = bsc::WideToAnsi(wide, DlgShow::kMaxAccountBytes);
  EXPECT_EQ(DlgShow::kMaxAccountBytes, account.size());  // 1 + 255 * 2
  const std::wstring back = bsc::AnsiToWide(account);
  EXPECT_EQ(256u, back.size());
  EXPECT_EQ(L'报', back.back());

  // Even: the limit falls inside the next character, which is dropped whole.
  EXPECT_EQ(510u, bsc::CutAnsi(bsc::WideToAnsi(wide.substr(1)), 511).size());
  EXPECT_EQ("ab", bsc::CutAnsi("ab", 5));
  EXPECT_EQ("", bsc::CutAnsi(bsc::WideToAnsi(L"报"), 1));
}

TEST(DialogText, Utf8ThroughUtf16ToAnsi) {
  if (GetACP() != 936) GTEST_SKIP() << "needs code page 936 (zh_CN locale)";
  const std::string ansi = bsc::WideToAnsi(bsc::Utf8ToWide("收到登录结果:ok"));
  EXPECT_EQ(std::string("\xca\xd5\xb5\xbd\xb5\xc7\xc2\xbc\xbd\xe1\xb9\xfb:ok"), ansi);
  // Malformed UTF-8 gives replacement characters, not a failure.
  EXPECT_FALSE(bsc::WideToAnsi(bsc::Utf8ToWide("\xff\xfe ok")).empty());
}

// Server text may carry a NUL, where an edit control stops taking text:
// a pane line has none, so the lines inserted after it arrive too.
TEST(DialogText, PaneLineIsFreeOfNul) {
  const std::wstring line = bsc::PaneLine(std::string("mi\0d\n", 5));
  EXPECT_EQ(std::wstring(L"mid\n\r\n"), line);
  EXPECT_EQ(line.size(), std::wcslen(line.c_str()));
}

}  // namespace
