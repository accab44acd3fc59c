// Thread-affinity checks: where a header says "job thread only" or "loop
// thread only", the code says it too, and debug and sanitizer builds abort
// with a message naming the role and the place when another thread calls.
// Release builds compile the check (and its condition) away.
// Thread safety: any thread.
#pragma once

#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define Q_THREAD_CHECKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define Q_THREAD_CHECKS 1
#endif
#endif

namespace q_platform {

// Writes "<role> only: called from another thread at <file>:<line>" to the
// debugger output and standard error, then aborts.
[[noreturn]] void ThreadCheckFailed(const char* role, const char* file, int line);

}  // namespace q_platform

// Q_CHECK_THREAD(owner->IsJobThread(), "job thread")
#ifdef Q_THREAD_CHECKS
#define Q_CHECK_THREAD(on_thread, role)                                            \
  do {                                                                             \
    if (!(on_thread)) ::q_platform::ThreadCheckFailed((role), __FILE__, __LINE__); \
  } while (0)
#else
#define Q_CHECK_THREAD(on_thread, role) \
  do {                                  \
  } while (0)
#endif
