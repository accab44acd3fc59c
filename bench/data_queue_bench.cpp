// CDataQueue in a steady state (a backlog of packets held, one packet
// inserted and one taken per iteration, so the ring wraps over and over
// without growing), beside the least a packet costs (two memcpy passes of
// its bytes: in and out) and beside std::deque<std::vector<char>>, the plain
// alternative with one allocation a packet.
#include <benchmark/benchmark.h>

#include <cstring>
#include <deque>
#include <vector>

#include "common_services/include/zintal/data_queue.h"

namespace {

constexpr int kBacklog = 32;

void BM_DataQueue(benchmark::State& state) {
  const uint16_t n = uint16_t(state.range(0));
  std::vector<char> in(n, 'q'), out(n);
  CDataQueue q;
  for (int i = 0; i < kBacklog; ++i) q.InsertData(1, in.data(), n);
  tagDataHead head;
  for (auto _ : state) {
    if (!q.InsertData(2, in.data(), n)) state.SkipWithError("insert");
    if (!q.GetData(head, out.data(), n)) state.SkipWithError("get");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * n);
}

void BM_TwoMemcpy(benchmark::State& state) {
  const size_t n = size_t(state.range(0));
  // A ring of the backlog's size, so the passes touch as much memory.
  std::vector<char> in(n, 'q'), ring(n * (kBacklog + 1)), out(n);
  size_t slot = 0;
  for (auto _ : state) {
    char* at = ring.data() + slot * n;
    std::memcpy(at, in.data(), n);
    benchmark::ClobberMemory();
    std::memcpy(out.data(), at, n);
    benchmark::DoNotOptimize(out.data());
    slot = slot == kBacklog ? 0 : slot + 1;
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

void BM_DequeOfVectors(benchmark::State& state) {
  const size_t n = size_t(state.range(0));
  std::vector<char> in(n, 'q'), out(n);
  std::deque<std::vector<char>> q;
  for (int i = 0; i < kBacklog; ++i) q.emplace_back(in.begin(), in.end());
  for (auto _ : state) {
    q.emplace_back(in.begin(), in.end());
    std::memcpy(out.data(), q.front().data(), q.front().size());
    q.pop_front();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

BENCHMARK(BM_DataQueue)->Arg(64)->Arg(1024);
BENCHMARK(BM_TwoMemcpy)->Arg(64)->Arg(1024);
BENCHMARK(BM_DequeOfVectors)->Arg(64)->Arg(1024);

}  // namespace
