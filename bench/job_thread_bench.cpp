// Post-to-dispatch latency of the job thread beside its reference, a bare
// condition-variable hand-off between two threads, measured the same way:
// one poster hands one item at a time to the other thread, stamps the hand
// over, waits for the receiver's acknowledgement, then pauses 200 us so the
// receiver is asleep again when the next item comes (the case of a command
// reaching an idle job thread).
// Counters: lat_p50_us and lat_p99_us over every hand-off of the run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "netcore/command/job_thread.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kHandOffs = 2000;
constexpr auto kPause = std::chrono::microseconds(200);

// The poster's wait for the receiver: a latch both measurements share.
struct Ack {
  std::mutex m;
  std::condition_variable cv;
  int done = 0;
  void Signal() {
    {
      std::lock_guard<std::mutex> lock(m);
      ++done;
    }
    cv.notify_one();
  }
  void WaitFor(int n) {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return done >= n; });
  }
};

void Report(benchmark::State& state, std::vector<double>& us) {
  std::sort(us.begin(), us.end());
  state.counters["lat_p50_us"] = us[us.size() / 2];
  state.counters["lat_p99_us"] = us[us.size() * 99 / 100];
  state.SetItemsProcessed(int64_t(us.size()));
}

class StampCmd : public bs::CMD_base {
 public:
  StampCmd() : CMD_base(9, 2) {}
  Clock::time_point posted;
};

class LatencyProc : public ICmdProcess {
 public:
  bool OnStart(int, IJobProcessPool*) override { return true; }
  void Reset() override {}
  void Process(bs::CMD_base* cmd, int) override {
    const auto now = Clock::now();
    us->push_back(
        std::chrono::duration<double, std::micro>(now - static_cast<StampCmd*>(cmd)->posted)
            .count());
    ack->Signal();
  }
  void OnTimer(uint64_t, int) override {}
  std::vector<double>* us = nullptr;
  Ack* ack = nullptr;
};

void BM_JobThreadPostToDispatch(benchmark::State& state) {
  std::vector<double> us;
  for (auto _ : state) {
    Ack ack;
    LatencyProc proc;
    proc.us = &us;
    proc.ack = &ack;
    auto* jt = new KJobThread();
    jt->AddProcessor(&proc, 9);
    jt->Start(1);
    for (int i = 0; i < kHandOffs; ++i) {
      auto* cmd = new StampCmd();
      cmd->AttachDeleteHandler();
      cmd->posted = Clock::now();
      jt->PostCommand(cmd);
      ack.WaitFor(i + 1);
      std::this_thread::sleep_for(kPause);
    }
    jt->Stop();
    jt->Release();
  }
  Report(state, us);
}
BENCHMARK(BM_JobThreadPostToDispatch)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

// The reference: a slot, a mutex and a condition variable, nothing else.
void BM_Reference_BareConditionVariableHandOff(benchmark::State& state) {
  std::vector<double> us;
  for (auto _ : state) {
    Ack ack;
    std::mutex m;
    std::condition_variable cv;
    bool has = false, stop = false;
    Clock::time_point posted;
    std::thread receiver([&] {
      std::unique_lock<std::mutex> lock(m);
      for (;;) {
        cv.wait(lock, [&] { return has || stop; });
        if (!has) return;
        has = false;
        const auto now = Clock::now();
        us.push_back(std::chrono::duration<double, std::micro>(now - posted).count());
        lock.unlock();
        ack.Signal();
        lock.lock();
      }
    });
    for (int i = 0; i < kHandOffs; ++i) {
      {
        std::lock_guard<std::mutex> lock(m);
        posted = Clock::now();
        has = true;
      }
      cv.notify_one();
      ack.WaitFor(i + 1);
      std::this_thread::sleep_for(kPause);
    }
    {
      std::lock_guard<std::mutex> lock(m);
      stop = true;
    }
    cv.notify_one();
    receiver.join();
  }
  Report(state, us);
}
BENCHMARK(BM_Reference_BareConditionVariableHandOff)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
