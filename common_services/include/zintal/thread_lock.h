// IThreadLock, the lock interface of Zintal.dll, and CThreadLock, its
// critical-section implementation: recursive within one thread.
// Thread safety: any thread.
// Ownership: a CThreadLock owns its critical section; it cannot be copied (a
// copy would duplicate a live critical section).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "common_services/include/zintal/zintal_api.h"

// What this header declares has Zintal.dll's layout whatever packing the
// includer has set; the compiler and libstdc++ settings a caller shares:
// zintal_api.h.
#pragma pack(push, 8)

// Slots in this order: Lock, UnLock, TryLock. No virtual destructor: the
// interface is never destroyed through.
class ZINTAL_API IThreadLock {
 public:
  virtual void Lock() = 0;
  virtual void UnLock() = 0;
  // Non-zero when the lock was taken.
  virtual int TryLock() = 0;
};

class ZINTAL_API CThreadLock : public IThreadLock {
 public:
  CThreadLock();
  ~CThreadLock();  // not virtual, as the interface has none
  CThreadLock(const CThreadLock&) = delete;
  CThreadLock& operator=(const CThreadLock&) = delete;

  void Lock() override;
  void UnLock() override;
  int TryLock() override;

 private:
  CRITICAL_SECTION critical_section_;
};

ZINTAL_ABI_SIZE(IThreadLock, 4);
ZINTAL_ABI_SIZE(CThreadLock, 28);

#pragma pack(pop)
