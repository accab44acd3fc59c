#include "netcore/shm/win_ipc.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>

#include "netcore/port/hop_trace.h"
#include "netcore/port/platform.h"
#include "netcore/port/send_batch.h"

namespace bsc {

namespace {

// Codes after which the same message can never be written: retrying it at
// the front would hold back every later message for good.
bool IsPermanent(int code) { return code == kXqBadArgument || code == kXqNoCreator; }

}  // namespace

WinIpcImpl::WinIpcImpl() : wake_event_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

WinIpcImpl::~WinIpcImpl() {
  Close();
  // Queues a failed Open left behind, or a Close from the callback skipped.
  if (worker_.joinable()) {
    stop_ = true;
    Wake();
    worker_.join();
  }
  receive_.Close();
  send_.Close();
  if (wake_event_ != nullptr) CloseHandle(wake_event_);
}

void WinIpcImpl::Wake() {
  if (wake_event_ != nullptr) SetEvent(wake_event_);
}

std::string WinIpcImpl::BaseName(int32_t owner_pid, int64_t channel_id) {
  return "cs2015" + std::to_string(owner_pid) + "_" + std::to_string(channel_id);
}

bool WinIpcImpl::Open(int32_t owner_pid, int64_t channel_id, IWinIpcCallback* callback,
                      bool opener) {
  // A running worker reads callback_: a second Open must not touch it (its
  // queues are mapped, so the attempt would fail anyway).
  if (worker_.joinable()) return false;
  callback_ = callback;
  const std::string base = BaseName(owner_pid, channel_id);
  const std::string s = base + "_s";
  const std::string c = base + "_c";
  if (!opener) {
    if (receive_.Create(s.c_str()) != kXqOk) return false;
    if (send_.Create(c.c_str()) != kXqOk) return false;
  } else {
    if (receive_.Open(c.c_str()) != kXqOk) return false;
    if (send_.Open(s.c_str()) != kXqOk) return false;
  }
  stop_ = false;
  // Set here, not by the worker, so that a Close right after Open sees a
  // running channel and stops it.
  stopped_ = false;
  worker_ = std::thread(&WinIpcImpl::Run, this);
  return true;
}

void WinIpcImpl::Send(const char* data, int length) {
  if (data == nullptr || length <= 0) return;  // an empty message is never written
  std::string bytes(data, size_t(length));
  bool was_empty;
  {
    std::lock_guard<q_platform::WakeLock> lock(out_mutex_);
    was_empty = outgoing_.empty();
    outgoing_.push_back(std::move(bytes));
  }
  // The worker empties the list whenever it wakes, so only the first message
  // of a burst needs to wake it. A list that a failed write left non-empty
  // already has its retry scheduled by the worker. A Send from the callback
  // needs none either: the worker looks at the list after every delivery,
  // and a signal would only cost a kernel call and an empty turn.
  Q_HOP("ipc: send queued");
  if (was_empty && !on_worker_.IsBoundToCurrent()) Wake();
}

void WinIpcImpl::Close() {
  if (!worker_.joinable()) return;  // never opened, or Open failed
  stop_ = true;
  Wake();
  // From inside the callback: the worker ends after it returns; the queues
  // are closed by a later Close or the destructor from another thread.
  if (worker_.get_id() == std::this_thread::get_id()) return;
  // The wake event ends the worker's wait, and its queue waits are bounded,
  // so the join is too, unless the callback itself blocks. Joining (rather
  // than giving up after a while) keeps the queues from being closed under a
  // running worker.
  worker_.join();
  on_worker_.Detach();
  receive_.Close();
  send_.Close();
}

void WinIpcImpl::Run() {
  on_worker_.BindToCurrent();
  // The writer sets the notify event after each stored message; the event
  // is auto-reset and every wake drains the queue, so a message stored
  // while the worker is busy leaves the event set and costs no cycle.
  // Nothing but that event, the wake event, a refused read and a failed
  // write brings the worker round: it never wakes just to look.
  HANDLE waits[2];
  DWORD count = 0;
  if (receive_.NotifyEvent() != nullptr) waits[count++] = receive_.NotifyEvent();
  if (wake_event_ != nullptr) waits[count++] = wake_event_;
  const bool can_hear_all = receive_.NotifyEvent() != nullptr && wake_event_ != nullptr;
  while (!stop_) {
    // Up to kTurn messages in, then up to kTurn out, in turn: a game that
    // keeps its queue full does not hold back what is for it, nor a backlog
    // for it what it sends. A turn of several (not one of each) lets the
    // game read while this thread writes on: one at a time, each side
    // would wait for the other's every message.
    Receive got = Receive::kNone;
    Flush flushed = Flush::kIdle;
    bool moved;
    do {
      int in = 0, out = 0;
      int n = 0;
      while (in < kTurn && !stop_ && (got = ReceiveSome(kTurn - in, &n)) == Receive::kDelivered) {
        in += n;
      }
      while (out < kTurn && !stop_ && (flushed = FlushOne()) == Flush::kWrote) ++out;
      moved = in > 0 || out > 0;
    } while (!stop_ && moved);
    if (stop_) break;
    DWORD timeout = INFINITE;
    // The notify of a message whose read was refused has been used up, and
    // a write that timed out waits for no signal: try again at once (the
    // timed-out wait of the read or write paces this).
    if (got == Receive::kRefused || flushed == Flush::kRetryNow) {
      timeout = 0;
    } else if (flushed == Flush::kRetryLater) {
      timeout = RetryDelayMs();
    } else if (!can_hear_all) {
      timeout = kCycleMs;
    }
    if (count == 0) {
      Sleep(timeout);
    } else {
      WaitForMultipleObjects(count, waits, FALSE, timeout);
    }
    Q_HOP("ipc: worker woke");
    wakes_.fetch_add(1, std::memory_order_relaxed);
  }
  stopped_ = true;
}

WinIpcImpl::Receive WinIpcImpl::ReceiveSome(int max, int* delivered) {
  Q_CHECK_BOUND_THREAD(on_worker_, "channel worker");
  *delivered = 0;
  if (buffer_.size() < kBatchBytes) buffer_.resize(kBatchBytes);
  uint32_t offsets[kTurn];
  uint32_t lengths[kTurn];
  int count = 0;
  const int n = std::min(max, kTurn);
  int code = receive_.ReadBatch(buffer_.data(), uint32_t(buffer_.size()), offsets, lengths, n,
                                &count, kReadMutexTimeoutMs);
  if (code == kXqBufferTooSmall) {
    // A first message larger than any before (at most the region's
    // capacity): the buffer grows to hold it, and it is read alone.
    buffer_.resize(size_t(lengths[0]) + 4);
    code = receive_.ReadBatch(buffer_.data(), uint32_t(buffer_.size()), offsets, lengths, n, &count,
                              kReadMutexTimeoutMs);
  }
  // Empty: nothing whole waits (also a message still being stored: its
  // writer notifies once it is whole). A broken chain has nothing to retry.
  if (code == kXqTimeout) return Receive::kRefused;  // copied but still queued
  if (code != kXqOk) return Receive::kNone;
  Q_HOP("ipc: read");
  {
    // What the callbacks send to a connection goes out in one write when
    // the batch has been delivered, not in one write each.
    q_platform::SendBatch sends;
    // Once stopped, no more calls back; the channel is closing and what is
    // left would be dropped with the queue anyway.
    for (int i = 0; i < count && !stop_; ++i) {
      if (callback_ != nullptr) callback_->OnReceive(buffer_.data() + offsets[i], int(lengths[i]));
    }
  }
  last_receive_ = q_platform::WallClockSeconds();
  *delivered = count;
  return Receive::kDelivered;
}

uint32_t WinIpcImpl::RetryDelayMs() const {
  if (!retry_pending_) return 0;
  const int32_t left = int32_t(retry_at_ - GetTickCount());
  return left > 0 ? uint32_t(left) : 0;
}

WinIpcImpl::Flush WinIpcImpl::FlushOne() {
  Q_CHECK_BOUND_THREAD(on_worker_, "channel worker");
  if (RetryDelayMs() > 0) return Flush::kRetryLater;
  size_t length;
  {
    std::lock_guard<q_platform::WakeLock> lock(out_mutex_);
    if (outgoing_.empty()) return Flush::kIdle;
    length = outgoing_.front().size();
  }
  // Only this thread takes from the front, so the message looked at stays
  // first. Without the room for it, Write would poll the free count for
  // 100 ms; the game frees blocks without telling us, so look again later.
  if (length != 0 && !send_.HasRoomFor(uint32_t(length))) {
    retry_at_ = GetTickCount() + kCycleMs;
    retry_pending_ = true;
    return Flush::kRetryLater;
  }
  std::string message;
  {
    std::lock_guard<q_platform::WakeLock> lock(out_mutex_);
    message = std::move(outgoing_.front());
    outgoing_.pop_front();
  }
  retry_pending_ = false;
  if (message.empty()) return Flush::kWrote;  // never written, nothing to wait for
  const int code = send_.Write(message.data(), uint32_t(message.size()));
  Q_HOP("ipc: written");
  if (code == kXqOk || IsPermanent(code)) return Flush::kWrote;
  {
    std::lock_guard<q_platform::WakeLock> lock(out_mutex_);
    outgoing_.push_front(std::move(message));
  }
  if (code == kXqTimeout) return Flush::kRetryNow;
  retry_at_ = GetTickCount() + kCycleMs;
  retry_pending_ = true;
  return Flush::kRetryLater;
}

}  // namespace bsc
