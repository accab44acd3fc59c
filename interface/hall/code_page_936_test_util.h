// Shared by the Windows tests that run the real code-page conversions under
// Wine with LC_ALL=zh_CN.UTF-8 (ANSI code page 936, which
// scripts/wine_run.sh selects): a fixture that skips on any other code page,
// and one character in both forms.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

namespace nfhall {

inline constexpr char kZhongGbk[] = "\xD6\xD0";       // 中 in code page 936
inline constexpr char kZhongUtf8[] = "\xE4\xB8\xAD";  // 中 in UTF-8

class CodePage936 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (GetACP() != 936) GTEST_SKIP() << "ANSI code page " << GetACP() << ", not 936";
  }
};

}  // namespace nfhall
