// CHalvoraApp: constructing the application object installs the crash-dump
// filter with the launcher's prefix, and the factory hook makes the bridge.
#include "launcher/halvora_app.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "launcher/halvora_dlg.h"
#include "shared/crash_dump/crash_dump_filter.h"

namespace {

void FixedClock(crash_dump::CrashClock* t) { *t = crash_dump::CrashClock{2025, 3, 3, 9, 5, 7, 42}; }

// What `filter` prints on standard output when it runs in a fresh folder
// without "Pellory" (so it writes no dump, only its failure line).
std::string RunWithoutPellory(LPTOP_LEVEL_EXCEPTION_FILTER filter) {
  char tmp[MAX_PATH];
  char dir[MAX_PATH];
  char old[MAX_PATH];
  ::GetTempPathA(sizeof(tmp), tmp);
  ::GetTempFileNameA(tmp, "hal", 0, dir);
  ::DeleteFileA(dir);
  EXPECT_TRUE(::CreateDirectoryA(dir, nullptr));
  ::GetCurrentDirectoryA(sizeof(old), old);
  ::SetCurrentDirectoryA(dir);
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  EXPECT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 1 << 16));
  HANDLE oldOut = ::GetStdHandle(STD_OUTPUT_HANDLE);
  ::SetStdHandle(STD_OUTPUT_HANDLE, writeEnd);
  EXPECT_EQ(filter(nullptr), 1);
  ::SetStdHandle(STD_OUTPUT_HANDLE, oldOut);
  ::CloseHandle(writeEnd);
  std::string out;
  char buf[512];
  DWORD n = 0;
  while (::ReadFile(readEnd, buf, sizeof(buf), &n, nullptr) && n > 0) out.append(buf, n);
  ::CloseHandle(readEnd);
  ::SetCurrentDirectoryA(old);
  ::RemoveDirectoryA(dir);
  return out;
}

TEST(HalvoraAppTest, ConstructionInstallsTheHalvoraCrashDumpFilter) {
  crash_dump::SetCrashClockForTest(&FixedClock);
  ::SetUnhandledExceptionFilter(nullptr);
  {
    CHalvoraApp app;
    LPTOP_LEVEL_EXCEPTION_FILTER installed = ::SetUnhandledExceptionFilter(nullptr);
    ASSERT_NE(installed, nullptr);
    const std::string out = RunWithoutPellory(installed);
    EXPECT_EQ(out.rfind("Create File Halvora_2025-03-03-09-05-07-42.dmp Failed ", 0), 0u) << out;

    std::unique_ptr<CKorvelDlg> dlg(app.CreateLobbyDialog());
    EXPECT_NE(dynamic_cast<CHalvoraDlg*>(dlg.get()), nullptr);
  }
  crash_dump::SetCrashClockForTest(nullptr);
}

}  // namespace
