// RunPinned: runs a blocking call that cannot be woken (WinInet, the
// resolver, the WMI connection) on a helper thread that holds the library
// loaded, and waits for it or for Stop, whichever comes first. On Stop the
// caller goes on at once; the helper ends by itself when the call returns,
// then lets the library go.
// Thread safety: any thread.
// Ownership: `call` moves to the helper, which destroys it (or, when it is
// not run, RunPinned does, on the caller's thread); whatever it writes must
// be held through a shared_ptr that it captured, since the caller may be
// gone when it returns. What it holds is let go by destroying it, so that a
// call that never runs gives back what it captured too.
#pragma once

#include <functional>

class StopSignal;

enum class PinnedApartment {
  kNone,
  // The helper joins COM's multithreaded apartment before RunPinned can
  // return and leaves it after `call` is destroyed, so the apartment of the
  // interfaces it uses outlives it even when the caller leaves first.
  kMultithreaded,
};

// True when `call` ran to its end, or set `done` (an event, when given: the
// call's result is ready and what remains of it is clean-up the caller need
// not wait for); false when Stop came first, or was already set, or no helper
// thread could be had (`call` is then not run). Without a stop signal, runs
// `call` on the calling thread. An exception that leaves `call` on the helper
// ends it there (the call counts as run).
bool RunPinned(std::function<void()> call, const StopSignal* stop, void* done = nullptr,
               PinnedApartment apartment = PinnedApartment::kNone);

// Tests only: makes the next helper thread fail to start, as CreateThread
// does when the process runs out of threads or memory.
void FailNextPinnedThreadForTest();
