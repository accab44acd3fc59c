#include "netcore/shm/xqueue_engine.h"

#include <algorithm>
#include <cstring>
#include <limits>

using namespace xqueue;

namespace {

// Every int32 of the region is shared with another process: loads and stores
// go through atomics so a poll sees the other side's change and the payload
// is published before the link that makes it reachable.
inline int32_t AtomicLoad(const unsigned char* p) {
  return __atomic_load_n(reinterpret_cast<const int32_t*>(p), __ATOMIC_ACQUIRE);
}

inline void AtomicStore(unsigned char* p, int32_t v) {
  __atomic_store_n(reinterpret_cast<int32_t*>(p), v, __ATOMIC_RELEASE);
}

// The header's counters are written by the other process too, so any int32
// may be found there: arithmetic on them is done in 64 bits or unsigned.

// A block count stays within 0 .. the block count, whatever was found.
inline int32_t ClampCount(int64_t value, int32_t block_count) {
  return int32_t(std::min<int64_t>(std::max<int64_t>(value, 0), block_count));
}

// The message statistics wrap around at 2^32, like the counters they are.
inline int32_t WrapIncrement(int32_t value) { return int32_t(uint32_t(value) + 1u); }

// Message ids are positive; the one after 0x7fffffff, or after a value that
// is not a proper id, is 1 (0 is what Read reports for "no message").
inline int32_t NextMessageId(int32_t id) {
  return id >= 1 && id < std::numeric_limits<int32_t>::max() ? id + 1 : 1;
}

// The queue mutex a reader takes to free what it has copied: kXqOk once had,
// otherwise the code the read reports.
int LockToFree(XQueueSync& sync, uint32_t timeout_ms) {
  switch (sync.LockQueue(timeout_ms)) {
    case XQueueSync::kAcquired:
      return kXqOk;
    case XQueueSync::kTimedOut:
      return kXqTimeout;
    case XQueueSync::kFailed:
      break;
  }
  return kXqBrokenChain;
}

}  // namespace

bool XQueueEngine::Format(void* region, size_t size, uint32_t creator_thread) {
  if (region == nullptr || size < kRegionSize || reinterpret_cast<uintptr_t>(region) % 4 != 0) {
    return false;
  }
  base_ = static_cast<unsigned char*>(region);
  geo_.block_size = kBlockSize;
  geo_.payload = kPayloadSize;
  geo_.block_count = kBlockCount;
  geo_.pages = kPages;
  taken_.assign(size_t(kBlockCount), 0);
  chain_.assign(size_t(kBlockCount), 0);
  marks_.assign(size_t(kBlockCount), 0);
  mark_epoch_ = 0;

  std::memset(base_, 0, size_t(kBlockSize));
  StoreHeader(kHdrBlockSize, kBlockSize);
  StoreHeader(kHdrPayload, kPayloadSize);
  StoreHeader(kHdrPages, kPages);
  StoreHeader(kHdrBlockCount, kBlockCount);
  StoreHeader(kHdrFreeCount, kBlockCount);
  StoreHeader(kHdrUsedCount, 0);
  StoreHeader(kHdrOpeners, 0);
  StoreHeader(kHdrCreators, 1);
  StoreHeader(kHdrCreatorThread, int32_t(creator_thread));
  StoreHeader(kHdrNextMessageId, 1);
  StoreHeader(kHdrFreeHead, 0);
  StoreHeader(kHdrFreeTail, kBlockCount - 1);
  StoreHeader(kHdrUsedHead, -1);
  StoreHeader(kHdrUsedTail, -1);
  for (int32_t i = 0; i < kBlockCount; ++i) {
    StoreBlock(i, kBlkIndex, i);
    StoreBlock(i, kBlkPrev, i - 1);
    StoreBlock(i, kBlkNext, i + 1 < kBlockCount ? i + 1 : -1);
    StoreBlock(i, kBlkThread, 0);
    StoreBlock(i, kBlkLength, 0);
    StoreBlock(i, kBlkMessageId, 0);
  }
  return true;
}

