// Figures of the network core: the body cipher beside OpenSSL's Blowfish-ECB
// on the same bytes, the frame codec, and the job thread under four posters.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "netcore/command/job_thread.h"
#include "netcore/net/blowfish.h"
#include "netcore/net/packet_codec.h"

namespace {

const char kKey[] = "0123456789abcdefKEYSUFFX";

std::vector<char> RandomBytes(size_t n) {
  std::mt19937 rng(static_cast<unsigned>(n));
  std::vector<char> v(n);
  for (auto& c : v) c = static_cast<char>(rng());
  return v;
}

void BM_CBlowfishEncrypt(benchmark::State& state) {
  CBlowfish bf;
  bf.SetKey(kKey, sizeof(kKey) - 1);
  const std::vector<char> in = RandomBytes(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    std::vector<char> out = bf.Encrypt(in);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_CBlowfishDecrypt(benchmark::State& state) {
  CBlowfish bf;
  bf.SetKey(kKey, sizeof(kKey) - 1);
  const std::vector<char> in = bf.Encrypt(RandomBytes(static_cast<size_t>(state.range(0))));
  for (auto _ : state) {
    std::vector<char> out = bf.Decrypt(in);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// OpenSSL on the same padded bytes, block by block into a preallocated buffer.
void OpenSslEcb(benchmark::State& state, int mode) {
  BF_KEY key;
  BF_set_key(&key, sizeof(kKey) - 1, reinterpret_cast<const unsigned char*>(kKey));
  CBlowfish bf;
  bf.SetKey(kKey, sizeof(kKey) - 1);
  const std::vector<char> padded = bf.Encrypt(RandomBytes(static_cast<size_t>(state.range(0))));
  std::vector<unsigned char> out(padded.size());
  const auto* in = reinterpret_cast<const unsigned char*>(padded.data());
  for (auto _ : state) {
    for (size_t off = 0; off < padded.size(); off += 8)
      BF_ecb_encrypt(in + off, out.data() + off, &key, mode);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_OpenSslBfEcbEncrypt(benchmark::State& state) { OpenSslEcb(state, BF_ENCRYPT); }
void BM_OpenSslBfEcbDecrypt(benchmark::State& state) { OpenSslEcb(state, BF_DECRYPT); }

BENCHMARK(BM_CBlowfishEncrypt)->Arg(1024)->Arg(64 * 1024);
BENCHMARK(BM_OpenSslBfEcbEncrypt)->Arg(1024)->Arg(64 * 1024);
BENCHMARK(BM_CBlowfishDecrypt)->Arg(1024)->Arg(64 * 1024);
BENCHMARK(BM_OpenSslBfEcbDecrypt)->Arg(1024)->Arg(64 * 1024);

void BM_EncodeDecodePacket1KiB(benchmark::State& state) {
  bs::CMDNetwork_DataMessage cmd;
  cmd.header.kind = 12;
  cmd.header.subid = 5;
  const std::vector<char> body = RandomBytes(1024);
  cmd.body.assign(body.begin(), body.end());
  std::string frame;
  for (auto _ : state) {
    EncodePacket(&frame, cmd);
    bs::CMDNetwork_DataMessage out;
    const bool ok = DecodePacket(reinterpret_cast<const unsigned char*>(frame.data()),
                                 static_cast<int>(frame.size()), &out);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(out.body.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(frame.size()));
}
BENCHMARK(BM_EncodeDecodePacket1KiB);

// Four threads post 2,500 commands each; the processor checks that every
// command arrives once and in its poster's order, and measures post-to-dispatch.
class StampedCmd : public bs::CMD_base {
 public:
  StampedCmd(uint16_t thread, uint32_t seq) : CMD_base(9, thread), seq_(seq) {
    posted_ = std::chrono::steady_clock::now();
  }
  uint32_t seq_;
  std::chrono::steady_clock::time_point posted_;
};

class CheckingProc : public ICmdProcess {
 public:
  bool OnStart(int, IJobProcessPool*) override { return true; }
  void Reset() override {}
  void Process(bs::CMD_base* cmd, int) override {
    auto* c = static_cast<StampedCmd*>(cmd);
    if (c->seq_ != next[c->subid]) bad = true;
    next[c->subid] = c->seq_ + 1;
    latency_us.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - c->posted_)
            .count());
    done.fetch_add(1, std::memory_order_release);
  }
  void OnTimer(uint64_t, int) override {}

  uint32_t next[4] = {0, 0, 0, 0};
  bool bad = false;
  std::vector<double> latency_us;
  std::atomic<int> done{0};
};

void BM_JobThreadFourPosters(benchmark::State& state) {
  constexpr int kThreads = 4, kPer = 2500;
  std::vector<double> all;
  bool failed = false;
  for (auto _ : state) {
    CheckingProc proc;
    proc.latency_us.reserve(kThreads * kPer);
    auto* jt = new KJobThread();
    jt->AddProcessor(&proc, 9);
    jt->Start(1);
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
      posters.emplace_back([jt, t] {
        for (int i = 0; i < kPer; ++i) {
          auto* cmd = new StampedCmd(static_cast<uint16_t>(t), static_cast<uint32_t>(i));
          cmd->AttachDeleteHandler();
          jt->PostCommand(cmd);
        }
      });
    }
    for (auto& p : posters) p.join();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (proc.done.load(std::memory_order_acquire) < kThreads * kPer &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    jt->Stop();
    jt->Release();
    if (proc.done.load() != kThreads * kPer || proc.bad) failed = true;
    for (int t = 0; t < kThreads; ++t) failed |= proc.next[t] != static_cast<uint32_t>(kPer);
    all.insert(all.end(), proc.latency_us.begin(), proc.latency_us.end());
  }
  if (failed) {
    state.SkipWithError("a command was lost, repeated or out of its poster's order");
    return;
  }
  std::sort(all.begin(), all.end());
  double sum = 0;
  for (double v : all) sum += v;
  state.counters["lat_mean_ms"] = sum / all.size() / 1000.0;
  state.counters["lat_p50_ms"] = all[all.size() / 2] / 1000.0;
  state.counters["lat_p99_ms"] = all[all.size() * 99 / 100] / 1000.0;
  state.counters["lat_max_ms"] = all.back() / 1000.0;
  state.SetItemsProcessed(state.iterations() * kThreads * kPer);
}
BENCHMARK(BM_JobThreadFourPosters)->Iterations(20)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
