#include "platform/korvel/thread_census.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// after windows.h, which it needs
#include <tlhelp32.h>

namespace korvel {

std::set<uint32_t> ProcessThreads() {
  std::set<uint32_t> ids;
  HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return ids;
  THREADENTRY32 entry;
  entry.dwSize = sizeof(entry);
  const DWORD self = ::GetCurrentProcessId();
  for (BOOL ok = ::Thread32First(snap, &entry); ok; ok = ::Thread32Next(snap, &entry)) {
    if (entry.th32OwnerProcessID == self) ids.insert(entry.th32ThreadID);
  }
  ::CloseHandle(snap);
  return ids;
}

std::set<uint32_t> ThreadsLeftSince(const std::set<uint32_t>& baseline, uint32_t timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    std::set<uint32_t> left;
    for (uint32_t id : ProcessThreads()) {
      if (baseline.count(id) == 0) left.insert(id);
    }
    if (left.empty() || ::GetTickCount64() >= deadline) return left;
    ::Sleep(50);
  }
}

}  // namespace korvel
