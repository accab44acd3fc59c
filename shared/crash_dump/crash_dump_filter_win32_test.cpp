// The filter called directly (no crash): the file-name rule through the
// clock seam, the folder rule and the standard-output lines. The filter in a
// real crash is tested with a faulting child process (tests/dll_check).
#include "shared/crash_dump/crash_dump_filter.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

void FixedClock(crash_dump::CrashClock* t) { *t = crash_dump::CrashClock{2025, 3, 3, 9, 5, 7, 42}; }

// Runs the filter in `dir` with standard output redirected; returns what it printed.
std::string RunFilterIn(const std::string& dir) {
  char old[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, old);
  EXPECT_TRUE(SetCurrentDirectoryA(dir.c_str()));
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 1 << 16));
  HANDLE oldOut = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, writeEnd);

  EXCEPTION_RECORD record = {};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  CONTEXT context = {};
  RtlCaptureContext(&context);
#if defined(__x86_64__)
  record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
#else
  record.ExceptionAddress = reinterpret_cast<void*>(context.Eip);
#endif
  EXCEPTION_POINTERS pointers = {&record, &context};
  EXPECT_EQ(1, crash_dump::CrashDumpFilter(&pointers));

  SetStdHandle(STD_OUTPUT_HANDLE, oldOut);
  CloseHandle(writeEnd);
  std::string out;
  char buf[512];
  DWORD got = 0;
  while (ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
  CloseHandle(readEnd);
  SetCurrentDirectoryA(old);
  return out;
}

std::string MakeTempDir(const char* tag) {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  const std::string dir = std::string(base) + tag + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

TEST(CrashDumpFilter, WritesTheNamedDumpIntoPelloryCrash) {
  crash_dump::SetCrashClockForTest(&FixedClock);
  crash_dump::InstallCrashDumpFilter("Quorrel_");
  const std::string dir = MakeTempDir("q_dump_");
  ASSERT_TRUE(CreateDirectoryA((dir + "\\Pellory").c_str(), nullptr) ||
              GetLastError() == ERROR_ALREADY_EXISTS);

  EXPECT_EQ("Create Dump File Success!\n", RunFilterIn(dir));
  const std::string file = dir + "\\Pellory\\crash\\Quorrel_2025-03-03-09-05-07-42.dmp";
  FILE* f = std::fopen(file.c_str(), "rb");
  ASSERT_NE(nullptr, f) << file;
  char signature[4] = {};
  EXPECT_EQ(4u, std::fread(signature, 1, 4, f));
  std::fclose(f);
  EXPECT_EQ(std::string("MDMP"), std::string(signature, 4));
  DeleteFileA(file.c_str());
  RemoveDirectoryA((dir + "\\Pellory\\crash").c_str());
  RemoveDirectoryA((dir + "\\Pellory").c_str());
  RemoveDirectoryA(dir.c_str());
  crash_dump::SetCrashClockForTest(nullptr);
}

TEST(CrashDumpFilter, WithoutPelloryOnlyTheFailureLine) {
  crash_dump::SetCrashClockForTest(&FixedClock);
  crash_dump::InstallCrashDumpFilter("Halvora_");
  const std::string dir = MakeTempDir("q_nodump_");
  const std::string out = RunFilterIn(dir);
  EXPECT_EQ(0u, out.rfind("Create File Halvora_2025-03-03-09-05-07-42.dmp Failed ", 0)) << out;
  EXPECT_EQ('\n', out.empty() ? '\0' : out.back());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((dir + "\\Pellory").c_str()));
  RemoveDirectoryA(dir.c_str());
  crash_dump::SetCrashClockForTest(nullptr);
}

LONG WINAPI HostFilter(EXCEPTION_POINTERS*) { return EXCEPTION_CONTINUE_SEARCH; }
LONG WINAPI LaterFilter(EXCEPTION_POINTERS*) { return EXCEPTION_CONTINUE_SEARCH; }

// A library that installed the filter must put back the one it replaced when
// it goes, but never take away a filter installed after it.
TEST(CrashDumpFilter, UninstallPutsBackOnlyWhileItsOwnIsInForce) {
  SetUnhandledExceptionFilter(&HostFilter);
  crash_dump::InstallCrashDumpFilter("Quorrel_");
  crash_dump::InstallCrashDumpFilter("Quorrel_");  // a second install keeps the host's
  crash_dump::UninstallCrashDumpFilter();
  EXPECT_EQ(&HostFilter, SetUnhandledExceptionFilter(nullptr));

  SetUnhandledExceptionFilter(&HostFilter);
  crash_dump::InstallCrashDumpFilter("Quorrel_");
  SetUnhandledExceptionFilter(&LaterFilter);
  crash_dump::UninstallCrashDumpFilter();
  EXPECT_EQ(&LaterFilter, SetUnhandledExceptionFilter(nullptr));
}

}  // namespace
