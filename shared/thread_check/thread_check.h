// Thread-affinity checks: where a header says "job thread only" or "loop
// thread only", the code says it too, and a call from another thread aborts
// with a message naming the role and the place.
// The checks are on in every tree, the shipped Windows binaries included
// (as muduo keeps its loop-thread assertions): a check costs one thread-id
// compare, and a call on the wrong thread is a data race whose later damage
// (a freed channel, a torn record) is far harder to trace from a crash dump
// than an abort that names the place. Building with -DQ_THREAD_CHECKS=0
// compiles the checks and their conditions away.
// Thread safety: any thread (ThreadChecker included).
#pragma once

#include <atomic>
#include <thread>

#ifndef Q_THREAD_CHECKS
#define Q_THREAD_CHECKS 1
#endif

// Says which mutex guards a member. Under clang it is the thread-safety
// attribute, which -Wthread-safety checks once the mutex type carries the
// capability annotation (libstdc++'s std::mutex does not); today it is a
// note to the reader that the compiler keeps in step with the names.
#if defined(__clang__)
#define Q_GUARDED_BY(m) __attribute__((guarded_by(m)))
#else
#define Q_GUARDED_BY(m)
#endif

namespace q_platform {

// Writes "<role> only: called from another thread at <file>:<line>" to the
// debugger output and standard error, then aborts.
[[noreturn]] void ThreadCheckFailed(const char* role, const char* file, int line);

// Binds to the first thread that asks (in the manner of a sequence checker),
// for objects whose thread starts after they were made: a watcher, a worker,
// the window thread of a library loaded by another. Detach lets the next
// caller bind anew where an object legitimately moves (a restart).
class ThreadChecker {
 public:
  ThreadChecker() = default;
  ThreadChecker(const ThreadChecker&) = delete;
  ThreadChecker& operator=(const ThreadChecker&) = delete;

  // True on the bound thread; binds the caller when none is bound yet.
  bool OnBoundThread() const {
    const std::thread::id self = std::this_thread::get_id();
    std::thread::id bound = bound_.load(std::memory_order_acquire);
    if (bound == std::thread::id() &&
        bound_.compare_exchange_strong(bound, self, std::memory_order_acq_rel)) {
      return true;
    }
    return bound == self;
  }
  // True on the bound thread; binds nobody (false while none is bound).
  bool IsBoundToCurrent() const {
    return bound_.load(std::memory_order_acquire) == std::this_thread::get_id();
  }
  // The next OnBoundThread binds its caller.
  void Detach() { bound_.store(std::thread::id(), std::memory_order_release); }
  // Binds the caller now (a thread that begins an object's work).
  void BindToCurrent() { bound_.store(std::this_thread::get_id(), std::memory_order_release); }

 private:
  mutable std::atomic<std::thread::id> bound_{};
};

}  // namespace q_platform

// Q_CHECK_THREAD(owner->IsJobThread(), "job thread")
#if Q_THREAD_CHECKS
#define Q_CHECK_THREAD(on_thread, role)                                            \
  do {                                                                             \
    if (!(on_thread)) ::q_platform::ThreadCheckFailed((role), __FILE__, __LINE__); \
  } while (0)
#else
#define Q_CHECK_THREAD(on_thread, role) \
  do {                                  \
  } while (0)
#endif

// Q_CHECK_BOUND_THREAD(watcher_, "watcher thread"): `checker` is a
// q_platform::ThreadChecker; the first caller binds it.
#define Q_CHECK_BOUND_THREAD(checker, role) Q_CHECK_THREAD((checker).OnBoundThread(), role)
