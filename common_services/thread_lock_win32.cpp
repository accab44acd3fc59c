// CThreadLock and CThreadLockHandle: a critical section behind IThreadLock,
// and its counting scoped holder.
#include "common_services/include/zintal/thread_lock.h"

#include "common_services/include/zintal/thread_lock_handle.h"

// The vtable pointer, then the critical section.
static_assert(sizeof(CThreadLock) == sizeof(void*) + sizeof(CRITICAL_SECTION),
              "CThreadLock layout");
// The vtable pointer, the lock count, the lock.
static_assert(sizeof(CThreadLockHandle) == 3 * sizeof(void*), "CThreadLockHandle layout");

CThreadLock::CThreadLock() { InitializeCriticalSection(&critical_section_); }

CThreadLock::~CThreadLock() { DeleteCriticalSection(&critical_section_); }

void CThreadLock::Lock() { EnterCriticalSection(&critical_section_); }

void CThreadLock::UnLock() { LeaveCriticalSection(&critical_section_); }

int CThreadLock::TryLock() { return TryEnterCriticalSection(&critical_section_); }

CThreadLockHandle::CThreadLockHandle(IThreadLock* lock, bool lock_now)
    : lock_count_(0), lock_(lock) {
  if (lock_now) Lock();
}

CThreadLockHandle::~CThreadLockHandle() {
  while (lock_count_ > 0) UnLock();
}

void CThreadLockHandle::Lock() {
  lock_count_ += 1;
  lock_->Lock();
}

void CThreadLockHandle::UnLock() {
  if (lock_count_ <= 0) return;
  lock_count_ -= 1;
  lock_->UnLock();
}

int32_t CThreadLockHandle::GetLockCount() { return lock_count_; }
