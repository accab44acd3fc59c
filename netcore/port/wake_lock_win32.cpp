#include "netcore/port/wake_lock.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace q_platform {

static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*),
              "WakeLock keeps each in one pointer");

namespace {

PSRWLOCK Srw(void** p) { return reinterpret_cast<PSRWLOCK>(p); }
PCONDITION_VARIABLE Cond(void** p) { return reinterpret_cast<PCONDITION_VARIABLE>(p); }

}  // namespace

WakeLock::WakeLock() {
  InitializeSRWLock(Srw(&lock_));
  InitializeConditionVariable(Cond(&cond_));
}

// Neither object holds a resource to free.
WakeLock::~WakeLock() = default;

void WakeLock::lock() { AcquireSRWLockExclusive(Srw(&lock_)); }

void WakeLock::unlock() { ReleaseSRWLockExclusive(Srw(&lock_)); }

void WakeLock::WaitMs(uint32_t ms) {
  // A time-out (ERROR_TIMEOUT) and a signal look the same to the caller,
  // which re-checks its condition either way; the lock is held again.
  SleepConditionVariableSRW(Cond(&cond_), Srw(&lock_), ms, 0);
}

void WakeLock::NotifyOne() { WakeConditionVariable(Cond(&cond_)); }

void WakeLock::NotifyAll() { WakeAllConditionVariable(Cond(&cond_)); }

}  // namespace q_platform
