// One-direction message queue between two processes in named shared memory:
// a region of 1024 blocks (XQueueEngine) guarded by a named mutex, with a
// write-turn event that admits one writer at a time and a notify event set
// after each stored message. Windows only.
// Thread safety: one thread at a time per object; several processes may
// write to one queue at once, and one process reads it.
// Ownership: the object owns its mapping and kernel object handles and
// releases them in Close and in its destructor.
//
// Kernel objects of a queue named N, with Q = "kv_31526_queue_" + N (Q cut to
// 519 bytes):
//   region             Q upper-cased, each backslash made an underscore
//   queue mutex        "kv_31526_mutex_write_" + Q
//   notify event       "kv_31526_server_notify_" + Q          (auto-reset, clear)
//   write-turn event   "kv_31526_client_write_event_" + Q     (auto-reset, set)
// Region layout and result codes: xqueue_engine.h.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "netcore/shm/mem_map_file.h"
#include "netcore/shm/xqueue_engine.h"

struct XQueueNames {
  std::string queue;  // Q
  std::string region;
  std::string mutex;
  std::string notify;
  std::string write_turn;
};

// The kernel object names of the queue `name`. Upper-casing skips the
// second byte of a double-byte character of the ANSI code page.
XQueueNames MakeXQueueNames(const char* name);

class CXQueue {
 public:
  CXQueue();
  virtual ~CXQueue();
  CXQueue(const CXQueue&) = delete;
  CXQueue& operator=(const CXQueue&) = delete;

  // Creates the region and its kernel objects and lays out an empty queue.
  int Create(const char* name);
  // Maps the existing region and opens its kernel objects.
  int Open(const char* name);
  // Detaches (drops this role's attach count) and releases everything.
  int Close();
  // Appends one message of `length` bytes.
  int Write(const void* data, uint32_t length);
  // Reads and removes the first message; see XQueueEngine::Read.
  int Read(void* buffer, uint32_t* length, int32_t* message_id, uint32_t* thread_id,
           uint32_t timeout_ms);
  // Reads and removes up to `max_messages` messages under one take of the
  // mutex; see XQueueEngine::ReadBatch.
  int ReadBatch(void* buffer, uint32_t capacity, uint32_t* offsets, uint32_t* lengths,
                int max_messages, int* count, uint32_t timeout_ms);
  // Length of the first message, 0 when there is none (or it is not whole).
  uint32_t GetMessageLength() const;
  // Whether a message of `length` bytes would find its free blocks now; see
  // XQueueEngine::HasRoomFor.
  bool HasRoomFor(uint32_t length) const;
  // Waits and sleeps done through this queue's kernel objects (write turn,
  // mutex, the free-block polls), counted for tests of how often a user of
  // the queue wakes.
  uint32_t SyncWaits() const { return sync_waits_.load(std::memory_order_relaxed); }
  // The notify event (a HANDLE; null while closed), which writers set after
  // each stored message, for a reader that waits on it beside its own
  // events. Owned by the queue and valid until Close.
  void* NotifyEvent() const { return notify_; }

 private:
  void CloseHandles();

  CMemMapFile file_;
  void* mutex_ = nullptr;
  void* notify_ = nullptr;
  void* write_turn_ = nullptr;
  bool creator_ = false;
  std::string name_;
  XQueueEngine engine_;  // holds the sizes read from the header
  std::atomic<uint32_t> sync_waits_{0};
};