bool XQueueEngine::Attach(void* region, size_t size) {
  if (region == nullptr || size < size_t(kBlockSize) ||
      reinterpret_cast<uintptr_t>(region) % 4 != 0) {
    return false;
  }
  const unsigned char* p = static_cast<const unsigned char*>(region);
  Geometry g;
  g.block_size = AtomicLoad(p + kHdrBlockSize);
  g.payload = AtomicLoad(p + kHdrPayload);
  g.pages = AtomicLoad(p + kHdrPages);
  g.block_count = AtomicLoad(p + kHdrBlockCount);
  // The geometry decides every later offset: accept only one that is
  // self-consistent and lies inside the mapping.
  if (g.block_size <= kBlockHeaderSize || g.block_size % 4 != 0 ||
      g.payload != g.block_size - kBlockHeaderSize || g.block_count < 1 ||
      int64_t(g.pages) != int64_t(g.block_count) + 1 ||
      uint64_t(g.block_size) * uint64_t(g.pages) > uint64_t(size)) {
    return false;
  }
  base_ = static_cast<unsigned char*>(region);
  geo_ = g;
  taken_.assign(size_t(g.block_count), 0);
  chain_.assign(size_t(g.block_count), 0);
  marks_.assign(size_t(g.block_count), 0);
  mark_epoch_ = 0;
  return true;
}

void XQueueEngine::Detach() {
  base_ = nullptr;
  geo_ = Geometry();
  taken_.clear();
  chain_.clear();
  marks_.clear();
}

void XQueueEngine::AddOpener() {
  if (!attached()) return;
  __atomic_fetch_add(reinterpret_cast<int32_t*>(base_ + kHdrOpeners), 1, __ATOMIC_ACQ_REL);
}

void XQueueEngine::DropAttach(bool creator) {
  if (!attached()) return;
  int32_t* p = reinterpret_cast<int32_t*>(base_ + (creator ? kHdrCreators : kHdrOpeners));
  int32_t seen = __atomic_load_n(p, __ATOMIC_ACQUIRE);
  // The other side may touch its own count at the same moment; never below 0.
  while (seen > 0 && !__atomic_compare_exchange_n(p, &seen, seen - 1, false, __ATOMIC_ACQ_REL,
                                                  __ATOMIC_ACQUIRE)) {
  }
}

int32_t XQueueEngine::Creators() const { return attached() ? LoadHeader(kHdrCreators) : 0; }

int32_t XQueueEngine::LoadHeader(uint32_t offset) const { return AtomicLoad(base_ + offset); }

void XQueueEngine::StoreHeader(uint32_t offset, int32_t value) {
  AtomicStore(base_ + offset, value);
}

unsigned char* XQueueEngine::BlockAt(int32_t index) const {
  return base_ + size_t(geo_.block_size) * size_t(index + 1);
}

int32_t XQueueEngine::LoadBlock(int32_t index, uint32_t offset) const {
  return AtomicLoad(BlockAt(index) + offset);
}

void XQueueEngine::StoreBlock(int32_t index, uint32_t offset, int32_t value) {
  AtomicStore(BlockAt(index) + offset, value);
}

bool XQueueEngine::ValidIndex(int32_t index) const {
  return index >= 0 && index < geo_.block_count;
}

bool XQueueEngine::ValidBlock(int32_t index) const {
  return ValidIndex(index) && LoadBlock(index, kBlkIndex) == index;
}

int32_t XQueueEngine::BlocksNeeded(uint32_t length) const {
  // Write has refused lengths from kMaxWriteLength up, so this cannot wrap.
  const uint32_t payload = uint32_t(geo_.payload);
  return int32_t(std::max<uint32_t>(1, (length + payload - 1) / payload));
}

void XQueueEngine::NewMarks() const {
  if (++mark_epoch_ == 0) {
    std::fill(marks_.begin(), marks_.end(), 0);
    mark_epoch_ = 1;
  }
}

XQueueEngine::Chain XQueueEngine::WalkChain(int32_t head, unsigned char* out, uint32_t room) const {
  Chain c;
  NewMarks();
  int32_t index = head;
  // Each link is loaded once, into `index`, and checked before it is used.
  // A block met twice would be copied or freed twice: the chain is broken.
  for (int32_t steps = 0; steps < geo_.block_count; ++steps) {
    if (!ValidBlock(index) || marks_[size_t(index)] == mark_epoch_) {
      c.code = kXqBrokenChain;
      return c;
    }
    marks_[size_t(index)] = mark_epoch_;
    chain_[size_t(steps)] = index;
    uint32_t raw = uint32_t(LoadBlock(index, kBlkLength));
    uint32_t n = raw & kLengthMask;
    if (n > uint32_t(geo_.payload)) {
      c.code = kXqBrokenChain;
      return c;
    }
    if (out != nullptr && room > 0) {
      const uint32_t take = std::min(n, room);
      std::memcpy(out + c.length, BlockAt(index) + kBlockHeaderSize, take);
      room -= take;
    }
    c.length += n;
    c.blocks += 1;
    const int32_t next = LoadBlock(index, kBlkNext);
    if ((raw & kContinues) == 0) {
      c.complete = true;
      c.after = next;
      return c;
    }
    index = next;
    if (index == -1) return c;  // incomplete: being written, or cut off
  }
  c.code = kXqBrokenChain;
  return c;
}

