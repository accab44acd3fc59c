// Throughput of the shared-memory queue's engine (one message written and
// read back per iteration, no other process), beside two memcpy passes of
// the same bytes: the copy in and the copy out that a message costs at least.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "netcore/shm/xqueue_engine.h"

namespace {

// Nothing to wait for in one thread.
class NoWaitSync final : public XQueueSync {
 public:
  Wait WaitWriteTurn(uint32_t) override { return kAcquired; }
  void GiveWriteTurn() override {}
  Wait LockQueue(uint32_t) override { return kAcquired; }
  void UnlockQueue() override {}
  void NotifyReader() override {}
  void SleepMs(uint32_t) override {}
  uint32_t CurrentThreadId() override { return 1; }
};

void BM_XQueueWriteRead(benchmark::State& state) {
  const size_t n = size_t(state.range(0));
  std::vector<uint32_t> region(xqueue::kRegionSize / 4);
  XQueueEngine q;
  q.Format(region.data(), xqueue::kRegionSize, 1);
  NoWaitSync sync;
  std::vector<char> in(n, 'q'), out(n + 4);
  for (auto _ : state) {
    if (q.Write(in.data(), uint32_t(n), sync) != kXqOk) state.SkipWithError("write");
    uint32_t len = uint32_t(out.size());
    int32_t id = 0;
    if (q.Read(out.data(), &len, &id, nullptr, 100, sync) != kXqOk) state.SkipWithError("read");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

void BM_TwoMemcpyPasses(benchmark::State& state) {
  const size_t n = size_t(state.range(0));
  std::vector<char> in(n, 'q'), mid(n), out(n + 4);
  for (auto _ : state) {
    std::memcpy(mid.data(), in.data(), n);
    benchmark::ClobberMemory();
    std::memcpy(out.data(), mid.data(), n);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

// The same two passes, with the middle copy moving through a region of the
// queue's size the way the queue's blocks do (freed blocks go to the tail of
// the free list, so every message lands on blocks not touched for a while).
void BM_TwoMemcpyPassesRotating(benchmark::State& state) {
  const size_t n = size_t(state.range(0));
  const size_t step = (n + xqueue::kPayloadSize - 1) / xqueue::kPayloadSize * xqueue::kBlockSize;
  std::vector<char> in(n, 'q'), region(xqueue::kRegionSize + step), out(n + 4);
  size_t at = 0;
  for (auto _ : state) {
    std::memcpy(region.data() + at, in.data(), n);
    benchmark::ClobberMemory();
    std::memcpy(out.data(), region.data() + at, n);
    benchmark::DoNotOptimize(out.data());
    at += step;
    if (at + step > xqueue::kRegionSize) at = 0;
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

}  // namespace

BENCHMARK(BM_XQueueWriteRead)->Arg(1024)->Arg(64 * 1024);
BENCHMARK(BM_TwoMemcpyPasses)->Arg(1024)->Arg(64 * 1024);
BENCHMARK(BM_TwoMemcpyPassesRotating)->Arg(1024)->Arg(64 * 1024);
