// velmo_host: a host of VelmoPlatform.dll as the platform's own would be: it
// loads the library, calls CreateInstance, Init with a user id, Start, waits,
// Stop and Release, and prints what it did, how long Stop took and the
// worker thread's exit code. For the tests it can also leave out Init or
// Start, wait for a line on its standard input instead of a fixed time, and
// print its own memory and handle count while it waits.
//   velmo_host [--dll <path>] [--user <id>] [--seconds <n> | --wait-stdin]
//              [--no-init] [--no-start] [--watch-ms <ms>]
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "diagnostics/hard_info_sampler.h"

namespace {

std::set<DWORD> OwnThreads() {
  std::set<DWORD> ids;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return ids;
  THREADENTRY32 te;
  te.dwSize = sizeof te;
  for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te)) {
    if (te.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(te.th32ThreadID);
  }
  CloseHandle(snap);
  return ids;
}

// Committed private memory, summed over the address space: Wine leaves
// PrivateUsage of GetProcessMemoryInfo at 0.
SIZE_T CommittedPrivate() {
  SIZE_T total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const char* p = nullptr; VirtualQuery(p, &info, sizeof info) == sizeof info;
       p = static_cast<const char*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
    if (static_cast<const char*>(info.BaseAddress) + info.RegionSize < p) break;  // wrapped
  }
  return total;
}

// Open handles, found by probing handle values: Wine's
// GetProcessHandleCount answers 0.
DWORD OpenHandles() {
  DWORD count = 0, flags = 0;
  for (ULONG_PTR value = 4; value < 0x20000; value += 4) {
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

void PrintUsage(const char* what) {
  PROCESS_MEMORY_COUNTERS mem;
  std::memset(&mem, 0, sizeof mem);
  GetProcessMemoryInfo(GetCurrentProcess(), &mem, sizeof mem);
  std::printf("usage %s: private=%lu working_set=%lu handles=%lu\n", what,
              static_cast<unsigned long>(CommittedPrivate()),
              static_cast<unsigned long>(mem.WorkingSetSize),
              static_cast<unsigned long>(OpenHandles()));
  std::fflush(stdout);
}

DWORD WINAPI ReadLine(void* input) {
  char c;
  DWORD got = 0;
  while (ReadFile(static_cast<HANDLE>(input), &c, 1, &got, nullptr) && got == 1 && c != '\n') {
  }
  return 0;
}

// Waits `seconds` (or, with `use_stdin`, until a line or the end of the
// standard input), printing usage every `watch_ms` when that is not 0.
void Wait(double seconds, bool use_stdin, DWORD watch_ms) {
  HANDLE input = use_stdin ? GetStdHandle(STD_INPUT_HANDLE) : nullptr;
  HANDLE reader = nullptr;
  if (use_stdin) {
    // A pipe is not waitable: a helper thread reads the line and ends.
    reader = CreateThread(nullptr, 0, &ReadLine, input, 0, nullptr);
  }
  ULONGLONG start = GetTickCount64();
  ULONGLONG until = start + ULONGLONG(seconds * 1000);
  for (;;) {
    DWORD step = watch_ms ? watch_ms : 100;
    if (reader) {
      if (WaitForSingleObject(reader, step) == WAIT_OBJECT_0) break;
    } else {
      ULONGLONG now = GetTickCount64();
      if (now >= until) break;
      Sleep(DWORD(until - now < step ? until - now : step));
    }
    if (watch_ms) PrintUsage("wait");
  }
  if (reader) CloseHandle(reader);
}

}  // namespace

int main(int argc, char** argv) {
  std::string dll = "VelmoPlatform.dll";
  long long user = 10001;
  double seconds = 5;
  bool use_stdin = false, init = true, start = true;
  DWORD watch_ms = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool more = i + 1 < argc;
    if (a == "--dll" && more)
      dll = argv[++i];
    else if (a == "--user" && more)
      user = std::atoll(argv[++i]);
    else if (a == "--seconds" && more)
      seconds = std::atof(argv[++i]);
    else if (a == "--wait-stdin")
      use_stdin = true;
    else if (a == "--no-init")
      init = false;
    else if (a == "--no-start")
      start = false;
    else if (a == "--watch-ms" && more)
      watch_ms = DWORD(std::atol(argv[++i]));
    else {
      std::fprintf(stderr, "velmo_host: unknown argument %s\n", a.c_str());
      return 2;
    }
  }
  setvbuf(stdout, nullptr, _IONBF, 0);

  HMODULE module = LoadLibraryA(dll.c_str());
  if (!module) {
    std::printf("LoadLibrary(%s): failed, error %lu\n", dll.c_str(), GetLastError());
    return 1;
  }
  using CreateFn = IHardInfoSampler* (*)();
  auto create =
      reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(module, "CreateInstance")));
  if (!create) {
    std::printf("GetProcAddress(CreateInstance): not found\n");
    return 1;
  }
  IHardInfoSampler* sampler = create();
  std::printf("CreateInstance: %s\n", sampler ? "ok" : "null");
  if (!sampler) return 1;
  PrintUsage("start");

  HANDLE worker = nullptr;
  if (init) {
    std::set<DWORD> before = OwnThreads();
    bool ok = sampler->Init(user);
    std::printf("Init(%lld): %d\n", user, ok ? 1 : 0);
    for (DWORD id : OwnThreads()) {
      if (!before.count(id) && !worker) {
        worker = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id);
      }
    }
  }
  if (start) std::printf("Start: %d\n", sampler->Start() ? 1 : 0);

  std::printf("waiting %s\n", use_stdin ? "for a line on stdin" : "");
  Wait(seconds, use_stdin, watch_ms);

  ULONGLONG t0 = GetTickCount64();
  bool stopped = sampler->Stop();
  ULONGLONG took = GetTickCount64() - t0;
  std::printf("Stop: %d (took %llu ms)\n", stopped ? 1 : 0, took);
  if (worker) {
    DWORD code = 0;
    if (WaitForSingleObject(worker, 0) == WAIT_OBJECT_0 && GetExitCodeThread(worker, &code)) {
      std::printf("worker exit code: %ld\n", long(code));
    } else {
      std::printf("worker exit code: still running\n");
    }
    CloseHandle(worker);
  }
  sampler->Release();
  std::printf("Release: done\n");
  PrintUsage("end");
  return 0;
}
