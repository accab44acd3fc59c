// Block and list engine of the shared-memory message queue: lays out, writes
// and reads the region that CXQueue maps, on plain memory, so that the same
// code runs natively under the sanitizers and, through XQueueSync, over the
// named mutex and events of the Windows binding.
// Thread safety: one XQueueEngine per attached view; Write may run in several
// processes at once (XQueueSync serialises them), Read in one reader only.
// Ownership: the engine neither owns the region nor the XQueueSync it is given.
//
// The region is written by another program as well, which need not take the
// queue mutex, so every value read from it is untrusted and may change
// between two reads: each index the engine loads, stores through or follows
// is read once into a local, checked there and used only from there (a walk
// records the blocks it checked, and later steps use that record, never the
// links again). A chain walk is bounded by the block count and visits no
// block twice, and a broken chain yields kXqBrokenChain instead of a read or
// write outside the region.
//
// Region layout, every field a little-endian int32, list links are block
// indexes (-1 for none):
//
//   header page (one block size, 1024 bytes)
//   | off | field                        | after Format     |
//   |-----|------------------------------|------------------|
//   |   0 | block size                   | 1024             |
//   |   4 | payload bytes per block      | 1000             |
//   |   8 | pages (header + blocks)      | 1025             |
//   |  12 | block count                  | 1024             |
//   |  16 | free block count             | 1024             |
//   |  20 | used block count             | 0                |
//   |  24 | openers attached             | 0                |
//   |  28 | creators attached            | 1                |
//   |  32 | creating thread id           | creator's thread |
//   |  36 | reserved                     | 0                |
//   |  40 | messages written             | 0                |
//   |  44 | messages read                | 0                |
//   |  48 | largest message written      | 0                |
//   |  52 | next message id              | 1                |
//   |  56 | free list head               | 0                |
//   |  60 | free list tail               | 1023             |
//   |  64 | used list head               | -1               |
//   |  68 | used list tail               | -1               |
//   | 72- | reserved                     | 0                |
//
//   block i at 1024 + i * 1024
//   | off | field                                                    |
//   |-----|----------------------------------------------------------|
//   |   0 | index (equals i)                                         |
//   |   4 | previous block in its list                               |
//   |   8 | next block in its list                                   |
//   |  12 | thread id that last took the block from a list           |
//   |  16 | length: bits 0-30 payload bytes, bit 31 = continues      |
//   |  20 | message id                                               |
//   |  24 | payload (1000 bytes)                                     |
//
// A message is a chain of blocks in the used list, every block but the last
// with bit 31 set, all with the same message id.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the queue region is little-endian and read in place");

// Result codes of the queue operations; the numbers cross the process boundary.
enum XQueueCode : int {
  kXqOk = 0,
  kXqNotOpen = 1,      // no region, or no write-turn event
  kXqBrokenChain = 3,  // kernel object missing or not created, broken chain
  kXqNoFreeBlock = 4,  // free list ran dry while storing
  kXqEmpty = 5,
  kXqBufferTooSmall = 6,
  kXqTimeout = 7,        // write turn, free blocks or mutex
  kXqBadArgument = 8,    // null or empty data or name, message too long
  kXqOpenFailed = 9,     // already mapped, or no region of that name
  kXqCreateFailed = 10,  // already mapped, or region not created
  kXqNoCreator = 11,     // write with no creator attached
};

