#include "shared/crash_dump/crash_dump_filter.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// dbghelp.h needs the full windows.h declarations above.
#include <dbghelp.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace crash_dump {

namespace {

// Fixed storage: the filter must not allocate in a crashed process.
char g_prefix[kMaxPrefix + 1] = "Quorrel_";
std::atomic<void (*)(CrashClock*)> g_clock{nullptr};
// What the install replaced; put back by UninstallCrashDumpFilter.
LPTOP_LEVEL_EXCEPTION_FILTER g_previous = nullptr;
bool g_installed = false;

// One dump a process. DbgHelp's functions are single-threaded, two dumps at
// once suspend each other, and two faults in the same millisecond share a
// file name: the first faulting thread writes the dump, any other that
// faults meanwhile waits for it and writes none, so the process does not end
// under a dump half written.
std::atomic<DWORD> g_dumper{0};      // id of the thread writing a dump, 0 while none does
std::atomic<unsigned> g_dumpsEnded{0};  // dumps whose file is closed
std::atomic<int> g_inFilter{0};       // threads inside CrashDumpFilter
// A full-memory dump of a large process under Wine has taken 91 s on a busy
// machine; a waiter gives up only well after that.
constexpr DWORD kDumpWaitMs = 300000;
// Uninstall runs at unload, under the loader lock: it waits for a running
// filter, but not as long (a dump in progress means the process is ending).
constexpr DWORD kUninstallWaitMs = 30000;
constexpr DWORD kPollMs = 10;

// Waits up to `ms` for `done`; true when it came.
template <typename Done>
bool WaitFor(Done done, DWORD ms) {
  const DWORD start = ::GetTickCount();
  while (!done()) {
    if (::GetTickCount() - start >= ms) return false;
    ::Sleep(kPollMs);
  }
  return true;
}

void WriteDump(_EXCEPTION_POINTERS* exception);

// One line to standard output through the handle itself, so nothing sits in
// a C runtime buffer when the process ends.
void Print(const char* format, ...) {
  char line[MAX_PATH + 128];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n <= 0) return;
  const DWORD len = static_cast<DWORD>(n < static_cast<int>(sizeof line) ? n : sizeof line - 1);
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(out, line, len, &written, nullptr);
}

void ReadClock(CrashClock* t) {
  if (auto clock = g_clock.load()) {
    clock(t);
    return;
  }
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  t->year = st.wYear;
  t->month = st.wMonth;
  t->day = st.wDay;
  t->hour = st.wHour;
  t->minute = st.wMinute;
  t->second = st.wSecond;
  t->milliseconds = st.wMilliseconds;
}

}  // namespace

void InstallCrashDumpFilter(const char* prefix) {
  if (prefix == nullptr) prefix = "";
  size_t n = std::strlen(prefix);
  if (n > kMaxPrefix) n = kMaxPrefix;
  std::memcpy(g_prefix, prefix, n);
  g_prefix[n] = '\0';
  LPTOP_LEVEL_EXCEPTION_FILTER previous = ::SetUnhandledExceptionFilter(&CrashDumpFilter);
  if (!g_installed || previous != &CrashDumpFilter) g_previous = previous;
  g_installed = true;
}

void UninstallCrashDumpFilter() {
  if (!g_installed) return;
  g_installed = false;
  LPTOP_LEVEL_EXCEPTION_FILTER current = ::SetUnhandledExceptionFilter(g_previous);
  if (current != &CrashDumpFilter) ::SetUnhandledExceptionFilter(current);
  g_previous = nullptr;
  // A filter that is running (another thread faulted) must not lose its code.
  WaitFor([] { return g_inFilter.load() == 0; }, kUninstallWaitMs);
}

void SetCrashClockForTest(void (*clock)(CrashClock*)) { g_clock.store(clock); }

long __stdcall CrashDumpFilter(_EXCEPTION_POINTERS* exception) {
  g_inFilter.fetch_add(1);
  const DWORD self = ::GetCurrentThreadId();
  const unsigned ended = g_dumpsEnded.load();
  DWORD writer = 0;
  if (g_dumper.compare_exchange_strong(writer, self)) {
    // A dump that ended since this thread came in was the one for its fault
    // too: a second one now would be cut short as the process ends.
    if (g_dumpsEnded.load() == ended) {
      WriteDump(exception);
      g_dumpsEnded.fetch_add(1);
    }
    g_dumper.store(0);
  } else if (writer != self) {
    // Another thread's dump is being written: wait for it, so the process
    // ends after the file is whole. (The same thread again is a fault inside
    // the dump itself: nothing more to do.) A writer that let go without a
    // new dump ending had already ended it before this thread looked.
    WaitFor([ended] { return g_dumpsEnded.load() != ended || g_dumper.load() == 0; },
            kDumpWaitMs);
  }
  g_inFilter.fetch_sub(1);
  return 1;
}

namespace {

void WriteDump(_EXCEPTION_POINTERS* exception) {
  CrashClock t;
  ReadClock(&t);
  char name[kNameBufferSize];
  FormatDumpFileName(name, sizeof name, g_prefix, t);

  // "<current directory>\Pellory\crash\": only "crash" is made here. A
  // current directory longer than MAX_PATH leaves the folder to the relative
  // path below.
  char folder[MAX_PATH + 32];
  const DWORD cwd = ::GetCurrentDirectoryA(MAX_PATH, folder);
  if (cwd > 0 && cwd < MAX_PATH) {
    std::snprintf(folder + cwd, sizeof folder - cwd, "%sPellory\\crash\\",
                  folder[cwd - 1] == '\\' ? "" : "\\");
  } else {
    std::snprintf(folder, sizeof folder, "Pellory\\crash\\");
  }
  ::CreateDirectoryA(folder, nullptr);

  char path[sizeof name + 32];
  std::snprintf(path, sizeof path, "Pellory\\crash\\%s", name);
  HANDLE file =
      ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    Print("Create File %s Failed %d\n", name, static_cast<int>(error));
    return;
  }

  MINIDUMP_EXCEPTION_INFORMATION info;
  info.ThreadId = ::GetCurrentThreadId();
  info.ExceptionPointers = exception;
  info.ClientPointers = FALSE;
  const BOOL ok = ::MiniDumpWriteDump(::GetCurrentProcess(), ::GetCurrentProcessId(), file,
                                      MiniDumpWithFullMemory,
                                      exception != nullptr ? &info : nullptr, nullptr, nullptr);
  if (ok) {
    Print("Create Dump File Success!\n");
  } else {
    const DWORD error = ::GetLastError();
    Print("MiniDumpWriteDump Failed: %d\n", static_cast<int>(error));
  }
  ::CloseHandle(file);
}

}  // namespace

}  // namespace crash_dump
