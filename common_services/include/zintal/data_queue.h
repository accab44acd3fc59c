// CDataQueue: a growable ring buffer of variable-length packets (up to 65535
// bytes each, tagged with a 16-bit identifier), exported by Zintal.dll.
// Producers append, a consumer takes packets out oldest first; the whole
// queue can be captured into a snapshot (head and bytes) and restored.
// Thread safety: none inside; a caller that shares a queue between threads
// guards it itself (for example with CThreadLock).
// Ownership: the queue owns its storage; GetFileData lends it out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common_services/include/zintal/zintal_api.h"

// What this header declares has Zintal.dll's layout whatever packing the
// includer has set; the compiler and libstdc++ settings a caller shares:
// zintal_api.h.
#pragma pack(push, 8)

// Stored in front of every packet and handed to readers.
//   offset 0, 2 bytes: data size   offset 2, 2 bytes: identifier
struct tagDataHead {
  uint16_t data_size;
  uint16_t identifier;
};
static_assert(sizeof(tagDataHead) == 4, "tagDataHead is 4 bytes");
static_assert(offsetof(tagDataHead, identifier) == 2, "tagDataHead layout");

// Filled by CDataQueue::GetBurthenInfo.
struct tagBurthenInfo {
  uint32_t used_bytes;
  uint32_t capacity;
  uint32_t packet_count;
};
static_assert(sizeof(tagBurthenInfo) == 12, "tagBurthenInfo is 12 bytes");

// Snapshot head: 24 bytes, six counters in this order.
//   0 used bytes | 4 capacity | 8 write position | 12 wrap end
//   16 read position | 20 packet count
struct tagFileHead {
  uint32_t used_bytes;
  uint32_t capacity;
  uint32_t write_pos;
  uint32_t wrap_end;
  uint32_t read_pos;
  uint32_t packet_count;
};
static_assert(sizeof(tagFileHead) == 24, "tagFileHead is 24 bytes");
static_assert(offsetof(tagFileHead, capacity) == 4, "tagFileHead layout");
static_assert(offsetof(tagFileHead, write_pos) == 8, "tagFileHead layout");
static_assert(offsetof(tagFileHead, wrap_end) == 12, "tagFileHead layout");
static_assert(offsetof(tagFileHead, read_pos) == 16, "tagFileHead layout");
static_assert(offsetof(tagFileHead, packet_count) == 20, "tagFileHead layout");

// Packets lie contiguously in the storage as {tagDataHead, data} and never
// straddle its end. Flat (write position >= read position): the packets lie
// between the read and the write position. Wrapped (write < read): the older
// ones between the read position and the wrap end, the newer ones between 0
// and the write position; nothing lies between the wrap end and the capacity.
//
// Copying duplicates the storage (a deep copy): two queues never share one.
// A copy that cannot get the memory is an empty queue without storage.
class ZINTAL_API CDataQueue {
 public:
  CDataQueue();
  CDataQueue(const CDataQueue& other);
  CDataQueue& operator=(const CDataQueue& other);
  virtual ~CDataQueue();

  // Appends a packet; false when the storage cannot grow (queue unchanged)
  // or when data is null while size is above 0.
  bool InsertData(uint16_t identifier, const void* data, uint16_t size);
  // Takes the oldest packet: its head goes to `head`, its data to `dest` when
  // it fits in `dest_size` bytes; otherwise the packet is lost all the same
  // and head.data_size reads 0. False on an empty queue (nothing changes).
  bool GetData(tagDataHead& head, void* dest, uint16_t dest_size);
  // As GetData, but leaves the packet in the queue.
  bool PreGetData(tagDataHead& head, void* dest, uint16_t dest_size);
  // Empties the queue; with free_storage also gives the storage back.
  void RemoveData(bool free_storage);
  bool GetBurthenInfo(tagBurthenInfo& info);
  // Fills the snapshot head and returns the storage (not a copy); the caller
  // saves the head and the first head.wrap_end bytes of the storage.
  const void* GetFileData(tagFileHead& head);
  // Restores a snapshot. A head that does not fit its capacity, or whose
  // packet chain in `bytes` does not add up to its counters, is refused: the
  // queue is then empty without storage, as it is when memory runs out.
  // `bytes` may be null only for a head without packets, and may be this
  // queue's own storage (as GetFileData returned it): it is copied first.
  void SetFileData(tagFileHead head, const void* bytes);

 private:
  bool Grow(uint32_t need);

  uint32_t write_pos_;
  uint32_t wrap_end_;
  uint32_t read_pos_;
  uint32_t used_bytes_;
  uint32_t packet_count_;
  uint32_t capacity_;
  char* storage_;
};

ZINTAL_ABI_SIZE(CDataQueue, 32);

#pragma pack(pop)
