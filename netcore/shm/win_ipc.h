// Two-way channel between the gate client and one game program: two CXQueue
// (one each way) named after the owner's process id and a channel id, and a
// worker thread that every 40 ms delivers one received message to the
// callback and writes the queued outgoing ones. Windows only.
// Thread safety: Send from any thread; Open, Close and destruction from one
// owning thread, never from inside the callback; OnReceive runs on the worker.
// Ownership: the callback is not owned; outgoing bytes are copied by Send.
//
// Queue names, with base = "cs2015" + pid + "_" + channel id:
//   creator (the gate client) reads base + "_s" and writes base + "_c";
//   opener (the game) reads base + "_c" and writes base + "_s".
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "netcore/shm/xqueue.h"

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
  // Queues a copy of the bytes for the worker to write; never fails.
  virtual void Send(const char* data, int length) = 0;
  // Stops the worker and closes both queues.
  virtual void Close() = 0;

 protected:
  ~IWinIpc() = default;
};

class WinIpcImpl final : public IWinIpc {
 public:
  static constexpr uint32_t kCycleMs = 40;
  static constexpr uint32_t kReadMutexTimeoutMs = 100;

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

 private:
  void Run();
  void ReceiveOne();
  void Flush();

  IWinIpcCallback* callback_ = nullptr;
  CXQueue receive_;
  CXQueue send_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> stopped_{true};  // true while no worker runs
  std::mutex out_mutex_;
  std::deque<std::string> outgoing_;
  std::atomic<int64_t> last_receive_{0};
  std::vector<char> buffer_;  // grows to the largest message received
  std::mutex wake_mutex_;     // lets Close cut the 40 ms pause short
  std::condition_variable wake_;
  std::thread worker_;
};

}  // namespace bsc
