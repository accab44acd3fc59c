// The start and stop protocol shared by the thread classes.
#include "common_services/thread_worker_win32.h"

#include <process.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "shared/thread_check/thread_check.h"

namespace zintal_detail {

namespace {

// The handle and id are plain members of the exported classes (their layout
// is fixed), so they are read and written here with atomic builtins. While
// the id is non-zero the handle is an open handle of that thread: the handle
// is stored before the id and cleared after it.
DWORD LoadId(const WorkerFields& f) { return __atomic_load_n(&f.thread_id, __ATOMIC_ACQUIRE); }

// A handle of the caller's own to the object's thread, with `access`; null
// with *id 0 when the object holds no thread. No other thread can close it,
// so a wait on it is safe whatever a controlling thread does meanwhile, and
// a caller cut short while it holds one leaves nothing that blocks another.
// OpenThread goes by id, and the id is read again after it: while the id
// stays stored the object's own handle keeps that thread object alive, so no
// other thread can carry the id, and the thread opened is the object's.
// Null with a non-zero *id: the object's thread could not be opened (not
// expected within one's own process) or kept changing while asked.
HANDLE OpenObjectThread(const WorkerFields& f, DWORD access, DWORD* id) {
  for (int tries = 0; tries < 100; ++tries) {
    const DWORD seen = LoadId(f);
    *id = seen;
    if (seen == 0) return nullptr;
    HANDLE own = OpenThread(access, FALSE, seen);
    if (LoadId(f) == seen) return own;
    if (own != nullptr) CloseHandle(own);
  }
  return nullptr;
}

// As OpenObjectThread, for the controlling thread: when the thread cannot be
// opened by id, a duplicate of the object's handle, which only the
// controlling thread closes.
HANDLE OpenForControl(const WorkerFields& f, DWORD access, DWORD* id) {
  HANDLE own = OpenObjectThread(f, access, id);
  if (own == nullptr && *id != 0 &&
      !DuplicateHandle(GetCurrentProcess(), __atomic_load_n(&f.thread_handle, __ATOMIC_ACQUIRE),
                       GetCurrentProcess(), &own, access, FALSE, 0)) {
    own = nullptr;
  }
  return own;
}

// Clears the fields of thread `id` and closes the object's handle of it.
// When they no longer name that thread (a second controlling thread forgot
// it, or started another, meanwhile), they are left as they are.
void ForgetThread(const WorkerFields& f, DWORD id) {
  DWORD expected = id;
  if (id != 0 && !__atomic_compare_exchange_n(&f.thread_id, &expected, DWORD{0}, false,
                                              __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
    return;
  }
  HANDLE closing = __atomic_exchange_n(&f.thread_handle, HANDLE{nullptr}, __ATOMIC_ACQ_REL);
  if (closing != nullptr) CloseHandle(closing);
}

#if Q_THREAD_CHECKS
// Start, stop and terminate of one object come from one controlling thread
// at a time: two at once race on the handle. Handing control to another
// thread between calls is fine; two at once is reported on the debugger
// output (the calls run in other people's processes), and the calls go on:
// each waits on a handle of its own and only one of them closes the
// object's. The exported classes have no room for a checker, so the running
// calls are kept in a table of slots picked by the object's address, each
// one word {object, a handle of the calling thread} changed only by
// compare-and-swap: no lock that a thread cut short could leave held. An
// entry whose thread has ended (terminated inside the call) counts for
// nothing and is taken over by the next call. Two objects sharing a slot at
// the same moment leave the second call unchecked.
// The word packs two 32-bit values. A kernel handle has 32 significant bits
// on 64-bit Windows too (so that 32- and 64-bit processes can share them;
// widened with its sign, as LongToHandle does). The object's address is the
// key as it is on i686; an x86_64 address is folded to 32 bits, so there two
// objects whose addresses differ by a multiple of 4 GiB share a key, and two
// calls on them at the same moment would be reported as one object's.
static_assert(sizeof(HANDLE) == sizeof(void*) && sizeof(void*) <= 8,
              "a slot packs two 32-bit values");

class ControlScope {
 public:
  explicit ControlScope(const WorkerFields& f) {
    const uint32_t key = KeyFor(&f.thread_handle);
    std::atomic<uint64_t>& slot = g_slots[((key >> 4) ^ (key >> 12)) % kSlots];
    HANDLE me = nullptr;
    for (int tries = 0; tries < 16; ++tries) {
      uint64_t seen = slot.load(std::memory_order_acquire);
      bool ended_entry = false;
      if (seen != 0) {
        const DWORD state = WaitForSingleObject(HandleOf(seen), 0);
        if (slot.load(std::memory_order_acquire) != seen) continue;  // changed while looked at
        if (state == WAIT_TIMEOUT) {                                 // a call still running
          if (KeyOf(seen) == key) ReportSecondController(&f.thread_handle);
          break;
        }
        // Its thread ended inside the call; a failed wait would mean the
        // entry was just released, and the swap below then fails.
        ended_entry = state == WAIT_OBJECT_0;
      }
      if (me == nullptr && !DuplicateHandle(GetCurrentProcess(), GetCurrentThread(),
                                            GetCurrentProcess(), &me, SYNCHRONIZE, FALSE, 0)) {
        return;
      }
      const uint64_t mine = (static_cast<uint64_t>(key) << 32) |
                            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(me));
      if (slot.compare_exchange_strong(seen, mine, std::memory_order_acq_rel)) {
        // The ended thread's handle was left to whoever came next.
        if (ended_entry) CloseHandle(HandleOf(seen));
        slot_ = &slot;
        entry_ = mine;
        return;
      }
    }
    if (me != nullptr) CloseHandle(me);
  }
  ~ControlScope() {
    if (slot_ == nullptr) return;
    uint64_t mine = entry_;
    // Still ours: an entry is taken over only when its thread has ended.
    slot_->compare_exchange_strong(mine, 0, std::memory_order_acq_rel);
    CloseHandle(HandleOf(entry_));
  }
  ControlScope(const ControlScope&) = delete;
  ControlScope& operator=(const ControlScope&) = delete;

 private:
  static constexpr size_t kSlots = 64;
  static uint32_t KeyFor(const void* object) {
    const uint64_t address = reinterpret_cast<uintptr_t>(object);
    return static_cast<uint32_t>(address ^ (address >> 32));
  }
  static uint32_t KeyOf(uint64_t entry) { return static_cast<uint32_t>(entry >> 32); }
  static HANDLE HandleOf(uint64_t entry) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(static_cast<int32_t>(entry)));
  }
  static void ReportSecondController(const void* object) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "Zintal thread object %p: controlling thread (one at a time) only: StartThread, "
                  "StopThread or TerminateThread called while another thread's call still runs\n",
                  object);
    OutputDebugStringA(text);
  }

  // Static storage is zeroed: every slot starts free.
  static std::atomic<uint64_t> g_slots[kSlots];
  std::atomic<uint64_t>* slot_ = nullptr;  // the entry this call made, or null
  uint64_t entry_ = 0;
};

