// Quorrel.dll's crash-dump filter in a real crash: a child process (this
// program with --crash) loads the library, whose application object installs
// the filter, and then writes through a null pointer. The parent runs it in
// a folder with and without "Pellory" and reads what it left: the dump file
// (signature, the exception stream of the faulting thread, the process
// memory) or the failure line on its standard output. Two more children
// play a host with a crash filter of its own: the library goes (unloaded, or
// its Windows Sockets start fails) and the host's filter must be the one that
// runs when the host faults afterwards.
//   quorrel_crash_check                  the tests (Quorrel.dll beside this program)
//   quorrel_crash_check --crash          the faulting child
//   quorrel_crash_check --host-unload    loads and unloads the library, faults
//   quorrel_crash_check --socket-fail    the library's socket start fails, faults
//   quorrel_crash_check --two-threads    two threads fault at once under the
//                                        filter linked here (a small process,
//                                        so a small full-memory dump)
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "shared/crash_dump/crash_dump_filter.h"
#include "tests/dll_check/api_patch_test_util.h"

namespace {

int CrashChild() {
  HMODULE quorrel = LoadLibraryA("Quorrel.dll");
  if (quorrel == nullptr) {
    std::printf("child: LoadLibraryA failed %lu\n", GetLastError());
    return 3;
  }
  std::printf("child tid=%lu\n", GetCurrentThreadId());
  std::fflush(stdout);
  volatile int* nowhere = nullptr;
  *nowhere = 42;
  return 0;
}

// The host's own filter: one line, then the process ends as it would without
// a filter.
LONG WINAPI HostFilter(EXCEPTION_POINTERS*) {
  static const char line[] = "host filter ran\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, sizeof line - 1, &written, nullptr);
  return EXCEPTION_EXECUTE_HANDLER;
}

void Fault() {
  std::fflush(stdout);
  volatile int* nowhere = nullptr;
  *nowhere = 42;
}

int HostUnloadChild() {
  SetUnhandledExceptionFilter(&HostFilter);
  HMODULE quorrel = LoadLibraryA("Quorrel.dll");
  if (quorrel == nullptr) return 3;
  FreeLibrary(quorrel);
  std::printf("unloaded=%d;\n", GetModuleHandleA("Quorrel.dll") == nullptr ? 1 : 0);
  Fault();
  return 0;
}

// What the library's message box was asked to show.
std::string g_boxText, g_boxCaption;
int WINAPI RecordingMessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  g_boxText = text != nullptr ? text : "";
  g_boxCaption = caption != nullptr ? caption : "";
  return IDOK;
}
int WINAPI UnreadyWSAStartup(WORD, void*) { return 10091; }  // WSASYSNOTREADY

