#include "netcore/port/wake_lock.h"

#include <chrono>

namespace q_platform {

WakeLock::WakeLock() = default;

WakeLock::~WakeLock() = default;

void WakeLock::lock() { mutex_.lock(); }

void WakeLock::unlock() { mutex_.unlock(); }

void WakeLock::WaitMs(uint32_t ms) {
  // The caller holds mutex_: adopt it for the wait and hand it back held.
  std::unique_lock<std::mutex> held(mutex_, std::adopt_lock);
  cond_.wait_for(held, std::chrono::milliseconds(ms));
  held.release();
}

void WakeLock::NotifyOne() { cond_.notify_one(); }

void WakeLock::NotifyAll() { cond_.notify_all(); }

}  // namespace q_platform
