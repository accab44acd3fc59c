// A mutex and a condition variable in one, for a thread that sleeps until
// another thread of the same process hands it work. On Windows it is a slim
// reader/writer lock and a condition variable: both stay inside the process
// (under Wine a futex), where the C++ runtime's mutex and condition variable
// go through kernel semaphores and events, each signal and wait a round trip
// to wineserver. Elsewhere it is std::mutex and std::condition_variable.
// Thread safety: any thread; WaitMs only with the lock held by the caller.
// Ownership: owns nothing outside itself; must not be destroyed while a
// thread waits on it or holds it.
#pragma once

#include <cstdint>

#if !defined(_WIN32)
#include <condition_variable>
#include <mutex>
#endif

namespace q_platform {

class WakeLock {
 public:
  WakeLock();
  ~WakeLock();
  WakeLock(const WakeLock&) = delete;
  WakeLock& operator=(const WakeLock&) = delete;

  // BasicLockable, for std::lock_guard and std::unique_lock. Not recursive.
  void lock();
  void unlock();

  // Releases the lock, sleeps until NotifyOne/NotifyAll or `ms` milliseconds
  // have passed (spurious wake-ups allowed: the caller re-checks its
  // condition), and takes the lock back.
  void WaitMs(uint32_t ms);
  void NotifyOne();
  void NotifyAll();

 private:
#if defined(_WIN32)
  void* lock_ = nullptr;  // SRWLOCK, SRWLOCK_INIT is all zero
  void* cond_ = nullptr;  // CONDITION_VARIABLE, likewise
#else
  std::mutex mutex_;
  std::condition_variable cond_;
#endif
};

}  // namespace q_platform