int SocketFailChild() {
  SetUnhandledExceptionFilter(&HostFilter);
  ApiPatch startup, box;
  if (!startup.Patch("ws2_32.dll", "WSAStartup", reinterpret_cast<void*>(&UnreadyWSAStartup)) ||
      !box.Patch("user32.dll", "MessageBoxA", reinterpret_cast<void*>(&RecordingMessageBoxA))) {
    return 4;
  }
  HMODULE quorrel = LoadLibraryA("Quorrel.dll");
  std::printf("load failed=%d;\n", quorrel == nullptr ? 1 : 0);
  startup.Restore();
  box.Restore();
  // The text of string resource 101 of the library itself.
  char expected[256] = {};
  if (HMODULE data = LoadLibraryExA("Quorrel.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
    LoadStringA(data, 101, expected, sizeof expected);
    FreeLibrary(data);
  }
  std::printf("box string 101=%d caption=%s;\n",
              expected[0] != '\0' && g_boxText == expected ? 1 : 0, g_boxCaption.c_str());
  Fault();
  return 0;
}


// Both faults come in the same millisecond of the crash clock: the same file
// name for both, had each its own dump.
void FixedCrashClock(crash_dump::CrashClock* t) {
  *t = crash_dump::CrashClock{2025, 3, 3, 9, 5, 7, 42};
}

DWORD WINAPI FaultWhenReleased(void* start) {
  WaitForSingleObject(static_cast<HANDLE>(start), INFINITE);
  volatile int* nowhere = nullptr;
  *nowhere = 42;
  return 0;
}

int TwoThreadsChild() {
  crash_dump::SetCrashClockForTest(&FixedCrashClock);
  crash_dump::InstallCrashDumpFilter("Quorrel_");
  HANDLE start = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD ids[2] = {};
  for (DWORD& id : ids) {
    if (CreateThread(nullptr, 0, &FaultWhenReleased, start, 0, &id) == nullptr) return 5;
  }
  std::printf("fault tids=%lu,%lu;\n", ids[0], ids[1]);
  std::fflush(stdout);
  SetEvent(start);
  // The process ends with the first thread's fault; this is only a bound.
  Sleep(600000);
  return 6;
}

struct ChildRun {
  DWORD exitCode = 0;
  std::string out;
};

std::string ThisProgram() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

bool RunCrashChild(const std::string& dir, ChildRun* run, const char* mode = "--crash") {
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return false;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi = {};
  std::string cmd = "\"" + ThisProgram() + "\" " + mode;
  // The child finds Quorrel.dll beside the program, and the dump folder
  // under its current directory.
  const BOOL started =
      CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(), &si, &pi);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return false;
  }
  char buf[512];
  DWORD got = 0;
  while (ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0) run->out.append(buf, got);
  CloseHandle(readEnd);
  const bool ended = WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0;
  GetExitCodeProcess(pi.hProcess, &run->exitCode);
  if (!ended) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return ended;
}

std::string FreshDir(const char* tag) {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  const std::string dir = std::string(base) + tag + std::to_string(GetCurrentProcessId()) + "_" +
                          std::to_string(GetTickCount());
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

std::vector<std::string> DumpFiles(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "\\*.dmp").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    names.push_back(fd.cFileName);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return names;
}

// A dump read where it is looked at: a full-memory dump runs to hundreds of
// MiB, more than a 32-bit test process can always hold in one piece.
class DumpFile {
 public:
  explicit DumpFile(const std::string& path) : f_(std::fopen(path.c_str(), "rb")) {
    if (f_ != nullptr && _fseeki64(f_, 0, SEEK_END) == 0) size_ = uint64_t(_ftelli64(f_));
  }
  ~DumpFile() {
    if (f_ != nullptr) std::fclose(f_);
  }
  DumpFile(const DumpFile&) = delete;
  DumpFile& operator=(const DumpFile&) = delete;
  uint64_t size() const { return size_; }
  // The four bytes at `at`, 0 past the end.
  uint32_t U32(uint64_t at) const {
    uint32_t v = 0;
    if (f_ == nullptr || at + 4 > size_ || _fseeki64(f_, int64_t(at), SEEK_SET) != 0 ||
        std::fread(&v, 1, 4, f_) != 4) {
      return 0;
    }
    return v;
  }

 private:
  FILE* f_;
  uint64_t size_ = 0;
};

bool MatchesNameRule(const std::string& name) {
  int y, mo, d, h, mi, s, ms;
  char tail[8] = {};
  if (std::sscanf(name.c_str(), "Quorrel_%4d-%2d-%2d-%2d-%2d-%2d-%d%7s", &y, &mo, &d, &h, &mi, &s,
                  &ms, tail) != 8) {
    return false;
  }
  const std::string msText = std::to_string(ms);
  return std::string(tail) == ".dmp" && ms >= 0 && ms <= 999 &&
         name.find("-" + msText + ".dmp") != std::string::npos;
}

