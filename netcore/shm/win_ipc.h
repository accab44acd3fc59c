// Two-way channel between the gate client and one game program: two CXQueue
// (one each way) named after the owner's process id and a channel id, and a
// worker thread that sleeps until the receiving queue's notify event, a Send
// or Close, then delivers waiting messages to the callback and writes queued
// outgoing ones in turn, a few of each at a time, so that neither direction
// waits for the other's backlog. With nothing pending it has no time-out:
// an idle channel costs no wake-ups. Only work left undone by a refused read
// or a failed write brings it back without a signal; a full sending queue
// is looked at again every kCycleMs, not polled. Windows only.
// Thread safety: Send from any thread; Open, Close and destruction from one
// thread at a time (the registry opens on the job thread and may close on a
// game's watcher), never from inside the callback; OnReceive runs on the
// worker, and the worker alone reads and writes the queues while it runs
// (checked).
// Ownership: the callback is not owned; outgoing bytes are copied by Send.
//
// Queue names, with base = "cs2015" + pid + "_" + channel id:
//   creator (the gate client) reads base + "_s" and writes base + "_c";
//   opener (the game) reads base + "_c" and writes base + "_s".
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "netcore/port/wake_lock.h"
#include "netcore/shm/xqueue.h"
#include "shared/thread_check/thread_check.h"

namespace bsc {

// Operations in slot order; no virtual destructor (shared with peers built apart).
class IWinIpcCallback {
 public:
  // First slot, kept for the layout; the channel never calls it.
  virtual void ReservedSlot1() {}
  virtual void OnReceive(const char* data, int length) = 0;

 protected:
  ~IWinIpcCallback() = default;
};

// Operations in slot order; no virtual destructor.
class IWinIpc {
 public:
  // opener false: create both queues (the gate client); true: open them (the game).
  virtual bool Open(int32_t owner_pid, int64_t channel_id, IWinIpcCallback* callback,
                    bool opener) = 0;
  // Queues a copy of the bytes for the worker to write and wakes it; never fails.
  virtual void Send(const char* data, int length) = 0;
  // Stops the worker and closes both queues.
  virtual void Close() = 0;

 protected:
  ~IWinIpc() = default;
};

class WinIpcImpl final : public IWinIpc {
 public:
  // Pause before a write that failed without waiting, or found the sending
  // queue without room, is tried again.
  static constexpr uint32_t kCycleMs = 40;
  static constexpr uint32_t kReadMutexTimeoutMs = 100;
  // Messages one direction moves before the worker turns to the other.
  static constexpr int kTurn = 32;
  // Bytes of small messages read under one take of the receiving queue's
  // mutex (a larger first message is read alone, whole).
  static constexpr uint32_t kBatchBytes = 64 * 1024;

  WinIpcImpl();
  ~WinIpcImpl();
  WinIpcImpl(const WinIpcImpl&) = delete;
  WinIpcImpl& operator=(const WinIpcImpl&) = delete;

  bool Open(int32_t owner_pid, int64_t channel_id, IWinIpcCallback* callback, bool opener) override;
  void Send(const char* data, int length) override;
  void Close() override;

  // "cs2015<pid>_<channel id>", the stem of both queue names.
  static std::string BaseName(int32_t owner_pid, int64_t channel_id);
  // Seconds since the epoch of the last delivered message, 0 before any.
  int64_t LastReceiveTime() const { return last_receive_.load(); }
  // Times the worker woke or slept: returns from its wait, plus the waits
  // and sleeps inside the queues' reads and writes. For tests of what a
  // stalled game costs.
  uint64_t WakeUps() const {
    return wakes_.load(std::memory_order_relaxed) + receive_.SyncWaits() + send_.SyncWaits();
  }

 private:
  enum class Receive {
    kDelivered,
    kNone,     // nothing whole waits; the writer's notify brings the next one
    kRefused,  // a message waits but its read timed out on the queue mutex
  };

  void Run();
  // Reads up to `max` waiting messages under one take of the queue mutex
  // and delivers them in order; *delivered says how many. A refused read
  // leaves them queued, and no notify comes for them again: the worker must
  // try again by itself.
  Receive ReceiveSome(int max, int* delivered);
  enum class Flush {
    kIdle,        // the outgoing list is empty
    kWrote,       // one message written (or dropped as never writable)
    kRetryNow,    // a write timed out on the turn or mutex (its waits pace the next try)
    kRetryLater,  // no room in the queue, or a write failed at once: after kCycleMs
  };

  // Writes the first outgoing message, unless the sending queue lacks the
  // room for it or a full queue was found less than kCycleMs ago. What is
  // left moves only when the worker retries, as no signal will come for it.
  Flush FlushOne();
  // Milliseconds until the next look at a full sending queue, 0 when due.
  uint32_t RetryDelayMs() const;
  void Wake();

  IWinIpcCallback* callback_ = nullptr;
  CXQueue receive_;
  CXQueue send_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> stopped_{true};  // true while no worker runs
  // In-process lock: a Send meeting the worker here costs no kernel call
  // (the C++ runtime's mutex waits on a kernel event when contended).
  q_platform::WakeLock out_mutex_;
  std::deque<std::string> outgoing_ Q_GUARDED_BY(out_mutex_);
  std::atomic<int64_t> last_receive_{0};
  std::vector<char> buffer_;  // kBatchBytes, or more for the largest message received
  // Worker only: tick count before which a full sending queue is not
  // looked at again, valid while retry_pending_.
  uint32_t retry_at_ = 0;
  bool retry_pending_ = false;
  std::atomic<uint64_t> wakes_{0};
  // Auto-reset event: Send sets it when the outgoing list stops being empty,
  // Close to stop the worker. Owned; null if it could not be created (the
  // worker then has no way to hear a Send and cycles on kCycleMs instead).
  void* wake_event_ = nullptr;
  std::thread worker_;
  // Bound by the worker when it starts, freed after Close has joined it.
  q_platform::ThreadChecker on_worker_;
};

}  // namespace bsc
