// Fuzz target of CDataQueue::SetFileData: a snapshot head and its bytes from
// the fuzzer, then queue operations driven by the rest of the input. A
// snapshot is either refused (empty queue without storage) or accepted as it
// says: a copy drains exactly its packet count of packets whose sizes (with
// their heads) add up to its used bytes; and every later operation stays
// inside the storage.
// Input: 24-byte tagFileHead, 2-byte length n, n snapshot bytes, then one
// operation per byte (insert, get, peek, copy, remove).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common_services/include/zintal/data_queue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < sizeof(tagFileHead) + 2) return 0;
  tagFileHead head;
  std::memcpy(&head, data, sizeof head);
  data += sizeof head;
  size -= sizeof head;
  size_t n = data[0] | (data[1] << 8);
  data += 2;
  size -= 2;
  if (n > size) n = size;
  // The caller promises head.wrap_end readable bytes; the bytes past the
  // fuzzer's own are zeros. A huge capacity is cut down, not refused, so
  // that the check of the packet chain gets to run.
  head.capacity %= 1u << 20;
  if (head.wrap_end > head.capacity) head.wrap_end %= head.capacity + 1;
  std::vector<uint8_t> bytes(data, data + n);
  bytes.resize(head.wrap_end);
  data += n;
  size -= n;

  CDataQueue q;
  q.SetFileData(head, n > 0 ? bytes.data() : nullptr);  // no bytes: the null path
  static uint8_t dest[65535];
  tagBurthenInfo info;
  q.GetBurthenInfo(info);
  if (info.capacity != 0) {
    if (info.capacity != head.capacity || info.packet_count != head.packet_count ||
        info.used_bytes != head.used_bytes) {
      std::abort();
    }
    CDataQueue drained(q);
    tagDataHead out;
    uint64_t packets = 0;
    uint64_t used = 0;
    while (packets <= head.packet_count && drained.GetData(out, dest, sizeof dest)) {
      packets += 1;
      used += sizeof(tagDataHead) + out.data_size;
    }
    if (packets != head.packet_count || used != head.used_bytes) std::abort();
  } else if (info.packet_count != 0 || info.used_bytes != 0) {
    std::abort();
  }
  for (size_t i = 0; i < size; ++i) {
    tagDataHead out;
    const uint8_t op = data[i];
    switch (op % 5) {
      case 0:
        q.InsertData(op, dest, static_cast<uint16_t>(op * 97));
        break;
      case 1:
        q.GetData(out, dest, static_cast<uint16_t>(op << 4));
        break;
      case 2:
        q.PreGetData(out, dest, sizeof dest);
        break;
      case 3: {
        CDataQueue copy(q);
        copy.GetData(out, dest, sizeof dest);
        break;
      }
      case 4:
        if (op > 250) q.RemoveData(op & 1);
        break;
    }
  }
  return 0;
}
