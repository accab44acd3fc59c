// CThreadLock and CThreadLockHandle under Wine.
#include "common_services/include/zintal/thread_lock.h"

#include <gtest/gtest.h>

#include <thread>

#include "common_services/include/zintal/thread_lock_handle.h"

namespace {

// TryLock from another thread: a critical section is always free to its owner.
int TryFromAnotherThread(IThreadLock& lock) {
  int taken = 0;
  std::thread([&] {
    taken = lock.TryLock();
    if (taken) lock.UnLock();
  }).join();
  return taken;
}

TEST(ThreadLock, RecursiveOnOneThreadExclusiveAcrossThreads) {
  CThreadLock lock;
  lock.Lock();
  lock.Lock();
  EXPECT_NE(lock.TryLock(), 0);
  EXPECT_EQ(TryFromAnotherThread(lock), 0);
  lock.UnLock();
  lock.UnLock();
  EXPECT_EQ(TryFromAnotherThread(lock), 0);  // still held once
  lock.UnLock();
  EXPECT_NE(TryFromAnotherThread(lock), 0);

  long counter = 0;
  auto work = [&] {
    for (int i = 0; i < 100000; ++i) {
      CThreadLockHandle hold(&lock, true);
      counter = counter + 1;
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 200000);
}

TEST(ThreadLockHandle, CountsItsLocksAndReleasesAllOfThem) {
  CThreadLock lock;
  {
    CThreadLockHandle handle(&lock, true);
    handle.Lock();
    EXPECT_EQ(handle.GetLockCount(), 2);
    EXPECT_EQ(TryFromAnotherThread(lock), 0);
  }
  EXPECT_NE(TryFromAnotherThread(lock), 0);

  CThreadLockHandle handle(&lock, false);
  EXPECT_EQ(handle.GetLockCount(), 0);
  EXPECT_NE(TryFromAnotherThread(lock), 0);
  handle.Lock();
  handle.UnLock();
  handle.UnLock();  // nothing left to release: no stray leave
  EXPECT_EQ(handle.GetLockCount(), 0);
  handle.Lock();
  EXPECT_EQ(TryFromAnotherThread(lock), 0);  // the stray call did not unbalance it
  handle.UnLock();
  EXPECT_NE(TryFromAnotherThread(lock), 0);
}

}  // namespace