std::atomic<uint64_t> ControlScope::g_slots[ControlScope::kSlots];
#else
class ControlScope {
 public:
  explicit ControlScope(const WorkerFields&) {}
};
#endif

bool OnWorker(const WorkerFields& f) { return GetCurrentThreadId() == LoadId(f); }

}  // namespace

bool WorkerIsRunning(WorkerFields f) {
  DWORD id = 0;
  HANDLE own = OpenObjectThread(f, SYNCHRONIZE, &id);
  if (own == nullptr) return id != 0;  // a thread held that cannot be seen ended
  const bool running = WaitForSingleObject(own, 0) == WAIT_TIMEOUT;
  CloseHandle(own);
  return running;
}

HANDLE ReadThreadHandle(WorkerFields f) {
  return __atomic_load_n(&f.thread_handle, __ATOMIC_ACQUIRE);
}

DWORD ReadThreadId(WorkerFields f) { return LoadId(f); }

bool StartWorker(WorkerFields f, void* thread, unsigned(__stdcall* entry)(void*)) {
  ControlScope control(f);
  ForgetThread(f, LoadId(f));  // a thread that ended

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
  // The starter waits on a handle of its own where it can have one: once
  // stored, the object's may be closed by others (the thread deleting its
  // object, a second controlling thread).
  HANDLE own = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &own, SYNCHRONIZE, FALSE,
                       0)) {
    own = nullptr;
  }
  __atomic_store_n(&f.thread_handle, handle, __ATOMIC_RELEASE);
  __atomic_store_n(&f.thread_id, static_cast<DWORD>(id), __ATOMIC_RELEASE);
  ResumeThread(handle);

  // The start step may never signal: the thread can end inside it. Whichever
  // comes first decides; when both are there, the event (the lower index)
  // wins and its result holds.
  HANDLE waits[2] = {block.start_event, own != nullptr ? own : handle};
  const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  CloseHandle(block.start_event);
  if (own != nullptr) CloseHandle(own);
  return woke == WAIT_OBJECT_0 && block.start_result;
}

bool StopWorker(WorkerFields f, DWORD milliseconds, bool post_quit) {
  if (OnWorker(f)) {
    // The worker cannot wait for its own end: it only clears its run flag.
    f.run = false;
    if (post_quit) ::PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);
    return false;
  }
  ControlScope control(f);
  DWORD id = 0;
  HANDLE own = OpenForControl(f, SYNCHRONIZE, &id);
  if (own != nullptr) {
    if (WaitForSingleObject(own, 0) == WAIT_TIMEOUT) {
      f.run = false;
      if (post_quit) ::PostThreadMessageA(id, WM_QUIT, 0, 0);
      if (WaitForSingleObject(own, milliseconds) == WAIT_TIMEOUT) {
        CloseHandle(own);
        return false;
      }
    }
    CloseHandle(own);
  }
  ForgetThread(f, id);
  return true;
}

bool TerminateWorker(WorkerFields f, DWORD exit_code) {
  if (OnWorker(f)) {
    // The worker ending itself never returns; its handle stays with the
    // object for the next stop, start or terminate, which finds it ended.
    ::TerminateThread(GetCurrentThread(), exit_code);
  }
  ControlScope control(f);
  DWORD id = 0;
  HANDLE own = OpenForControl(f, SYNCHRONIZE | THREAD_TERMINATE, &id);
  if (own != nullptr) {
    if (WaitForSingleObject(own, 0) == WAIT_TIMEOUT) ::TerminateThread(own, exit_code);
    CloseHandle(own);
  }
  ForgetThread(f, id);
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

void StopOnDestruction(WorkerFields f, bool post_quit, const char* class_name) {
  if (OnWorker(f)) {
    // Destroyed on its own thread (delete this in a loop step or the stop
    // event): the thread runs on to its end by itself and nobody is left to
    // close its handle, so it is closed here (a thread may close its own).
    f.run = false;
    ForgetThread(f, LoadId(f));
    return;
  }
  if (WorkerIsRunning(f)) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "%s destroyed while its thread still runs: stopping it now; a derived class "
                  "should stop its thread (StopThread) in its own destructor\n",
                  class_name);
    OutputDebugStringA(text);
  }
  StopWorker(f, INFINITE, post_quit);
}

}  // namespace zintal_detail
