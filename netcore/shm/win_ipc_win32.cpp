#include "netcore/shm/win_ipc.h"

#include <chrono>
#include <ctime>

namespace bsc {

namespace {

// Codes after which the same message can never be written: retrying it at
// the front would hold back every later message for good.
bool IsPermanent(int code) { return code == kXqBadArgument || code == kXqNoCreator; }

}  // namespace

WinIpcImpl::WinIpcImpl() = default;

WinIpcImpl::~WinIpcImpl() {
  Close();
  // Queues a failed Open left behind, or a Close from the callback skipped.
  if (worker_.joinable()) {
    stop_ = true;
    wake_.notify_all();
    worker_.join();
  }
  receive_.Close();
  send_.Close();
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
  std::lock_guard<std::mutex> lock(out_mutex_);
  outgoing_.push_back(std::move(bytes));
}

void WinIpcImpl::Close() {
  if (!worker_.joinable()) return;  // never opened, or Open failed
  {
    std::lock_guard<std::mutex> lock(wake_mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  // From inside the callback: the worker ends after it returns; the queues
  // are closed by a later Close or the destructor from another thread.
  if (worker_.get_id() == std::this_thread::get_id()) return;
  // Every wait of the worker is bounded, so the join is too, unless the
  // callback itself blocks. Joining (rather than giving up after a while)
  // keeps the queues from being closed under a running worker.
  worker_.join();
  receive_.Close();
  send_.Close();
}

void WinIpcImpl::Run() {
  while (!stop_) {
    ReceiveOne();
    Flush();
    std::unique_lock<std::mutex> lock(wake_mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(kCycleMs), [this] { return stop_.load(); });
  }
  stopped_ = true;
}

void WinIpcImpl::ReceiveOne() {
  // Zero also when a message is still being stored or its chain is broken.
  const uint32_t length = receive_.GetMessageLength();
  if (length == 0) return;
  if (buffer_.size() < length) buffer_.resize(length);  // at most the region's capacity
  uint32_t got = uint32_t(buffer_.size());
  int32_t id = 0;
  if (receive_.Read(buffer_.data(), &got, &id, nullptr, kReadMutexTimeoutMs) != kXqOk) return;
  if (callback_ != nullptr) callback_->OnReceive(buffer_.data(), int(got));
  last_receive_ = int64_t(std::time(nullptr));
}

void WinIpcImpl::Flush() {
  while (!stop_) {
    std::string message;
    {
      std::lock_guard<std::mutex> lock(out_mutex_);
      if (outgoing_.empty()) return;
      message = std::move(outgoing_.front());
      outgoing_.pop_front();
    }
    if (message.empty()) continue;
    const int code = send_.Write(message.data(), uint32_t(message.size()));
    if (code == kXqOk || IsPermanent(code)) continue;
    std::lock_guard<std::mutex> lock(out_mutex_);
    outgoing_.push_front(std::move(message));
    return;
  }
}

}  // namespace bsc
