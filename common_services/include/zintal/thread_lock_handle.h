// CThreadLockHandle: a scoped holder of an IThreadLock that counts the locks
// it took and releases all of them when it is destroyed.
// Thread safety: one thread (the one that holds the locks it counts).
// Ownership: the lock is not owned and must outlive the handle. A handle
// cannot be copied (two handles would release one lock twice).
#pragma once

#include <cstdint>

#include "common_services/include/zintal/thread_lock.h"
#include "common_services/include/zintal/zintal_api.h"

// What this header declares has Zintal.dll's layout whatever packing the
// includer has set; the compiler and libstdc++ settings a caller shares:
// zintal_api.h.
#pragma pack(push, 8)

class ZINTAL_API CThreadLockHandle {
 public:
  // Locks at once when `lock_now` is true.
  CThreadLockHandle(IThreadLock* lock, bool lock_now);
  virtual ~CThreadLockHandle();
  CThreadLockHandle(const CThreadLockHandle&) = delete;
  CThreadLockHandle& operator=(const CThreadLockHandle&) = delete;

  void Lock();
  // Releases one lock this handle took; with none taken it does nothing, so a
  // stray call cannot leave a lock it does not hold.
  void UnLock();
  int32_t GetLockCount();

 private:
  int32_t lock_count_;
  IThreadLock* lock_;
};

ZINTAL_ABI_SIZE(CThreadLockHandle, 12);

#pragma pack(pop)
