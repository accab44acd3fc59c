// RunPinned: runs a blocking call that cannot be woken (WinInet, the
// resolver) on a helper thread that holds the library loaded, and waits for
// it or for Stop, whichever comes first. On Stop the caller goes on at once;
// the helper ends by itself when the call returns, then lets the library go.
// Thread safety: any thread.
// Ownership: `call` moves to the helper, which destroys it; whatever it
// writes must be held through a shared_ptr that it captured, since the
// caller may be gone when it returns.
#pragma once

#include <functional>

class StopSignal;

// True when `call` ran to its end, or set `done` (an event, when given: the
// call's result is ready and what remains of it is clean-up the caller need
// not wait for); false when Stop came first (or was already set: `call` is
// then not run). Without a stop signal, or when no helper can be had, runs
// `call` on the calling thread.
bool RunPinned(std::function<void()> call, const StopSignal* stop, void* done = nullptr);