uint32_t XQueueEngine::FirstMessageLength() const {
  if (!attached()) return 0;
  int32_t head = LoadHeader(kHdrUsedHead);
  if (head == -1) return 0;
  Chain c = WalkChain(head);
  return c.code == kXqOk && c.complete ? c.length : 0;
}

bool XQueueEngine::HasRoomFor(uint32_t length) const {
  if (!attached() || length == 0 || length >= kMaxWriteLength) return true;
  const int32_t needed = BlocksNeeded(length);
  return needed > geo_.block_count || LoadHeader(kHdrFreeCount) >= needed;
}

int XQueueEngine::Write(const void* data, uint32_t length, XQueueSync& sync) {
  if (data == nullptr || length == 0 || length >= kMaxWriteLength) return kXqBadArgument;
  if (!attached()) return kXqNotOpen;
  if (Creators() == 0) return kXqNoCreator;
  const int32_t needed = BlocksNeeded(length);
  // More blocks than the queue has can never be had: fail now rather than
  // after the free-block wait.
  if (needed > geo_.block_count) return kXqBadArgument;

  // The usual case, room in the queue: the turn and the mutex in one wait
  // (under Wine each kernel wait is a round trip to the server), bounded as
  // the mutex wait is; it holds neither when it fails. Otherwise, or when
  // that fails, the long way: the turn alone (for the rest of its bound)
  // while the free blocks are waited for, then the mutex.
  bool have_turn = false;
  bool locked = false;
  uint32_t turn_timeout = kWriteTurnTimeoutMs;
  if (LoadHeader(kHdrFreeCount) >= needed) {
    if (sync.WaitWriteTurnAndLock(kWriteMutexTimeoutMs) == XQueueSync::kAcquired) {
      have_turn = locked = true;
      // The count is the other side's word: look again under the mutex.
      if (LoadHeader(kHdrFreeCount) < needed) {
        sync.UnlockQueue();
        locked = false;
      }
    } else {
      turn_timeout -= kWriteMutexTimeoutMs;
    }
  }
  if (!have_turn) {
    switch (sync.WaitWriteTurn(turn_timeout)) {
      case XQueueSync::kAcquired:
        break;
      case XQueueSync::kTimedOut:
        return kXqTimeout;  // not ours to give back
      case XQueueSync::kFailed:
        return kXqBrokenChain;
    }
  }

  int code = kXqOk;
  if (!locked) {
    for (int polls = 0; LoadHeader(kHdrFreeCount) < needed; ++polls) {
      if (polls == kFreeBlockPolls) {
        code = kXqTimeout;
        break;
      }
      sync.SleepMs(1);
    }
    if (code == kXqOk) {
      switch (sync.LockQueue(kWriteMutexTimeoutMs)) {
        case XQueueSync::kAcquired:
          locked = true;
          break;
        case XQueueSync::kTimedOut:
          code = kXqTimeout;
          break;
        case XQueueSync::kFailed:
          code = kXqBrokenChain;
          break;
      }
    }
  }
  if (locked) {
    code = Store(static_cast<const unsigned char*>(data), length, needed, sync.CurrentThreadId());
    sync.UnlockQueue();
    if (code == kXqOk) sync.NotifyReader();
  }
  sync.GiveWriteTurn();
  return code;
}

