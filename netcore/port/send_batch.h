// Frames that one thread sends while it hands on a batch of messages (the
// channel worker delivering what a game wrote) are held on that thread and
// go to each connection in one write when the batch ends, in the order they
// were sent. Under Wine every socket write is a wineserver round trip or
// two; a batch of a game's answers then costs one write, not one each.
// Other threads' sends are not held and go out at once, as before.
//
// The connection manager owns a SendBatchTarget and closes it before it
// goes: a batch that ends after that drops what it held for the manager, as
// a send to a manager that has shut down is dropped.
// Thread safety: a SendBatch lives on one thread's stack and holds only
// that thread's sends; SendBatchTarget from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace q_platform {

// What held bytes are finally written through.
class SendOutlet {
 public:
  // Writes `size` bytes to connection `key` now (never holding them).
  virtual void SendHeld(uint64_t key, const char* data, size_t size) = 0;

 protected:
  ~SendOutlet() = default;
};

class SendBatchTarget {
 public:
  explicit SendBatchTarget(SendOutlet* outlet) : outlet_(outlet) {}
  SendBatchTarget(const SendBatchTarget&) = delete;
  SendBatchTarget& operator=(const SendBatchTarget&) = delete;

  // Waits for a write through the outlet in progress; later ones are dropped.
  void Close();
  // Writes through the outlet unless closed.
  void Write(uint64_t key, const char* data, size_t size);

 private:
  std::mutex mutex_;
  SendOutlet* outlet_;  // null once closed
};

class SendBatch {
 public:
  // Bytes held before the batch writes them out without waiting for its end.
  static constexpr size_t kMaxHeldBytes = 64 * 1024;

  // Opens a batch on this thread, unless one is open already (then this one
  // does nothing and the outer one writes).
  SendBatch();
  // Writes out what the batch holds.
  ~SendBatch();
  SendBatch(const SendBatch&) = delete;
  SendBatch& operator=(const SendBatch&) = delete;

  // True when a batch is open on this thread.
  static bool IsOpen();
  // True when a batch is open on this thread and now holds the bytes for
  // `target`'s connection `key`; false when the caller must send them itself.
  static bool Hold(const std::shared_ptr<SendBatchTarget>& target, uint64_t key, const char* data,
                   size_t size);

 private:
  struct Held {
    std::shared_ptr<SendBatchTarget> target;
    uint64_t key;
    std::string bytes;
  };

  void WriteOut();

  bool open_ = false;  // this object opened the thread's batch
  std::vector<Held> held_;
  size_t held_bytes_ = 0;
};

}  // namespace q_platform
