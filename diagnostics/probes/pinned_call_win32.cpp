#include "diagnostics/probes/pinned_call.h"

#include <memory>

#include "diagnostics/probes/stop_signal.h"

namespace {

DWORD WINAPI PinnedThread(void* arg) {
  std::unique_ptr<std::function<void()>> call(static_cast<std::function<void()>*>(arg));
  (*call)();
  call.reset();  // what the call captured goes while the code is mapped
  HMODULE self = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&PinnedThread), &self);
  // Drops the reference RunPinned took for this thread: the library stays
  // mapped while the thread runs, even after its host freed it.
  FreeLibraryAndExitThread(self, 0);
}

}  // namespace

bool RunPinned(std::function<void()> call, const StopSignal* stop, void* done) {
  if (!stop) {
    call();
    return true;
  }
  if (stop->stopping()) return false;
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCSTR>(&PinnedThread), &self)) {
    call();
    return true;
  }
  auto* held = new std::function<void()>(std::move(call));
  HANDLE thread = CreateThread(nullptr, 0, &PinnedThread, held, 0, nullptr);
  if (!thread) {
    std::function<void()> here = std::move(*held);
    delete held;
    FreeLibrary(self);
    here();
    return true;
  }
  HANDLE waits[3] = {thread, stop->event(), static_cast<HANDLE>(done)};
  const DWORD woke = WaitForMultipleObjects(done ? 3 : 2, waits, FALSE, INFINITE);
  CloseHandle(thread);
  return woke == WAIT_OBJECT_0 || woke == WAIT_OBJECT_0 + 2;
}