int XQueueEngine::Store(const unsigned char* data, uint32_t length, int32_t needed,
                        uint32_t thread) {
  const int32_t count = geo_.block_count;
  const int32_t used_tail = LoadHeader(kHdrUsedTail);
  if (used_tail != -1 && !ValidBlock(used_tail)) return kXqBrokenChain;

  // Gather every block before touching anything, so a short or broken free
  // list leaves the queue as it was instead of half a message in the used list.
  NewMarks();
  int32_t index = LoadHeader(kHdrFreeHead);
  for (int32_t k = 0; k < needed; ++k) {
    if (index == -1) return kXqNoFreeBlock;
    if (!ValidBlock(index) || marks_[size_t(index)] == mark_epoch_) return kXqBrokenChain;
    marks_[size_t(index)] = mark_epoch_;
    taken_[size_t(k)] = index;
    index = LoadBlock(index, kBlkNext);
  }
  const int32_t new_free_head = index;
  if (new_free_head != -1 && !ValidBlock(new_free_head)) return kXqBrokenChain;
  // The used tail among the free blocks means the lists overlap.
  if (used_tail != -1 && marks_[size_t(used_tail)] == mark_epoch_) return kXqBrokenChain;

  const int32_t message_id = LoadHeader(kHdrNextMessageId);
  StoreHeader(kHdrFreeHead, new_free_head);
  if (new_free_head == -1) {
    StoreHeader(kHdrFreeTail, -1);
  } else {
    StoreBlock(new_free_head, kBlkPrev, -1);
  }
  StoreHeader(kHdrFreeCount, ClampCount(int64_t(LoadHeader(kHdrFreeCount)) - needed, count));

  int32_t prev = used_tail;
  uint32_t remaining = length;
  for (int32_t k = 0; k < needed; ++k) {
    const int32_t block = taken_[size_t(k)];
    const uint32_t n = std::min(remaining, uint32_t(geo_.payload));
    std::memcpy(BlockAt(block) + kBlockHeaderSize, data, n);
    data += n;
    remaining -= n;
    StoreBlock(block, kBlkThread, int32_t(thread));
    StoreBlock(block, kBlkLength, int32_t(k + 1 < needed ? (n | kContinues) : n));
    StoreBlock(block, kBlkMessageId, message_id);
    StoreBlock(block, kBlkPrev, prev);
    StoreBlock(block, kBlkNext, -1);
    // Linking last publishes the filled block to the reader.
    if (prev == -1) {
      StoreHeader(kHdrUsedHead, block);
    } else {
      StoreBlock(prev, kBlkNext, block);
    }
    StoreHeader(kHdrUsedTail, block);
    StoreHeader(kHdrUsedCount, ClampCount(int64_t(LoadHeader(kHdrUsedCount)) + 1, count));
    prev = block;
  }

  StoreHeader(kHdrMessagesWritten, WrapIncrement(LoadHeader(kHdrMessagesWritten)));
  StoreHeader(kHdrLargestMessage, std::max(LoadHeader(kHdrLargestMessage), int32_t(length)));
  StoreHeader(kHdrNextMessageId, NextMessageId(message_id));
  return kXqOk;
}

int XQueueEngine::Read(void* buffer, uint32_t* length, int32_t* message_id, uint32_t* thread_id,
                       uint32_t mutex_timeout_ms, XQueueSync& sync) {
  if (length == nullptr || message_id == nullptr) return kXqBadArgument;
  if (!attached()) return kXqNotOpen;
  *message_id = 0;

  const int32_t head = LoadHeader(kHdrUsedHead);
  if (LoadHeader(kHdrFreeCount) == geo_.block_count || head == -1) {
    *length = 0;
    return kXqEmpty;
  }
  if (!ValidBlock(head)) {
    *length = 0;
    return kXqBrokenChain;
  }
  *message_id = LoadBlock(head, kBlkMessageId);
  if (thread_id != nullptr) *thread_id = uint32_t(LoadBlock(head, kBlkThread));

  if (buffer == nullptr) {
    const Chain chain = WalkChain(head);
    *length = chain.code == kXqOk && chain.complete ? chain.length : 0;
    return kXqOk;
  }

  // One pass checks the chain and copies as much as the buffer holds.
  unsigned char* out = static_cast<unsigned char*>(buffer);
  const uint32_t capacity = *length;
  const Chain chain = WalkChain(head, out, capacity);
  if (chain.code != kXqOk || !chain.complete) {
    *length = 0;
    return kXqBrokenChain;
  }
  if (chain.length > capacity) {  // buffer filled, message stays queued
    *length = chain.length;
    return kXqBufferTooSmall;
  }
  std::memset(out + chain.length, 0, std::min<uint32_t>(4, capacity - chain.length));
  *length = chain.length;

  const int locked = LockToFree(sync, mutex_timeout_ms);
  if (locked != kXqOk) return locked;  // on a time-out: copied, still queued
  const int code = FreeFirst(head, chain.length, sync.CurrentThreadId());
  sync.UnlockQueue();
  return code;
}

