// libFuzzer target for the shared-memory queue engine on a region that
// another program wrote: the input patches header and block fields of a
// freshly laid out queue (or of one attached with the geometry the patches
// leave), then runs writes, reads and length queries. Every access must stay
// inside the region (an allocation of exactly its size, so ASan sees a step
// past it), every walk must end (libFuzzer's time-out), and the arithmetic
// on the header's values must stay defined (UBSan).
// The other program need not take the queue mutex, so the target also
// changes the region while the engine holds it: each time the engine takes
// the lock, the lock patches are applied, and a second thread flips one
// field between the value it had and the flip value until the engine lets
// go, so the engine meets a field that changes between two of its loads.
// Input: a flags byte (bit 0: attach as opener to a region laid out by
// another engine; bit 1 with it: to a zeroed region; bit 2: changes under
// the lock), a patch count n, n patches of 7 bytes (u16 where: 0 the header,
// k block k-1, modulo 1025; u8 field, taken modulo the header's 18 or the
// block's 6 fields; i32 value, little-endian); with bit 2, a lock patch
// count m, m patches, and one more patch that names the field to flip and
// the flip value; then operations of 3 bytes (u8 op, u16 argument).
// Native only; built in the fuzz tree and run by scripts/fuzz.sh.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "netcore/shm/word_flipper_test_util.h"
#include "netcore/shm/xqueue_engine.h"

namespace {

using namespace xqueue;

constexpr int kMaxOps = 64;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

int32_t Le32(const uint8_t* p);

// Where a 7-byte patch points, and its value.
struct RegionPatch {
  uint32_t offset = 0;
  int32_t value = 0;
};

RegionPatch ReadPatch(const uint8_t* p) {
  const uint32_t where = uint32_t(p[0] | p[1] << 8) % uint32_t(kPages);
  const uint32_t field = where == 0 ? p[2] % 18u : p[2] % 6u;
  return RegionPatch{where * uint32_t(kBlockSize) + field * 4, Le32(p + 3)};
}

int32_t* WordAt(unsigned char* region, uint32_t offset) {
  return reinterpret_cast<int32_t*>(region + offset);
}

// Single-process sync: every wait succeeds at once, sleeps take no time.
// With changes under the lock, taking the lock applies them.
class FuzzSync final : public XQueueSync {
 public:
  unsigned char* region = nullptr;
  std::vector<RegionPatch> lock_patches;
  bool flip = false;
  RegionPatch flip_patch;

  Wait WaitWriteTurn(uint32_t) override { return kAcquired; }
  void GiveWriteTurn() override {}
  Wait LockQueue(uint32_t) override {
    for (const RegionPatch& p : lock_patches) *WordAt(region, p.offset) = p.value;
    if (flip) {
      // One thread for the whole run, never joined.
      static WordFlipper* const flipper = new WordFlipper();
      flipper->Begin(WordAt(region, flip_patch.offset), flip_patch.value);
      flipping_ = flipper;
    }
    return kAcquired;
  }
  void UnlockQueue() override {
    if (flipping_ != nullptr) flipping_->End();
    flipping_ = nullptr;
  }
  void NotifyReader() override {}
  void SleepMs(uint32_t) override {}
  uint32_t CurrentThreadId() override { return 5; }

 private:
  WordFlipper* flipping_ = nullptr;
};

int32_t Le32(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                 uint32_t(p[3]) << 24);
}

void Patch(unsigned char* region, const uint8_t* p) {
  const RegionPatch patch = ReadPatch(p);
  std::memcpy(region + patch.offset, &patch.value, 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t flags = data[0];
  size_t patches = data[1];
  size_t at = 2;
  // Exactly the region's size, so a step past its end is a heap overflow.
  // Kept across inputs: laying out rewrites every field that an engine of
  // that geometry reads (payload bytes are only copied); an opener may
  // adopt another geometry, so its region starts from zero.
  static uint32_t* const words = new uint32_t[kRegionSize / 4]();
  unsigned char* region = reinterpret_cast<unsigned char*>(words);
  XQueueEngine engine;
  FuzzSync sync;
  const bool attach = (flags & 1) != 0;
  const bool raw = attach && (flags & 2) != 0;  // no laid-out queue under the patches
  if (attach) std::memset(region, 0, kRegionSize);
  if (!raw) {
    // As creator: the engine that lays out the region works on it too.
    XQueueEngine creator;
    Check((attach ? creator : engine).Format(region, kRegionSize, 1), "lay out a fresh region");
  }
  for (; patches > 0 && at + 7 <= size; --patches, at += 7) Patch(region, data + at);
  sync.region = region;
  if ((flags & 4) != 0 && at < size) {
    size_t lock_patches = data[at++];
    for (; lock_patches > 0 && at + 7 <= size; --lock_patches, at += 7) {
      sync.lock_patches.push_back(ReadPatch(data + at));
    }
    if (at + 7 <= size) {
      sync.flip = true;
      sync.flip_patch = ReadPatch(data + at);
      at += 7;
    }
  }
  if (attach) {
    if (!engine.Attach(region, kRegionSize)) return 0;
    const XQueueEngine::Geometry& g = engine.geometry();
    Check(uint64_t(g.block_size) * uint64_t(g.pages) <= kRegionSize, "geometry past the region");
  }

  std::string payload;
  std::string buffer;
  for (int ops = 0; ops < kMaxOps && at + 3 <= size; ++ops, at += 3) {
    const uint8_t op = data[at];
    const uint32_t arg = uint32_t(data[at + 1] | data[at + 2] << 8);
    switch (op % 4) {
      case 0: {  // write: up to 64 KiB, or up to the whole region in 16-byte steps
        const uint32_t length = (op & 0x80) != 0 ? arg * 16u : arg;
        payload.assign(length, char(op));
        const int code = engine.Write(length ? payload.data() : nullptr, length, sync);
        Check(code >= kXqOk && code <= kXqNoCreator, "write result code");
        break;
      }
      case 1: {  // read into a buffer of arg bytes; with bit 6, a batch of up to 8
        buffer.assign(arg, '\0');
        if ((op & 0x40) != 0 && arg != 0) {
          uint32_t offsets[8];
          uint32_t lengths[8];
          int count = -1;
          const int code =
              engine.ReadBatch(&buffer[0], arg, offsets, lengths, 8, &count, 100, sync);
          Check(code >= kXqOk && code <= kXqNoCreator, "batch result code");
          Check(count >= 0 && count <= 8 && (count > 0) == (code == kXqOk), "batch count");
          for (int i = 0; i < count; ++i) {
            Check(offsets[i] <= arg && lengths[i] <= arg - offsets[i], "batch past the buffer");
          }
          break;
        }
        uint32_t length = arg;
        int32_t id = 0;
        uint32_t thread = 0;
        const int code = engine.Read(arg ? &buffer[0] : nullptr, &length, &id, &thread, 100, sync);
        Check(code >= kXqOk && code <= kXqNoCreator, "read result code");
        if (code == kXqOk && arg != 0) Check(length <= arg, "read more than the buffer holds");
        break;
      }
      case 2: {
        const uint32_t length = engine.FirstMessageLength();
        Check(length <= kRegionSize, "message longer than the region");
        break;
      }
      default:
        engine.DropAttach((op & 0x80) != 0);
        engine.AddOpener();
        break;
    }
  }
  return 0;
}
