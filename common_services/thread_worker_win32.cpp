// The start and stop protocol shared by the thread classes.
#include "common_services/thread_worker_win32.h"

#include <process.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>

#include "shared/thread_check/thread_check.h"

namespace zintal_detail {

namespace {

// Locks for the handle and id of every thread object in the process, picked
// by the object's address. Static storage is zeroed, and a zeroed SRWLOCK is
// an unlocked one, so the table needs no start-up of its own.
constexpr size_t kStripes = 64;
SRWLOCK g_stripes[kStripes];

SRWLOCK* StripeOf(const WorkerFields& f) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(&f.thread_handle);
  return &g_stripes[((at >> 4) ^ (at >> 10)) % kStripes];
}

class SharedHold {
 public:
  explicit SharedHold(SRWLOCK* lock) : lock_(lock) { AcquireSRWLockShared(lock_); }
  ~SharedHold() { ReleaseSRWLockShared(lock_); }
  SharedHold(const SharedHold&) = delete;
  SharedHold& operator=(const SharedHold&) = delete;

 private:
  SRWLOCK* lock_;
};

class ExclusiveHold {
 public:
  explicit ExclusiveHold(SRWLOCK* lock) : lock_(lock) { AcquireSRWLockExclusive(lock_); }
  ~ExclusiveHold() { ReleaseSRWLockExclusive(lock_); }
  ExclusiveHold(const ExclusiveHold&) = delete;
  ExclusiveHold& operator=(const ExclusiveHold&) = delete;

 private:
  SRWLOCK* lock_;
};

// Closes the handle of a thread that ended (or is left to itself). The
// controlling thread is the only writer, so it reads the fields without the
// lock; readers on other threads are kept out while the handle closes.
void ForgetThread(WorkerFields f) {
  HANDLE closing = nullptr;
  {
    ExclusiveHold hold(StripeOf(f));
    closing = f.thread_handle;
    f.thread_handle = nullptr;
    f.thread_id = 0;
    // Closed under the lock: a reader that took the value before it was
    // cleared has finished its wait on it by now.
    if (closing != nullptr) CloseHandle(closing);
  }
}

// Start, stop and terminate of one object come from one controlling thread
// at a time: they write the handle and id without waiting for each other.
// Handing control to another thread between calls is fine; two at once is
// checked. The exported classes have no room for a checker, so the threads
// now controlling an object are kept in a table by the object's address
// (an entry lives only while a call runs).
class ControlScope {
 public:
  explicit ControlScope(const WorkerFields& f) : key_(&f.thread_handle) {
#if Q_THREAD_CHECKS
    const DWORD self = GetCurrentThreadId();
    bool clash = false;
    {
      ExclusiveHold hold(&lock_);
      Controller& c = Controllers()[key_];
      clash = c.depth > 0 && c.thread != self;
      if (!clash) {
        c.thread = self;
        ++c.depth;
      }
    }
    if (clash) {
      q_platform::ThreadCheckFailed("controlling thread (one at a time)", __FILE__, __LINE__);
    }
#endif
  }
  ~ControlScope() {
#if Q_THREAD_CHECKS
    ExclusiveHold hold(&lock_);
    auto it = Controllers().find(key_);
    if (it != Controllers().end() && --it->second.depth == 0) Controllers().erase(it);
#endif
  }
  ControlScope(const ControlScope&) = delete;
  ControlScope& operator=(const ControlScope&) = delete;

 private:
  struct Controller {
    DWORD thread = 0;
    int depth = 0;
  };
  // Never destroyed: a thread object may be stopped while the process exits.
  static std::map<const void*, Controller>& Controllers() {
    static auto* table = new std::map<const void*, Controller>();
    return *table;
  }
  static SRWLOCK lock_;
  const void* key_;
};

SRWLOCK ControlScope::lock_ = SRWLOCK_INIT;

}  // namespace

bool WorkerIsRunning(WorkerFields f) {
  SharedHold hold(StripeOf(f));
  return f.thread_handle != nullptr && WaitForSingleObject(f.thread_handle, 0) == WAIT_TIMEOUT;
}

HANDLE ReadThreadHandle(WorkerFields f) {
  SharedHold hold(StripeOf(f));
  return f.thread_handle;
}

DWORD ReadThreadId(WorkerFields f) {
  SharedHold hold(StripeOf(f));
  return f.thread_id;
}

bool StartWorker(WorkerFields f, void* thread, unsigned(__stdcall* entry)(void*)) {
  ControlScope control(f);
  ForgetThread(f);  // a thread that ended

  StartBlock block = {false, CreateEventA(nullptr, FALSE, FALSE, nullptr), thread};
  if (block.start_event == nullptr) return false;
  f.run = true;
  // Created suspended so that the handle and id are stored before the thread
  // runs (its start step may post to itself); then released at once.
  unsigned id = 0;
  HANDLE handle =
      reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, entry, &block, CREATE_SUSPENDED, &id));
  if (handle == nullptr) {
    f.run = false;
    CloseHandle(block.start_event);
    return false;
  }
  {
    ExclusiveHold hold(StripeOf(f));
    f.thread_handle = handle;
    f.thread_id = id;
  }
  ResumeThread(handle);

  // The start step may never signal: the thread can end inside it. Whichever
  // comes first decides; when both are there, the event (the lower index)
  // wins and its result holds.
  HANDLE waits[2] = {block.start_event, handle};
  const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  CloseHandle(block.start_event);
  return woke == WAIT_OBJECT_0 && block.start_result;
}

bool StopWorker(WorkerFields f, DWORD milliseconds, bool post_quit) {
  // The worker stopping itself only clears its run flag: no control taken.
  std::optional<ControlScope> control;
  if (GetCurrentThreadId() != ReadThreadId(f)) control.emplace(f);
  if (WorkerIsRunning(f)) {
    f.run = false;
    if (post_quit) ::PostThreadMessageA(f.thread_id, WM_QUIT, 0, 0);
    // The worker cannot wait for its own end.
    if (GetCurrentThreadId() == f.thread_id) return false;
    // Only this thread closes the handle, so it stays valid through the wait.
    if (WaitForSingleObject(f.thread_handle, milliseconds) == WAIT_TIMEOUT) return false;
  }
  ForgetThread(f);
  return true;
}

bool TerminateWorker(WorkerFields f, DWORD exit_code) {
  ControlScope control(f);
  if (WorkerIsRunning(f)) ::TerminateThread(f.thread_handle, exit_code);
  ForgetThread(f);
  return true;
}

void PrepareWorker(bool message_queue) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  if (message_queue) {
    MSG msg;
    PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  }
}

void SignalStarter(StartBlock* block, bool started) {
  block->start_result = started;
  SetEvent(block->start_event);
}

void AdviseIfStillRunning(WorkerFields f, const char* class_name) {
  if (!WorkerIsRunning(f)) return;
  char text[256];
  std::snprintf(text, sizeof text,
                "%s destroyed while its thread still runs: stopping it now; a derived class "
                "should stop its thread (StopThread) in its own destructor\n",
                class_name);
  OutputDebugStringA(text);
}

}  // namespace zintal_detail