namespace xqueue {

constexpr int32_t kBlockSize = 1024;
constexpr int32_t kBlockHeaderSize = 24;
constexpr int32_t kPayloadSize = kBlockSize - kBlockHeaderSize;  // 1000
constexpr int32_t kBlockCount = 1024;
constexpr int32_t kPages = kBlockCount + 1;
constexpr uint32_t kRegionSize = uint32_t(kPages) * kBlockSize;  // 1,049,600
// Write refuses a message of this length or more.
constexpr uint32_t kMaxWriteLength = 1023u * 1024u;  // 1,047,552
constexpr uint32_t kContinues = 0x80000000u;
constexpr uint32_t kLengthMask = 0x7fffffffu;

// Waits of Write (the write turn bound is ours: a peer that dies holding the
// turn never gives it back, so an unbounded wait would hang every writer).
constexpr uint32_t kWriteTurnTimeoutMs = 1000;
constexpr uint32_t kWriteMutexTimeoutMs = 100;
constexpr int kFreeBlockPolls = 100;  // 1 ms apart

// Byte offsets of the header fields.
enum HeaderField : uint32_t {
  kHdrBlockSize = 0,
  kHdrPayload = 4,
  kHdrPages = 8,
  kHdrBlockCount = 12,
  kHdrFreeCount = 16,
  kHdrUsedCount = 20,
  kHdrOpeners = 24,
  kHdrCreators = 28,
  kHdrCreatorThread = 32,
  kHdrMessagesWritten = 40,
  kHdrMessagesRead = 44,
  kHdrLargestMessage = 48,
  kHdrNextMessageId = 52,
  kHdrFreeHead = 56,
  kHdrFreeTail = 60,
  kHdrUsedHead = 64,
  kHdrUsedTail = 68,
};

// Byte offsets of the block header fields.
enum BlockField : uint32_t {
  kBlkIndex = 0,
  kBlkPrev = 4,
  kBlkNext = 8,
  kBlkThread = 12,
  kBlkLength = 16,
  kBlkMessageId = 20,
};

}  // namespace xqueue

// The cross-process waits and signals around the engine's list work. The
// Windows binding implements it with the named write-turn event, queue mutex
// and notify event; tests implement it in process.
class XQueueSync {
 public:
  enum Wait { kAcquired, kTimedOut, kFailed };

  // Takes the one-writer-at-a-time turn.
  virtual Wait WaitWriteTurn(uint32_t timeout_ms) = 0;
  // Hands the turn back; called only by a writer whose WaitWriteTurn succeeded.
  virtual void GiveWriteTurn() = 0;
  // Takes the queue mutex; a mutex left behind by a dead owner counts as
  // acquired (the lists are checked on every use anyway).
  virtual Wait LockQueue(uint32_t timeout_ms) = 0;
  virtual void UnlockQueue() = 0;
  // Takes the turn and the queue mutex together, or neither (kTimedOut and
  // kFailed hold nothing): where a binding can, one kernel wait instead of
  // two. This default takes them one after the other.
  virtual Wait WaitWriteTurnAndLock(uint32_t timeout_ms) {
    const Wait turn = WaitWriteTurn(timeout_ms);
    if (turn != kAcquired) return turn;
    const Wait lock = LockQueue(timeout_ms);
    if (lock != kAcquired) GiveWriteTurn();
    return lock;
  }
  // Tells the reader a message was stored.
  virtual void NotifyReader() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
  virtual uint32_t CurrentThreadId() = 0;

 protected:
  ~XQueueSync() = default;
};

class XQueueEngine {
 public:
  struct Geometry {
    int32_t block_size = 0;
    int32_t payload = 0;
    int32_t block_count = 0;
    int32_t pages = 0;
  };

  // Creator: zeroes the header page and lays out a fresh queue (every block
  // on the free list). `size` must hold xqueue::kRegionSize; the region must
  // be 4-byte aligned.
  bool Format(void* region, size_t size, uint32_t creator_thread);
  // Opener: adopts the geometry in the header after checking that it fits
  // `size` and is self-consistent. Counts nothing; see AddOpener.
  bool Attach(void* region, size_t size);
  void Detach();
  bool attached() const { return base_ != nullptr; }
  const Geometry& geometry() const { return geo_; }

  void AddOpener();
  // Drops this side's attach count (creators or openers) unless it is 0.
  void DropAttach(bool creator);
  int32_t Creators() const;

  // Appends one message; the full protocol (argument checks, write turn,
  // free-block wait, mutex, store, notify). Returns an XQueueCode.
  int Write(const void* data, uint32_t length, XQueueSync& sync);