TEST(QuorrelCrash, FullMemoryDumpInPelloryCrash) {
  const std::string dir = FreshDir("q_crash_");
  ASSERT_TRUE(CreateDirectoryA((dir + "\\Pellory").c_str(), nullptr));
  ChildRun run;
  ASSERT_TRUE(RunCrashChild(dir, &run)) << run.out;
  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), run.exitCode) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("Create Dump File Success!\n")) << run.out;
  unsigned long tid = 0;
  const size_t at = run.out.find("child tid=");
  ASSERT_NE(std::string::npos, at) << run.out;
  tid = std::strtoul(run.out.c_str() + at + 10, nullptr, 10);

  const std::vector<std::string> dumps = DumpFiles(dir + "\\Pellory\\crash");
  ASSERT_EQ(1u, dumps.size());
  EXPECT_TRUE(MatchesNameRule(dumps[0])) << dumps[0];
  {  // the file is closed before it is deleted
    DumpFile dump(dir + "\\Pellory\\crash\\" + dumps[0]);
    ASSERT_GE(dump.size(), 32u);
    EXPECT_EQ(0x504D444Du, dump.U32(0));  // "MDMP"
    // Full memory: the whole address space in use, many MiB.
    EXPECT_GT(dump.size(), 4u << 20) << dump.size();

    const uint32_t streams = dump.U32(8);
    const uint32_t directory = dump.U32(12);
    bool exceptionSeen = false, memory64Seen = false;
    for (uint32_t i = 0; i < streams; ++i) {
      const uint64_t entry = directory + 12u * uint64_t(i);
      const uint32_t type = dump.U32(entry);
      const uint32_t rva = dump.U32(entry + 8);
      if (type == 6) {  // ExceptionStream: thread id, alignment, MINIDUMP_EXCEPTION
        exceptionSeen = true;
        EXPECT_EQ(tid, dump.U32(rva));
        EXPECT_EQ(static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION), dump.U32(rva + 8));
      }
      if (type == 9) memory64Seen = true;  // Memory64ListStream
    }
    EXPECT_TRUE(exceptionSeen);
    EXPECT_TRUE(memory64Seen);
  }
  DeleteFileA((dir + "\\Pellory\\crash\\" + dumps[0]).c_str());
  RemoveDirectoryA((dir + "\\Pellory\\crash").c_str());
  RemoveDirectoryA((dir + "\\Pellory").c_str());
  RemoveDirectoryA(dir.c_str());
}

TEST(QuorrelCrash, WithoutPelloryTheFailureLineAndNoFile) {
  const std::string dir = FreshDir("q_nocrashdir_");
  ChildRun run;
  ASSERT_TRUE(RunCrashChild(dir, &run)) << run.out;
  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), run.exitCode) << run.out;
  const size_t at = run.out.find("Create File Quorrel_");
  ASSERT_NE(std::string::npos, at) << run.out;
  const size_t failed = run.out.find(".dmp Failed ", at);
  EXPECT_NE(std::string::npos, failed) << run.out;
  EXPECT_EQ(std::string::npos, run.out.find("Create Dump File Success!"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((dir + "\\Pellory").c_str()));
  RemoveDirectoryA(dir.c_str());
}

// The library puts back the filter it replaced when it goes: a host that
// faults after unloading it gets its own filter, not a jump into freed code.
TEST(QuorrelCrash, HostFilterRunsAfterTheLibraryUnloads) {
  const std::string dir = FreshDir("q_unload_");
  ASSERT_TRUE(CreateDirectoryA((dir + "\\Pellory").c_str(), nullptr));
  ChildRun run;
  ASSERT_TRUE(RunCrashChild(dir, &run, "--host-unload")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("unloaded=1;")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("host filter ran\n")) << run.out;
  EXPECT_EQ(std::string::npos, run.out.find("Create ")) << run.out;
  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), run.exitCode) << run.out;
  EXPECT_TRUE(DumpFiles(dir + "\\Pellory\\crash").empty());
  RemoveDirectoryA((dir + "\\Pellory\\crash").c_str());
  RemoveDirectoryA((dir + "\\Pellory").c_str());
  RemoveDirectoryA(dir.c_str());
}

// Windows Sockets do not start: the library shows string resource 101, its
// load fails, and the filter it had installed is gone with it.
TEST(QuorrelCrash, FailedSocketStartShowsString101AndLeavesTheHostFilter) {
  const std::string dir = FreshDir("q_nosock_");
  ChildRun run;
  ASSERT_TRUE(RunCrashChild(dir, &run, "--socket-fail")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("load failed=1;")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("box string 101=1 caption=Quorrel;")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("host filter ran\n")) << run.out;
  EXPECT_EQ(std::string::npos, run.out.find("Create ")) << run.out;
  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), run.exitCode) << run.out;
  RemoveDirectoryA(dir.c_str());
}


