#include "netcore/shm/xqueue.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

constexpr size_t kMaxQueueName = 519;

// XQueueSync over the queue's named objects.
class KernelSync final : public XQueueSync {
 public:
  KernelSync(HANDLE mutex, HANDLE notify, HANDLE turn, std::atomic<uint32_t>* waits)
      : mutex_(mutex), notify_(notify), turn_(turn), waits_(waits) {}

  Wait WaitWriteTurn(uint32_t timeout_ms) override { return WaitOn(turn_, timeout_ms); }
  void GiveWriteTurn() override { SetEvent(turn_); }
  Wait LockQueue(uint32_t timeout_ms) override { return WaitOn(mutex_, timeout_ms); }
  Wait WaitWriteTurnAndLock(uint32_t timeout_ms) override {
    if (turn_ == nullptr || mutex_ == nullptr) return XQueueSync::WaitWriteTurnAndLock(timeout_ms);
    Count();
    HANDLE both[2] = {turn_, mutex_};
    const DWORD r = WaitForMultipleObjects(2, both, TRUE, timeout_ms);
    // Either index: with bWaitAll, both are ours (an abandoned mutex too).
    if (r == WAIT_OBJECT_0 || r == WAIT_OBJECT_0 + 1 || r == WAIT_ABANDONED_0 ||
        r == WAIT_ABANDONED_0 + 1) {
      return kAcquired;
    }
    return r == WAIT_TIMEOUT ? kTimedOut : kFailed;
  }
  void UnlockQueue() override { ReleaseMutex(mutex_); }
  void NotifyReader() override { SetEvent(notify_); }
  void SleepMs(uint32_t ms) override {
    Count();
    Sleep(ms);
  }
  uint32_t CurrentThreadId() override { return GetCurrentThreadId(); }

 private:
  void Count() { waits_->fetch_add(1, std::memory_order_relaxed); }

  Wait WaitOn(HANDLE h, uint32_t timeout_ms) {
    if (h == nullptr) return kFailed;
    Count();
    switch (WaitForSingleObject(h, timeout_ms)) {
      case WAIT_OBJECT_0:
      // The owner died holding the mutex: it is ours now, and the lists it
      // may have left half changed are checked on every use.
      case WAIT_ABANDONED:
        return kAcquired;
      case WAIT_TIMEOUT:
        return kTimedOut;
      default:
        return kFailed;
    }
  }

  HANDLE mutex_;
  HANDLE notify_;
  HANDLE turn_;
  std::atomic<uint32_t>* waits_;
};

}  // namespace

XQueueNames MakeXQueueNames(const char* name) {
  XQueueNames n;
  n.queue = "kv_31526_queue_";
  n.queue += name != nullptr ? name : "";
  if (n.queue.size() > kMaxQueueName) n.queue.resize(kMaxQueueName);
  n.region = n.queue;
  for (size_t i = 0; i < n.region.size(); ++i) {
    char& c = n.region[i];
    if (IsDBCSLeadByte(BYTE(c)) && i + 1 < n.region.size()) {
      ++i;  // the trail byte is part of the character, not a letter
    } else if (c >= 'a' && c <= 'z') {
      c = char(c - 'a' + 'A');
    } else if (c == '\\') {
      c = '_';
    }
  }
  n.mutex = "kv_31526_mutex_write_" + n.queue;
  n.notify = "kv_31526_server_notify_" + n.queue;
  n.write_turn = "kv_31526_client_write_event_" + n.queue;
  return n;
}

CXQueue::CXQueue() = default;

CXQueue::~CXQueue() { Close(); }

void CXQueue::CloseHandles() {
  for (void** h : {&mutex_, &notify_, &write_turn_}) {
    if (*h != nullptr) {
      CloseHandle(*h);
      *h = nullptr;
    }
  }
}

int CXQueue::Create(const char* name) {
  if (file_.IsMapped()) return kXqCreateFailed;
  if (name == nullptr || *name == '\0') return kXqBadArgument;
  const XQueueNames names = MakeXQueueNames(name);
  creator_ = true;
  if (!file_.Create(names.region.c_str(), xqueue::kRegionSize)) {
    Close();
    return kXqCreateFailed;
  }
  CloseHandles();
  mutex_ = CreateMutexA(nullptr, FALSE, names.mutex.c_str());
  notify_ = CreateEventA(nullptr, FALSE, FALSE, names.notify.c_str());
  write_turn_ = CreateEventA(nullptr, FALSE, TRUE, names.write_turn.c_str());
  if (mutex_ == nullptr || notify_ == nullptr || write_turn_ == nullptr) {
    CloseHandles();
    file_.Close();
    return kXqBrokenChain;
  }
  if (!engine_.Format(file_.Data(), file_.Size(), GetCurrentThreadId())) {
    CloseHandles();
    file_.Close();
    return kXqCreateFailed;
  }
  name_ = names.queue;
  return kXqOk;
}

int CXQueue::Open(const char* name) {
  if (file_.IsMapped()) return kXqOpenFailed;
  if (name == nullptr || *name == '\0') return kXqBadArgument;
  const XQueueNames names = MakeXQueueNames(name);
  if (!file_.Open(names.region.c_str())) return kXqOpenFailed;
  CloseHandles();
  mutex_ = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, names.mutex.c_str());
  notify_ = OpenEventA(EVENT_ALL_ACCESS, FALSE, names.notify.c_str());
  write_turn_ = OpenEventA(EVENT_ALL_ACCESS, FALSE, names.write_turn.c_str());
  // A header whose geometry does not fit the mapping is as broken as a chain.
  if (mutex_ == nullptr || notify_ == nullptr || write_turn_ == nullptr ||
      !engine_.Attach(file_.Data(), file_.Size())) {
    CloseHandles();
    file_.Close();
    return kXqBrokenChain;
  }
  creator_ = false;
  engine_.AddOpener();
  name_ = names.queue;
  return kXqOk;
}

int CXQueue::Close() {
  if (file_.IsMapped()) {
    engine_.DropAttach(creator_);
    engine_.Detach();
    file_.Close();
  }
  CloseHandles();
  name_.clear();
  return kXqOk;
}

int CXQueue::Write(const void* data, uint32_t length) {
  KernelSync sync(mutex_, notify_, write_turn_, &sync_waits_);
  return engine_.Write(data, length, sync);
}

int CXQueue::Read(void* buffer, uint32_t* length, int32_t* message_id, uint32_t* thread_id,
                  uint32_t timeout_ms) {
  KernelSync sync(mutex_, notify_, write_turn_, &sync_waits_);
  return engine_.Read(buffer, length, message_id, thread_id, timeout_ms, sync);
}

int CXQueue::ReadBatch(void* buffer, uint32_t capacity, uint32_t* offsets, uint32_t* lengths,
                       int max_messages, int* count, uint32_t timeout_ms) {
  KernelSync sync(mutex_, notify_, write_turn_, &sync_waits_);
  return engine_.ReadBatch(buffer, capacity, offsets, lengths, max_messages, count, timeout_ms,
                           sync);
}

uint32_t CXQueue::GetMessageLength() const { return engine_.FirstMessageLength(); }

bool CXQueue::HasRoomFor(uint32_t length) const { return engine_.HasRoomFor(length); }