  // Reads the first message into `buffer` (capacity *length) and, once the
  // mutex is had within `mutex_timeout_ms`, removes it. A null buffer only
  // reports the first message's length. On kXqBufferTooSmall the buffer is
  // filled, *length is the message's length and the message stays queued.
  // After a full read up to 4 zero bytes follow the data, as room allows.
  int Read(void* buffer, uint32_t* length, int32_t* message_id, uint32_t* thread_id,
           uint32_t mutex_timeout_ms, XQueueSync& sync);

  // Reads up to `max_messages` whole messages from the front and removes them
  // under one take of the mutex (Read takes it once per message; across
  // processes each take and release is a kernel call). Each message is
  // copied into `buffer` (capacity `capacity`) at *offsets[i], *lengths[i]
  // long, followed by up to 4 zero bytes as Read leaves them; the next one
  // starts after those, 4-byte aligned. Stops before a message that does not
  // fit what is left, an incomplete or broken one, or an empty queue; those
  // are left for the next call. *count is the number removed.
  // Returns kXqOk with *count >= 1; kXqEmpty; kXqBufferTooSmall (the first
  // message alone does not fit: *lengths is its length, nothing removed);
  // kXqBrokenChain for a broken first message; kXqTimeout when the mutex
  // was not had (copied, all still queued).
  int ReadBatch(void* buffer, uint32_t capacity, uint32_t* offsets, uint32_t* lengths,
                int max_messages, int* count, uint32_t mutex_timeout_ms, XQueueSync& sync);

  // Length of the first message; 0 when the queue is empty or its chain is
  // incomplete or broken.
  uint32_t FirstMessageLength() const;

  // Whether the free blocks a message of `length` bytes needs are there now,
  // as the header's free count says (a hint taken without the mutex: Write
  // checks again). True for a queue not attached and for a length Write
  // refuses, so that Write reports those.
  bool HasRoomFor(uint32_t length) const;

  // Field access for the binding's tests and the engine's own use.
  int32_t LoadHeader(uint32_t offset) const;
  int32_t LoadBlock(int32_t index, uint32_t offset) const;

 private:
  struct Chain {
    int code = 0;           // kXqOk or kXqBrokenChain
    uint32_t length = 0;    // total payload bytes
    int32_t blocks = 0;     // the first `blocks` entries of chain_ name them
    bool complete = false;  // false when it ends with bit 31 still set
    int32_t after = -1;     // the last block's next link as read (complete only)
  };

  void StoreHeader(uint32_t offset, int32_t value);
  void StoreBlock(int32_t index, uint32_t offset, int32_t value);
  unsigned char* BlockAt(int32_t index) const;
  bool ValidIndex(int32_t index) const;
  // Index in range and the block's own index field agrees.
  bool ValidBlock(int32_t index) const;
  // Checks the chain from `head` and records its blocks in chain_; with
  // `out`, also copies its payload up to `room` bytes on the way.
  Chain WalkChain(int32_t head, unsigned char* out = nullptr, uint32_t room = 0) const;
  // A fresh generation of marks_: no block is marked afterwards.
  void NewMarks() const;
  int Store(const unsigned char* data, uint32_t length, int32_t needed, uint32_t thread);
  int FreeFirst(int32_t head, uint32_t length, uint32_t thread);
  int32_t BlocksNeeded(uint32_t length) const;

  unsigned char* base_ = nullptr;
  Geometry geo_;
  // Scratch: the blocks Store takes and the blocks WalkChain checked, and
  // marks to catch a list that visits a block twice (which would hand out
  // or free one block twice). Mutable: the const length query walks too.
  std::vector<int32_t> taken_;
  std::vector<int32_t> heads_;  // ReadBatch: the first block of each message copied
  mutable std::vector<int32_t> chain_;
  mutable std::vector<uint32_t> marks_;
  mutable uint32_t mark_epoch_ = 0;
};