// Two threads fault at once: one of them writes the dump, whole, and the
// other waits for it instead of starting a second one (or ending the
// process under the first).
TEST(QuorrelCrash, TwoThreadsFaultingAtOnceLeaveOneWholeDump) {
  const std::string dir = FreshDir("q_two_");
  ASSERT_TRUE(CreateDirectoryA((dir + "\\Pellory").c_str(), nullptr));
  ChildRun run;
  ASSERT_TRUE(RunCrashChild(dir, &run, "--two-threads")) << run.out;
  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), run.exitCode) << run.out;
  EXPECT_EQ(std::string::npos, run.out.find("Failed")) << run.out;
  const size_t success = run.out.find("Create Dump File Success!\n");
  EXPECT_NE(std::string::npos, success) << run.out;
  EXPECT_EQ(std::string::npos, run.out.find("Create Dump File Success!", success + 1)) << run.out;
  unsigned long tids[2] = {};
  const size_t at = run.out.find("fault tids=");
  ASSERT_NE(std::string::npos, at) << run.out;
  ASSERT_EQ(2, std::sscanf(run.out.c_str() + at, "fault tids=%lu,%lu;", &tids[0], &tids[1]));

  const std::string crash = dir + "\\Pellory\\crash";
  const std::vector<std::string> dumps = DumpFiles(crash);
  ASSERT_EQ(1u, dumps.size());
  EXPECT_EQ("Quorrel_2025-03-03-09-05-07-42.dmp", dumps[0]);
  {
    DumpFile dump(crash + "\\" + dumps[0]);
    ASSERT_GE(dump.size(), 32u);
    EXPECT_EQ(0x504D444Du, dump.U32(0));  // "MDMP"
    // Whole: every stream, and the memory the memory list points at, lies
    // inside the file.
    const uint32_t streams = dump.U32(8);
    const uint32_t directory = dump.U32(12);
    ASSERT_LE(directory + 12ull * streams, dump.size());
    bool exceptionSeen = false, memory64Seen = false;
    for (uint32_t i = 0; i < streams; ++i) {
      const uint64_t entry = directory + 12u * uint64_t(i);
      const uint32_t type = dump.U32(entry);
      const uint32_t size = dump.U32(entry + 4);
      const uint32_t rva = dump.U32(entry + 8);
      EXPECT_LE(uint64_t(rva) + size, dump.size()) << "stream type " << type;
      if (type == 6) {  // ExceptionStream: the thread is one of the two
        exceptionSeen = true;
        const uint32_t tid = dump.U32(rva);
        EXPECT_TRUE(tid == tids[0] || tid == tids[1]) << tid;
      }
      if (type == 9) {  // Memory64ListStream: count, base RVA, then (start, size) pairs
        memory64Seen = true;
        const uint64_t ranges = uint64_t(dump.U32(rva)) | uint64_t(dump.U32(rva + 4)) << 32;
        uint64_t end = uint64_t(dump.U32(rva + 8)) | uint64_t(dump.U32(rva + 12)) << 32;
        for (uint64_t k = 0; k < ranges && k < (1u << 20); ++k) {
          const uint64_t d = rva + 16 + 16 * k + 8;
          end += uint64_t(dump.U32(d)) | uint64_t(dump.U32(d + 4)) << 32;
        }
        EXPECT_LE(end, dump.size());
      }
    }
    EXPECT_TRUE(exceptionSeen);
    EXPECT_TRUE(memory64Seen);
  }
  DeleteFileA((crash + "\\" + dumps[0]).c_str());
  RemoveDirectoryA(crash.c_str());
  RemoveDirectoryA((dir + "\\Pellory").c_str());
  RemoveDirectoryA(dir.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--crash") == 0) return CrashChild();
  if (argc > 1 && std::strcmp(argv[1], "--host-unload") == 0) return HostUnloadChild();
  if (argc > 1 && std::strcmp(argv[1], "--socket-fail") == 0) return SocketFailChild();
  if (argc > 1 && std::strcmp(argv[1], "--two-threads") == 0) return TwoThreadsChild();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
