// CDataQueue: the packet ring buffer of Zintal.dll (see its header).
#include "common_services/include/zintal/data_queue.h"

#include <algorithm>
#include <cstring>
#include <new>

// One vtable pointer, six counters, the storage pointer, in that order.
static_assert(sizeof(CDataQueue) == 2 * sizeof(void*) + 6 * sizeof(uint32_t), "CDataQueue layout");

namespace {

constexpr uint32_t kHeadSize = sizeof(tagDataHead);
constexpr uint32_t kMinGrowth = 102400;

tagDataHead ReadHead(const char* at) {
  tagDataHead head;
  std::memcpy(&head, at, sizeof head);
  return head;
}

// Follows the packets from `from` to `to`: true when they end exactly at
// `to`; adds what it passed to `count` and `bytes`.
bool WalkChain(const char* storage, uint32_t from, uint32_t to, uint64_t& count, uint64_t& bytes) {
  while (from < to) {
    if (to - from < kHeadSize) return false;
    const uint32_t size = kHeadSize + ReadHead(storage + from).data_size;
    if (size > to - from) return false;
    from += size;
    count += 1;
    bytes += size;
  }
  return true;
}

// The positions of a snapshot head: inside its capacity and in one of the two
// shapes the queue can take (flat: the wrap end is the write position).
bool PositionsFit(const tagFileHead& h) {
  if (h.wrap_end > h.capacity || h.read_pos > h.wrap_end || h.write_pos > h.wrap_end) return false;
  if (h.write_pos >= h.read_pos) return h.wrap_end == h.write_pos;
  return true;
}

// The packet chain of a snapshot adds up to its counters.
bool ChainFits(const tagFileHead& h, const char* storage) {
  uint64_t count = 0;
  uint64_t bytes = 0;
  if (h.write_pos >= h.read_pos) {
    if (!WalkChain(storage, h.read_pos, h.write_pos, count, bytes)) return false;
  } else if (!WalkChain(storage, h.read_pos, h.wrap_end, count, bytes) ||
             !WalkChain(storage, 0, h.write_pos, count, bytes)) {
    return false;
  }
  return count == h.packet_count && bytes == h.used_bytes;
}

// A checked copy of a snapshot's storage, or null: a head that does not fit,
// packets claimed without bytes, capacity 0 (empty without storage), no
// memory, or a packet chain that does not add up to the counters.
char* CopySnapshot(const tagFileHead& head, const void* bytes) {
  if (!PositionsFit(head)) return nullptr;
  if (bytes == nullptr && (head.used_bytes != 0 || head.packet_count != 0)) return nullptr;
  if (head.capacity == 0) return nullptr;
  // Without bytes the storage is zeros; the check below then holds only when
  // the positions leave no room for a packet.
  char* storage = bytes != nullptr ? new (std::nothrow) char[head.capacity]
                                   : new (std::nothrow) char[head.capacity]();
  if (storage == nullptr) return nullptr;
  if (bytes != nullptr) std::memcpy(storage, bytes, head.wrap_end);
  // Checked on our own copy, so the caller's bytes are read once.
  if (!ChainFits(head, storage)) {
    delete[] storage;
    return nullptr;
  }
  return storage;
}

}  // namespace

CDataQueue::CDataQueue()
    : write_pos_(0),
      wrap_end_(0),
      read_pos_(0),
      used_bytes_(0),
      packet_count_(0),
      capacity_(0),
      storage_(nullptr) {}

CDataQueue::CDataQueue(const CDataQueue& other) : CDataQueue() { *this = other; }

CDataQueue& CDataQueue::operator=(const CDataQueue& other) {
  if (this == &other) return *this;
  RemoveData(true);
  if (other.storage_ == nullptr) return *this;
  storage_ = new (std::nothrow) char[other.capacity_];
  if (storage_ == nullptr) return *this;
  // Every packet lies below the wrap end, in either shape.
  std::memcpy(storage_, other.storage_, other.wrap_end_);
  write_pos_ = other.write_pos_;
  wrap_end_ = other.wrap_end_;
  read_pos_ = other.read_pos_;
  used_bytes_ = other.used_bytes_;
  packet_count_ = other.packet_count_;
  capacity_ = other.capacity_;
  return *this;
}

CDataQueue::~CDataQueue() { delete[] storage_; }

