#include "diagnostics/probes/pinned_call.h"

#include <objbase.h>

#include <atomic>
#include <memory>

#include "diagnostics/probes/stop_signal.h"

namespace {

std::atomic<bool> fail_next_thread{false};

// What the helper owns; `joined` belongs to RunPinned, which waits for it
// before it closes it.
struct PinnedStart {
  std::function<void()> call;
  bool mta = false;
  HANDLE joined = nullptr;
};

DWORD WINAPI PinnedThread(void* arg) {
  std::unique_ptr<PinnedStart> start(static_cast<PinnedStart*>(arg));
  const bool in_mta = start->mta && SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  if (start->joined) SetEvent(start->joined);
  try {
    start->call();
  } catch (...) {
    // No exception may leave a thread function (std::terminate): the call
    // ends, its caller sees what it wrote so far.
  }
  start.reset();  // what the call captured goes while the code is mapped, in its apartment
  if (in_mta) CoUninitialize();
  HMODULE self = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&PinnedThread), &self);
  // Drops the reference RunPinned took for this thread: the library stays
  // mapped while the thread runs, even after its host freed it.
  FreeLibraryAndExitThread(self, 0);
}

}  // namespace

void FailNextPinnedThreadForTest() { fail_next_thread.store(true); }

bool RunPinned(std::function<void()> call, const StopSignal* stop, void* done,
               PinnedApartment apartment) {
  if (!stop) {
    call();
    return true;
  }
  // Each way out below that does not start a helper destroys `call` here,
  // unrun; running it on this thread instead would make the wait unbounded.
  if (stop->stopping()) return false;
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCSTR>(&PinnedThread), &self)) {
    return false;
  }
  auto start = std::make_unique<PinnedStart>();
  start->call = std::move(call);
  start->mta = apartment == PinnedApartment::kMultithreaded;
  if (start->mta) start->joined = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = nullptr;
  if (!start->mta || start->joined) {
    if (!fail_next_thread.exchange(false)) {
      thread = CreateThread(nullptr, 0, &PinnedThread, start.get(), 0, nullptr);
    }
  }
  if (!thread) {
    if (start->joined) CloseHandle(start->joined);
    start.reset();
    FreeLibrary(self);
    return false;
  }
  const HANDLE joined = start->joined;
  start.release();  // the helper's now
  if (joined) {
    // Joining the apartment does not block; the thread's end covers a
    // helper that could not join.
    HANDLE first[2] = {joined, thread};
    WaitForMultipleObjects(2, first, FALSE, INFINITE);
    CloseHandle(joined);
  }
  HANDLE waits[3] = {thread, stop->event(), static_cast<HANDLE>(done)};
  const DWORD woke = WaitForMultipleObjects(done ? 3 : 2, waits, FALSE, INFINITE);
  CloseHandle(thread);
  return woke == WAIT_OBJECT_0 || woke == WAIT_OBJECT_0 + 2;
}
