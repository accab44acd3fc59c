// StopSignal: the running flag that Start sets and Stop clears, with the
// manual-reset event that Stop sets so every wait of the worker (the pause,
// each ping's wait and interval, the public-IP retry) ends at once instead
// of running into Stop's forced end.
// Thread safety: SetRunning/RequestStop/Reset from the host's calls (any thread,
// one at a time), the rest on any thread.
// Ownership: owned by CWorker; the worker thread borrows it while it runs.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <cstdint>

class StopSignal {
 public:
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  bool valid() const { return event_ != nullptr; }
  bool running() const { return running_.load(std::memory_order_acquire) != 0; }
  // True when Stop was called: the worker leaves what it is doing.
  bool stopping() const { return WaitForSingleObject(event_, 0) == WAIT_OBJECT_0; }

  // Sets the flag; false when it was already set.
  bool SetRunning();
  // Clears the flag and wakes every wait.
  void RequestStop();
  // Clears the flag and the stop, for a new worker thread.
  void Reset();
  // Waits up to `ms` (alertable, so a queued APC ends it too); true when the
  // wait ended because of Stop.
  bool Wait(DWORD ms) const;
  // Signalled once Stop was called; for waits on several objects.
  HANDLE event() const { return event_; }

 private:
  std::atomic<int32_t> running_{0};
  HANDLE event_;
};