bool CDataQueue::Grow(uint32_t need) {
  const uint32_t growth = std::max<uint32_t>(need * 10, kMinGrowth);
  if (growth > UINT32_MAX - capacity_) return false;
  char* grown = new (std::nothrow) char[capacity_ + growth];
  if (grown == nullptr) return false;

  // The live bytes move to the front, oldest first.
  const uint32_t tail = wrap_end_ - read_pos_;
  if (tail > 0) std::memcpy(grown, storage_ + read_pos_, tail);
  if (write_pos_ < read_pos_ && used_bytes_ > tail) std::memcpy(grown + tail, storage_, write_pos_);

  read_pos_ = 0;
  write_pos_ = used_bytes_;
  wrap_end_ = used_bytes_;
  capacity_ += growth;
  delete[] storage_;
  storage_ = grown;
  return true;
}

bool CDataQueue::InsertData(uint16_t identifier, const void* data, uint16_t size) {
  if (size > 0 && data == nullptr) return false;
  const uint32_t need = kHeadSize + size;
  if (write_pos_ >= read_pos_) {
    if (capacity_ - write_pos_ >= need) {
      // room in the tail
    } else if (need < read_pos_) {
      write_pos_ = 0;  // the wrap end keeps marking the end of the older packets
    } else if (!Grow(need)) {
      return false;
    }
  } else if (need >= read_pos_ - write_pos_ && !Grow(need)) {
    return false;
  }

  const tagDataHead head = {size, identifier};
  std::memcpy(storage_ + write_pos_, &head, kHeadSize);
  if (size > 0) std::memcpy(storage_ + write_pos_ + kHeadSize, data, size);
  packet_count_ += 1;
  used_bytes_ += need;
  write_pos_ += need;
  wrap_end_ = std::max(wrap_end_, write_pos_);
  return true;
}

bool CDataQueue::PreGetData(tagDataHead& head, void* dest, uint16_t dest_size) {
  if (used_bytes_ == 0 || packet_count_ == 0 || storage_ == nullptr) return false;
  if (read_pos_ == wrap_end_) {
    // The older part is used up: the reader follows the writer to the front.
    read_pos_ = 0;
    wrap_end_ = write_pos_;
  }
  head = ReadHead(storage_ + read_pos_);
  if (head.data_size > 0) {
    if (dest == nullptr || dest_size < head.data_size) {
      head.data_size = 0;
    } else {
      std::memcpy(dest, storage_ + read_pos_ + kHeadSize, head.data_size);
    }
  }
  return true;
}

bool CDataQueue::GetData(tagDataHead& head, void* dest, uint16_t dest_size) {
  if (!PreGetData(head, dest, dest_size)) return false;
  // Taken by its stored size: a packet too big for `dest` reports 0 but is
  // consumed whole.
  const uint32_t size = kHeadSize + ReadHead(storage_ + read_pos_).data_size;
  packet_count_ -= 1;
  used_bytes_ -= size;
  read_pos_ += size;
  return true;
}

void CDataQueue::RemoveData(bool free_storage) {
  used_bytes_ = 0;
  write_pos_ = 0;
  wrap_end_ = 0;
  read_pos_ = 0;
  packet_count_ = 0;
  if (free_storage) {
    capacity_ = 0;
    delete[] storage_;
    storage_ = nullptr;
  }
}

bool CDataQueue::GetBurthenInfo(tagBurthenInfo& info) {
  info.used_bytes = used_bytes_;
  info.capacity = capacity_;
  info.packet_count = packet_count_;
  return true;
}

const void* CDataQueue::GetFileData(tagFileHead& head) {
  head.used_bytes = used_bytes_;
  head.capacity = capacity_;
  head.write_pos = write_pos_;
  head.wrap_end = wrap_end_;
  head.read_pos = read_pos_;
  head.packet_count = packet_count_;
  return storage_;
}

void CDataQueue::SetFileData(tagFileHead head, const void* bytes) {
  // `bytes` may be this queue's own storage (what GetFileData lent out): the
  // copy is made before the old storage goes.
  char* storage = CopySnapshot(head, bytes);
  RemoveData(true);
  if (storage == nullptr) return;
  storage_ = storage;
  capacity_ = head.capacity;
  packet_count_ = head.packet_count;
  read_pos_ = head.read_pos;
  used_bytes_ = head.used_bytes;
  write_pos_ = head.write_pos;
  wrap_end_ = head.wrap_end;
}