int XQueueEngine::ReadBatch(void* buffer, uint32_t capacity, uint32_t* offsets, uint32_t* lengths,
                            int max_messages, int* count, uint32_t mutex_timeout_ms,
                            XQueueSync& sync) {
  if (count == nullptr) return kXqBadArgument;
  *count = 0;
  if (buffer == nullptr || offsets == nullptr || lengths == nullptr || max_messages < 1) {
    return kXqBadArgument;
  }
  if (!attached()) return kXqNotOpen;
  if (LoadHeader(kHdrFreeCount) == geo_.block_count || LoadHeader(kHdrUsedHead) == -1) {
    return kXqEmpty;
  }

  // Copy without the mutex, as Read does, one message after the other: the
  // writer only appends, and only this reader removes. Each head is the link
  // the walk of the message before read, kept in heads_ for the frees.
  unsigned char* out = static_cast<unsigned char*>(buffer);
  uint32_t at = 0;
  int n = 0;
  int32_t head = LoadHeader(kHdrUsedHead);
  heads_.resize(size_t(max_messages));
  while (n < max_messages && head != -1) {
    const uint32_t room = capacity - at;
    const Chain chain = WalkChain(head, out + at, room);
    if (chain.code != kXqOk || !chain.complete) {
      if (n == 0) return chain.code != kXqOk ? kXqBrokenChain : kXqEmpty;
      break;
    }
    if (chain.length > room) {
      if (n == 0) {
        lengths[0] = chain.length;
        return kXqBufferTooSmall;
      }
      break;  // what was copied past the last whole message is overwritten later
    }
    std::memset(out + at + chain.length, 0, std::min<uint32_t>(4, room - chain.length));
    offsets[n] = at;
    lengths[n] = chain.length;
    heads_[size_t(n)] = head;
    ++n;
    // Next start: after the zeros, 4-byte aligned; 64-bit so that it cannot wrap.
    const uint64_t next = (uint64_t(at) + chain.length + 4 + 3) & ~uint64_t(3);
    if (next >= capacity) break;
    at = uint32_t(next);
    head = chain.after;
  }

  const int locked = LockToFree(sync, mutex_timeout_ms);
  if (locked != kXqOk) return locked;  // on a time-out: copied, still queued
  // FreeFirst checks each message again under the mutex: it must still be
  // first and unchanged. One that is not ends the batch there; it and the
  // rest stay queued, and the next call reports them.
  const uint32_t thread = sync.CurrentThreadId();
  int freed = 0;
  int code = kXqOk;
  while (freed < n) {
    code = FreeFirst(heads_[size_t(freed)], lengths[freed], thread);
    if (code != kXqOk) break;
    ++freed;
  }
  sync.UnlockQueue();
  *count = freed;
  return freed > 0 ? kXqOk : code;
}

int XQueueEngine::FreeFirst(int32_t head, uint32_t length, uint32_t thread) {
  const int32_t count = geo_.block_count;
  // Check again under the mutex, and free only the message that was copied.
  if (LoadHeader(kHdrUsedHead) != head) return kXqBrokenChain;
  const Chain chain = WalkChain(head);
  if (chain.code != kXqOk || !chain.complete || chain.length != length) {
    return kXqBrokenChain;
  }
  int32_t free_tail = LoadHeader(kHdrFreeTail);
  if (free_tail != -1 && !ValidBlock(free_tail)) return kXqBrokenChain;
  // The free tail inside the message means the lists overlap.
  if (free_tail != -1 && marks_[size_t(free_tail)] == mark_epoch_) return kXqBrokenChain;

  // The blocks are those the walk just checked (chain_), and the link that
  // follows the message is the one it read: nothing is loaded from the
  // region again to decide where to store, as the other side may change it
  // at any moment. Unlink the message from the used list first, then hand
  // its blocks to the free list one by one.
  const int32_t after = chain.after;
  StoreHeader(kHdrUsedHead, after);
  if (after == -1) {
    StoreHeader(kHdrUsedTail, -1);
  } else if (ValidBlock(after)) {
    StoreBlock(after, kBlkPrev, -1);
  }

  for (int32_t k = 0; k < chain.blocks; ++k) {
    const int32_t index = chain_[size_t(k)];
    StoreBlock(index, kBlkThread, int32_t(thread));
    StoreBlock(index, kBlkLength, 0);
    StoreBlock(index, kBlkPrev, free_tail);
    StoreBlock(index, kBlkNext, -1);
    if (free_tail == -1) {
      StoreHeader(kHdrFreeHead, index);
    } else {
      StoreBlock(free_tail, kBlkNext, index);
    }
    free_tail = index;
    StoreHeader(kHdrFreeTail, index);
    StoreHeader(kHdrFreeCount, ClampCount(int64_t(LoadHeader(kHdrFreeCount)) + 1, count));
    StoreHeader(kHdrUsedCount, ClampCount(int64_t(LoadHeader(kHdrUsedCount)) - 1, count));
  }
  StoreHeader(kHdrMessagesRead, WrapIncrement(LoadHeader(kHdrMessagesRead)));
  return kXqOk;
}
